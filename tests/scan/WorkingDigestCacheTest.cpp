// The digest cache of a conversion run: what it keeps and when it answers,
// and the change loader with it, on stamps and a clock the tests set.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scan/WatchedListings.h"
#include "scan/WorkingDigestCache.h"
#include "scan/uQuarvLoader.h"
#include "store/uQuarvEngine.h"
#include "tests/support/StoreRevisions.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

constexpr int64_t kSecond = 1'000'000'000;
constexpr int64_t kFileTime = 1'700'000'000 * kSecond;  // the file times a test starts from
constexpr int64_t kMargin = TWorkingDigestCache::kCoarseMarginNs;
constexpr int64_t kFineMargin = TWorkingDigestCache::kFineMarginNs;
constexpr int64_t kFraction = 250'000'000;  // a sub-second part, as fine clocks leave

// Stamps as a file system with whole-second times would give them (device,
// inode and size as scanned, both times as set here) or, with Real set, the
// scan's own; and a clock the test sets or shifts.
struct Clock {
  bool Real = false;
  int64_t ModifiedNs = kFileTime;
  int64_t ChangedNs = kFileTime;
  int64_t NowNs = kFileTime;  // when not Real
  int64_t ShiftNs = 0;        // added to the real clock when Real
};

class TestSource : public TWorkingDigestCache::TSource {
 public:
  explicit TestSource(const Clock& clock) : clock_(clock) {}

  TFileStamp Stamp(const TFileObject& file) override {
    TFileStamp stamp = system_->Stamp(file);
    if (!clock_.Real) {
      stamp.ModifiedNs = clock_.ModifiedNs;
      stamp.ChangedNs = clock_.ChangedNs;
    }
    return stamp;
  }
  int64_t NowNs() override {
    return clock_.Real ? system_->NowNs() + clock_.ShiftNs : clock_.NowNs;
  }

 private:
  const Clock& clock_;
  std::unique_ptr<TSource> system_ = TWorkingDigestCache::SystemSource();
};

TContentDigest Digest(uint8_t first) {
  TContentDigest digest{};
  digest[0] = first;
  return digest;
}

TEST(WorkingDigestCacheTest, KeepsADigestOnlyForAStampOlderThanThePassByTheMargin) {
  Clock clock;
  TWorkingDigestCache cache(std::make_unique<TestSource>(clock));
  const TFileStamp stamp{7, 42, 100, kFileTime, kFileTime};
  struct Case {
    const char* what;
    int64_t passStart;
    int64_t modified;
    int64_t changed;
    bool kept;
  };
  const std::vector<Case> cases = {
      {"both times well past the margin", kFileTime + 2 * kMargin, kFileTime, kFileTime, true},
      {"both times just past the margin", kFileTime + kMargin + 1, kFileTime, kFileTime, true},
      {"exactly the margin", kFileTime + kMargin, kFileTime, kFileTime, false},
      {"written half a second before", kFileTime + kSecond / 2, kFileTime, kFileTime, false},
      // Times of a file system that counts in steps of two seconds (FAT):
      // a rewrite one and a half seconds later can still get these very times.
      {"written 1.5 s before", kFileTime + kSecond + kSecond / 2, kFileTime, kFileTime, false},
      {"status changed recently", kFileTime + 2 * kMargin, kFileTime, kFileTime + kMargin + kSecond,
       false},
      {"modified recently", kFileTime + 2 * kMargin, kFileTime + kMargin + kSecond, kFileTime,
       false},
      // A time with a fraction of a second comes from a fine clock: the
      // margin shrinks to a tenth of a second, for either time's fraction.
      {"sub-second times just past the fine margin", kFileTime + kFraction + kFineMargin + 1,
       kFileTime + kFraction, kFileTime + kFraction, true},
      {"sub-second times exactly the fine margin", kFileTime + kFraction + kFineMargin,
       kFileTime + kFraction, kFileTime + kFraction, false},
      {"only the status-change time has a fraction", kFileTime + kFraction + kFineMargin + 1,
       kFileTime, kFileTime + kFraction, true},
      {"only the modification time has a fraction", kFileTime + kFraction + kFineMargin + 1,
       kFileTime + kFraction, kFileTime, true},
      {"fine status change within the fine margin", kFileTime + 2 * kMargin, kFileTime,
       kFileTime + 2 * kMargin - kFineMargin + kFraction / 1000, false},
      {"fine modification within the fine margin", kFileTime + 2 * kMargin,
       kFileTime + 2 * kMargin - kFineMargin / 2, kFileTime, false},
      // Whole seconds again: the same age is far too young.
      {"whole-second times as old as the fine margin", kFileTime + kFineMargin + 1, kFileTime,
       kFileTime, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clock.NowNs = c.passStart;
    cache.BeginPass();
    TFileStamp recorded = stamp;
    recorded.ModifiedNs = c.modified;
    recorded.ChangedNs = c.changed;
    cache.Record("a.txt", recorded, Digest(1));
    const TContentDigest* found = cache.Find("a.txt", recorded);
    ASSERT_EQ(found != nullptr, c.kept);
    if (found != nullptr) {
      EXPECT_EQ(*found, Digest(1));
    }
    cache.Record("a.txt", recorded, Digest(2));  // a later read under a racy stamp drops it
  }

  // Any part of the stamp that differs, or another name, finds nothing.
  clock.NowNs = kFileTime + 3 * kMargin;
  cache.BeginPass();
  cache.Record("a.txt", stamp, Digest(3));
  ASSERT_NE(cache.Find("a.txt", stamp), nullptr);
  EXPECT_EQ(cache.Find("A.TXT", stamp), nullptr);
  const std::vector<void (*)(TFileStamp&)> changes = {
      [](TFileStamp& s) { ++s.Device; },    [](TFileStamp& s) { ++s.Inode; },
      [](TFileStamp& s) { ++s.Size; },      [](TFileStamp& s) { ++s.ModifiedNs; },
      [](TFileStamp& s) { ++s.ChangedNs; },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    TFileStamp other = stamp;
    changes[i](other);
    EXPECT_EQ(cache.Find("a.txt", other), nullptr) << "change " << i;
  }
  // A racy read of the same name forgets what was kept.
  clock.NowNs = kFileTime + kSecond / 2;
  cache.BeginPass();
  cache.Record("a.txt", stamp, Digest(4));
  EXPECT_EQ(cache.Find("a.txt", stamp), nullptr);
  EXPECT_EQ(cache.Count(), 0u);
}

// A digest read too soon to be settled is given out only while the watch
// vouches for the file: its entry unchanged since a Refresh no later than
// the one the read came after.
TEST(WorkingDigestCacheTest, AYoungDigestIsGivenOutOnlyWhileTheWatchVouchesForIt) {
  Clock clock;
  clock.NowNs = kFileTime + kSecond / 2;
  TWorkingDigestCache cache(std::make_unique<TestSource>(clock));
  cache.BeginPass();
  const TFileStamp stamp{7, 42, 100, kFileTime, kFileTime};
  cache.Record("a.txt", stamp, Digest(1), 5);
  struct Case {
    const char* what;
    uint64_t unchangedSince;
    bool found;
  };
  const std::vector<Case> cases = {
      {"unchanged since an earlier Refresh", 3, true},
      {"unchanged since the Refresh the read came after", 5, true},
      {"read again after a later Refresh: changed since", 6, false},
      {"no watch for the entry now", kNotWatched, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TContentDigest* found = cache.Find("a.txt", stamp, c.unchangedSince);
    ASSERT_EQ(found != nullptr, c.found);
    if (found != nullptr) {
      EXPECT_EQ(*found, Digest(1));
    }
  }
  TFileStamp other = stamp;
  ++other.Size;
  EXPECT_EQ(cache.Find("a.txt", other, 5), nullptr);

  // Read with no watch behind it, the young digest is dropped; a settled
  // one needs no watch.
  cache.Record("a.txt", stamp, Digest(2));
  EXPECT_EQ(cache.Find("a.txt", stamp, 5), nullptr);
  EXPECT_EQ(cache.Count(), 0u);
  clock.NowNs = kFileTime + 2 * kMargin;
  cache.BeginPass();
  cache.Record("a.txt", stamp, Digest(3), 5);
  ASSERT_NE(cache.Find("a.txt", stamp, 9), nullptr);
  EXPECT_EQ(*cache.Find("a.txt", stamp, kNotWatched), Digest(3));
}

class CachedConversionTest : public ::testing::Test {
 protected:
  void Write(const std::string& relative, const std::string& bytes) {
    test::WriteFile(dir_ / relative, bytes);
  }

  // The changes a loader finds, as comparable text: name, state, digests.
  static std::vector<std::string> Describe(const TQuarvEngine_Loader& loader) {
    std::vector<std::string> lines;
    for (const auto& item : loader.Changes)
      lines.push_back(item->Name() + " " + std::to_string(item->State) + " " +
                      std::string(item->OldHash.begin(), item->OldHash.end()) + " " +
                      std::string(item->NewHash.begin(), item->NewHash.end()));
    return lines;
  }

  // One commit of the run with the cache; first, when asked, the same
  // comparison without it must find exactly the same changes. Returns how
  // many changes were staged.
  int Convert(bool compareWithoutCache = false) {
    TQuarv_Engine engine(dir_.Path());
    engine.Load();
    std::vector<std::string> uncached;
    if (compareWithoutCache) {
      TQuarvEngine_Loader plain(engine);
      plain.Prepare(false);
      plain.Compare();
      uncached = Describe(plain);
    }
    TQuarvEngine_Loader loader(engine, &cache_, listings_);
    loader.Prepare(false);
    loader.Compare();
    if (compareWithoutCache) {
      EXPECT_EQ(Describe(loader), uncached);
    }
    TChangeRefList all = loader.ChangeRefs();
    const int applied = loader.ApplyChanges(all);
    engine.Commit("m", "Ann", 45000.5, "ann@example.org");
    return applied;
  }

  std::string Newest(const std::string& name) const {
    return test::ReadStoreRevisions(dir_.Path()).back().Files.at(name).Bytes;
  }

  test::TempDir dir_;
  Clock clock_;
  TWorkingDigestCache cache_{std::make_unique<TestSource>(clock_)};
  TWatchedListings* listings_ = nullptr;  // the run's watch, when a test keeps one
};

// On a file system with whole-second times a file rewritten with as many
// bytes within the same second keeps its stamp. Read so soon after it was
// written, it is not kept, and the rewrite is seen; read when its times are
// old enough, it is kept and not read again while its stamp stays, and read
// again as soon as its status-change time moves, as every write moves it.
TEST_F(CachedConversionTest, RacyFilesAreReadAgainAndSettledOnesAreNot) {
  Write("a.txt", "one");
  Write("b.bin", "bee");
  clock_.NowNs = kFileTime + kSecond / 2;
  EXPECT_EQ(Convert(), 2);
  EXPECT_EQ(cache_.Count(), 0u);

  Write("a.txt", "two");  // same size, same inode, same (whole-second) times
  EXPECT_EQ(Convert(), 1);
  EXPECT_EQ(Newest("a.txt"), "two");

  clock_.NowNs = kFileTime + kMargin + kSecond;
  EXPECT_EQ(Convert(), 0);
  EXPECT_EQ(cache_.Count(), 2u);

  // Its stamp unchanged, the file is not read: the new bytes go unseen.
  Write("a.txt", "six");
  EXPECT_EQ(Convert(), 0);
  EXPECT_EQ(Newest("a.txt"), "two");

  // The write's status-change time, as the kernel sets it, gives it away.
  clock_.ChangedNs = kFileTime + kMargin + 2 * kSecond;
  clock_.NowNs = clock_.ChangedNs + kSecond / 10;
  EXPECT_EQ(Convert(), 1);  // a.txt's new bytes; b.bin is read again and found unchanged
  EXPECT_EQ(Newest("a.txt"), "six");
  EXPECT_EQ(Newest("b.bin"), "bee");
}

// With the run's watch, a file read too soon to be settled is not read again
// while the watch reports no change of it; any write is reported, even one
// that leaves the stamp as it was, and so is read; and when the watch starts
// afresh (a folder removed drops every listing) nothing young is trusted.
// A write through a hard link in an unwatched folder is the one the watch
// does not report: it shows whether a file was read again.
TEST_F(CachedConversionTest, TheWatchVouchesForYoungDigests) {
  TWatchedListings listings;
  listings_ = &listings;
  Write("a.txt", "one");
  Write("b.bin", "bee");
  Write("old/c.txt", "see");
  const test::TempDir outside;
  const std::filesystem::path link = outside / "b.bin";
  std::filesystem::create_hard_link(dir_ / "b.bin", link);
  clock_.NowNs = kFileTime + kSecond / 2;  // every stamp as young as can be, and fixed
  EXPECT_EQ(Convert(), 3);
  EXPECT_EQ(cache_.Count(), 3u);

  Write("a.txt", "two");  // same size, same inode, same times: only the watch tells
  EXPECT_EQ(Convert(true), 1);
  EXPECT_EQ(Newest("a.txt"), "two");

  // Unreported, the change goes unseen: the file was not read again.
  test::WriteFile(link, "Bee");
  EXPECT_EQ(Convert(), 0);
  EXPECT_EQ(Newest("b.bin"), "bee");

  std::filesystem::remove_all(dir_ / "old");
  EXPECT_EQ(Convert(true), 2);
  EXPECT_EQ(Newest("b.bin"), "Bee");
}

// Stamps of both kinds of clock, read at an age between the two margins or
// beyond the right one: on whole-second times a same-size rewrite within the
// coarse step keeps every part of the stamp and is still seen; on sub-second
// times the digest is kept a tenth of a second on, and the status-change time
// of the next write gives the change away.
TEST_F(CachedConversionTest, ARewriteIsSeenOnCoarseAndFineTimes) {
  struct Case {
    const char* what;
    int64_t fileTime;
    int64_t age;  // of the file times when the pass begins
    bool kept;
  };
  const std::vector<Case> cases = {
      {"whole seconds, 1.5 s old", kFileTime, kSecond + kSecond / 2, false},
      {"whole seconds, just past the coarse margin", kFileTime, kMargin + 1, true},
      {"sub-second, 50 ms old", kFileTime + kFraction, kFineMargin / 2, false},
      {"sub-second, just past the fine margin", kFileTime + kFraction, kFineMargin + 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cache_ = TWorkingDigestCache(std::make_unique<TestSource>(clock_));
    clock_.ModifiedNs = clock_.ChangedNs = c.fileTime;
    clock_.NowNs = c.fileTime + c.age;
    Write("a.txt", "one");
    Convert();
    EXPECT_EQ(cache_.Count(), c.kept ? 1u : 0u);

    Write("a.txt", "two");  // same size and inode; the stamp's times as before
    if (c.kept) {
      EXPECT_EQ(Convert(), 0);          // the stamp alone cannot tell
      clock_.ChangedNs += 2 * kMargin;  // as the write sets it
      clock_.NowNs = clock_.ChangedNs + c.age;
    }
    EXPECT_EQ(Convert(), 1);
    EXPECT_EQ(Newest("a.txt"), "two");

    std::filesystem::remove_all(dir_.Path());
    std::filesystem::create_directories(dir_.Path());
  }
}

// On the real file system, with the real clock (every file just written, so
// nothing is kept) and with a clock ten seconds ahead (everything kept, the
// stamps alone tell a change), each comparison finds the very changes a
// loader without the cache finds, and the store ends as the folder stands.
TEST_F(CachedConversionTest, FindsTheSameChangesAsWithoutTheCache) {
  for (const int64_t shift : {int64_t{0}, 10 * kSecond}) {
    SCOPED_TRACE(shift);
    clock_ = Clock{};
    clock_.Real = true;
    clock_.ShiftNs = shift;
    Write("a.txt", "alpha\r\n");
    Write("b.bin", std::string("\0\1\2", 3));
    Write("sub/c.txt", "see");
    Write("sub/d.txt", "dee");
    ASSERT_EQ(::symlink("a.txt", (dir_ / "link").c_str()), 0);
    Convert(true);

    Write("a.txt", "alpha\n");                 // line ends only: no change
    Write("b.bin", std::string("\0\1\3", 3));  // one byte, same size
    Write("sub/c.txt", "sea");                 // same size, at once after its last write
    Convert(true);
    EXPECT_EQ(Newest("b.bin"), std::string("\0\1\3", 3));
    EXPECT_EQ(Newest("sub/c.txt"), "sea");

    ASSERT_EQ(::unlink((dir_ / "sub/d.txt").c_str()), 0);
    ASSERT_EQ(::unlink((dir_ / "link").c_str()), 0);
    ASSERT_EQ(::symlink("b.bin", (dir_ / "link").c_str()), 0);
    ASSERT_EQ(::rename((dir_ / "sub/c.txt").c_str(), (dir_ / "e.txt").c_str()), 0);
    Write("sub/c.txt", "new");  // same name, same size, another inode
    Convert(true);
    EXPECT_EQ(Newest("link"), "b.bin");
    EXPECT_EQ(Newest("sub/c.txt"), "new");
    EXPECT_EQ(Newest("e.txt"), "sea");
    Convert(true);  // nothing changed

    std::filesystem::remove_all(dir_.Path());
    std::filesystem::create_directories(dir_.Path());
  }
}

}  // namespace
}  // namespace pellmor
