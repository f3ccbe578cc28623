#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Platform.h"
#include "scan/uQuarvLoader.h"
#include "store/uQuarvEngine.h"
#include "tests/support/Contents.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

using test::BytesOf;
using test::DigestOf;

const char* StateName(TListItemState state) {
  static const char* const names[] = {"lsAdded",         "lsAddedChanged", "lsDeleted",
                                      "lsDeletedStaged", "lsModified",     "lsModifiedChanged",
                                      "lsRenamedNew",    "lsRenamedOld",   "lsRenamedChanged"};
  return names[state];
}

// "state name" per item, in list order.
std::vector<std::string> Summary(const TQuarvDataList& list) {
  std::vector<std::string> lines;
  for (const auto& item : list)
    lines.push_back(std::string(StateName(item->State)) + " " + item->Name());
  return lines;
}

using Lines = std::vector<std::string>;
using Files = std::map<std::string, std::string>;  // relative path with '/' -> bytes

// One store engine with its loader, created, loaded and compared the way the
// conversion run does it.
struct Pass {
  std::unique_ptr<TQuarv_Engine> engine;
  std::unique_ptr<TQuarvEngine_Loader> loader;

  TQuarvDataList& Changes() { return loader->Changes; }
  TQuarvDataList& Staged() { return loader->Staged; }
  TMyContaner& Index() { return *engine->Index; }
  int ApplyAll() {
    TChangeRefList all = loader->ChangeRefs();
    return loader->ApplyChanges(all);
  }
};

// A working folder in a temporary directory, with the conversion run's use
// of the store engine and the loader.
class Workspace {
 public:
  std::string Path(const std::string& relative) const { return dir_ / relative; }
  std::string Store(const std::string& relative) const { return dir_ / (".Quarv/" + relative); }

  void Write(const Files& files) {
    for (const auto& [name, bytes] : files) test::WriteFile(Path(name), bytes);
  }
  void Remove(const std::string& relative) { fs::remove_all(Path(relative)); }

  // A loaded engine and a prepared loader with the conversion run's patterns.
  Pass Prepared(bool compareWithPrevious = false) {
    Pass pass;
    pass.engine = std::make_unique<TQuarv_Engine>(dir_.Path());
    pass.engine->Load();
    pass.loader = std::make_unique<TQuarvEngine_Loader>(*pass.engine);
    pass.loader->Prepare(compareWithPrevious);
    pass.loader->IgnoreList.AddPattern(".git");
    return pass;
  }
  Pass Compared() {
    Pass pass = Prepared();
    pass.loader->Compare();
    return pass;
  }
  // Stages every change and records it as the next revision.
  void Record() {
    Pass pass = Compared();
    pass.ApplyAll();
    pass.engine->CommitUtc("step", "ann", 133000000000000000ULL, "ann@example.org");
  }
  // Stages every change and saves the index, recording nothing.
  void StageAndSave() {
    Pass pass = Compared();
    pass.ApplyAll();
    pass.engine->SaveIndex();
  }
  // Compare and the first error's message ("" when there is none).
  std::string CompareError() {
    try {
      Compared();
    } catch (const Exception& e) {
      return e.what();
    }
    return "";
  }

  // Revision 1 holds x.txt; the folder then has it as y.txt, logged in Rename.txt.
  void LogRename() {
    Write({{"x.txt", "ex\r\n"}, {"other.bin", "o"}});
    Record();
    Remove("x.txt");
    Write({{"y.txt", "why\r\n"}});
    test::WriteFile(Store("Rename.txt"), "\"x.txt\"->\"y.txt\"\r\n");
  }

 protected:
  TempDir dir_;
};

class LoaderTest : public ::testing::Test, public Workspace {};

class RenameTest : public LoaderTest {
 protected:
  void SetUp() override { LogRename(); }

  static void ExpectLinkEntries(const TMyContaner& index) {
    const TMyFile* live = index.Files.FindLink("y.txt", false);
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->LinkName, "x.txt");
    EXPECT_EQ(BytesOf(live->Content), "why\r\n");
    const TMyFile* gone = index.Files.FindLink("x.txt", true);
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(gone->LinkName, "y.txt");
  }
};

void ExpectFails(const std::function<void()>& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no error, expected: " << message;
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
}

// ---------------------------------------------------------------- comparison

TEST_F(LoaderTest, FirstRevisionListsEveryFileAsAddedInOrdinalOrder) {
  Write({{"a.txt", "one\r\ntwo\r\n"},
         {"b.bin", std::string("\0\1\2", 3)},
         {"B.txt", "bee"},
         {"sub/c.txt", ""}});
  Pass pass = Compared();
  EXPECT_EQ(Summary(pass.Changes()),
            (Lines{"lsAdded B.txt", "lsAdded a.txt", "lsAdded b.bin", "lsAdded sub\\c.txt"}));
  EXPECT_TRUE(pass.Staged().Empty());
  EXPECT_EQ(pass.loader->Base(), nullptr);
  EXPECT_EQ(pass.loader->Target(), pass.engine->Index.get());

  TListItemData* a = pass.Changes().FindByName("a.txt");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(a->FileObject, nullptr);
  EXPECT_EQ(a->FileObject->GetFullPath(), Path("a.txt"));
  EXPECT_TRUE(a->IsText);
  EXPECT_EQ(BytesOf(a->OldData.Content), "one\r\ntwo\r\n");
  EXPECT_EQ(a->OldData.Lines, (TStringList{"one", "two"}));
  EXPECT_EQ(a->OldHash, DigestOf("one\r\ntwo\r\n"));
  EXPECT_EQ(a->NewData.Content.Size(), 0);
  TListItemData* b = pass.Changes().FindByName("b.bin");
  EXPECT_FALSE(b->IsText);
  EXPECT_TRUE(b->OldData.Lines.empty());
  EXPECT_EQ(pass.Changes().FindByName("sub\\c.txt")->OldHash, TContentDigest{});
}

TEST_F(LoaderTest, ApplyingTheFirstRevisionWritesAddedEntriesWithScanAttributes) {
  Write({{"a.txt", "alpha"}, {"b.bin", "\x01\x02"}});
  ::chmod(Path("b.bin").c_str(), 0755);
  Pass pass = Compared();
  EXPECT_EQ(pass.ApplyAll(), 2);
  EXPECT_TRUE(pass.Changes().Empty());
  EXPECT_EQ(Summary(pass.Staged()), (Lines{"lsAdded a.txt", "lsAdded b.bin"}));
  const TMyFileList& files = pass.Index().Files;
  ASSERT_EQ(files.Count(), 2);
  for (const auto& [name, bytes] : Files{{"a.txt", "alpha"}, {"b.bin", "\x01\x02"}}) {
    SCOPED_TRACE(name);
    const TMyFile* entry = files.FindByName(name);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->ChangeKind, ckAdded);
    EXPECT_EQ(BytesOf(entry->Content), bytes);
    EXPECT_FALSE(entry->Untouched);
    TEntryInfo info;
    ASSERT_TRUE(ReadEntryInfo(Path(name), info));
    EXPECT_EQ(entry->Attributes, info.Attributes);
    EXPECT_EQ(entry->LastWriteTime, info.LastWriteTime);
    EXPECT_EQ(entry->CreationTime, info.CreationTime);
  }
  EXPECT_EQ(files.FindByName("b.bin")->Attributes & kAttrArchive, kAttrArchive);

  TChangeRefList none;
  EXPECT_EQ(pass.loader->ApplyChanges(none), 0);
  EXPECT_EQ(files.Count(), 2);
}

// One edit of the working folder after a first revision (names removed, then
// files written), and what Compare reports.
struct EditCase {
  const char* name;
  Files before;
  std::vector<std::string> removed;
  Files written;
  Lines changes;
};

TEST(LoaderEditTest, ReportsEachKindOfEditAfterARevision) {
  const std::string binary(600, '\x7f');
  std::string oneByte = binary;
  oneByte[300] = '\x7e';
  const EditCase cases[] = {
      {"unchanged folder", {{"a.txt", "a\r\n"}, {"b.bin", binary}, {"e.txt", ""}}, {}, {}, {}},
      {"one binary byte", {{"b.bin", binary}}, {}, {{"b.bin", oneByte}}, {"lsModified b.bin"}},
      {"line ends only", {{"a.txt", "x\r\ny\r\n"}}, {}, {{"a.txt", "x\ny\n"}}, {}},
      {"a text line",
       {{"a.txt", "x\r\ny\r\n"}},
       {},
       {{"a.txt", "x\r\nz\r\n"}},
       {"lsModified a.txt"}},
      {"empty stays empty", {{"e.bin", ""}, {"e.txt", ""}}, {}, {{"e.bin", ""}, {"e.txt", ""}}, {}},
      {"emptied", {{"e.bin", "x"}}, {}, {{"e.bin", ""}}, {"lsModified e.bin"}},
      {"added", {{"a.txt", "a"}}, {}, {{"new/n.bin", "n"}}, {"lsAdded new\\n.bin"}},
      {"deleted", {{"a.txt", "a"}, {"b.bin", "b"}}, {"a.txt"}, {}, {"lsDeleted a.txt"}},
      {"folder removed",
       {{"keep.txt", "k"}, {"sub/x.bin", "x"}, {"sub/deep/y.txt", "y"}},
       {"sub"},
       {},
       {"lsDeleted sub\\deep\\y.txt", "lsDeleted sub\\x.bin"}},
      {"case of a name", {{"Name.txt", "n"}}, {"Name.txt"}, {{"NAME.txt", "n"}}, {}},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    Workspace t;
    t.Write(c.before);
    t.Record();
    for (const std::string& name : c.removed) t.Remove(name);
    t.Write(c.written);
    Pass pass = t.Compared();
    EXPECT_EQ(Summary(pass.Changes()), c.changes);
    EXPECT_TRUE(pass.Staged().Empty());
    for (const auto& item : pass.Changes())
      EXPECT_EQ(item->FileObject == nullptr, item->State == lsDeleted) << item->Name();
  }
}

TEST_F(LoaderTest, ModifiedItemCarriesBothSidesAndTheirLineDifference) {
  Write({{"a.txt", "one\ntwo\n"}});
  Record();
  Write({{"a.txt", "one\nthree\n"}});
  Pass pass = Compared();
  ASSERT_EQ(pass.Changes().Count(), 1);
  TListItemData* a = pass.Changes()[0];
  EXPECT_EQ(BytesOf(a->OldData.Content), "one\ntwo\n");
  EXPECT_EQ(BytesOf(a->NewData.Content), "one\nthree\n");
  EXPECT_EQ(a->OldHash, DigestOf("one\ntwo\n"));
  EXPECT_EQ(a->NewHash, DigestOf("one\nthree\n"));
  EXPECT_EQ(a->Comparer.Count(), 1);
  EXPECT_EQ(pass.ApplyAll(), 1);
  const TMyFile* entry = pass.Index().Files.FindByName("a.txt");
  EXPECT_EQ(entry->ChangeKind, ckModified);
  EXPECT_EQ(BytesOf(entry->Content), "one\nthree\n");
}

TEST_F(LoaderTest, UnchangedFilesNeverReadTheirStoredBytes) {
  // Revision 2 carries a.bin over from revision 1; damaging 1.dat after
  // its header makes any read of a.bin's stored bytes fail.
  Write({{"a.bin", std::string(5000, 'a')}, {"b.bin", "b"}});
  Record();
  Write({{"b.bin", "bb"}});
  Record();
  fs::resize_file(Store("Objects/1.dat"), 40);

  EXPECT_EQ(CompareError(), "");
  Write({{"a.bin", std::string(5000, 'A')}});
  const std::string error = CompareError();
  EXPECT_NE(error.find("1.dat"), std::string::npos) << error;
}

TEST_F(LoaderTest, AFileDeletedInTheBaseAndPutBackIsAlwaysAChange) {
  Write({{"e.txt", ""}, {"z.bin", "z"}, {"keep.bin", "k"}});
  Record();
  Remove("e.txt");
  Remove("z.bin");
  Record();
  Write({{"e.txt", ""}, {"z.bin", "z"}});
  Pass pass = Compared();
  EXPECT_EQ(Summary(pass.Changes()), (Lines{"lsModified e.txt", "lsModified z.bin"}));
  pass.ApplyAll();
  pass.engine->CommitUtc("back", "", 1, "");

  TMyContaner revision;
  revision.LoadFromFile(Store("Objects/3.dat"));
  for (const char* name : {"e.txt", "z.bin"}) {
    const TMyFile* entry = revision.Files.FindByName(name);
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_FALSE(entry->Deleted) << name;
  }
}

TEST_F(LoaderTest, StoreIgnoreListHidesFilesAndReportsRecordedOnesAsDeleted) {
  Write({{"keep.txt", "k"}, {"gone.txt", "g"}, {"still.txt", "s"}});
  Record();
  Remove("gone.txt");
  Write({{"secret.txt", "s"}, {"sub/Hidden.bin", "h"}});
  test::WriteFile(Store("Ignore.txt"),
                  "secret.txt\r\nSUB\\hidden.bin\r\ngone.txt\r\nstill.txt\r\n");
  Pass pass = Compared();
  EXPECT_EQ(Summary(pass.Changes()), (Lines{"lsDeleted gone.txt", "lsDeleted still.txt"}));
}

TEST_F(LoaderTest, StoreAndGitFoldersAreNeverSeenAtAnyDepthOrCase) {
  Write({{"a.txt", "a"},
         {".git/config", "c"},
         {"sub/.GIT/x", "x"},
         {"sub/.quarv/y", "y"},
         {"deep/er/.Quarv/z", "z"},
         {".github/w.txt", "w"},
         {"sub/x.git", "g"}});
  Pass pass = Compared();
  EXPECT_EQ(Summary(pass.Changes()),
            (Lines{"lsAdded .github\\w.txt", "lsAdded a.txt", "lsAdded sub\\x.git"}));
}

TEST_F(LoaderTest, LinksAreReadAsTheirTargetAndSpecialFilesAreSkipped) {
  Write({{"dir/inner.txt", "i"}});
  ASSERT_EQ(::symlink("dir", Path("dirlink").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere/at/all", Path("dangling").c_str()), 0);
  ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0644), 0);
  Pass pass = Compared();
  EXPECT_EQ(Summary(pass.Changes()),
            (Lines{"lsAdded dangling", "lsAdded dir\\inner.txt", "lsAdded dirlink"}));
  EXPECT_EQ(BytesOf(pass.Changes().FindByName("dirlink")->OldData.Content), "dir");
  EXPECT_EQ(BytesOf(pass.Changes().FindByName("dangling")->OldData.Content), "nowhere/at/all");
}

TEST_F(LoaderTest, NamesTheStoreCannotTellApartStopCompareBeforeTheIndexIsTouched) {
  const struct {
    Files files;
    std::string message;
  } cases[] = {
      {{{"A.txt", "1"}, {"a.txt", "2"}},
       "Cannot record \"" + Path("A.txt") + "\" and \"" + Path("a.txt") +
           "\": their names differ only in case"},
      {{{"Sub/x", "1"}, {"sub/y", "2"}},
       "Cannot record \"" + Path("Sub") + "\" and \"" + Path("sub") +
           "\": their names differ only in case"},
      {{{"deep/Name", "1"}, {"deep/name/f", "2"}},
       "Cannot record \"" + Path("deep/Name") + "\" and \"" + Path("deep/name") +
           "\": their names differ only in case"},
      {{{"dir/a\\b.txt", "1"}},
       "Cannot record \"" + Path("dir/a\\b.txt") + "\": its name contains a backslash"},
  };
  // A staged file and a logged rename of it: a Compare that went on would
  // rename the index entry and write Index.dat again.
  Write({{"old.txt", "o"}});
  StageAndSave();
  const std::string index = test::ReadFile(Store("Index.dat"));
  Remove("old.txt");
  Write({{"new.txt", "o"}});
  test::WriteFile(Store("Rename.txt"), "\"old.txt\"->\"new.txt\"\r\n");

  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Write(c.files);
    EXPECT_EQ(CompareError(), c.message);
    EXPECT_EQ(test::ReadFile(Store("Index.dat")), index);
    for (const auto& [name, bytes] : c.files) Remove(name.substr(0, name.find('/')));
  }
  EXPECT_EQ(CompareError(), "");
  EXPECT_NE(test::ReadFile(Store("Index.dat")), index);
}

TEST_F(LoaderTest, AnUnreadableWorkingFileEndsCompareNamingIt) {
  Write({{"a.txt", "a"}, {"locked.bin", "secret"}});
  Record();
  Write({{"locked.bin", "changed"}});
  ::chmod(dir_.Path().c_str(), 0755);
  ::chmod(Path(".Quarv").c_str(), 0755);
  ::chmod(Path("locked.bin").c_str(), 0);
  // In a child process, without root's right to read anything.
  EXPECT_EXIT(
      {
        Pass pass = Prepared();
        if (::geteuid() == 0 &&
            (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
          std::_Exit(2);
        try {
          pass.loader->Compare();
          std::fprintf(stderr, "no error\n");
        } catch (const Exception& e) {
          std::fprintf(stderr, "%s\n", e.what());
        }
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "Cannot open file \".*/locked\\.bin\"\\. Permission denied");
}

TEST_F(LoaderTest, PrepareAgainComparesAfresh) {
  Write({{"a.txt", "a"}, {"b.txt", "b"}});
  Record();
  Remove("a.txt");
  Write({{"b.txt", "B"}, {"c.txt", "c"}});
  Pass pass = Compared();
  const Lines expected{"lsDeleted a.txt", "lsModified b.txt", "lsAdded c.txt"};
  EXPECT_EQ(Summary(pass.Changes()), expected);

  // b.txt, seen by the first Compare, is gone by the second.
  Remove("b.txt");
  pass.loader->Prepare(false);
  EXPECT_TRUE(pass.Changes().Empty());
  EXPECT_EQ(pass.loader->Root(), nullptr);
  EXPECT_EQ(pass.loader->IgnoreList.Count(), 1);
  pass.loader->IgnoreList.AddPattern(".git");
  pass.loader->Compare();
  EXPECT_EQ(Summary(pass.Changes()),
            (Lines{"lsDeleted a.txt", "lsDeleted b.txt", "lsAdded c.txt"}));

  Write({{"b.txt", "B"}});
  pass.loader->Compare();
  EXPECT_EQ(Summary(pass.Changes()), expected);
}

TEST_F(LoaderTest, CompareBeforePrepareIsAnError) {
  auto engine = std::make_unique<TQuarv_Engine>(dir_.Path());
  engine->Load();
  TQuarvEngine_Loader loader(*engine);
  EXPECT_EQ(loader.IgnoreList.Count(), 0);
  ExpectFails([&] { loader.Compare(); }, "The change loader is used before Prepare");
}

TEST_F(LoaderTest, CompareWithPreviousTakesTheNewestRevisionAsStaged) {
  Write({{"a.bin", "1"}, {"b.bin", "b"}});
  Record();
  Write({{"a.bin", "2"}});
  Record();

  Pass pass = Prepared(true);
  TMyContanerList& containers = pass.engine->FileSystem->Containers;
  EXPECT_EQ(pass.loader->Base(), containers[0]);
  EXPECT_EQ(pass.loader->Previous(), containers[0]);
  ASSERT_NE(pass.loader->Target(), nullptr);
  EXPECT_NE(pass.loader->Target(), pass.engine->Index.get());
  pass.loader->Compare();
  EXPECT_TRUE(pass.Changes().Empty());
  EXPECT_EQ(Summary(pass.Staged()), Lines{"lsModified a.bin"});
  TListItemData* a = pass.Staged()[0];
  EXPECT_EQ(BytesOf(a->OldData.Content), "1");
  EXPECT_EQ(BytesOf(a->NewData.Content), "2");

  Write({{"a.bin", "3"}});
  pass.loader->Prepare(true);
  pass.loader->Compare();
  EXPECT_EQ(Summary(pass.Changes()), Lines{"lsModifiedChanged a.bin"});
  EXPECT_EQ(Summary(pass.Staged()), Lines{"lsModifiedChanged a.bin"});
  EXPECT_TRUE(pass.engine->Index->Files.Empty()) << "the engine's index is not the target";
}

TEST_F(LoaderTest, CompareWithPreviousOnAFirstRevisionHasNoBase) {
  Write({{"a.bin", "1"}});
  Record();
  Pass pass = Prepared(true);
  EXPECT_EQ(pass.loader->Base(), nullptr);
  EXPECT_EQ(pass.loader->Previous(), nullptr);
  EXPECT_NE(pass.loader->Target(), pass.engine->Index.get());
  ASSERT_EQ(pass.loader->Target()->Files.Count(), 1);
  pass.loader->Compare();
  EXPECT_TRUE(pass.Changes().Empty());
  EXPECT_EQ(Summary(pass.Staged()), Lines{"lsModified a.bin"});
}

// ---------------------------------------------------------------- renames

TEST_F(RenameTest, LoggedRenameGivesAPairAndADeletionOfTheOldName) {
  Pass pass = Compared();
  EXPECT_EQ(Summary(pass.Changes()),
            (Lines{"lsRenamedOld x.txt", "lsDeleted x.txt", "lsRenamedNew y.txt"}));
  TListItemData* n = pass.Changes().FindByName("y.txt");
  TListItemData* o = pass.Changes()[0];
  EXPECT_EQ(n->Partner, o);
  EXPECT_EQ(o->Partner, n);
  EXPECT_EQ(n->FileObject, nullptr);
  EXPECT_EQ(BytesOf(n->OldData.Content), "ex\r\n");
  EXPECT_EQ(BytesOf(n->NewData.Content), "why\r\n");
  EXPECT_EQ(n->OldHash, DigestOf("ex\r\n"));
  EXPECT_EQ(n->NewHash, DigestOf("why\r\n"));
  EXPECT_EQ(n->Comparer.Count(), 1);
}

TEST_F(RenameTest, APairIsStagedOnceWhicheverMemberComesFirst) {
  // Which items of Changes (by name and state) to pass, and in which order.
  const struct {
    const char* name;
    std::vector<TListItemState> order;
    int applied;
    size_t listLeft;
  } cases[] = {
      {"old, deletion, new", {lsRenamedOld, lsDeleted, lsRenamedNew}, 2, 2},
      {"new, old, deletion", {lsRenamedNew, lsRenamedOld, lsDeleted}, 2, 2},
      {"new alone", {lsRenamedNew}, 1, 1},
      {"old alone", {lsRenamedOld}, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pass pass = Compared();
    TChangeRefList list;
    for (TListItemState state : c.order)
      for (const auto& item : pass.Changes())
        if (item->State == state) list.push_back(item.get());
    ASSERT_EQ(list.size(), c.order.size());
    EXPECT_EQ(pass.loader->ApplyChanges(list), c.applied);
    EXPECT_EQ(list.size(), c.listLeft);
    ExpectLinkEntries(pass.Index());
    EXPECT_EQ(pass.Index().Files.Count(), 2);
    Lines staged = Summary(pass.Staged());
    EXPECT_EQ(staged.size(), c.order.size() == 3 ? 3u : 2u);
  }
}

TEST_F(RenameTest, TheNewNameMustStillExistWhenStaged) {
  Pass pass = Compared();
  Remove("y.txt");
  ExpectFails([&] { pass.ApplyAll(); }, "File '" + Path("y.txt") + "' not founded");
}

TEST(RenameErrorTest, RenameErrors) {
  const struct {
    const char* name;
    std::function<void(Workspace&)> setup;
    std::string message;
  } cases[] = {
      {"new name missing", [](Workspace& t) { t.Remove("y.txt"); },
       "Error: File was renambed but not found: \"x.txt\"->\"y.txt\""},
      {"new name is a folder",
       [](Workspace& t) {
         t.Remove("y.txt");
         t.Write({{"y.txt/inner", "i"}});
       },
       "Error: File was renambed but not found: \"x.txt\"->\"y.txt\""},
      {"old name nowhere",
       [](Workspace& t) { test::WriteFile(t.Store("Rename.txt"), "\"q.txt\"->\"y.txt\"\r\n"); },
       "Error: File was renambed but not found in base: \"q.txt\"->\"y.txt\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Workspace t;
    t.LogRename();
    c.setup(t);
    EXPECT_EQ(t.CompareError(), c.message);
  }
}

TEST_F(RenameTest, StagedRenameIsListedAndChecksTheIndex) {
  Pass pass = Compared();
  pass.ApplyAll();
  pass.engine->SaveIndex();

  Pass again = Compared();  // Rename.txt still holds the record
  EXPECT_TRUE(again.Changes().Empty());
  EXPECT_EQ(Summary(again.Staged()), (Lines{"lsRenamedOld x.txt", "lsRenamedNew y.txt"}));
  TListItemData* n = again.Staged()[1];
  EXPECT_EQ(n->Partner, again.Staged()[0]);
  EXPECT_EQ(BytesOf(n->NewData.Content), "why\r\n");

  // A live link entry without its deleted partner.
  TMyFile* gone = again.Index().Files.FindLink("x.txt", true);
  gone->IsLink = false;
  again.engine->SaveIndex();
  EXPECT_EQ(CompareError(), "Corrupted data. Linked filename 'x.txt' not founded.");
  gone->IsLink = true;
  again.engine->SaveIndex();
  // A record that matches only the new name of the staged pair.
  test::WriteFile(Store("Rename.txt"), "\"w.txt\"->\"y.txt\"\r\n");
  EXPECT_EQ(CompareError(),
            "Internal error: the rename \"w.txt\"->\"y.txt\" has a staged item under \"y.txt\" "
            "only, where both of its names or neither were expected");
}

TEST_F(RenameTest, ALoggedRenameOfAStagedFileRenamesTheIndexEntry) {
  // x.txt changed and staged (not recorded), then renamed in the folder.
  Remove("y.txt");
  fs::remove(Store("Rename.txt"));
  Write({{"x.txt", "ex2\r\n"}});
  StageAndSave();
  Remove("x.txt");
  Write({{"y.txt", "ex2\r\n"}});
  test::WriteFile(Store("Rename.txt"), "\"x.txt\"->\"y.txt\"\r\n");

  Pass pass = Compared();
  TListItemData* n = pass.Changes().FindByName("y.txt");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(BytesOf(n->OldData.Content), "ex2\r\n") << "old bytes from the index entry";
  EXPECT_EQ(n->Comparer.Count(), 0);
  TMyContaner saved;
  saved.LoadFromFile(Store("Index.dat"));
  EXPECT_NE(saved.Files.FindByName("y.txt"), nullptr);
  EXPECT_EQ(saved.Files.FindByName("x.txt"), nullptr);
}

// ---------------------------------------------------------------- pending changes

TEST(PendingChangeTest, PendingChangesOfStagedFilesAreMergedIntoTheIndex) {
  // Revision 1 holds `recorded`; the one file of `staged` is then staged and
  // saved in Index.dat; the folder holds `now` at the second Compare.
  const struct {
    const char* name;
    Files recorded, staged, now;
    const char* state;  // of the staged item once merged
    bool pending;       // whether the second Compare reports a pending change
  } cases[] = {
      {"added binary", {{"o.bin", "o"}}, {{"a.bin", "1"}}, {{"a.bin", "2"}}, "lsAdded", true},
      {"added text, line ends only",
       {{"o.bin", "o"}},
       {{"a.txt", "x\r\n"}},
       {{"a.txt", "x\n"}},
       "lsAdded",
       true},
      {"added, unchanged", {{"o.bin", "o"}}, {{"a.bin", "1"}}, {{"a.bin", "1"}}, "lsAdded", false},
      {"modified binary", {{"m.bin", "1"}}, {{"m.bin", "2"}}, {{"m.bin", "3"}}, "lsModified", true},
      {"modified text",
       {{"m.txt", "a\n"}},
       {{"m.txt", "b\n"}},
       {{"m.txt", "c\n"}},
       "lsModified",
       true},
      {"modified text, line ends only",
       {{"m.txt", "a\n"}},
       {{"m.txt", "b\n"}},
       {{"m.txt", "b\r\n"}},
       "lsModified",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Workspace t;
    t.Write(c.recorded);
    t.Record();
    t.Write(c.staged);
    t.StageAndSave();
    t.Write(c.now);
    const std::string file = c.staged.begin()->first;
    const std::string merged = std::string(c.state) + " " + file;
    const std::string changed = std::string(c.state) + "Changed " + file;

    Pass pass = t.Compared();
    EXPECT_EQ(Summary(pass.Changes()), c.pending ? Lines{changed} : Lines{});
    EXPECT_EQ(Summary(pass.Staged()), Lines{c.pending ? changed : merged});
    TListItemData* s = pass.Staged()[0];
    EXPECT_EQ(pass.ApplyAll(), c.pending ? 1 : 0);
    EXPECT_TRUE(pass.Changes().Empty());
    EXPECT_EQ(Summary(pass.Staged()), Lines{merged});
    EXPECT_EQ(pass.Staged()[0], s) << "merged into the staged item";
    const TMyFile* entry = pass.Index().Files.FindByName(file);
    ASSERT_NE(entry, nullptr);
    const std::string expected = (c.pending ? c.now : c.staged).begin()->second;
    EXPECT_EQ(BytesOf(entry->Content), expected);
    EXPECT_EQ(entry->Hash, DigestOf(expected));
  }
}

TEST_F(RenameTest, PendingChangeOfAStagedRenameIsMergedIntoItsLinkEntry) {
  Pass pass = Compared();
  pass.ApplyAll();
  pass.engine->SaveIndex();
  Write({{"y.txt", "why\r\nnot\r\n"}});

  Pass again = Compared();
  EXPECT_EQ(Summary(again.Changes()), Lines{"lsRenamedChanged y.txt"});
  TListItemData* m = again.Changes()[0];
  TListItemData* n = again.Staged().FindByName("y.txt");
  EXPECT_EQ(m->Partner, n);
  EXPECT_EQ(BytesOf(m->OldData.Content), "why\r\n");
  EXPECT_EQ(m->OldHash, DigestOf("why\r\n"));
  EXPECT_EQ(again.ApplyAll(), 1);
  EXPECT_TRUE(again.Changes().Empty());
  EXPECT_EQ(BytesOf(n->NewData.Content), "why\r\nnot\r\n");
  const TMyFile* live = again.Index().Files.FindLink("y.txt", false);
  EXPECT_EQ(BytesOf(live->Content), "why\r\nnot\r\n");
  EXPECT_EQ(live->Hash, DigestOf("why\r\nnot\r\n"));

  Write({{"y.txt", "why\n"}});  // line ends only: no pending change
  EXPECT_TRUE(Compared().Changes().Empty());
}

// ---------------------------------------------------------------- staging errors

TEST_F(LoaderTest, AnItemNotInChangesFailsAfterTheItemsBeforeIt) {
  Write({{"a.bin", "a"}, {"b.bin", "b"}, {"c.bin", "c"}});
  Pass pass = Compared();
  auto stranger = TListItemData::CreateForFile(nullptr);
  stranger->SetName("stranger.bin");
  TChangeRefList list{pass.Changes()[0], pass.Changes()[1], stranger.get(), pass.Changes()[2]};
  ExpectFails([&] { pass.loader->ApplyChanges(list); },
              "File 'stranger.bin' not founded in the source");
  EXPECT_EQ(Summary(pass.Changes()), Lines{"lsAdded c.bin"});
  EXPECT_EQ(Summary(pass.Staged()), (Lines{"lsAdded a.bin", "lsAdded b.bin"}));
  EXPECT_EQ(pass.Index().Files.Count(), 2);

  TChangeRefList twice{pass.Changes()[0], pass.Changes()[0]};
  ExpectFails([&] { pass.loader->ApplyChanges(twice); }, "File 'c.bin' not founded in the source");
  EXPECT_TRUE(pass.Changes().Empty());
}

TEST(RenamePairTest, AMemberMissingFromChangesFailsThePair) {
  // The member taken out of Changes behind the loader's back, and the one passed.
  const struct {
    TListItemState missing;
    TListItemState passed;
    const char* message;
  } cases[] = {
      {lsRenamedOld, lsRenamedNew, "File 'x.txt' not founded in the list"},
      {lsRenamedNew, lsRenamedOld, "File 'y.txt' not founded in the list"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Workspace t;
    t.LogRename();
    Pass pass = t.Compared();
    std::unique_ptr<TListItemData> missing;
    TChangeRefList list;
    for (int i = pass.Changes().Count() - 1; i >= 0; --i)
      if (pass.Changes()[i]->State == c.missing) missing = pass.Changes().Detach(i);
    for (const auto& item : pass.Changes())
      if (item->State == c.passed) list.push_back(item.get());
    ASSERT_NE(missing, nullptr);
    ASSERT_EQ(list.size(), 1u);
    ExpectFails([&] { pass.loader->ApplyChanges(list); }, c.message);
    EXPECT_TRUE(pass.Index().Files.Empty());
  }
}

TEST_F(LoaderTest, PendingChangeWithoutItsIndexEntryFails) {
  Write({{"o.bin", "o"}});
  Record();
  Write({{"a.bin", "1"}});
  StageAndSave();
  Write({{"a.bin", "2"}});
  Pass pass = Compared();
  ASSERT_EQ(Summary(pass.Changes()), Lines{"lsAddedChanged a.bin"});
  pass.Index().Files.Clear();
  ExpectFails([&] { pass.ApplyAll(); }, "File 'a.bin' not founded in the index");
}

}  // namespace
}  // namespace pellmor
