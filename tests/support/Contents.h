// Byte strings to and from the program's memory streams and content digests,
// for tests that compare contents.
#pragma once

#include <string>

#include "foundation/Streams.h"
#include "foundation/uMyHash.h"

namespace pellmor::test {

// All bytes of a memory stream, whatever its position.
std::string BytesOf(const TMemoryStream& stream);
// The content digest of bytes (all zeros for none).
TContentDigest DigestOf(const std::string& bytes);

}  // namespace pellmor::test
