#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "foundation/uMyStreamUtils.h"
#include "tests/support/ErrorText.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Content(const TMemoryStream& stream) {
  return Bytes(stream.Memory(), stream.Memory() + stream.Size());
}

void Load(TMemoryStream& stream, const Bytes& bytes) { stream.Assign(bytes.data(), bytes.size()); }

void Load(TMemoryStream& stream, const std::string& text) {
  stream.Assign(text.data(), text.size());
}

struct WriteCase {
  const char* name;
  std::function<void(TStream&)> write;
  Bytes expected;
};

TEST(StreamPrimitivesTest, ByteImages) {
  const TContentDigest digest = [] {
    TContentDigest d;
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(i + 1);
    return d;
  }();
  Bytes digestBytes(digest.begin(), digest.end());
  const std::vector<WriteCase> cases = {
      {"Int32 1", [](TStream& s) { WriteInt32(s, 1); }, {0x01, 0x00, 0x00, 0x00}},
      {"Int32 -2", [](TStream& s) { WriteInt32(s, -2); }, {0xFE, 0xFF, 0xFF, 0xFF}},
      {"Int64 13", [](TStream& s) { WriteInt64(s, 13); }, {0x0D, 0, 0, 0, 0, 0, 0, 0}},
      {"Int64 high word",
       [](TStream& s) { WriteInt64(s, 0x0102030405060708LL); },
       {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}},
      {"Int64 -1", [](TStream& s) { WriteInt64(s, -1); }, Bytes(8, 0xFF)},
      {"Byte", [](TStream& s) { WriteByte(s, 0xA5); }, {0xA5}},
      {"Raw8 (memory form)",
       [](TStream& s) { WriteRaw8(s, 0x1122334455667788ULL); },
       {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}},
      {"empty string", [](TStream& s) { WriteString(s, ""); }, {0, 0, 0, 0}},
      {"abc", [](TStream& s) { WriteString(s, "abc"); }, {0x03, 0, 0, 0, 0x61, 0x62, 0x63}},
      {"string with NUL",
       [](TStream& s) { WriteString(s, std::string("a\0b", 3)); },
       {0x03, 0, 0, 0, 0x61, 0x00, 0x62}},
      {"UTF-8 e-acute counts bytes",
       [](TStream& s) { WriteUtf8String(s, "\xC3\xA9"); },
       {0x02, 0, 0, 0, 0xC3, 0xA9}},
      {"UTF-8 euro sign",
       [](TStream& s) { WriteUtf8String(s, "\xE2\x82\xAC"); },
       {0x03, 0, 0, 0, 0xE2, 0x82, 0xAC}},
      {"ill-formed byte written as U+FFFD",
       [](TStream& s) { WriteUtf8String(s, "a\xFFz"); },
       {0x05, 0, 0, 0, 'a', 0xEF, 0xBF, 0xBD, 'z'}},
      {"Digest", [&](TStream& s) { WriteDigest(s, digest); }, digestBytes},
      {"empty block",
       [](TStream& s) {
         TMemoryStream empty;
         WriteBlock(s, empty);
       },
       {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    TMemoryStream stream;
    c.write(stream);
    EXPECT_EQ(Content(stream), c.expected) << c.name;
    EXPECT_EQ(stream.Position(), static_cast<int64_t>(c.expected.size())) << c.name;
  }
}

TEST(StreamPrimitivesTest, ValuesReadBackInOrder) {
  TMemoryStream stream;
  TContentDigest digest{};
  digest[31] = 0x42;
  WriteInt32(stream, INT32_MIN);
  WriteInt64(stream, INT64_MIN + 5);
  WriteByte(stream, 7);
  WriteRaw8(stream, 0xDEADBEEFCAFEF00DULL);
  WriteDigest(stream, digest);
  WriteString(stream, "name\\with\\slashes");
  WriteUtf8String(stream, "caf\xC3\xA9 \xE2\x82\xAC");
  WriteString(stream, "");

  stream.SetPosition(0);
  EXPECT_EQ(ReadInt32(stream), INT32_MIN);
  EXPECT_EQ(ReadInt64(stream), INT64_MIN + 5);
  EXPECT_EQ(ReadByte(stream), 7);
  uint64_t raw = 0;
  ReadRaw8(stream, raw);
  EXPECT_EQ(raw, 0xDEADBEEFCAFEF00DULL);
  TContentDigest readDigest{};
  ReadDigest(stream, readDigest);
  EXPECT_EQ(readDigest, digest);
  EXPECT_EQ(ReadString(stream), "name\\with\\slashes");
  EXPECT_EQ(ReadUtf8String(stream), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(ReadString(stream), "");
  EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(StreamPrimitivesTest, NonPositiveLengthPrefixReadsAsEmptyAndConsumesOnlyThePrefix) {
  for (const Bytes& prefix :
       {Bytes{0, 0, 0, 0}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}, Bytes{0x00, 0x00, 0x00, 0x80}}) {
    Bytes image = prefix;
    image.push_back(0x5A);  // the next field
    TMemoryStream stream;
    Load(stream, image);
    EXPECT_EQ(ReadString(stream), "");
    EXPECT_EQ(stream.Position(), 4);
    stream.SetPosition(0);
    EXPECT_EQ(ReadUtf8String(stream), "");
    EXPECT_EQ(stream.Position(), 4);

    stream.SetPosition(0);
    TMemoryStream target;
    Load(target, std::string("keep"));
    target.SetPosition(2);
    ReadBlock(target, stream);
    EXPECT_EQ(Content(target), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(target.Position(), 2);
    EXPECT_EQ(ReadByte(stream), 0x5A);
  }
}

TEST(StreamPrimitivesTest, IllFormedUtf8ReadsAsEmpty) {
  const std::vector<std::string> illFormed = {
      "\x80",              // continuation byte alone
      "abc\xC3",           // sequence cut short
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong, three bytes
      "\xED\xA0\x80",      // UTF-16 surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xFE",
  };
  for (const auto& bytes : illFormed) {
    TMemoryStream stream;
    WriteString(stream, bytes);
    WriteInt32(stream, 99);
    stream.SetPosition(0);
    EXPECT_EQ(ReadUtf8String(stream), "") << testing::PrintToString(bytes);
    EXPECT_EQ(ReadInt32(stream), 99) << "the bytes are consumed all the same";
  }
  for (const std::string wellFormed : {"\xF0\x9F\x98\x80", "\xEF\xBB\xBF", "\xF4\x8F\xBF\xBF"}) {
    TMemoryStream stream;
    WriteString(stream, wellFormed);
    stream.SetPosition(0);
    EXPECT_EQ(ReadUtf8String(stream), wellFormed);
  }
}

// Every read insists on its bytes, and a damaged length prefix is refused
// before anything is allocated or consumed past the prefix.
TEST(StreamPrimitivesTest, TruncatedStreamsRaiseReadError) {
  struct ReadCase {
    const char* name;
    Bytes image;
    std::function<void(TStream&)> read;
  };
  const std::vector<ReadCase> cases = {
      {"Int32 of 3 bytes", {1, 2, 3}, [](TStream& s) { ReadInt32(s); }},
      {"Int64 of 7 bytes", {1, 2, 3, 4, 5, 6, 7}, [](TStream& s) { ReadInt64(s); }},
      {"Byte at the end", {}, [](TStream& s) { ReadByte(s); }},
      {"Raw8 of 4 bytes",
       {1, 2, 3, 4},
       [](TStream& s) {
         uint64_t v;
         ReadRaw8(s, v);
       }},
      {"Digest of 31 bytes", Bytes(31, 1),
       [](TStream& s) {
         TContentDigest d;
         ReadDigest(s, d);
       }},
      {"string shorter than its prefix", {5, 0, 0, 0, 'a', 'b'}, [](TStream& s) { ReadString(s); }},
      {"UTF-8 string shorter than its prefix",
       {3, 0, 0, 0, 'a'},
       [](TStream& s) { ReadUtf8String(s); }},
      {"string prefix of 2 GiB - 1",
       {0xFF, 0xFF, 0xFF, 0x7F, 'x'},
       [](TStream& s) { ReadString(s); }},
      {"block prefix of 2 GiB - 1",
       {0xFF, 0xFF, 0xFF, 0x7F, 'x'},
       [](TStream& s) {
         TMemoryStream target;
         ReadBlock(target, s);
       }},
  };
  for (const auto& c : cases) {
    TMemoryStream stream;
    Load(stream, c.image);
    EXPECT_EQ(test::ErrorOf([&] { c.read(stream); }), "Stream read error") << c.name;
  }
}

TEST(StreamPrimitivesTest, TruncatedReadsFromAFileRaiseReadError) {
  test::TempDir dir;
  test::WriteFile(dir / "short.dat", std::string("\x10\x00\x00\x00"
                                                 "abc",
                                                 7));
  TFileStream file(dir / "short.dat", TFileStream::Mode::OpenRead);
  EXPECT_EQ(test::ErrorOf([&] { ReadString(file); }), "Stream read error");
  file.SetPosition(0);
  TMemoryStream target;
  EXPECT_EQ(test::ErrorOf([&] { ReadBlock(target, file); }), "Stream read error");
  EXPECT_EQ(target.Size(), 0);
}

TEST(StreamPrimitivesTest, BlocksRoundTripAndLeaveTheSourceAfterTheBlock) {
  TMemoryStream payload;
  Load(payload, std::string("0123456789"));
  payload.SetPosition(7);  // a memory source is written whole regardless

  TMemoryStream stream;
  WriteBlock(stream, payload);
  WriteInt32(stream, 77);
  EXPECT_EQ(payload.Position(), 7);
  EXPECT_EQ(stream.Size(), 4 + 10 + 4);

  stream.SetPosition(0);
  TMemoryStream block;
  ReadBlock(block, stream);
  EXPECT_EQ(Content(block), Content(payload));
  EXPECT_EQ(block.Position(), 10);
  EXPECT_EQ(ReadInt32(stream), 77);
}

TEST(StreamPrimitivesTest, BlocksBetweenFilesAndMemory) {
  test::TempDir dir;
  const std::string content = "file content\r\nsecond line";
  test::WriteFile(dir / "source.txt", content);
  {
    TFileStream source(dir / "source.txt", TFileStream::Mode::OpenRead);
    TFileStream target(dir / "blocks.dat", TFileStream::Mode::Create);
    WriteBlock(target, source);
    WriteByte(target, 1);
  }
  TFileStream blocks(dir / "blocks.dat", TFileStream::Mode::OpenRead);
  TMemoryStream block;
  ReadBlock(block, blocks);
  EXPECT_EQ(std::string(block.Memory(), block.Memory() + block.Size()), content);
  EXPECT_EQ(ReadByte(blocks), 1);
}

// Claims a size that a 4-byte prefix cannot express; holds no bytes.
class OversizeStream : public TStream {
 public:
  size_t Read(void*, size_t) override { return 0; }
  size_t Write(const void*, size_t) override { return 0; }
  int64_t Size() const override { return int64_t{INT32_MAX} + 1; }
  void SetSize(int64_t) override {}
  int64_t Position() const override { return 0; }
  void SetPosition(int64_t) override {}
  std::string FileName() const override { return "(oversize stream)"; }
};

TEST(StreamPrimitivesTest, OversizeBlockIsRefusedInsteadOfWrappingItsLength) {
  OversizeStream huge;
  TMemoryStream target;
  EXPECT_EQ(
      test::ErrorOf([&] { WriteBlock(target, huge); }),
      "A block of 2147483648 bytes is too long to be written (the limit is 2147483647 bytes)");
  EXPECT_EQ(target.Size(), 0);
}

TEST(StreamPrimitivesTest, CopyToMemoryStreamCopiesTheWholeSource) {
  test::TempDir dir;
  test::WriteFile(dir / "data.bin", "abcdefgh");
  TFileStream file(dir / "data.bin", TFileStream::Mode::OpenRead);
  file.SetPosition(5);
  TMemoryStream target;
  Load(target, std::string("previous content that is longer"));
  target.SetPosition(20);
  CopyToMemoryStream(target, file);
  EXPECT_EQ(Content(target), (Bytes{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}));
  EXPECT_EQ(target.Position(), 0);
  EXPECT_EQ(file.Position(), 8);

  // A stream copied onto itself keeps its content.
  CopyToMemoryStream(target, target);
  EXPECT_EQ(target.Size(), 8);
  EXPECT_EQ(target.Memory()[0], 'a');
  EXPECT_EQ(target.Position(), 0);
}

TEST(CompressionTest, EmptyInputGivesAWholeZlibStream) {
  // The level 9 header, one empty final block (a stored one, as libdeflate
  // writes it), and the Adler-32 of nothing.
  TMemoryStream source, compressed, restored;
  CompressMemoryStream(source, compressed);
  EXPECT_EQ(Content(compressed),
            (Bytes{0x78, 0xDA, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_EQ(compressed.Position(), 0);
  DecompressMemoryStream(compressed, restored);
  EXPECT_EQ(restored.Size(), 0);
}

TEST(CompressionTest, RoundTripsAndStartsWithTheLevel9Header) {
  std::mt19937 random(7);
  std::string text;
  while (text.size() < 300000) text += "procedure Line" + std::to_string(random() % 500) + ";\r\n";
  std::string noise(70000, '\0');
  for (auto& c : noise) c = static_cast<char>(random());

  for (const std::string& input : {std::string("x"), text, noise}) {
    TMemoryStream source, compressed, restored;
    Load(source, input);
    source.SetPosition(3);
    CompressMemoryStream(source, compressed);
    EXPECT_EQ(source.Position(), 0);
    ASSERT_GE(compressed.Size(), 6);
    EXPECT_EQ(compressed.Memory()[0], 0x78);
    EXPECT_EQ(compressed.Memory()[1], 0xDA);
    DecompressMemoryStream(compressed, restored);
    EXPECT_EQ(restored.Position(), 0);
    EXPECT_EQ(std::string(restored.Memory(), restored.Memory() + restored.Size()), input);
  }
}

// Highly compressible input makes the output many times the first buffer,
// which then grows step by step.
TEST(CompressionTest, DecompressionGrowsFarBeyondTheInputSize) {
  TMemoryStream stream;
  Load(stream, std::string(5 << 20, 'z'));
  CompressMemoryStream(stream, stream);  // same stream as source and target
  EXPECT_LT(stream.Size(), 20000);
  DecompressMemoryStream(stream, stream);
  ASSERT_EQ(stream.Size(), 5 << 20);
  EXPECT_EQ(std::string(stream.Memory(), stream.Memory() + stream.Size()),
            std::string(5 << 20, 'z'));
}

// A bound on the expanded size: data that expands to exactly the bound is
// accepted, one byte more is an error that leaves the target alone.
TEST(CompressionTest, DecompressionStopsAtTheGivenBound) {
  TMemoryStream compressed;
  Load(compressed, std::string(100000, 'z'));
  CompressMemoryStream(compressed, compressed);
  for (const int64_t bound : {int64_t{100000}, int64_t{100001}, int64_t{1} << 40}) {
    TMemoryStream target;
    DecompressMemoryStream(compressed, target, bound);
    EXPECT_EQ(target.Size(), 100000) << bound;
  }
  for (const int64_t bound : {int64_t{99999}, int64_t{256}, int64_t{0}}) {
    TMemoryStream target;
    Load(target, std::string("untouched"));
    try {
      DecompressMemoryStream(compressed, target, bound);
      ADD_FAILURE() << "no error for the bound " << bound;
    } catch (const EDecompressionTooLarge& e) {
      EXPECT_EQ(e.Limit(), bound);
    }
    EXPECT_EQ(target.Size(), 9) << bound;
  }
  TMemoryStream empty, target;
  CompressMemoryStream(empty, empty);
  DecompressMemoryStream(empty, target, 0);
  EXPECT_EQ(target.Size(), 0);
}

TEST(CompressionTest, DamagedInputRaisesDecompressionErrorAndLeavesTargetAlone) {
  TMemoryStream original, good;
  Load(original, std::string(4000, 'q') + "tail");
  CompressMemoryStream(original, good);
  const Bytes zlib = Content(good);

  Bytes badChecksum = zlib;
  badChecksum.back() ^= 1;
  Bytes badHeader = zlib;
  badHeader[1] ^= 0x01;  // header check bits no longer add up
  Bytes trailing = zlib;
  trailing.push_back(0);
  Bytes presetDictionary = {0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00};
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"empty", {}},
      {"not zlib", {'h', 'e', 'l', 'l', 'o'}},
      {"header only", {0x78, 0xDA}},
      {"truncated", Bytes(zlib.begin(), zlib.begin() + zlib.size() / 2)},
      {"checksum missing", Bytes(zlib.begin(), zlib.end() - 4)},
      {"wrong checksum", badChecksum},
      {"wrong header", badHeader},
      {"bytes after the stream", trailing},
      {"asks for a preset dictionary", presetDictionary},
  };
  for (const auto& [name, input] : cases) {
    TMemoryStream source, target;
    Load(source, input);
    Load(target, std::string("untouched"));
    target.SetPosition(4);
    bool raised = false;
    try {
      DecompressMemoryStream(source, target);
    } catch (const EDecompressionError& e) {
      raised = true;
      EXPECT_STREQ(e.what(), "Error") << name;
    }
    EXPECT_TRUE(raised) << name;
    EXPECT_EQ(Content(target), (Bytes{'u', 'n', 't', 'o', 'u', 'c', 'h', 'e', 'd'})) << name;
    EXPECT_EQ(target.Position(), 4) << name;
  }
}

// What a reader gets from expanding the data piece by piece: the bytes, or
// how it failed.
struct Streamed {
  std::string bytes;
  size_t largestPiece = 0;
  std::string failure;  // "", "damaged" or "too large"
};

Streamed Stream(const Bytes& data, int64_t bound) {
  TMemoryStream source;
  Load(source, data);
  Streamed result;
  try {
    InflateToSink(source, source.Size(), bound, [&](const uint8_t* bytes, size_t count) {
      result.bytes.append(reinterpret_cast<const char*>(bytes), count);
      result.largestPiece = std::max(result.largestPiece, count);
    });
    EXPECT_EQ(source.Position(), source.Size());
  } catch (const EDecompressionTooLarge& e) {
    EXPECT_EQ(e.Limit(), bound);
    result.failure = "too large";
  } catch (const EDecompressionError&) {
    result.failure = "damaged";
  }
  return result;
}

TEST(CompressionTest, StreamedExpansionGivesTheBytesInBoundedPieces) {
  std::string input;
  for (int i = 0; i < 200000; ++i) input += static_cast<char>('a' + i % 7 * (i % 13));
  input += std::string(3 << 20, 'z');
  TMemoryStream packed;
  Load(packed, input);
  CompressMemoryStream(packed, packed);
  const Streamed streamed = Stream(Content(packed), INT64_MAX);
  EXPECT_EQ(streamed.failure, "");
  EXPECT_TRUE(streamed.bytes == input);
  EXPECT_LE(streamed.largestPiece, size_t{256} * 1024);

  // The bound as the whole expansion keeps it: exactly enough passes, one
  // byte less is refused before the sink sees a byte beyond it.
  EXPECT_EQ(Stream(Content(packed), static_cast<int64_t>(input.size())).failure, "");
  const Streamed cut = Stream(Content(packed), static_cast<int64_t>(input.size()) - 1);
  EXPECT_EQ(cut.failure, "too large");
  EXPECT_LT(cut.bytes.size(), input.size());
}

TEST(CompressionTest, StreamedExpansionRefusesWhatTheWholeExpansionRefuses) {
  TMemoryStream original, good;
  Load(original, std::string(4000, 'q') + "tail");
  CompressMemoryStream(original, good);
  const Bytes zlib = Content(good);
  Bytes badChecksum = zlib;
  badChecksum.back() ^= 1;
  Bytes trailing = zlib;
  trailing.push_back(0);
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"empty", {}},
      {"not zlib", {'h', 'e', 'l', 'l', 'o'}},
      {"truncated", Bytes(zlib.begin(), zlib.begin() + zlib.size() / 2)},
      {"checksum missing", Bytes(zlib.begin(), zlib.end() - 4)},
      {"wrong checksum", badChecksum},
      {"bytes after the stream", trailing},
  };
  for (const auto& [name, input] : cases)
    EXPECT_EQ(Stream(input, INT64_MAX).failure, "damaged") << name;
}

TEST(CompressionTest, DeflateExpandsABlockAtMostAThousandAndThirtyTwoFold) {
  // 64 MiB of one byte value is about as compressible as deflate allows.
  TMemoryStream packed;
  Load(packed, std::string(64 << 20, 'x'));
  CompressMemoryStream(packed, packed);
  EXPECT_LE(int64_t{64} << 20, MaxInflatedSize(packed.Size()));
  EXPECT_EQ(MaxInflatedSize(0), 0);
  EXPECT_EQ(MaxInflatedSize(1000), 1032000);
  EXPECT_EQ(MaxInflatedSize(INT64_MAX / 2), INT64_MAX);
}

TEST(CompressionTest, ErrorsDeriveFromTheZlibAndGeneralErrorClasses) {
  TMemoryStream source, target;
  Load(source, std::string("junk"));
  EXPECT_THROW(DecompressMemoryStream(source, target), EZlibError);
  EXPECT_THROW(DecompressMemoryStream(source, target), Exception);
}

}  // namespace
}  // namespace pellmor
