// `quarv ls FOLDER [REV] [--all] [--json]`: the files of one revision, one a
// line, read from the container headers and entry records alone (and the
// 4-byte length of each file's content block, never its bytes). Text lines
// show names as QuoteName does (a name with a line break stays on its line);
// JSON keeps them exact.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace pellmor {

struct TLsOptions {
  std::string Folder;    // the working folder that holds .Quarv
  int32_t Revision = 0;  // 0: the newest
  bool All = false;      // deleted entries too
  bool Json = false;     // a JSON array instead of text lines
};

// Adds the "ls" command to the tool.
void RegisterLsCommand(CLI::App& app);

// Writes the listing to out. Raises the reader's errors (no store, no such
// revision, a missing or damaged container).
void RunLs(const TLsOptions& options, std::ostream& out);

// The words ls and the JSON output use for a ChangeKind: "none", "modified",
// "added", "unchanged", or "kind N" for a value the program does not write.
std::string ChangeKindText(uint8_t kind);

}  // namespace pellmor
