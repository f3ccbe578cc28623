#include <gtest/gtest.h>

#include <string>

#include "foundation/Utf8.h"

namespace pellmor {
namespace {

TEST(Utf8Test, RecognisesWellFormedText) {
  struct Case {
    const char* bytes;
    bool well_formed;
  };
  for (const Case& c : {Case{"", true}, Case{"plain ascii", true}, Case{"Zo\xc3\xab", true},
                        Case{"\xe2\x82\xac", true}, Case{"\xf0\x9f\x98\x80", true},
                        Case{"\xe9t\xe9", false},         // Latin-1
                        Case{"\xc3", false},              // cut short
                        Case{"\xc0\xaf", false},          // overlong '/'
                        Case{"\xe0\x80\xaf", false},      // overlong, three bytes
                        Case{"\xed\xa0\x80", false},      // surrogate
                        Case{"\xf4\x90\x80\x80", false},  // above U+10FFFF
                        Case{"\x80", false}}) {           // lone continuation byte
    EXPECT_EQ(IsWellFormedUtf8(c.bytes), c.well_formed) << testing::PrintToString(c.bytes);
  }
}

// Every length of sequence at its edges: encoded, checked and decoded back.
TEST(Utf8Test, EncodesAndDecodesCodePointsOfEveryLength) {
  const std::u32string codes = {0x00,   0x7F,   0x80,   0x7FF,   0x800,   0xD7FF,
                                0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x1F600, 0x10FFFF};
  std::string text;
  for (const char32_t code : codes) AppendUtf8(text, code);
  EXPECT_EQ(text.size(), 1u + 1 + 2 + 2 + 5 * 3 + 3 * 4);
  ASSERT_TRUE(IsWellFormedUtf8(text));
  std::u32string decoded;
  ASSERT_TRUE(DecodeUtf8(text, decoded));
  EXPECT_EQ(decoded, codes);
  EXPECT_FALSE(DecodeUtf8("Caf\xe9", decoded));
}

TEST(Utf8Test, ReplacesEachByteThatStartsNoSequence) {
  EXPECT_EQ(ToWellFormedUtf8("Zo\xc3\xab"), "Zo\xc3\xab");
  EXPECT_EQ(ToWellFormedUtf8("a\xe9"
                             "b\xe2\x82"),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace pellmor
