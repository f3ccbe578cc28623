#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "foundation/DateTime.h"
#include "foundation/Platform.h"
#include "foundation/uMyStreamUtils.h"
#include "store/uMyFS.h"
#include "store/uQuarvEngine.h"
#include "tests/support/TempDir.h"
#include "tests/support/TimeZone.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;

std::string Text(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()), stream.Size());
}

// Every file under a folder with its bytes, to show that nothing was written.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files[entry.path().string()] = test::ReadFile(entry.path());
  return files;
}

class EngineTest : public ::testing::Test {
 protected:
  std::string Store(const std::string& relative = "") const {
    return dir_ / (".Quarv/" + relative);
  }

  std::unique_ptr<TQuarv_Engine> Open() {
    auto engine = std::make_unique<TQuarv_Engine>(dir_.Path());
    engine->Load();
    return engine;
  }

  // Stages a file the way the change loader does: found or added by name.
  static TMyFile* Stage(TQuarv_Engine& engine, const std::string& name, const std::string& bytes,
                        uint8_t kind) {
    TMyFile* entry = engine.Index->Files.FindOrAdd(name);
    entry->Content.Assign(bytes.data(), bytes.size());
    entry->ChangeKind = kind;
    entry->LastWriteTime = 1000 + bytes.size();
    entry->Attributes = kAttrNormal;
    return entry;
  }

  // One revision from a fresh engine: stage(engine), then Commit.
  template <typename StageFn>
  void CommitWith(StageFn stage, const std::string& message = "m") {
    auto engine = Open();
    stage(*engine);
    engine->CommitUtc(message, "ann", 133000000000000000ULL, "ann@example.org");
  }

  void CommitFiles(const std::map<std::string, std::string>& files, uint8_t kind) {
    CommitWith([&](TQuarv_Engine& e) {
      for (const auto& [name, bytes] : files) Stage(e, name, bytes, kind);
    });
  }

  std::unique_ptr<TMyContaner> Revision(int number) {
    auto c = std::make_unique<TMyContaner>();
    c->LoadFromFile(Store("Objects/" + std::to_string(number) + ".dat"));
    return c;
  }

  // The 4-byte length of an entry's content block in its container file.
  int32_t BlockLength(int number, const TMyFile& entry) {
    const std::string bytes = test::ReadFile(Store("Objects/" + std::to_string(number) + ".dat"));
    int32_t length = -1;
    std::memcpy(&length, bytes.data() + entry.ContentOffset, 4);
    return length;
  }

  test::TempDir dir_;
};

TEST_F(EngineTest, EmptyIndexRecordsNothing) {
  auto engine = Open();
  engine->Commit("message", "ann", 0, "");
  engine->CommitUtc("message", "ann", 0, "");
  EXPECT_FALSE(DirectoryExists(Store()));
}

TEST_F(EngineTest, FirstCommitRecordsEveryEntryAsAddedVersionOne) {
  auto engine = Open();
  Stage(*engine, "b.txt", "bee", ckModified)->Version = 7;
  Stage(*engine, "A\\x.bin", std::string(300, 'x'), ckNone);
  engine->SaveIndex();
  ASSERT_TRUE(FileExists(engine->GetIndexFileName()));
  engine->CommitUtc("", "", 132000000000000000ULL, "");

  EXPECT_EQ(engine->Index->Files.Count(), 0);
  EXPECT_FALSE(FileExists(engine->GetIndexFileName()));
  EXPECT_EQ(test::ReadFile(Store("History.txt")), "1.dat\r\n");
  auto first = Revision(1);
  EXPECT_EQ(first->Number, 1);
  EXPECT_EQ(first->PreviousNumber, 0);
  EXPECT_EQ(first->NextNumber, 0);
  EXPECT_EQ(first->Author, "Kestovar");
  EXPECT_EQ(first->Email, TQuarv_Engine::kDefaultEmail);
  EXPECT_EQ(first->Comment, "");
  EXPECT_EQ(first->Date, 132000000000000000ULL);
  ASSERT_EQ(first->Files.Count(), 2);
  EXPECT_EQ(first->Files[0]->Name(), "A\\x.bin") << "sorted by upper-case name";
  for (const auto& entry : first->Files) {
    EXPECT_EQ(entry->Version, 1);
    EXPECT_EQ(entry->ChangeKind, ckAdded);
    EXPECT_EQ(entry->DataRevision, 1);
    TContentDigest digest;
    ContentDigest(entry->Content, digest);
    EXPECT_EQ(entry->Hash, digest);
  }
  EXPECT_TRUE(first->Files[0]->Compressed);
  EXPECT_EQ(Text(first->Files[1]->Content), "bee");
}

TEST_F(EngineTest, NextRevisionCarriesUnchangedEntriesOver) {
  CommitFiles({{"a.txt", "one"}, {"b.txt", "two"}, {"c.txt", "three"}}, ckAdded);
  const std::string firstBefore = test::ReadFile(Store("Objects/1.dat"));
  CommitWith([](TQuarv_Engine& e) { Stage(e, "B.TXT", "two, changed", ckModified); }, "second");

  auto second = Revision(2);
  EXPECT_EQ(second->PreviousNumber, 1);
  EXPECT_EQ(second->Comment, "second");
  ASSERT_EQ(second->Files.Count(), 3);
  const TMyFile& a = *second->Files[0];
  const TMyFile& b = *second->Files[1];
  EXPECT_EQ(b.Name(), "B.TXT");
  EXPECT_EQ(b.ChangeKind, ckModified);
  EXPECT_EQ(b.Version, 2);
  EXPECT_EQ(b.DataRevision, 2);
  EXPECT_EQ(Text(b.Content), "two, changed");
  auto first = Revision(1);
  for (const TMyFile* carried : {&a, static_cast<const TMyFile*>(second->Files[2])}) {
    EXPECT_EQ(carried->ChangeKind, ckUnchanged);
    EXPECT_EQ(carried->DataRevision, 1);
    EXPECT_EQ(carried->Version, 1);
    EXPECT_EQ(carried->Hash, first->Files.FindByName(carried->Name())->Hash);
    EXPECT_EQ(carried->LastWriteTime, first->Files.FindByName(carried->Name())->LastWriteTime);
    EXPECT_EQ(BlockLength(2, *carried), 0);
  }

  // 1.dat changed in its NextNumber and nowhere else.
  std::string firstAfter = test::ReadFile(Store("Objects/1.dat"));
  int32_t next = 0;
  std::memcpy(&next, firstAfter.data() + kContainerNextNumberOffset, 4);
  EXPECT_EQ(next, 2);
  firstAfter.replace(kContainerNextNumberOffset, 4, firstBefore, kContainerNextNumberOffset, 4);
  EXPECT_EQ(firstAfter, firstBefore);
  EXPECT_EQ(test::ReadFile(Store("History.txt")), "1.dat\r\n2.dat\r\n");

  // A carried entry's bytes come from the revision that holds them.
  auto engine = Open();
  TMyContaner* newest = engine->FileSystem->Containers.Last();
  TMyFile* carried = newest->Files.FindByName("a.txt");
  EXPECT_EQ(carried->Content.Size(), 0);
  engine->LoadContent(*carried);
  EXPECT_EQ(Text(carried->Content), "one");
  EXPECT_TRUE(engine->FileSystem->FindByNumber(1)->RecordsLoaded);
  TMyFile* own = newest->Files.FindByName("b.txt");
  own->Content.Clear();
  engine->LoadContent(*own);  // its bytes are its container's own: nothing to fetch
  EXPECT_EQ(own->Content.Size(), 0);
}

// Bytes fetched from an older container must come from the revision they
// are asked of: a file that holds another revision is damage, named.
TEST_F(EngineTest, OlderContainerHoldingAnotherRevisionIsReported) {
  CommitFiles({{"a.txt", "one"}, {"b.txt", "two"}}, ckAdded);
  CommitFiles({{"b.txt", "two, changed"}}, ckModified);
  // The history's 9.dat says it is revision 1, so revision 1 is listed; its
  // bytes are then read from 1.dat, which says it is revision 9.
  std::string bytes = test::ReadFile(Store("Objects/1.dat"));
  test::WriteFile(Store("Objects/9.dat"), bytes);
  bytes[kContainerNumberOffset] = 9;
  test::WriteFile(Store("Objects/1.dat"), bytes);
  test::WriteFile(Store("History.txt"), "9.dat\r\n2.dat\r\n");
  auto engine = Open();
  TMyFile* carried = engine->FileSystem->Containers.Last()->Files.FindByName("a.txt");
  ASSERT_EQ(carried->DataRevision, 1);
  try {
    engine->LoadContent(*carried);
    FAIL() << "bytes were taken from revision 9 for revision 1";
  } catch (const EDamagedContainer& e) {
    EXPECT_EQ(std::string(e.what()), "Container '" + Store("Objects/1.dat") +
                                         "' is damaged: it holds revision 9 where 1 was expected");
  }
}

// A carried entry's bytes are fetched from its own content block alone: the
// other blocks of that container are neither read nor needed, and a damaged
// block of the entry itself is reported with the container's name.
TEST_F(EngineTest, CarriedBytesComeFromTheirOwnBlockOnly) {
  const std::string big(5000, 'x');  // compressed when stored
  CommitFiles({{"a.txt", "one"}, {"b.bin", big}, {"c.txt", big + "c"}}, ckAdded);
  CommitFiles({{"d.txt", "four"}}, ckAdded);
  const std::unique_ptr<TMyContaner> first = Revision(1);
  const TMyFile* damaged = first->Files.FindByName("c.txt");
  ASSERT_TRUE(damaged->Compressed);
  std::string bytes = test::ReadFile(Store("Objects/1.dat"));
  const int32_t length = BlockLength(1, *damaged);
  ASSERT_GT(length, 0);
  bytes.replace(damaged->ContentOffset + 4, length, length, '\xff');
  test::WriteFile(Store("Objects/1.dat"), bytes);

  auto engine = Open();
  TMyContaner* newest = engine->FileSystem->Containers.Last();
  for (const auto& [name, expected] :
       std::map<std::string, std::string>{{"a.txt", "one"}, {"b.bin", big}}) {
    TMyFile* carried = newest->Files.FindByName(name);
    engine->LoadContent(*carried);
    EXPECT_EQ(Text(carried->Content), expected) << name;
    EXPECT_EQ(carried->Content.Position(), 0) << name;
  }
  EXPECT_FALSE(engine->FileSystem->FindByNumber(1)->Loaded);
  try {
    engine->LoadContent(*newest->Files.FindByName("c.txt"));
    FAIL() << "a damaged block was taken";
  } catch (const EDamagedContainer& e) {
    EXPECT_NE(std::string(e.what()).find(Store("Objects/1.dat")), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("c.txt"), std::string::npos) << e.what();
  }
}

TEST_F(EngineTest, VersionFollowsTheChangeKind) {
  const std::map<std::string, std::string> names = {{"k0", "-"}, {"k1", "-"}, {"k2", "-"},
                                                    {"k4", "-"}, {"k5", "-"}, {"k7", "-"}};
  CommitFiles(names, ckAdded);
  CommitFiles({{"k1", "+"}}, ckModified);  // k1 is now at version 2
  CommitWith([&](TQuarv_Engine& e) {
    for (const auto& [name, unused] : names) {
      TMyFile* entry = Stage(e, name, "new", static_cast<uint8_t>(name[1] - '0'));
      entry->Version = 9;
    }
  });
  const std::map<std::string, int> want = {{"k0", 9}, {"k1", 3}, {"k2", 1},
                                           {"k4", 2}, {"k5", 2}, {"k7", 9}};
  auto third = Revision(3);
  for (const auto& [name, version] : want)
    EXPECT_EQ(third->Files.FindByName(name)->Version, version) << name;
}

TEST_F(EngineTest, FailuresBeforeTheFirstWriteLeaveTheStoreAsItWas) {
  CommitFiles({{"a.txt", "one"}}, ckAdded);
  TMyRenameData records;
  records.Add("x.txt", "other.txt");
  records.SaveToFile(Store("Rename.txt"));
  struct Case {
    const char* what;
    void (*stage)(TQuarv_Engine&);
    std::string message;
  } cases[] = {
      {"modified file missing from the newest revision",
       [](TQuarv_Engine& e) { Stage(e, "gone.txt", "x", ckModified); },
       "Index '" + Store("Objects/1.dat") + "' is corrupted!"},
      {"renamed file without its record",
       [](TQuarv_Engine& e) {
         TMyFile* entry = Stage(e, "new.txt", "x", ckAdded);
         entry->IsLink = true;
         entry->LinkName = "a.txt";
       },
       "Rename item for 'new.txt' not found"},
  };
  for (const Case& c : cases) {
    auto engine = Open();
    c.stage(*engine);
    engine->SaveIndex();
    const auto before = Snapshot(Store());
    try {
      engine->CommitUtc("m", "ann", 1, "e");
      ADD_FAILURE() << c.what << ": committed";
    } catch (const Exception& e) {
      EXPECT_EQ(e.what(), c.message) << c.what;
    }
    EXPECT_EQ(Snapshot(Store()), before) << c.what;
    engine->DeleteIndexFile();
  }
}

TEST_F(EngineTest, OversizeContentIsRefusedBeforeAnythingIsWritten) {
  auto engine = Open();
  Stage(*engine, "small.txt", "x", ckAdded);
  TMyFile* big = engine->Index->Files.FindOrAdd("big.bin");
  big->Content.SetSize(kMaxContentSize + 1);  // never touched, so never really allocated
  try {
    engine->Commit("m", "ann", 0, "");
    FAIL() << "an oversize content was committed";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind("File 'big.bin' is too large to store", 0), 0u)
        << e.what();
  }
  EXPECT_FALSE(DirectoryExists(Store()));
}

TEST_F(EngineTest, RenameLogIsRewrittenDeletedOrLeftAlone) {
  CommitFiles({{"a.txt", "one"}, {"b.txt", "two"}}, ckAdded);
  auto stageRename = [](TQuarv_Engine& e, const std::string& from, const std::string& to) {
    TMyFile* added = Stage(e, to, "moved", ckAdded);
    added->IsLink = true;
    added->LinkName = from;
    TMyFile* removed = e.Index->Files.FindOrAdd(from);
    removed->IsLink = true;
    removed->Deleted = true;
    removed->LinkName = to;
  };

  // One of two records consumed: the other is written back.
  test::WriteFile(Store("Rename.txt"), "\"a.txt\"->\"A2.txt\"\r\n \"b.txt\"->\"b2.txt\"\n");
  CommitWith([&](TQuarv_Engine& e) { stageRename(e, "a.txt", "a2.txt"); });
  EXPECT_EQ(test::ReadFile(Store("Rename.txt")), "\"b.txt\"->\"b2.txt\"\r\n");
  auto second = Revision(2);
  const TMyFile* newSide = second->Files.FindLink("a2.txt", false);
  ASSERT_NE(newSide, nullptr);
  EXPECT_EQ(newSide->LinkName, "a.txt");
  EXPECT_EQ(second->Files.FindLink("a.txt", true)->LinkName, "a2.txt");

  // No rename staged: the log stays exactly as it is.
  test::WriteFile(Store("Rename.txt"), "  \"b.txt\"->\"b2.txt\"  \n");
  CommitFiles({{"c.txt", "three"}}, ckAdded);
  EXPECT_EQ(test::ReadFile(Store("Rename.txt")), "  \"b.txt\"->\"b2.txt\"  \n");

  // The last record consumed: the log is deleted.
  CommitWith([&](TQuarv_Engine& e) { stageRename(e, "b.txt", "b2.txt"); });
  EXPECT_FALSE(FileExists(Store("Rename.txt")));
}

TEST_F(EngineTest, DeletedEntryIsRecordedAndCarriedForward) {
  CommitFiles({{"a.txt", "one"}, {"b.txt", "two"}}, ckAdded);
  CommitWith([](TQuarv_Engine& e) { e.Index->Files.FindOrAdd("b.txt")->Deleted = true; });
  CommitFiles({{"a.txt", "one, changed"}}, ckModified);

  auto second = Revision(2);
  const TMyFile* deleted = second->Files.FindByName("b.txt");
  EXPECT_TRUE(deleted->Deleted);
  EXPECT_EQ(deleted->ChangeKind, ckNone);
  EXPECT_EQ(deleted->Version, 0);
  EXPECT_EQ(deleted->DataRevision, 2);
  EXPECT_EQ(BlockLength(2, *deleted), 0);
  auto third = Revision(3);
  const TMyFile* carried = third->Files.FindByName("b.txt");
  EXPECT_TRUE(carried->Deleted);
  EXPECT_EQ(carried->ChangeKind, ckUnchanged);
  EXPECT_EQ(carried->DataRevision, 2);
}

TEST_F(EngineTest, RevisionDateFromALocalDateTime) {
  {
    const test::ScopedTimeZone zone("XYZ-3");  // three hours ahead of UTC, no daylight saving
    auto engine = Open();
    Stage(*engine, "a", "1", ckAdded);
    engine->Commit("m", "ann", 45000.5, "e");  // 2023-03-15 12:00 local
  }
  const int64_t unixSeconds = (45000 - 25569) * 86400LL + 12 * 3600 - 3 * 3600;
  EXPECT_EQ(Revision(1)->Date, UnixTimeToFileTime(unixSeconds, 0));

  timespec before{};
  clock_gettime(CLOCK_REALTIME, &before);
  {
    auto engine = Open();
    Stage(*engine, "b", "2", ckAdded);
    engine->Commit("m", "ann", 0, "e");
  }
  timespec after{};
  clock_gettime(CLOCK_REALTIME, &after);
  const uint64_t stamped = Revision(2)->Date;
  EXPECT_GE(stamped, UnixTimeToFileTime(before.tv_sec, before.tv_nsec / 1000000 * 1000000));
  EXPECT_LE(stamped, UnixTimeToFileTime(after.tv_sec, after.tv_nsec));
}

// Writes bytes at offset into a file, leaving a hole before them where the
// file system allows. Returns whether the hole takes no disk space.
bool WriteWithHole(const std::string& path, int64_t offset, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  if (fd < 0) return false;
  const bool written =
      ::pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
  struct stat st {};
  const bool sparse = ::fstat(fd, &st) == 0 && st.st_blocks * 512 < (int64_t{1} << 20);
  ::close(fd);
  return written && sparse;
}

// A container file above 4 GiB: offsets are read as the 64-bit values they
// are (a 32-bit reading would land in the hole and find an empty block), the
// next revision links it in place, and a carried entry's bytes are fetched
// from beyond 4 GiB.
TEST_F(EngineTest, ContainerLargerThanFourGiBIsReadLinkedAndFetchedFrom) {
  ForceDirectories(Store("Objects"));
  if (!WriteWithHole(Store("probe"), 16 << 20, "x"))
    GTEST_SKIP() << "the file system keeps no holes; a 5 GiB file would take 5 GiB";
  RemoveFile(Store("probe"));

  constexpr int64_t kFar = int64_t{5} << 30;
  TMyContaner first;
  first.Number = 1;
  for (const char* name : {"a.txt", "b.txt"}) {
    TMyFile* entry = first.Files.Add();
    entry->SetName(name);
    entry->Content.Assign(name, 5);
    entry->ComputeHash();
    entry->DataRevision = 1;
    entry->Version = 1;
    entry->ChangeKind = ckAdded;
  }
  TMemoryStream image;
  first.SaveToStream(image);
  image.SetPosition(first.Files[0]->OffsetSlotPos);
  WriteInt64(image, kFar);  // a.txt's block moves 5 GiB into the file
  test::WriteFile(Store("Objects/1.dat"),
                  std::string(reinterpret_cast<const char*>(image.Memory()), image.Size()));
  const std::string farBlock = std::string("\x05\0\0\0", 4) + "a.txt";
  ASSERT_TRUE(WriteWithHole(Store("Objects/1.dat"), kFar, farBlock));
  test::WriteFile(Store("History.txt"), "1.dat\r\n");

  {
    auto engine = Open();
    const TMyFile* far = engine->FileSystem->Containers.Last()->Files.FindByName("a.txt");
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(Text(far->Content), "a.txt");
    Stage(*engine, "b.txt", "b, changed", ckModified);
    engine->CommitUtc("second", "ann", 1, "e");
  }
  TFileStream patched(Store("Objects/1.dat"), TFileStream::Mode::OpenRead);
  EXPECT_EQ(patched.Size(), kFar + static_cast<int64_t>(farBlock.size())) << "patched in place";
  patched.SetPosition(kContainerNextNumberOffset);
  EXPECT_EQ(ReadInt32(patched), 2);

  auto engine = Open();
  TMyFile* carried = engine->FileSystem->Containers.Last()->Files.FindByName("a.txt");
  ASSERT_NE(carried, nullptr);
  EXPECT_EQ(carried->DataRevision, 1);
  engine->LoadContent(*carried);
  EXPECT_EQ(Text(carried->Content), "a.txt");
}

TEST_F(EngineTest, StoreIsFoundOneFolderUpAndNotTwo) {
  ForceDirectories(Store());
  ForceDirectories(dir_ / "sub/deeper");
  struct Case {
    std::string open;
    std::string root;
  } cases[] = {
      {dir_.Path(), dir_.Path()},
      {dir_ / "sub", dir_.Path()},
      {dir_ / "sub/", dir_.Path()},
      {dir_ / "sub/deeper", dir_ / "sub/deeper/"},
  };
  for (const Case& c : cases) {
    TQuarv_Engine engine(c.open);
    EXPECT_EQ(engine.RootPath, c.root) << c.open;
    EXPECT_EQ(engine.HistoryFileName, c.root + ".Quarv/History.txt");
    EXPECT_EQ(engine.IgnoreFileName, c.root + ".Quarv/Ignore.txt");
    EXPECT_EQ(engine.RenameFileName, c.root + ".Quarv/Rename.txt");
    EXPECT_EQ(engine.GetIndexFileName(), c.root + ".Quarv/Index.dat");
    EXPECT_EQ(engine.FileSystem->RootPath, c.root);
  }
  EXPECT_TRUE(TQuarv_Engine::StoreExists(dir_.Path()));
  EXPECT_FALSE(TQuarv_Engine::StoreExists(dir_ / "sub/"));
}

TEST_F(EngineTest, LoadReadsIgnoreNamesHistoryRenamesAndIndex) {
  test::WriteFile(Store("Ignore.txt"), "b.txt\r\nA.txt\nB.TXT\r\n spaced \r\n");
  test::WriteFile(Store("Rename.txt"), "\"x\"->\"y\"\r\n");
  {
    auto engine = Open();
    Stage(*engine, "z.txt", "zed", ckAdded);
    Stage(*engine, "m.txt", "em", ckAdded);
    engine->SaveIndex();
  }
  auto engine = Open();
  EXPECT_EQ(engine->IgnoreList.Names(), (std::vector<std::string>{" spaced ", "A.txt", "b.txt"}));
  EXPECT_TRUE(engine->IgnoreList.IsIgnored("a.TXT"));
  EXPECT_FALSE(engine->IgnoreList.IsIgnored("spaced"));
  EXPECT_EQ(engine->Renames.Count(), 1);
  ASSERT_EQ(engine->Index->Files.Count(), 2);
  EXPECT_EQ(engine->Index->Files[0]->Name(), "m.txt") << "SaveIndex sorts";
  EXPECT_EQ(Text(engine->Index->Files[1]->Content), "zed");
  EXPECT_EQ(engine->History.Count(), 0);
  EXPECT_EQ(engine->FileSystem->Containers.Count(), 0);
}

TEST_F(EngineTest, HistoryGarbageIsSkippedButRevisionZeroFails) {
  CommitFiles({{"a.txt", "one"}}, ckAdded);
  test::WriteFile(Store("History.txt"), "notes.txt\r\n\r\n1.dat\r\n7.dat\r\n");
  {
    auto engine = Open();
    EXPECT_EQ(engine->History.Count(), 2);
    ASSERT_EQ(engine->FileSystem->Containers.Count(), 1) << "7.dat does not exist";
    EXPECT_EQ(engine->FileSystem->NextFreeNumber(), 2);
  }
  test::WriteFile(Store("History.txt"), "1.dat\r\n0.dat\r\n");
  TQuarv_Engine engine(dir_.Path());
  try {
    engine.Load();
    FAIL() << "0.dat was accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Invalid revision number 0");
  }
}

TEST_F(EngineTest, MergeContainersCombinesTheNewestRevisionAndTheIndex) {
  CommitFiles({{"old.txt", "kept"}, {"x.txt", "x1"}}, ckAdded);
  CommitFiles({{"x.txt", "x2"}}, ckModified);
  auto engine = Open();
  Stage(*engine, "z.txt", "staged", ckAdded);
  Stage(*engine, "x.txt", "x3", ckModified);
  TMyContaner merged;
  merged.Files.FindOrAdd("stale");
  TMyContaner& newest = *engine->FileSystem->Containers.Last();
  newest.Comment = "newest comment";
  engine->MergeContainers(merged, newest, *engine->Index);

  EXPECT_EQ(merged.Number, 0);
  EXPECT_EQ(merged.Comment, "newest comment");
  std::vector<std::string> names;
  for (const auto& entry : merged.Files)
    names.push_back(entry->Name() + "=" + Text(entry->Content));
  // old.txt's bytes live in revision 1, so the newest adds no copy of it; the
  // index's x.txt (DataRevision 0) is older than the newest's (2).
  EXPECT_EQ(names, (std::vector<std::string>{"x.txt=x2", "z.txt=staged"}));
}

}  // namespace
}  // namespace pellmor

namespace pellmor {
namespace {

// The fields of a container and its entries that a Load reads, as text, so
// that two containers compare in one assertion that shows the difference.
std::string Described(const TMyContaner& c) {
  std::string text = Format("#%d prev %d next %d loaded %d records %d format %d %s|%s|%s|%llu\n",
                            c.Number, c.PreviousNumber, c.NextNumber, c.Loaded, c.RecordsLoaded,
                            c.FormatVersion, c.Author.c_str(), c.Email.c_str(), c.Comment.c_str(),
                            static_cast<unsigned long long>(c.Date));
  for (const auto& f : c.Files) {
    std::string hash;
    for (const uint8_t byte : f->Hash) hash += Format("%02x", byte);
    text += Format(
        "  %s v%d d%d l%d c%d k%d r%d a%u w%llu c%llu a%llu @%lld u%d s%d %s %s [%s]\n",
        f->Name().c_str(), f->Version, f->Deleted, f->IsLink, f->Compressed, f->ChangeKind,
        f->DataRevision, f->Attributes, static_cast<unsigned long long>(f->LastWriteTime),
        static_cast<unsigned long long>(f->CreationTime),
        static_cast<unsigned long long>(f->LastAccessTime),
        static_cast<long long>(f->ContentOffset), f->Untouched, f->Seen, hash.c_str(),
        f->LinkName.c_str(), Text(f->Content).c_str());
  }
  return text;
}

std::string Described(const TQuarv_Engine& engine) {
  std::string text;
  for (const auto& c : engine.FileSystem->Containers) text += Described(*c);
  text += "index: " + Described(*engine.Index);
  for (const std::string& name : engine.History.FileNames()) text += name + ",";
  return text;
}

// One engine records revision after revision: after each Commit it holds
// exactly what a fresh engine loads from the disk, and of the older
// revisions only their numbers, however many were read on the way.
TEST_F(EngineTest, AnEngineGoesOnAfterCommitAsAFreshLoadWouldFindTheStore) {
  auto engine = Open();
  const std::string big(600, 'b');
  const std::vector<std::function<void(TQuarv_Engine&)>> steps = {
      [&](TQuarv_Engine& e) {
        Stage(e, "a.txt", "one", ckAdded);
        Stage(e, "big.bin", big, ckAdded);
      },
      [&](TQuarv_Engine& e) { Stage(e, "a.txt", "two", ckModified); },
      [&](TQuarv_Engine& e) {
        TMyFile* gone = Stage(e, "big.bin", "", ckNone);
        gone->Deleted = true;
        Stage(e, "c.txt", std::string(300, 'c'), ckAdded);
      },
      [&](TQuarv_Engine& e) { Stage(e, "a.txt", "three", ckModified); },
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    steps[i](*engine);
    // The working state the change loader leaves on what it staged, which
    // the recorded revision must not keep.
    for (const auto& entry : engine->Index->Files) {
      entry->Seen = true;
      entry->Untouched = false;
    }
    // Bytes fetched from an older revision, as the change loader does: once
    // from the bytes kept of recent revisions, which hand them out once, then
    // from the container, whose records are read and must not stay.
    if (TMyContaner* newest = engine->FileSystem->Containers.Last())
      if (TMyFile* carried = newest->Files.FindByName("big.bin")) {
        engine->LoadContent(*carried);
        carried->Content.Clear();
        engine->LoadContent(*carried);
      }
    // Every other revision in the two steps a conversion run takes.
    const std::string message = "step " + std::to_string(i);
    if (i % 2 == 0) {
      engine->CommitUtc(message, "ann", 133000000000000000ULL + i, "a@b");
    } else {
      ASSERT_TRUE(engine->BeginCommitUtc(message, "ann", 133000000000000000ULL + i, "a@b"));
      engine->FinishCommit();
    }
    SCOPED_TRACE("after revision " + std::to_string(i + 1));
    EXPECT_EQ(Described(*engine), Described(*Open()));
    const TMyContanerList& containers = engine->FileSystem->Containers;
    for (int k = 0; k + 1 < containers.Count(); ++k) {
      EXPECT_FALSE(containers[k]->RecordsLoaded);
      EXPECT_TRUE(containers[k]->Files.Empty());
    }
  }
  EXPECT_EQ(Revision(4)->Files.FindByName("a.txt")->Version, 3);
}

// An engine that recorded the revisions hands out their bytes as a fresh
// engine reads them from the containers: each entry's own revision's, also
// when the same name changed in the revisions around it, and again when
// asked twice.
TEST_F(EngineTest, BytesOfRevisionsAnEngineRecordedAreTheStoredOnes) {
  auto engine = Open();
  struct Change {
    std::string name, bytes;
    uint8_t kind;
  };
  const std::vector<std::vector<Change>> revisions = {
      {{"a.txt", "one", ckAdded}, {"B.txt", "bee", ckAdded}},
      {{"a.txt", "two", ckModified}},
      {{"b.txt", "bee, written in lower case", ckModified}, {"c.txt", "see", ckAdded}},
      {{"a.txt", "three", ckModified}},
      {{"d.txt", "dee", ckAdded}},
  };
  for (size_t i = 0; i < revisions.size(); ++i) {
    for (const Change& change : revisions[i]) Stage(*engine, change.name, change.bytes, change.kind);
    engine->CommitUtc("r", "ann", 133000000000000000ULL + i, "a@b");
  }
  const auto fresh = Open();
  const auto fetched = [](TQuarv_Engine& e, const std::string& name) {
    TMyFile* entry = e.FileSystem->Containers.Last()->Files.FindByName(name);
    entry->Content.Clear();
    e.LoadContent(*entry);
    return std::to_string(entry->DataRevision) + ":" + Text(entry->Content);
  };
  for (const std::string name : {"a.txt", "b.txt", "c.txt", "a.txt", "c.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(fetched(*engine, name), fetched(*fresh, name));
  }
  EXPECT_EQ(fetched(*engine, "a.txt"), "4:three");
}

// A revision begun is compressed aside and written by FinishCommit alone:
// until then the store is as it was, and an engine dropped with a revision
// pending leaves it so.
TEST_F(EngineTest, ABegunRevisionIsWrittenOnlyWhenFinished) {
  CommitFiles({{"a.txt", "one"}}, ckAdded);
  const auto before = Snapshot(dir_.Path());
  std::string big;
  for (int i = 0; i < 20000; ++i) big += std::to_string(i) + ' ';
  const auto stage = [&](TQuarv_Engine& engine) {
    Stage(engine, "big.txt", big, ckAdded);
    Stage(engine, "a.txt", "two", ckModified);
    return engine.BeginCommitUtc("second", "ann", 133000000000000001ULL, "a@b");
  };
  {
    auto engine = Open();
    ASSERT_TRUE(stage(*engine));
    EXPECT_TRUE(engine->CommitPending());
    EXPECT_EQ(Snapshot(dir_.Path()), before);
  }
  EXPECT_EQ(Snapshot(dir_.Path()), before);

  auto engine = Open();
  ASSERT_TRUE(stage(*engine));
  engine->FinishCommit();
  EXPECT_FALSE(engine->CommitPending());
  engine->FinishCommit();  // nothing pending: nothing to do
  EXPECT_EQ(Described(*engine), Described(*Open()));
  auto second = Revision(2);
  TMyFile* stored = second->Files.FindByName("big.txt");
  ASSERT_NE(stored, nullptr);
  EXPECT_TRUE(stored->Compressed);
  EXPECT_EQ(Text(stored->Content), big);
  EXPECT_FALSE(engine->BeginCommitUtc("empty", "ann", 133000000000000002ULL, "a@b"));
}

}  // namespace
}  // namespace pellmor
