// `quarv verify FOLDER [--git]`: reads every revision of the store and
// checks that it is whole (TStoreVerifier); with --git also that each
// revision holds what the Git commit it was recorded from holds
// (TGitComparison). Each problem is printed with the file it was found in.
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace pellmor {

struct TVerifyOptions {
  std::string Folder;  // the working folder that holds .Quarv (and .git for --git)
  bool Git = false;    // compare every revision with its Git commit
};

// Adds the "verify" command to the tool; its exit status is 1 when a
// problem was found.
void RegisterVerifyCommand(CLI::App& app);

// Prints one line "<file>: <problem>" per problem, then a summary line, to
// out, and returns the number of problems. Raises when the store cannot be
// opened at all (no store, History.txt unreadable) and, with --git, when the
// repository cannot be read.
int RunVerify(const TVerifyOptions& options, std::ostream& out);

}  // namespace pellmor
