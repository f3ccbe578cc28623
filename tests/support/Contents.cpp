#include "tests/support/Contents.h"

namespace pellmor::test {

std::string BytesOf(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()),
                     static_cast<size_t>(stream.Size()));
}

TContentDigest DigestOf(const std::string& bytes) {
  TMemoryStream stream;
  stream.Assign(bytes.data(), bytes.size());
  TContentDigest digest;
  ContentDigest(stream, digest);
  return digest;
}

}  // namespace pellmor::test
