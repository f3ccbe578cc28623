#include "foundation/uMyDiff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/Exception.h"

namespace pellmor {
namespace {

using Differences = std::vector<TTextDifference>;

Differences Result(const TCustomTextComparer& comparer) {
  Differences result;
  for (int32_t i = 0; i < comparer.Count(); ++i) result.push_back(comparer.Items(i));
  return result;
}

Differences Compare(const TStringList& first, const TStringList& second, int32_t threshold = 0) {
  TStandardTextComparer comparer;
  comparer.MatchThreshold = threshold;
  comparer.Compare(first, second);
  return Result(comparer);
}

TStringList Numbered(const std::string& prefix, int count) {
  TStringList lines;
  lines.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) lines.push_back(prefix + std::to_string(i));
  return lines;
}

}  // namespace

// Printed by GoogleTest when a comparison fails.
void PrintTo(const TTextDifference& d, std::ostream* out) {
  *out << "(" << d.OldStart << ", " << d.OldEnd << ", " << d.NewStart << ", " << d.NewEnd << ")";
}

namespace {

struct RangeCase {
  const char* name;
  TStringList first;
  TStringList second;
  Differences expected;
};

TEST(TextComparerTest, RangesWithAllOptionsOff) {
  const std::vector<RangeCase> cases = {
      {"both empty", {}, {}, {}},
      {"first empty", {}, {"a", "b", "c"}, {{0, 0, 0, 3}}},
      {"second empty", {"a", "b"}, {}, {{0, 2, 0, 0}}},
      {"identical", {"a", "b", "c"}, {"a", "b", "c"}, {}},
      {"one middle line", {"a", "b", "c", "d", "e"}, {"a", "b", "X", "d", "e"}, {{2, 3, 2, 3}}},
      {"insertion", {"a", "b", "c"}, {"a", "b", "new", "c"}, {{2, 2, 2, 3}}},
      {"deletion at the end", {"a", "b", "c"}, {"a", "b"}, {{2, 3, 2, 2}}},
      {"case only", {"a", "Line", "c"}, {"a", "line", "c"}, {{1, 2, 1, 2}}},
      {"white space only", {"a", "x y", "c"}, {"a", "x  y", "c"}, {{1, 2, 1, 2}}},
      {"several, in order",
       {"1", "2", "3", "4", "5", "6", "7", "8"},
       {"0", "1", "2", "three", "4", "5", "6", "8", "9"},
       {{0, 0, 0, 1}, {2, 3, 3, 4}, {6, 7, 7, 7}, {8, 8, 8, 9}}},
      // "BA" and "AT" share the default hash (2*19*19 + 66*19 + 65 = 2*19*19 + 65*19 + 84):
      // equal hashes never make lines equal.
      {"colliding hashes", {"x", "BA", "y"}, {"x", "AT", "y"}, {{1, 2, 1, 2}}},
      // Among equally long runs the one that splits both ranges most evenly wins:
      // the chain offers old line 4 first, old line 0 is better balanced.
      {"tie-break by balance", {"a", "x", "x", "x", "a"}, {"y", "a", "y", "y", "y"},
       {{0, 0, 0, 1}, {1, 5, 2, 5}}},
      // Equally balanced runs: the first found (the highest old line) stays.
      {"tie-break keeps the first", {"a", "p", "a", "q", "a"}, {"a"}, {{0, 4, 0, 0}}},
  };
  for (const auto& c : cases) EXPECT_EQ(Compare(c.first, c.second), c.expected) << c.name;
}

TEST(TextComparerTest, LineFormsOfTheOptions) {
  struct OptionCase {
    const char* name;
    bool ignoreCase, ignoreAllSpace, compressSpace;
    std::string a, b;
    bool equal;
  };
  const std::vector<OptionCase> cases = {
      {"remove: a b = ab", false, true, false, "a b", "ab", true},
      {"remove: tabs, CR, LF and NUL", false, true, false, std::string("\ta\r\n\0b", 6), "ab", true},
      {"remove: 11 and 12 are not space", false, true, false, "a\vb\f", "ab", false},
      {"remove still sees case", false, true, false, "A b", "ab", false},
      {"compress: runs and ends", false, false, true, "  a   b  ", "a b", true},
      {"compress: a b != ab", false, false, true, "  a   b  ", "ab", false},
      {"compress: tab run is one space", false, false, true, "a\t\t b", "a b", true},
      {"remove wins over compress", false, true, true, "  a   b  ", "ab", true},
      {"case: ABC = abc", true, false, false, "ABC", "abc", true},
      {"case: only ASCII letters", true, false, false, "\xC3\x89", "\xC3\xA9", false},
      {"case keeps space", true, false, false, "A B", "ab", false},
      {"case and compress", true, false, true, " Hello   World ", "hello world", true},
      {"case and remove", true, true, false, "He llo", "hELLO", true},
      {"case, remove and compress", true, true, true, "A  B", "ab", true},
  };
  for (const auto& c : cases) {
    TStandardTextComparer comparer;
    comparer.IgnoreCase = c.ignoreCase;
    comparer.IgnoreAllSpace = c.ignoreAllSpace;
    comparer.CompressSpace = c.compressSpace;
    comparer.Compare({"first", c.a, "last"}, {"first", c.b, "last"});
    const Differences expected = c.equal ? Differences{} : Differences{{1, 2, 1, 2}};
    EXPECT_EQ(Result(comparer), expected) << c.name;
  }
}

TEST(TextComparerTest, CustomHandlersAreUsedOnlyAsAPair) {
  const TStringList first = {"apple", "pear"}, second = {"APPLE", "PEAR"};
  TCustomTextComparer comparer;
  comparer.OnCompareLines = [](const std::string&, const std::string&) { return true; };
  comparer.Execute(first, second);
  EXPECT_EQ(Result(comparer), (Differences{{0, 2, 0, 2}})) << "one handler alone is ignored";

  comparer.OnHashLine = [](const std::string&) { return 7u; };
  comparer.Execute(first, second);
  EXPECT_EQ(comparer.Count(), 0);

  // A hash that puts every line in one chain still needs the comparison to agree.
  comparer.OnCompareLines = [](const std::string& a, const std::string& b) {
    return a.size() == b.size();
  };
  comparer.Execute({"aa", "b", "cc"}, {"xx", "yyy", "zz"});
  EXPECT_EQ(Result(comparer), (Differences{{1, 2, 1, 2}}));
}

TEST(TextComparerTest, CompareRestoresTheCallersHandlersAndRepeatsItsResult) {
  TStandardTextComparer comparer;
  int hashCalls = 0;
  comparer.OnHashLine = [&](const std::string&) { return static_cast<uint32_t>(++hashCalls); };
  comparer.OnCompareLines = [](const std::string&, const std::string&) { return false; };
  comparer.IgnoreCase = true;
  const TStringList first = {"A", "b", "C"}, second = {"a", "B", "x"};
  comparer.Compare(first, second);
  const Differences once = Result(comparer);
  comparer.Compare(first, second);
  EXPECT_EQ(Result(comparer), once);
  EXPECT_EQ(once, (Differences{{2, 3, 2, 3}}));
  EXPECT_EQ(hashCalls, 0) << "Compare uses the handlers of its options";
  ASSERT_TRUE(comparer.OnHashLine && comparer.OnCompareLines);
  comparer.OnHashLine("restored");
  EXPECT_EQ(hashCalls, 1);

  comparer.IgnoreCase = false;  // no option: the exact-line defaults, not the caller's pair
  comparer.Compare({"same"}, {"same"});
  EXPECT_EQ(comparer.Count(), 0);
  EXPECT_TRUE(comparer.OnHashLine && comparer.OnCompareLines);
}

// The threshold accepts the first run that is long enough: on 200 identical
// lines the first chain probe pairs new line 0 with old line 199, then
// extends to a shifted run of 50 lines (old 150.., new 0..) and stops there.
TEST(TextComparerTest, ThresholdOnIdenticalLines) {
  const TStringList lines(200, "same line");
  EXPECT_EQ(Compare(lines, lines, 50), (Differences{{0, 150, 0, 0}, {200, 200, 50, 200}}));
  EXPECT_EQ(Compare(lines, lines, 0), Differences{});
}

TEST(TextComparerTest, ThresholdStillFindsChangesInDistinctLines) {
  TStringList first = Numbered("line ", 1000), second = first;
  second[500] = "changed";
  second.insert(second.begin() + 800, "inserted");
  EXPECT_EQ(Compare(first, second, 50), (Differences{{500, 501, 500, 501}, {800, 800, 800, 801}}));
}

TEST(TextComparerTest, CapacityAndClear) {
  TStandardTextComparer comparer;
  comparer.Compare({"a", "1", "b", "2", "c"}, {"a", "x", "b", "y", "c"});
  ASSERT_EQ(comparer.Count(), 2);
  comparer.SetCapacity(1);
  EXPECT_EQ(Result(comparer), (Differences{{1, 2, 1, 2}}));
  comparer.SetCapacity(40);
  EXPECT_EQ(comparer.Count(), 1);
  EXPECT_THROW(comparer.Items(1), Exception);
  EXPECT_THROW(comparer.SetCapacity(-1), Exception);
  comparer.Clear();
  EXPECT_EQ(comparer.Count(), 0);
  try {
    comparer.Items(0);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (0)");
  }
}

// Blocks of growing length, each followed by a line that differs: the longest
// run is always the last block, so every stretch before a run holds all the
// blocks before it. This nests one level per block; the differences must
// still come out in order of position.
TEST(TextComparerTest, DeeplyNestedStretchesComeOutInOrder) {
  constexpr int kBlocks = 250;
  TStringList first, second;
  Differences expected;
  for (int block = 1; block <= kBlocks; ++block) {
    for (int line = 0; line < block; ++line) {
      first.push_back("block " + std::to_string(block) + " line " + std::to_string(line));
      second.push_back(first.back());
    }
    const auto position = static_cast<int32_t>(first.size());
    expected.push_back({position, position + 1, position, position + 1});
    first.push_back("old " + std::to_string(block));
    second.push_back("new " + std::to_string(block));
  }
  EXPECT_EQ(Compare(first, second), expected);
}

TEST(TextComparerTest, MillionLineDifferencesDoNotExhaustTheStack) {
  const TStringList million = Numbered("old line ", 1000000);
  EXPECT_EQ(Compare(million, Numbered("new line ", 1000000), 50),
            (Differences{{0, 1000000, 0, 1000000}}));
  EXPECT_EQ(Compare({}, million, 50), (Differences{{0, 0, 0, 1000000}}));
  TStringList edited = million;
  for (int i = 0; i < 1000000; i += 100000) edited[static_cast<size_t>(i) + 7] = "edited";
  const Differences scattered = Compare(million, edited, 50);
  ASSERT_EQ(scattered.size(), 10u);
  EXPECT_EQ(scattered.front(), (TTextDifference{7, 8, 7, 8}));
  EXPECT_EQ(scattered.back(), (TTextDifference{900007, 900008, 900007, 900008}));
}

}  // namespace
}  // namespace pellmor
