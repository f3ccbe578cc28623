// `quarv log FOLDER [--reverse] [--json]`: the revisions of a store, newest
// first, each with its number, the Git commit it was converted from (when
// the store's commit record names one), date, author, message and counts of
// changed files, read from the container headers and entry records alone.
// Text blocks show author and e-mail as QuoteName does and the message lines
// with their control bytes escaped (EscapeControls); JSON keeps them exact.
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace pellmor {

struct TLogOptions {
  std::string Folder;    // the working folder that holds .Quarv
  bool Reverse = false;  // oldest first
  bool Json = false;     // a JSON array instead of text blocks
};

// Adds the "log" command to the tool.
void RegisterLogCommand(CLI::App& app);

// Writes the log to out. Raises the reader's errors (no store, a missing or
// damaged container) and those of a damaged commit record.
void RunLog(const TLogOptions& options, std::ostream& out);

}  // namespace pellmor
