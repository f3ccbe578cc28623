// Names and texts as they are shown: plain ones unchanged, the others quoted
// with escapes that keep them on one line, whole, and unmistakable.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "foundation/ShownText.h"

namespace pellmor {
namespace {

using namespace std::string_literals;

TEST(ShownTextTest, QuoteNameLeavesPlainNamesAndQuotesTheOthers) {
  const struct {
    std::string name;
    std::string shown;
  } cases[] = {
      {"src\\main.pas", "src\\main.pas"},
      {"caf\xC3\xA9 \"quoted\".txt", "caf\xC3\xA9 \"quoted\".txt"},  // a quote inside is plain
      {"", ""},
      {"two\nlines", "\"two\\nlines\""},
      {"tab\there", "\"tab\\there\""},
      {"nul\0cut"s, "\"nul\\000cut\""},
      {"esc\x1b[31mred", "\"esc\\033[31mred\""},
      {"del\x7f", "\"del\\177\""},
      {"cr\r", "\"cr\\r\""},
      {"dir\\a\nb", "\"dir\\\\a\\nb\""},  // the backslash is doubled once quoted
      {"\"starts with a quote", "\"\\\"starts with a quote\""},
  };
  for (const auto& c : cases) EXPECT_EQ(QuoteName(c.name), c.shown) << c.shown;
}

TEST(ShownTextTest, QuotedNamesNeverCollideAndStayOnOneLine) {
  const std::string names[] = {"a\nb", "a\\nb", "\"a\\nb\"", "\"a\nb\"", "a\0b"s, "a\\000b"};
  std::set<std::string> shown;
  for (const std::string& name : names) {
    const std::string text = QuoteName(name);
    EXPECT_EQ(text.find_first_of("\n\r"s + '\0'), std::string::npos) << text;
    EXPECT_TRUE(shown.insert(text).second) << "two names show as " << text;
  }
}

TEST(ShownTextTest, EscapeControlsKeepsTabsAndEverythingButControlBytes) {
  EXPECT_EQ(EscapeControls("plain \"text\" \\ with\ttab"), "plain \"text\" \\ with\ttab");
  EXPECT_EQ(EscapeControls("bell\a nul\0 esc\x1b"s), "bell\\007 nul\\000 esc\\033");
  EXPECT_EQ(EscapeControls("\xE2\x82\xAC"), "\xE2\x82\xAC");
}

}  // namespace
}  // namespace pellmor
