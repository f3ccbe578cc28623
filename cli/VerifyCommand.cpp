#include "cli/VerifyCommand.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/ReadingArguments.h"
#include "convert/GitComparison.h"
#include "store/QuarvReader.h"
#include "store/StoreVerifier.h"
#include "store/uMyFS.h"

namespace pellmor {

void RegisterVerifyCommand(CLI::App& app) {
  auto options = std::make_shared<TVerifyOptions>();
  CLI::App* command = AddReadingCommand(
      app, "verify",
      "Check that the store in FOLDER is whole: every revision loads, every file's "
      "bytes are found and match their digest, the revisions link up with the history",
      options->Folder);
  command->add_flag("--git", options->Git,
                    "Also compare every revision with the Git commit it was recorded from");
  command->callback([options] {
    if (RunVerify(*options, std::cout) > 0) throw CLI::RuntimeError(1);
  });
}

int RunVerify(const TVerifyOptions& options, std::ostream& out) {
  const TQuarvReader reader(options.Folder);
  const TProblemSink print = [&out](const std::string& file, const std::string& text) {
    out << file << ": " << text << '\n';
  };
  TStoreVerifier verifier(reader, print);
  int gitProblems = 0;
  const TProblemSink countGit = [&](const std::string& file, const std::string& text) {
    ++gitProblems;
    print(file, text);
  };
  std::unique_ptr<TGitComparison> git;
  if (options.Git) git = std::make_unique<TGitComparison>(reader.RootPath(), countGit);
  // Without --git no revision needs its bytes held: they are only hashed.
  TStoreVerifier::TRevisionHook compare;
  if (git)
    compare = [&](TMyContaner& revision) {
      git->Compare(revision, reader.ContainerFileName(revision.Number));
    };
  const int read = verifier.Run(compare);
  if (git) git->Finish();
  const int problems = verifier.Problems() + gitProblems;
  out << "Checked " << read << (read == 1 ? " revision" : " revisions");
  if (options.Git) out << " against Git";
  if (problems == 0)
    out << ": the store is whole\n";
  else
    out << ": " << problems << (problems == 1 ? " problem\n" : " problems\n");
  return problems;
}

}  // namespace pellmor
