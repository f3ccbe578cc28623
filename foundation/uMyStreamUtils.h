// The byte encodings of the store's binary files: little-endian integers,
// length-prefixed strings and byte blocks, and whole-buffer zlib compression.
//
// Every read insists on the bytes it needs: a stream that ends early, or a
// length prefix larger than what remains, raises "Stream read error"
// (ekDamaged) before anything is allocated. A string or block longer than 2^31-1 bytes cannot be
// written in the 4-byte prefix and raises an error instead of wrapping.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/Exception.h"
#include "foundation/Streams.h"
#include "foundation/uMyHash.h"

namespace pellmor {

// zlib failures; the message is "Error". Data that does not decompress is
// damaged (ekDamaged).
class EZlibError : public Exception {
 public:
  using Exception::Exception;
};
class ECompressionError : public EZlibError {
 public:
  ECompressionError() : EZlibError("Error") {}
};
class EDecompressionError : public EZlibError {
 public:
  EDecompressionError() : EZlibError("Error", ekDamaged) {}
};
// Data that would expand to more than the bound its reader set (Limit()):
// refused before the bytes beyond the bound are held or handed on.
class EDecompressionTooLarge : public EDecompressionError {
 public:
  explicit EDecompressionTooLarge(int64_t limit) : limit_(limit) {}
  int64_t Limit() const { return limit_; }

 private:
  int64_t limit_;
};

// Receives bytes piece by piece.
using TByteSink = std::function<void(const uint8_t* bytes, size_t count)>;

void WriteInt32(TStream& stream, int32_t value);
int32_t ReadInt32(TStream& stream);
void WriteInt64(TStream& stream, int64_t value);
int64_t ReadInt64(TStream& stream);
// Flags are written as 0 or 1; read back, any non-zero byte is true.
void WriteByte(TStream& stream, uint8_t value);
uint8_t ReadByte(TStream& stream);
// 8 bytes copied as they are (time stamps).
void WriteRaw8(TStream& stream, uint64_t value);
void ReadRaw8(TStream& stream, uint64_t& value);
void WriteDigest(TStream& stream, const TContentDigest& digest);
void ReadDigest(TStream& stream, TContentDigest& digest);

// 4-byte signed length L, then L bytes; L of 0 or below reads as empty.
void WriteString(TStream& stream, const std::string& text);
std::string ReadString(TStream& stream);
// The same, the text held as UTF-8 on the stream. Text is UTF-8 in memory
// too, so both are the identity for well-formed text; ill-formed bytes read
// back as the empty string.
void WriteUtf8String(TStream& stream, const std::string& text);
std::string ReadUtf8String(TStream& stream);

// A byte block: the source's size L as a 4-byte signed count, then the bytes.
// A memory source is written whole from its first byte whatever its position;
// any other source from its position.
void WriteBlock(TStream& target, TStream& source);
// Reads a block and writes its bytes to target at target's position; a length
// of 0 or below leaves target untouched.
void ReadBlock(TStream& target, TStream& source);

// target := the whole of source (from its start), target positioned at 0.
void CopyToMemoryStream(TMemoryStream& target, TStream& source);

// One zlib stream (deflate level 9, 32 KiB window, written by libdeflate) of
// the whole source; target is replaced only when compression succeeded (position 0).
// Source and target may be the same stream. Raises ECompressionError.
void CompressMemoryStream(TMemoryStream& source, TMemoryStream& target);
// The inverse; raises EDecompressionError for data that is not one whole zlib
// stream, and EDecompressionTooLarge for data that expands to more than
// maxSize bytes (a bound for data read from a file, whose few bytes could
// otherwise expand without end), leaving target untouched.
void DecompressMemoryStream(TMemoryStream& source, TMemoryStream& target,
                            int64_t maxSize = INT64_MAX);

// The most bytes that compressedSize bytes of zlib data can expand to:
// deflate codes at most 258 bytes in two bits, 1032 bytes per byte.
int64_t MaxInflatedSize(int64_t compressedSize);

// Expands the zlib stream of the next count bytes of source, handing the
// result to sink in pieces of at most 256 KiB and holding no more than one
// piece, so that memory stays small whatever the data expands to. Raises as
// DecompressMemoryStream does (EDecompressionTooLarge before sink sees a byte
// beyond maxSize), and "Stream read error" when source holds fewer than count
// bytes. source is left after the count bytes, unless an error was raised.
void InflateToSink(TStream& source, int64_t count, int64_t maxSize, const TByteSink& sink);

}  // namespace pellmor
