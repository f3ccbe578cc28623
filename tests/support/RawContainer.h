// Container files written byte for byte, for tests that need what the
// store's own writer never writes: any bytes as a content block behind any
// record (a compressed block that expands to gigabytes, a link target that
// holds a NUL). The layout is docs/store-format.md's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/uMyHash.h"

namespace pellmor::test {

struct RawEntry {
  std::string Name;
  std::string Block;  // the block's bytes as they stand in the file (zlib data when Compressed)
  bool Compressed = false;
  TContentDigest Hash{};  // of the expanded bytes
  uint32_t Attributes = 0x80;
  bool Deleted = false;
  int32_t DataRevision = 0;  // 0: the container's own number
};

// A container of revision `number` holding these entries, in this order.
std::string RawContainer(int32_t number, int32_t previous, int32_t next,
                         const std::vector<RawEntry>& entries);

// One zlib stream of `mebibytes` MiB of zero bytes, made in a moment whatever
// its size (one compressed mebibyte, repeated), and the digest of those zeros.
std::string ZerosZlibStream(int64_t mebibytes);
TContentDigest ZerosDigest(int64_t mebibytes);

}  // namespace pellmor::test
