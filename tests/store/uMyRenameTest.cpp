#include "store/uMyRename.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs PairsOf(const TMyRenameData& log) {
  Pairs pairs;
  for (const auto& item : log.Items) pairs.emplace_back(item->OldName, item->NewName);
  return pairs;
}

void LoadText(TMyRenameData& log, const std::string& text) {
  TMemoryStream stream;
  stream.Assign(text.data(), text.size());
  log.LoadFromStream(stream);
}

std::string Saved(const TMyRenameData& log) {
  TMemoryStream stream;
  log.SaveToStream(stream);
  return std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size());
}

TEST(ParseLineTest, SplitsAtTheFirstSeparatorAndDropsTheOuterCharacters) {
  struct Case {
    const char* line;
    bool record;
    const char* oldName;
    const char* newName;
  } cases[] = {
      {R"("src\a.pas"->"src\b.pas")", true, R"(src\a.pas)", R"(src\b.pas)"},
      {R"(""->"")", true, "", ""},
      {R"("->"b")", true, "", "b"},                  // starts with the separator
      {R"("a"->"b.txt)", true, "a", "b.tx"},         // last character dropped unchecked
      {R"(Xa"->"bX)", true, "a", "b"},               // first and last dropped unchecked
      {R"("a"->"b"->"c")", true, "a", R"(b"->"c)"},  // the first separator counts
      {R"("a"->")", true, "a", ""},
      {R"("a" -> "b")", false, "", ""},
      {"", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string oldName = "stale";
    std::string newName = "stale";
    EXPECT_EQ(ParseLine(c.line, oldName, newName), c.record) << c.line;
    EXPECT_EQ(oldName, c.oldName) << c.line;
    EXPECT_EQ(newName, c.newName) << c.line;
  }
}

TEST(TMyRenameDataTest, LoadTrimsBlanksSkipsOtherLinesAndAppends) {
  TMyRenameData log;
  LoadText(log, "  \"a.txt\"->\"b.txt\"\t\r\ngarbage\n\n\"c\"->\"d\"\r\x01\"e\"->\"f\" \x1f");
  EXPECT_EQ(PairsOf(log), (Pairs{{"a.txt", "b.txt"}, {"c", "d"}, {"e", "f"}}));
  LoadText(log, "\"g\"->\"h\"");
  EXPECT_EQ(log.Count(), 4);
  for (int i = 0; i < log.Count(); ++i) {
    EXPECT_EQ(log.Items[i]->Owner, &log);
    EXPECT_EQ(log.Items[i]->IndexInOwner(), i);
  }
}

TEST(TMyRenameDataTest, SavesOneQuotedLinePerRecordAndReadsItBack) {
  TMyRenameData log;
  log.Add(R"(src\a.pas)", R"(src\b.pas)");
  log.Add("", "");
  const std::string text = Saved(log);
  EXPECT_EQ(text, "\"src\\a.pas\"->\"src\\b.pas\"\r\n\"\"->\"\"\r\n");
  TMyRenameData again;
  LoadText(again, text);
  EXPECT_EQ(PairsOf(again), PairsOf(log));
  EXPECT_EQ(Saved(TMyRenameData()), "");
}

TEST(TMyRenameDataTest, FindByNewNameIgnoresAsciiCaseAndTakesTheFirst) {
  TMyRenameData log;
  log.Add("x", R"(src\b.pa)");
  TMyRenameItem* first = log.Add(R"(src\a.pas)", R"(SRC\B.Pas)");
  log.Add("z", R"(src\b.pas)");
  EXPECT_EQ(log.FindByNewName(R"(src\B.PAS)"), first);
  EXPECT_EQ(log.FindByNewName("\xC3\xA4.txt"), nullptr);
  log.Add("y", "\xC3\xA4.txt");
  EXPECT_EQ(log.FindByNewName("\xC3\x84.TXT"), nullptr) << "only a-z fold";

  while (log.Count() > 0) log.Remove(log.Items[log.Count() - 1]);
  EXPECT_EQ(log.FindByNewName(R"(src\b.pas)"), nullptr);
}

// Consuming a batch of new names takes, name by name, the first record still
// in the log, and keeps the others in order; a name without a record
// changes nothing.
TEST(TMyRenameDataTest, RemoveByNewNamesTakesTheFirstRemainingRecordOfEachName) {
  const auto fill = [](TMyRenameData& log) {
    log.Add("a", "n1");
    log.Add("b", "N2");
    log.Add("c", "n1");
    log.Add("d", "n3");
    log.Add("e", "n1");
  };
  struct Case {
    std::vector<std::string> names;
    const char* missing;  // the name reported as missing, or nullptr
    Pairs left;
  } cases[] = {
      {{}, nullptr, {{"a", "n1"}, {"b", "N2"}, {"c", "n1"}, {"d", "n3"}, {"e", "n1"}}},
      {{"N1"}, nullptr, {{"b", "N2"}, {"c", "n1"}, {"d", "n3"}, {"e", "n1"}}},
      {{"n1", "N1", "n2"}, nullptr, {{"d", "n3"}, {"e", "n1"}}},
      {{"n3", "n1", "n1", "n1", "n2"}, nullptr, {}},
      {{"n1", "n4"}, "n4", {{"a", "n1"}, {"b", "N2"}, {"c", "n1"}, {"d", "n3"}, {"e", "n1"}}},
      {{"n3", "n3"}, "n3", {{"a", "n1"}, {"b", "N2"}, {"c", "n1"}, {"d", "n3"}, {"e", "n1"}}},
  };
  for (const Case& c : cases) {
    TMyRenameData log;
    fill(log);
    std::vector<const std::string*> names;
    for (const std::string& name : c.names) names.push_back(&name);
    const std::string* missing = log.RemoveByNewNames(names);
    SCOPED_TRACE(::testing::PrintToString(c.names));
    EXPECT_EQ(missing ? *missing : "(none)", c.missing ? c.missing : "(none)");
    EXPECT_EQ(PairsOf(log), c.left);
    for (const auto& item : log.Items) EXPECT_EQ(item->Owner, &log);
  }
}

TEST(TMyRenameDataTest, FileRoundTrip) {
  test::TempDir dir;
  TMyRenameData log;
  log.Add("old name.txt", R"(dir\new name.txt)");
  log.SaveToFile(dir / "Rename.txt");
  EXPECT_EQ(test::ReadFile(dir / "Rename.txt"), "\"old name.txt\"->\"dir\\new name.txt\"\r\n");
  TMyRenameData loaded;
  loaded.LoadFromFile(dir / "Rename.txt");
  EXPECT_EQ(PairsOf(loaded), PairsOf(log));
  EXPECT_THROW(loaded.LoadFromFile(dir / "missing.txt"), Exception);
}

}  // namespace
}  // namespace pellmor
