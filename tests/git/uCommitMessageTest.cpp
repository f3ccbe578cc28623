#include <gtest/gtest.h>

#include "foundation/Utf8.h"
#include "git/uCommitMessage.h"

namespace pellmor {
namespace {

TEST(DecodeCommitMessageTest, KeepsUtf8AndDecodesEverythingElse) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* encoding;
    std::string expected;
  };
  for (const Case& c : {
           Case{"UTF-8 kept, even under another header", "Zo\xc3\xab\r\n", "ISO-8859-1",
                "Zo\xc3\xab\r\n"},
           Case{"Latin-1 by its header", "Caf\xe9", "ISO-8859-1", "Caf\xc3\xa9"},
           Case{"a Cyrillic code page by its header", "\xcf\xf0\xe8", "CP1251",
                "\xd0\x9f\xd1\x80\xd0\xb8"},
           Case{"no header: Windows-1252", "\x80 \x93q\x94", nullptr,
                "\xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"},
           Case{"unknown header: Windows-1252", "\xe9", "no-such-encoding", "\xc3\xa9"},
           Case{"header says UTF-8 but lies: Windows-1252", "\xe9", "UTF-8", "\xc3\xa9"},
           Case{"bytes Windows-1252 leaves undefined", "\x81\x8d", nullptr, "\xc2\x81\xc2\x8d"},
           // iconv's UTF-8 lets a code point past U+10FFFF through.
           Case{"header says UTF-8, bytes past U+10FFFF: Windows-1252", "\xf5\xad\xad\xad", "UTF-8",
                "\xc3\xb5\xc2\xad\xc2\xad\xc2\xad"},
       }) {
    SCOPED_TRACE(c.name);
    const std::string text = DecodeCommitMessage(c.bytes, c.encoding);
    EXPECT_EQ(text, c.expected);
    EXPECT_TRUE(IsWellFormedUtf8(text));
  }
}

}  // namespace
}  // namespace pellmor
