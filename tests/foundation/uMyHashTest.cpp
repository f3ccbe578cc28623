#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "foundation/uMyHash.h"

namespace pellmor {
namespace {

std::string Hex(const TContentDigest& digest) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (uint8_t b : digest) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

using HashFunction = void (*)(const void*, size_t, TContentDigest&);

struct Path {
  const char* name;
  HashFunction hash;
};

// Each code path is checked on its own; the hardware one only where the CPU has it.
class HashPathTest : public testing::TestWithParam<Path> {
 protected:
  void SetUp() override {
    if (GetParam().hash == HashBufferHardware && !HasShaInstructions())
      GTEST_SKIP() << "this CPU has no SHA instructions";
  }
  std::string HashOf(const std::string& message) const {
    TContentDigest digest;
    GetParam().hash(message.data(), message.size(), digest);
    return Hex(digest);
  }
};

// The standard's examples, and lengths around the one-block / two-block
// boundary of the final step (55 | 56, 63 | 64 | 65), 'a' repeated.
TEST_P(HashPathTest, StandardVectorsAndPaddingBoundaries) {
  const std::vector<std::pair<std::string, const char*>> vectors = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmn"
       "opqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& [message, expected] : vectors)
    EXPECT_EQ(HashOf(message), expected) << GetParam().name << ", " << message.size() << " bytes";
}

TEST_P(HashPathTest, ReadsUnalignedBuffersInPlace) {
  std::string padded = "#" + std::string(200, 'a');
  const std::string before = padded;
  TContentDigest digest;
  GetParam().hash(padded.data() + 1, 64, digest);
  EXPECT_EQ(Hex(digest), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
  EXPECT_EQ(padded, before);
}

INSTANTIATE_TEST_SUITE_P(Paths, HashPathTest,
                         testing::Values(Path{"portable", HashBufferPortable},
                                         Path{"hardware", HashBufferHardware},
                                         Path{"dispatched", HashBuffer}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HashTest, HardwareAndPortablePathsAgreeOnRandomData) {
  if (!HasShaInstructions()) GTEST_SKIP() << "this CPU has no SHA instructions";
  std::mt19937 random(12345);
  std::vector<uint8_t> data(70000);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  for (size_t length = 0; length <= 300; ++length) {
    const size_t offset = random() % 64;
    TContentDigest portable, hardware;
    HashBufferPortable(data.data() + offset, length, portable);
    HashBufferHardware(data.data() + offset, length, hardware);
    ASSERT_EQ(Hex(portable), Hex(hardware)) << length << " bytes at offset " << offset;
  }
  TContentDigest portable, hardware;
  HashBufferPortable(data.data(), data.size(), portable);
  HashBufferHardware(data.data(), data.size(), hardware);
  EXPECT_EQ(Hex(portable), Hex(hardware));
}

TEST(ContentDigestTest, EmptyContentIsAllZerosAndPositionIsIgnored) {
  TMemoryStream stream;
  TContentDigest digest;
  digest.fill(0xEE);
  ContentDigest(stream, digest);
  EXPECT_EQ(digest, TContentDigest{});

  stream.Assign("a", 1);
  stream.SetPosition(1);
  ContentDigest(stream, digest);
  EXPECT_EQ(Hex(digest), "ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb");
}

TEST(ContentDigestTest, PiecewiseHashingGivesTheDigestOfTheWhole) {
  std::mt19937 random(777);
  std::vector<uint8_t> data(5000);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  for (const size_t length :
       {size_t{0}, size_t{1}, size_t{55}, size_t{64}, size_t{65}, size_t{1000}, data.size()}) {
    TMemoryStream whole;
    whole.Assign(data.data(), length);
    TContentDigest expected;
    ContentDigest(whole, expected);
    // Pieces of random sizes, empty ones among them, across block boundaries.
    TContentHasher hasher;
    for (size_t done = 0; done < length;) {
      const size_t piece = std::min<size_t>(random() % 150, length - done);
      hasher.Update(data.data() + done, piece);
      done += piece;
    }
    EXPECT_EQ(hasher.Size(), length);
    TContentDigest digest;
    hasher.Finish(digest);
    EXPECT_EQ(Hex(digest), Hex(expected)) << length << " bytes";
  }
}

TEST(ContentDigestTest, DigestsEqualComparesEveryByte) {
  TContentDigest a;
  HashBuffer("abc", 3, a);
  EXPECT_TRUE(DigestsEqual(a, a));
  for (size_t i : {size_t{0}, size_t{13}, size_t{31}}) {
    TContentDigest b = a;
    b[i] ^= 0x01;
    EXPECT_FALSE(DigestsEqual(a, b)) << "byte " << i;
  }
  EXPECT_FALSE(DigestsEqual(a, TContentDigest{}));
}

}  // namespace
}  // namespace pellmor
