#include "scan/uListBoxData.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using test::TempDir;
using test::WriteFile;

void SetBytes(TMemoryStream& stream, const std::string& bytes) {
  stream.Assign(bytes.data(), bytes.size());
}

std::string BytesOf(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()),
                     static_cast<size_t>(stream.Size()));
}

// ---------------------------------------------------------------- sides

TEST(TMyFileDataTest, SplitsTextAtCrLfCrAndLfUpToTheFirstNul) {
  const struct {
    std::string bytes;
    TStringList lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\n\n", {"a", ""}},
      {"\n", {""}},
      {"\r\n\r\n", {"", ""}},
      {"a\n\rb", {"a", "", "b"}},  // LF then CR: two line ends
      {"a\r\r\nb", {"a", "", "b"}},
      {std::string("ab\0cd\n", 6), {"ab"}},
      {std::string("a\r\0b", 4), {"a"}},
      {std::string("\0abc", 4), {}},
      {"\xff\xfe\x80 x\t", {"\xff\xfe\x80 x\t"}},  // bytes are not decoded
  };
  auto item = TListItemData::CreateForFile(nullptr);
  item->IsText = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    TMemoryStream source;
    SetBytes(source, c.bytes);
    item->OldData.LoadFromStream(source);
    EXPECT_EQ(item->OldData.Lines, c.lines);
    EXPECT_EQ(BytesOf(item->OldData.Content), c.bytes);
  }
}

TEST(TMyFileDataTest, LoadsLinesOnlyWhenTheItemIsTextAtLoadTime) {
  auto item = TListItemData::CreateForFile(nullptr);
  TMemoryStream source;
  SetBytes(source, "one\ntwo\nthree\n");
  item->NewData.LoadFromStream(source);
  EXPECT_TRUE(item->NewData.Lines.empty());
  item->IsText = true;  // too late for the bytes already loaded
  EXPECT_TRUE(item->NewData.Lines.empty());

  item->NewData.LoadFromStream(source);
  EXPECT_EQ(item->NewData.Lines, (TStringList{"one", "two", "three"}));
  item->IsText = false;  // a binary load leaves the lines as they were
  SetBytes(source, "other");
  item->NewData.LoadFromStream(source);
  EXPECT_EQ(BytesOf(item->NewData.Content), "other");
  EXPECT_EQ(item->NewData.Lines.size(), 3u);
}

TEST(TMyFileDataTest, LoadFromStreamTakesTheWholeStreamWhateverItsPosition) {
  auto item = TListItemData::CreateForFile(nullptr);
  TMemoryStream source;
  SetBytes(source, "abcdef");
  source.SetPosition(4);
  item->OldData.LoadFromStream(source);
  EXPECT_EQ(BytesOf(item->OldData.Content), "abcdef");
  EXPECT_EQ(item->OldData.Content.Position(), 0);
  EXPECT_EQ(source.Position(), 6);
}

TEST(TMyFileDataTest, TakeContentAdoptsTheBufferAndSplitsText) {
  auto item = TListItemData::CreateForFile(nullptr);
  item->IsText = true;
  TMemoryStream bytes;
  SetBytes(bytes, "one\r\ntwo");
  bytes.SetPosition(3);
  const uint8_t* buffer = bytes.Memory();
  item->NewData.TakeContent(bytes);
  EXPECT_EQ(item->NewData.Content.Memory(), buffer) << "no copy";
  EXPECT_EQ(item->NewData.Content.Position(), 0);
  EXPECT_EQ(item->NewData.Lines, (TStringList{"one", "two"}));
  EXPECT_EQ(bytes.Size(), 0);
  EXPECT_EQ(bytes.Memory(), nullptr);
}

TEST(TMyFileDataTest, LoadFromFileReadsFilesAndLinkTargetsAndNamesMissingFiles) {
  TempDir dir;
  WriteFile(dir / "text.txt", "first\r\nsecond");
  ASSERT_EQ(::symlink("sub/target.txt", (dir / "link").c_str()), 0);
  auto item = TListItemData::CreateForFile(nullptr);
  item->IsText = true;

  item->NewData.LoadFromFile(dir / "text.txt");
  EXPECT_EQ(BytesOf(item->NewData.Content), "first\r\nsecond");
  EXPECT_EQ(item->NewData.Content.Position(), 0);
  EXPECT_EQ(item->NewData.Lines, (TStringList{"first", "second"}));

  item->NewData.LoadFromFile(dir / "link");  // dangling: its text is what counts
  EXPECT_EQ(BytesOf(item->NewData.Content), "sub/target.txt");
  EXPECT_EQ(item->NewData.Lines, TStringList{"sub/target.txt"});

  try {
    item->NewData.LoadFromFile(dir / "missing.txt");
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find(dir / "missing.txt"), std::string::npos) << e.what();
  }
}

class TOtherPersistent : public TPersistent {
 public:
  const char* ClassName() const override { return "TOtherPersistent"; }
};

TEST(TMyFileDataTest, AssignCopiesBytesAndLinesEvenIntoABinaryItem) {
  auto text = TListItemData::CreateForFile(nullptr);
  text->IsText = true;
  TMemoryStream source;
  SetBytes(source, "a\nb");
  text->OldData.LoadFromStream(source);
  text->OldData.Content.SetPosition(2);

  auto binary = TListItemData::CreateForFile(nullptr);
  binary->NewData.Assign(text->OldData);
  EXPECT_EQ(BytesOf(binary->NewData.Content), "a\nb");
  EXPECT_EQ(binary->NewData.Content.Position(), 0);
  EXPECT_EQ(binary->NewData.Lines, (TStringList{"a", "b"}));
  EXPECT_EQ(binary->NewData.Owner, binary.get());
  EXPECT_EQ(BytesOf(text->OldData.Content), "a\nb");  // the source keeps its own

  text->OldData.Assign(text->OldData);
  EXPECT_EQ(BytesOf(text->OldData.Content), "a\nb");
}

TEST(TMyFileDataTest, AssignFromOrToAnotherClassFails) {
  auto item = TListItemData::CreateForFile(nullptr);
  TOtherPersistent other;
  const struct {
    std::function<void()> assign;
    const char* message;
  } cases[] = {
      {[&] { item->OldData.Assign(other); }, "Cannot assign a TOtherPersistent to a TMyFileData"},
      {[&] { other.Assign(item->OldData); }, "Cannot assign a TMyFileData to a TOtherPersistent"},
  };
  for (const auto& c : cases) {
    try {
      c.assign();
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

// ---------------------------------------------------------------- items

TEST(TListItemDataTest, CreateForFileStartsEmpty) {
  auto item = TListItemData::CreateForFile(nullptr);
  EXPECT_EQ(item->FileObject, nullptr);
  EXPECT_EQ(item->State, lsAdded);
  EXPECT_FALSE(item->IsText);
  EXPECT_EQ(item->Name(), "");
  EXPECT_EQ(item->Partner, nullptr);
  EXPECT_EQ(item->OldHash, TContentDigest{});
  EXPECT_EQ(item->NewHash, TContentDigest{});
  EXPECT_EQ(item->OldData.Owner, item.get());
  EXPECT_EQ(item->NewData.Owner, item.get());
  EXPECT_EQ(item->OldData.Content.Size(), 0);
  EXPECT_EQ(item->Comparer.IgnoreCase || item->Comparer.IgnoreAllSpace ||
                item->Comparer.CompressSpace,
            false);
}

TEST(TListItemDataTest, DigestsFollowTheBytes) {
  auto item = TListItemData::CreateForFile(nullptr);
  item->HashBoth();
  EXPECT_EQ(item->OldHash, TContentDigest{});  // empty content: all zeros
  EXPECT_TRUE(item->HashesEqual());

  SetBytes(item->OldData.Content, "abc");
  item->HashOld();
  const TContentDigest abc = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                              0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                              0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
  EXPECT_EQ(item->OldHash, abc);
  EXPECT_FALSE(item->HashesEqual());

  SetBytes(item->NewData.Content, "abc");
  item->HashNew();
  EXPECT_TRUE(item->HashesEqual());
  SetBytes(item->NewData.Content, "abd");
  item->HashNew();
  EXPECT_FALSE(item->HashesEqual());
}

TEST(TListItemDataTest, CompareLinesIgnoresLineEndsAndStartsAfresh) {
  auto item = TListItemData::CreateForFile(nullptr);
  item->IsText = true;
  TMemoryStream crlf, lf, edited;
  SetBytes(crlf, "a\r\nb");
  SetBytes(lf, "a\nb\n");
  SetBytes(edited, "a\nB\n");

  item->OldData.LoadFromStream(crlf);
  item->NewData.LoadFromStream(edited);
  item->CompareLines();
  EXPECT_TRUE(item->HasLineChanges());
  EXPECT_EQ(item->Comparer.MatchThreshold, 50);

  item->NewData.LoadFromStream(lf);
  item->HashBoth();
  EXPECT_FALSE(item->HashesEqual());
  item->CompareLines();
  EXPECT_FALSE(item->HasLineChanges());
}

TEST(TListItemDataTest, DeletionAndAdditionStates) {
  const struct {
    TListItemState state;
    uint8_t value;
    bool deletion, addition;
  } cases[] = {
      {lsAdded, 0, false, true},          {lsAddedChanged, 1, false, true},
      {lsDeleted, 2, true, false},        {lsDeletedStaged, 3, true, false},
      {lsModified, 4, false, false},      {lsModifiedChanged, 5, false, false},
      {lsRenamedNew, 6, false, false},    {lsRenamedOld, 7, false, false},
      {lsRenamedChanged, 8, false, false},
  };
  auto item = TListItemData::CreateForFile(nullptr);
  for (const auto& c : cases) {
    item->State = c.state;
    EXPECT_EQ(static_cast<uint8_t>(c.state), c.value);
    EXPECT_EQ(item->IsDeletion(), c.deletion) << int(c.value);
    EXPECT_EQ(item->IsAddition(), c.addition) << int(c.value);
  }
}

// ---------------------------------------------------------------- list

TListItemData* AddNamed(TQuarvDataList& list, const std::string& name) {
  auto item = TListItemData::CreateForFile(nullptr);
  item->SetName(name);
  return list.Add(std::move(item));
}

TEST(TQuarvDataListTest, FindsByNameWithoutRegardToAsciiCase) {
  TQuarvDataList list;
  TListItemData* a = AddNamed(list, "a.txt");
  TListItemData* file = AddNamed(list, "Sub\\File.TXT");
  TListItemData* again = AddNamed(list, "sub\\file.txt");
  AddNamed(list, "\xc3\xa9.txt");

  int position = 7;
  EXPECT_EQ(list.FindByName("sub\\file.txt", &position), file);
  EXPECT_EQ(position, 1);
  EXPECT_EQ(list.FindByName("A.TXT"), a);
  EXPECT_EQ(list.FindByNameFrom("SUB\\FILE.txt", 2, &position), again);
  EXPECT_EQ(position, 2);
  EXPECT_EQ(list.FindByName("\xc3\x89.txt", &position), nullptr);  // only ASCII letters fold
  EXPECT_EQ(position, -1);
  EXPECT_EQ(list.FindByName("sub", &position), nullptr);
  EXPECT_EQ(position, -1);
  for (int beyond : {4, 5, 100}) {
    EXPECT_EQ(list.FindByNameFrom("a.txt", beyond, &position), nullptr);
    EXPECT_EQ(position, -1);
  }
  EXPECT_EQ(list.FindByNameFrom("sub\\file.txt", 3), nullptr);
}

TEST(TQuarvDataListTest, IndexOfItemGoesByIdentity) {
  TQuarvDataList list, other;
  TListItemData* first = AddNamed(list, "same");
  TListItemData* second = AddNamed(list, "same");
  TListItemData* elsewhere = AddNamed(other, "same");
  EXPECT_EQ(list.IndexOfItem(first), 0);
  EXPECT_EQ(list.IndexOfItem(second), 1);
  EXPECT_EQ(list.IndexOfItem(second, 1), 1);
  EXPECT_EQ(list.IndexOfItem(first, 1), -1);
  EXPECT_EQ(list.IndexOfItem(second, 2), -1);
  EXPECT_EQ(list.IndexOfItem(elsewhere), -1);
  EXPECT_EQ(list.IndexOfItem(nullptr), -1);
}

TEST(TQuarvDataListTest, DetachedItemsLeaveTheIndexAndCanMoveToAnotherList) {
  TQuarvDataList changes, staged;
  AddNamed(changes, "a");
  TListItemData* b = AddNamed(changes, "b");
  std::unique_ptr<TListItemData> detached = changes.Detach(changes.IndexOfItem(b));
  EXPECT_EQ(changes.FindByName("b"), nullptr);
  EXPECT_EQ(changes.IndexOfItem(b), -1);
  detached->SetName("B2");  // no longer concerns changes
  EXPECT_EQ(changes.FindByName("b2"), nullptr);
  staged.Add(std::move(detached));
  EXPECT_EQ(staged.FindByName("b2"), b);
  EXPECT_EQ(staged.IndexOfItem(b), 0);
  changes.Delete(0);
  EXPECT_EQ(changes.FindByName("a"), nullptr);
  EXPECT_TRUE(changes.Empty());
}

// A plain linear reading of the lookups, to hold the indexed list against.
struct Reference {
  static std::string Upper(std::string s) {
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c -= 32;
    return s;
  }
  static int FindFrom(const TQuarvDataList& list, const std::string& name, int start) {
    for (int i = std::max(start, 0); i < list.Count(); ++i)
      if (Upper(list[i]->Name()) == Upper(name)) return i;
    return -1;
  }
  static int IndexOf(const TQuarvDataList& list, const TListItemData* item, int start) {
    for (int i = std::max(start, 0); i < list.Count(); ++i)
      if (list[i] == item) return i;
    return -1;
  }
};

// Random edits of every kind, each followed by every lookup compared with the
// linear reading: the index must stay in step whatever the order of edits.
TEST(TQuarvDataListTest, IndexStaysInStepWithEveryEdit) {
  const std::vector<std::string> names = {"a.txt", "A.TXT", "b\\c", "B\\C", "d", "e.bin"};
  std::mt19937 random(20240517);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  TQuarvDataList list;
  std::vector<std::unique_ptr<TListItemData>> outside;  // detached items
  for (int step = 0; step < 3000; ++step) {
    const int action = pick(20);
    auto fresh = [&] {
      auto item = TListItemData::CreateForFile(nullptr);
      item->SetName(names[static_cast<size_t>(pick(static_cast<int>(names.size())))]);
      return item;
    };
    if (action < 5) {
      list.Add(fresh());
    } else if (action < 8) {
      list.Insert(pick(list.Count() + 1), fresh());
    } else if (action < 10 && !list.Empty()) {
      outside.push_back(list.Detach(pick(list.Count())));
    } else if (action < 11 && !list.Empty()) {
      list.Delete(pick(list.Count()));
    } else if (action < 12 && !outside.empty()) {
      list.Add(std::move(outside.back()));
      outside.pop_back();
    } else if (action < 16 && !list.Empty()) {
      list[pick(list.Count())]->SetName(names[static_cast<size_t>(pick(static_cast<int>(names.size())))]);
    } else if (action < 18) {
      list.Sort([](const TListItemData& a, const TListItemData& b) { return a.Name() < b.Name(); });
    } else if (action < 19 && !outside.empty()) {
      outside.back()->SetName("x");
    } else if (pick(10) == 0) {
      list.Clear();
    }
    for (const std::string& name : names) {
      for (int start = -1; start <= list.Count() + 1; ++start) {
        int position = -2;
        TListItemData* found = list.FindByNameFrom(name, start, &position);
        const int expected = Reference::FindFrom(list, name, start);
        ASSERT_EQ(position, expected) << "step " << step << " " << name << " from " << start;
        ASSERT_EQ(found, expected < 0 ? nullptr : list[expected]);
        ASSERT_EQ(list.FindByNameFrom(name, start), found);
      }
    }
    for (int i = 0; i < list.Count(); ++i) {
      const int start = pick(list.Count() + 1);
      ASSERT_EQ(list.IndexOfItem(list[i], start), Reference::IndexOf(list, list[i], start))
          << "step " << step;
    }
    for (const auto& item : outside) ASSERT_EQ(list.IndexOfItem(item.get()), -1);
  }
}

}  // namespace
}  // namespace pellmor
