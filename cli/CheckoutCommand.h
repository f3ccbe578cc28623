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

// Writes the files of the revision into DEST (CheckoutRevision, with its
// checks and errors) and a summary line to out; returns the number of files
// written.
int RunCheckout(const TCheckoutOptions& options, std::ostream& out);

}  // namespace pellmor
