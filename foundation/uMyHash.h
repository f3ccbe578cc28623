// Content digests: SHA-256 of a file's bytes, with all zeros standing for empty content.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "foundation/Streams.h"

namespace pellmor {

// 32 bytes, the SHA-256 digest in the standard byte order.
using TContentDigest = std::array<uint8_t, 32>;

// SHA-256 of length bytes at buffer, read in place. Uses the CPU's SHA
// instructions when it has them, the portable code otherwise.
void HashBuffer(const void* buffer, size_t length, TContentDigest& digest);
// The two code paths, for tests and benchmarks. On a CPU without the SHA
// instructions HashBufferHardware runs the portable code.
void HashBufferPortable(const void* buffer, size_t length, TContentDigest& digest);
void HashBufferHardware(const void* buffer, size_t length, TContentDigest& digest);
// Whether this CPU has the instructions HashBufferHardware needs.
bool HasShaInstructions();

bool DigestsEqual(const TContentDigest& a, const TContentDigest& b);

// The digest rule of every owner of content: all zeros for an empty stream,
// otherwise SHA-256 of the stream's whole buffer (its position is ignored).
void ContentDigest(const TMemoryStream& stream, TContentDigest& digest);
// The same rule for length bytes at buffer.
void ContentDigest(const void* buffer, size_t length, TContentDigest& digest);

// The content digest of bytes that arrive in pieces (a content expanded
// piece by piece, never held whole): the same digest ContentDigest gives
// for all the pieces joined, all zeros when no byte came at all.
class TContentHasher {
 public:
  TContentHasher();
  void Update(const void* bytes, size_t count);
  // How many bytes Update was given.
  uint64_t Size() const { return total_; }
  // The digest; the hasher is spent afterwards.
  void Finish(TContentDigest& digest);

 private:
  uint32_t state_[8];
  uint8_t block_[64];
  size_t fill_ = 0;  // bytes waiting in block_
  uint64_t total_ = 0;
};

}  // namespace pellmor
