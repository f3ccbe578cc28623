// `quarv checkout FOLDER REV DEST [--force]`: writes the live files of one
// revision into the folder DEST with their last-write (and last-access)
// times, the executable bit (attribute 0x20) and symbolic links (attribute
// 0x400, the stored bytes being the link's target).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace pellmor {

struct TCheckoutOptions {
  std::string Folder;    // the working folder that holds .Quarv
  int32_t Revision = 0;  // the revision number
  std::string Dest;      // the folder to write into; created when missing
  bool Force = false;    // write into a DEST that is not empty
};

// Adds the "checkout" command to the tool.
void RegisterCheckoutCommand(CLI::App& app);

// Checks every name of the revision first (FindUnsafeNames) and raises
// "Refusing to check out revision %d: '%s' cannot be written safely (%s)"
// for the first bad one, before anything is written, DEST included. Then
// refuses a DEST that holds anything ("Folder '%s' is not empty (--force
// writes into it)") unless force is set, and writes the files: each holding
// container opened once, each block decompressed once, the bytes checked
// against their digests. Nothing is ever written outside DEST, not even
// through links that a forced DEST already holds; entries there are replaced,
// others left alone. Returns the number of files written; a summary line
// goes to out. Raises the reader's errors and the file layer's; files
// written before such an error stay.
int RunCheckout(const TCheckoutOptions& options, std::ostream& out);

}  // namespace pellmor
