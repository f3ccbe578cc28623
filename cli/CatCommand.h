// `quarv cat FOLDER REV NAME`: the bytes of one file of a revision, as they
// were recorded, on standard output (a symbolic link's bytes are its target).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace pellmor {

struct TCatOptions {
  std::string Folder;    // the working folder that holds .Quarv
  int32_t Revision = 0;  // the revision number
  std::string Name;      // the file's name, '\' or '/' between folders, any ASCII case
};

// Adds the "cat" command to the tool.
void RegisterCatCommand(CLI::App& app);

// Writes the file's bytes to out. Raises "No file '%s' in revision %d" and
// "File '%s' is deleted in revision %d", and the reader's errors (no store,
// no such revision, a missing or damaged container, bytes that are nowhere
// or do not match their digest).
void RunCat(const TCatOptions& options, std::ostream& out);

}  // namespace pellmor
