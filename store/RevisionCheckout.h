// Writing the files of one revision of a store into a folder, as `quarv
// checkout` does: with their last-write (and last-access) times, the
// executable bit (attribute 0x20) and symbolic links (attribute 0x400, the
// stored bytes being the link's target), and never outside the folder.
#pragma once

#include <cstdint>
#include <string>

namespace pellmor {

class TQuarvReader;

struct TCheckoutResult {
  int Written = 0;     // files written
  std::string Folder;  // the folder written into, ending in '/'
};

// Checks every name of the revision first (FindUnsafeNames) and raises
// "Refusing to check out revision %d: '%s' cannot be written safely (%s)"
// for the first bad one, before anything is written, dest included. Then
// refuses a dest that is not a folder ("Cannot check out into '%s': it is
// not a folder") or that holds anything ("Folder '%s' is not empty (--force
// writes into it)") unless force is set, creates it when missing, and writes
// the files: each holding container opened once, each block expanded once
// and streamed to the disk, the bytes checked against their digests (a file
// whose bytes fail is removed again). Nothing is ever written
// outside dest, not even through links that a forced dest already holds;
// entries there are replaced, others left alone. Raises the reader's errors
// and the file layer's; files written before such an error stay.
TCheckoutResult CheckoutRevision(const TQuarvReader& reader, int32_t revision,
                                 const std::string& dest, bool force);

}  // namespace pellmor
