#include "store/uMyHistory.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using Items = std::vector<std::pair<std::string, int>>;

Items ItemsOf(const TMyHistoryData& history) {
  Items items;
  for (const auto& item : history.Items) items.emplace_back(item->FileName, item->Revision);
  return items;
}

std::string Saved(const TMyHistoryData& history) {
  TMemoryStream stream;
  history.SaveToStream(stream);
  return std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size());
}

void LoadText(TMyHistoryData& history, const std::string& text) {
  TMemoryStream stream;
  stream.Assign(text.data(), text.size());
  stream.SetPosition(stream.Size());  // reading starts at 0 whatever the position
  history.LoadFromStream(stream);
}

TEST(TMyHistoryDataTest, SavesFileNamesWithCrLfAfterEveryLine) {
  TMyHistoryData history;
  EXPECT_EQ(Saved(history), "");
  history.Add("1.dat", 1);
  history.Add("2.dat", 2);
  EXPECT_EQ(Saved(history), "1.dat\r\n2.dat\r\n");
}

TEST(TMyHistoryDataTest, LineNumbersAndSkippedLines) {
  struct Case {
    const char* line;
    int number;  // -1: the line is skipped
  } cases[] = {
      {"12.dat", 12},      {"5", 5},          {"007.dat", 7},         {"notes.txt", -1},
      {"", -1},            {"a1.dat", -1},    {"1a.dat", -1},         {"-3.dat", -3},
      {" 4.dat", -1},      {"3.dat.bak", -1}, {"4.d\\at", -1},        {"6.x:y", -1},
      {"2.", 2},           {".dat", -1},      {"99999999999.dat", -1}, {"+8.dat", 8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HistoryLineNumber(c.line), c.number) << c.line;
    TMyHistoryData history;
    LoadText(history, std::string(c.line) + "\r\n");
    if (c.number > 0) {
      EXPECT_EQ(ItemsOf(history), (Items{{c.line, c.number}})) << c.line;
      EXPECT_TRUE(history.PassedOver.empty()) << c.line;
    } else {
      EXPECT_EQ(history.Count(), 0) << c.line;
      EXPECT_EQ(history.PassedOver, std::vector<std::string>{c.line}) << c.line;
    }
  }
}

TEST(TMyHistoryDataTest, ReadsEveryLineEndAndKeepsDuplicatesInFileOrder) {
  TMyHistoryData history;
  LoadText(history, "1.dat\r\n2.dat\n3.dat\r2.dat\r\n\r\nnotes\n4.dat");
  EXPECT_EQ(ItemsOf(history),
            (Items{{"1.dat", 1}, {"2.dat", 2}, {"3.dat", 3}, {"2.dat", 2}, {"4.dat", 4}}));
  LoadText(history, "5.dat\r\n");
  EXPECT_EQ(history.Count(), 6) << "a second load appends";
  EXPECT_EQ(history.Items[5]->Revision, 5);
}

TEST(TMyHistoryDataTest, RevisionZeroFailsAndKeepsTheLinesBeforeIt) {
  TMyHistoryData history;
  try {
    LoadText(history, "1.dat\r\n0.dat\r\n2.dat\r\n");
    FAIL() << "0.dat was accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Invalid revision number 0");
  }
  EXPECT_EQ(ItemsOf(history), (Items{{"1.dat", 1}}));
  EXPECT_THROW(history.Add("x", -1), Exception);
  try {
    history.Add("x", -1);
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Invalid revision number -1");
  }
}

TEST(TMyHistoryDataTest, FileRoundTripAndMissingFile) {
  test::TempDir dir;
  TMyHistoryData history;
  history.Add("1.dat", 1);
  history.Add("2.dat", 2);
  history.SaveToFile(dir / "History.txt");
  EXPECT_EQ(test::ReadFile(dir / "History.txt"), "1.dat\r\n2.dat\r\n");

  TMyHistoryData loaded;
  loaded.LoadFromFile(dir / "History.txt");
  EXPECT_EQ(ItemsOf(loaded), ItemsOf(history));

  test::WriteFile(dir / "Empty.txt", "");
  TMyHistoryData empty;
  empty.LoadFromFile(dir / "Empty.txt");
  EXPECT_EQ(empty.Count(), 0);

  try {
    loaded.LoadFromFile(dir / "Missing.txt");
    FAIL() << "a missing file was read";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find(dir / "Missing.txt"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace pellmor
