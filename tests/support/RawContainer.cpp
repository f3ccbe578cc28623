#include "tests/support/RawContainer.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

#include "foundation/Streams.h"
#include "foundation/uMyStreamUtils.h"

namespace pellmor::test {

namespace {

constexpr size_t kMebibyte = 1 << 20;

}  // namespace

std::string RawContainer(int32_t number, int32_t previous, int32_t next,
                         const std::vector<RawEntry>& entries) {
  TMemoryStream file;
  WriteString(file, "Quarv");
  WriteInt32(file, 1);
  WriteInt32(file, number);
  WriteInt32(file, previous);
  WriteInt32(file, next);
  WriteString(file, "Ann");
  WriteString(file, "ann@example.com");
  WriteString(file, "raw");
  WriteRaw8(file, 133000000000000000ULL);
  WriteInt32(file, static_cast<int32_t>(entries.size()));
  std::vector<int64_t> slots;
  for (const RawEntry& entry : entries) {
    WriteString(file, entry.Name);
    WriteInt32(file, 1);
    WriteByte(file, entry.Deleted ? 1 : 0);
    WriteByte(file, 0);
    WriteByte(file, entry.Compressed ? 1 : 0);
    WriteByte(file, 2);
    WriteInt32(file, entry.DataRevision != 0 ? entry.DataRevision : number);
    WriteDigest(file, entry.Hash);
    WriteInt32(file, static_cast<int32_t>(entry.Attributes));
    for (int i = 0; i < 3; ++i) WriteRaw8(file, 133000000000000000ULL);
    slots.push_back(file.Position());
    WriteInt64(file, 0);
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    const int64_t offset = file.Position();
    WriteInt32(file, static_cast<int32_t>(entries[i].Block.size()));
    file.WriteBuffer(entries[i].Block.data(), entries[i].Block.size());
    const int64_t end = file.Position();
    file.SetPosition(slots[i]);
    WriteInt64(file, offset);
    file.SetPosition(end);
  }
  return std::string(reinterpret_cast<const char*>(file.Memory()), file.Size());
}

std::string ZerosZlibStream(int64_t mebibytes) {
  // A full flush ends each mebibyte on a byte boundary with nothing carried
  // over, so every mebibyte after the first compresses to the same bytes.
  const std::string zeros(kMebibyte, '\0');
  z_stream z{};
  if (deflateInit(&z, 9) != Z_OK) throw std::runtime_error("deflateInit failed");
  std::string pieces[2];
  for (std::string& piece : pieces) {
    std::string out(kMebibyte, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    z.avail_in = static_cast<uInt>(zeros.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FULL_FLUSH) != Z_OK || z.avail_in != 0)
      throw std::runtime_error("deflate failed");
    piece = out.substr(0, out.size() - z.avail_out);
  }
  deflateEnd(&z);
  const std::string& repeated = pieces[1];
  std::string stream = pieces[0];  // the zlib header and the first mebibyte
  for (int64_t i = 1; i < mebibytes; ++i) stream += repeated;
  stream += std::string("\x03\x00", 2);  // the last block: empty, fixed codes
  const uLong one = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(zeros.data()),
                            static_cast<uInt>(zeros.size()));
  uLong check = one;
  for (int64_t i = 1; i < mebibytes; ++i) check = adler32_combine(check, one, kMebibyte);
  for (int shift = 24; shift >= 0; shift -= 8) stream += static_cast<char>((check >> shift) & 0xFF);
  return stream;
}

TContentDigest ZerosDigest(int64_t mebibytes) {
  const std::string zeros(kMebibyte, '\0');
  TContentHasher hasher;
  for (int64_t i = 0; i < mebibytes; ++i) hasher.Update(zeros.data(), zeros.size());
  TContentDigest digest;
  hasher.Finish(digest);
  return digest;
}

}  // namespace pellmor::test
