#include "foundation/uMyStreamUtils.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/Utf8.h"

namespace pellmor {

namespace {

constexpr int64_t kMaxPrefixedLength = INT32_MAX;

// Refuses before any allocation or read: a damaged length must never make us
// allocate what the stream cannot deliver.
void RequireBytes(const TStream& stream, int64_t count) {
  if (stream.Remaining() < count) throw Exception("Stream read error", ekDamaged);
}

void ReadExact(TStream& stream, void* buffer, size_t count) {
  RequireBytes(stream, static_cast<int64_t>(count));
  stream.ReadBuffer(buffer, count);
}

// The 4-byte prefix is signed; a longer payload would be written with a
// wrapped length and read back as something else.
void WriteLength(TStream& stream, int64_t length, const char* what) {
  if (length > kMaxPrefixedLength)
    throw Exception(Format("%s of %lld bytes is too long to be written (the limit is %lld bytes)",
                           what, static_cast<long long>(length),
                           static_cast<long long>(kMaxPrefixedLength)));
  WriteInt32(stream, static_cast<int32_t>(length));
}

// zlib initialises whatever it reads, so its buffers are not zeroed first:
// zeroing the 256 KiB of a deflate stream cost more than compressing a small
// file, and a store compresses one stream per file.
void* ZlibAlloc(void*, uInt items, uInt size) {
  return std::malloc(static_cast<size_t>(items) * size);
}
void ZlibFree(void*, void* block) { std::free(block); }

// zlib counts in 32-bit units; larger buffers are offered piecewise.
uInt Offer(size_t available) { return static_cast<uInt>(std::min<size_t>(available, UINT_MAX)); }

enum class TZlibOutcome { Done, Failed, TooLarge };

// Drives one deflate or inflate stream over the whole input into output,
// which starts at `initial` bytes and grows by `increment` whenever zlib has
// filled it, up to `limit` bytes. Fails for any zlib failure, for a stream
// that stops making progress before its end (truncated input) and for input
// left over after the end of the stream; TooLarge for output that would
// exceed the limit.
TZlibOutcome RunZlib(int (*code)(z_streamp, int), z_stream& z, const uint8_t* input,
                     size_t inputSize, TMemoryStream& output, size_t initial, size_t increment,
                     size_t limit = SIZE_MAX) {
  size_t consumed = 0, produced = 0;
  // One byte of room beyond the limit shows output that exceeds it, and keeps
  // a buffer to write to when the limit is 0.
  const size_t room = limit == SIZE_MAX ? limit : limit + 1;
  output.SetSize(static_cast<int64_t>(std::min(initial, room)));
  for (;;) {
    const uInt inOffered = Offer(inputSize - consumed);
    const uInt outOffered = Offer(static_cast<size_t>(output.Size()) - produced);
    z.next_in = const_cast<Bytef*>(input + consumed);
    z.avail_in = inOffered;
    z.next_out = output.Memory() + produced;
    z.avail_out = outOffered;
    const bool lastInput = consumed + inOffered == inputSize;
    const int status = code(&z, lastInput ? Z_FINISH : Z_NO_FLUSH);
    consumed += inOffered - z.avail_in;
    produced += outOffered - z.avail_out;
    if (status == Z_STREAM_END) {
      output.SetSize(static_cast<int64_t>(produced));
      if (produced > limit) return TZlibOutcome::TooLarge;
      return consumed == inputSize ? TZlibOutcome::Done : TZlibOutcome::Failed;
    }
    // With the finishing flush, zlib reports a full output buffer as
    // Z_BUF_ERROR; that one only asks for more room. Output past the limit
    // is refused as too large even when the data turns out damaged after it.
    if (status != Z_OK && status != Z_BUF_ERROR)
      return produced > limit ? TZlibOutcome::TooLarge : TZlibOutcome::Failed;
    if (produced == static_cast<size_t>(output.Size())) {
      if (produced >= room) return TZlibOutcome::TooLarge;
      output.SetSize(static_cast<int64_t>(std::min(room - produced, increment) + produced));
    } else if (inOffered == z.avail_in && outOffered == z.avail_out) {
      return TZlibOutcome::Failed;
    }
  }
}

z_stream NewZlibStream() {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  z.zalloc = ZlibAlloc;
  z.zfree = ZlibFree;
  return z;
}

// Hands the finished buffer to target without a copy; target's old content
// is released with the buffer object.
void ReplaceContent(TMemoryStream& target, TMemoryStream& result) {
  result.ShrinkToFit();
  result.SetPosition(0);
  target.Swap(result);
}

}  // namespace

void WriteInt32(TStream& stream, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                            static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
  stream.WriteBuffer(bytes, sizeof bytes);
}

int32_t ReadInt32(TStream& stream) {
  uint8_t bytes[4];
  ReadExact(stream, bytes, sizeof bytes);
  return static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 |
                              uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24);
}

void WriteInt64(TStream& stream, int64_t value) {
  const auto bits = static_cast<uint64_t>(value);
  WriteInt32(stream, static_cast<int32_t>(static_cast<uint32_t>(bits)));
  WriteInt32(stream, static_cast<int32_t>(static_cast<uint32_t>(bits >> 32)));
}

int64_t ReadInt64(TStream& stream) {
  RequireBytes(stream, 8);
  const auto low = static_cast<uint32_t>(ReadInt32(stream));
  const auto high = static_cast<uint32_t>(ReadInt32(stream));
  return static_cast<int64_t>(uint64_t{high} << 32 | low);
}

void WriteByte(TStream& stream, uint8_t value) { stream.WriteBuffer(&value, 1); }

uint8_t ReadByte(TStream& stream) {
  uint8_t value;
  ReadExact(stream, &value, 1);
  return value;
}

void WriteRaw8(TStream& stream, uint64_t value) { stream.WriteBuffer(&value, sizeof value); }

void ReadRaw8(TStream& stream, uint64_t& value) { ReadExact(stream, &value, sizeof value); }

void WriteDigest(TStream& stream, const TContentDigest& digest) {
  stream.WriteBuffer(digest.data(), digest.size());
}

void ReadDigest(TStream& stream, TContentDigest& digest) {
  ReadExact(stream, digest.data(), digest.size());
}

void WriteString(TStream& stream, const std::string& text) {
  WriteLength(stream, static_cast<int64_t>(text.size()), "A string");
  stream.WriteBuffer(text.data(), text.size());
}

std::string ReadString(TStream& stream) {
  const int32_t length = ReadInt32(stream);
  if (length <= 0) return {};
  RequireBytes(stream, length);
  std::string text(static_cast<size_t>(length), '\0');
  stream.ReadBuffer(text.data(), text.size());
  return text;
}

void WriteUtf8String(TStream& stream, const std::string& text) {
  WriteString(stream, ToWellFormedUtf8(text));
}

std::string ReadUtf8String(TStream& stream) {
  std::string text = ReadString(stream);
  return IsWellFormedUtf8(text) ? text : std::string();
}

void WriteBlock(TStream& target, TStream& source) {
  if (auto* memory = dynamic_cast<TMemoryStream*>(&source)) {
    const int64_t length = memory->Size();
    WriteLength(target, length, "A block");
    target.WriteBuffer(memory->Memory(), static_cast<size_t>(length));
    return;
  }
  const int64_t length = source.Size();
  WriteLength(target, length, "A block");
  target.CopyFrom(source, length);
}

void ReadBlock(TStream& target, TStream& source) {
  const int32_t length = ReadInt32(source);
  if (length <= 0) return;
  RequireBytes(source, length);
  target.CopyFrom(source, length);
}

void CopyToMemoryStream(TMemoryStream& target, TStream& source) {
  source.SetPosition(0);
  if (&target == &source) return;  // already its own copy; clearing it first would lose it
  target.SetSize(0);
  target.SetPosition(0);
  target.CopyFrom(source, source.Size());
  target.SetPosition(0);
}

void CompressMemoryStream(TMemoryStream& source, TMemoryStream& target) {
  // libdeflate at level 9 writes one standard zlib stream (32 KiB window,
  // header 78 DA as zlib's own level 9 writes it) several times faster than
  // zlib. Each thread keeps its compressor: making one costs more than
  // compressing a small file.
  struct TCompressorFree {
    void operator()(libdeflate_compressor* compressor) const {
      libdeflate_free_compressor(compressor);
    }
  };
  thread_local const std::unique_ptr<libdeflate_compressor, TCompressorFree> compressor(
      libdeflate_alloc_compressor(9));
  if (!compressor) throw ECompressionError();
  source.SetPosition(0);
  const auto n = static_cast<size_t>(source.Size());
  const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), n);
  TMemoryStream result;
  result.SetSize(static_cast<int64_t>(bound));
  const size_t written =
      libdeflate_zlib_compress(compressor.get(), source.Memory(), n, result.Memory(), bound);
  if (written == 0) throw ECompressionError();
  result.SetSize(static_cast<int64_t>(written));
  ReplaceContent(target, result);
}

void DecompressMemoryStream(TMemoryStream& source, TMemoryStream& target, int64_t maxSize) {
  source.SetPosition(0);
  const auto n = static_cast<size_t>(source.Size());
  const size_t increment = (n + 255) & ~size_t{255};
  TMemoryStream result;
  z_stream z = NewZlibStream();
  if (inflateInit(&z) != Z_OK) throw EDecompressionError();
  const size_t limit = static_cast<size_t>(std::max<int64_t>(maxSize, 0));
  TZlibOutcome outcome = TZlibOutcome::Failed;
  try {
    if (n != 0)
      outcome = RunZlib(inflate, z, source.Memory(), n, result, increment, increment, limit);
  } catch (...) {
    inflateEnd(&z);
    throw;
  }
  if (inflateEnd(&z) < 0) throw EDecompressionError();
  if (outcome == TZlibOutcome::TooLarge) throw EDecompressionTooLarge(maxSize);
  if (outcome != TZlibOutcome::Done) throw EDecompressionError();
  ReplaceContent(target, result);
}

int64_t MaxInflatedSize(int64_t compressedSize) {
  constexpr int64_t kMaxRatio = 1032;
  if (compressedSize <= 0) return 0;
  if (compressedSize > INT64_MAX / kMaxRatio) return INT64_MAX;
  return compressedSize * kMaxRatio;
}

void InflateToSink(TStream& source, int64_t count, int64_t maxSize, const TByteSink& sink) {
  constexpr size_t kInputPiece = 64 * 1024;
  constexpr size_t kOutputPiece = 256 * 1024;
  if (count <= 0) throw EDecompressionError();  // no bytes are no zlib stream
  RequireBytes(source, count);
  z_stream z = NewZlibStream();
  if (inflateInit(&z) != Z_OK) throw EDecompressionError();
  struct Ender {
    z_stream& z;
    ~Ender() { inflateEnd(&z); }
  } ender{z};
  std::vector<uint8_t> input(static_cast<size_t>(std::min<int64_t>(count, kInputPiece)));
  std::vector<uint8_t> output(kOutputPiece);
  int64_t unread = count;
  int64_t produced = 0;
  bool needInput = true;
  for (;;) {
    if (needInput && z.avail_in == 0) {
      if (unread == 0) throw EDecompressionError();  // cut short
      const auto n = static_cast<size_t>(std::min<int64_t>(unread, kInputPiece));
      source.ReadBuffer(input.data(), n);
      unread -= static_cast<int64_t>(n);
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = output.data();
    z.avail_out = static_cast<uInt>(output.size());
    const int status = inflate(&z, Z_NO_FLUSH);
    const size_t got = output.size() - z.avail_out;
    // Bytes past the bound are refused as too many even when the data turns
    // out damaged later in the same piece, as expanding the block whole does.
    if (produced + static_cast<int64_t>(got) > maxSize) throw EDecompressionTooLarge(maxSize);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
      throw EDecompressionError();
    if (got > 0) {
      produced += static_cast<int64_t>(got);
      sink(output.data(), got);
    }
    if (status == Z_STREAM_END) break;
    // Room left in the output means zlib has used up its input and wants more.
    needInput = z.avail_out != 0;
    if (needInput && z.avail_in != 0) throw EDecompressionError();
  }
  // Exactly one stream: nothing may follow its end.
  if (z.avail_in != 0 || unread != 0) throw EDecompressionError();
}

}  // namespace pellmor
