#include "scan/WatchedListings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "scan/uMyFileUtils.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using test::TempDir;
using test::WriteFile;

// Every node of a scan with everything the scan took from the disk, one line
// each, access times aside: reading a folder moves its access time, and a
// kept listing keeps the one it was read with.
std::string Describe(const TFolderObject& folder, const std::string& prefix = "") {
  std::string text;
  const auto line = [&](const TFileObject& node, const char* kind) {
    const TFileStamp& s = node.Stamp;
    char numbers[256];
    std::snprintf(numbers, sizeof numbers, " %u %llu %llu %llu %llu %lld %lld %lld\n",
                  node.Attributes, static_cast<unsigned long long>(node.LastWriteTime),
                  static_cast<unsigned long long>(node.CreationTime),
                  static_cast<unsigned long long>(s.Device),
                  static_cast<unsigned long long>(s.Inode), static_cast<long long>(s.Size),
                  static_cast<long long>(s.ModifiedNs), static_cast<long long>(s.ChangedNs));
    text += kind + prefix + node.Name + numbers;
  };
  for (const auto& file : folder.Files) line(*file, "file ");
  for (int i = 0; i < folder.Folders.Count(); ++i) {
    const TFolderObject& sub = *folder.Folders[i];
    line(sub, "folder ");
    text += Describe(sub, prefix + sub.Name + "/");
  }
  return text;
}

std::string Scan(const TempDir& dir, TWatchedListings* listings) {
  TFileIgnoreList ignore;
  ignore.AddPattern(".git");
  return Describe(*ScanFolderTree(dir.Path(), "*.*", true, &ignore, listings));
}

void LayOut(const TempDir& dir) {
  WriteFile(dir / "top.txt", "top");
  WriteFile(dir / "a/one.txt", "one");
  WriteFile(dir / "a/b/two.txt", "two");
  WriteFile(dir / "a/b/c/three.txt", "three");
  WriteFile(dir / "d/four.txt", "four");
  WriteFile(dir / ".git/HEAD", "ref");
}

struct ChangeCase {
  const char* what;
  const char* command;  // run in the folder
};

// After any change a scan through the kept listings sees what a fresh scan
// sees: names, kinds, attributes, times and stamps.
TEST(WatchedListingsTest, AScanAfterAnyChangeEqualsAFreshScan) {
  const ChangeCase cases[] = {
      {"bytes written", "printf more >> a/b/two.txt"},
      {"file truncated", ": > a/b/c/three.txt"},
      {"mode changed", "chmod +x a/one.txt"},
      {"times set", "touch -d 2001-02-03 d/four.txt"},
      {"file added deep", "printf new > a/b/c/new.txt"},
      {"file removed", "rm a/b/two.txt"},
      {"file renamed", "mv a/one.txt a/uno.txt"},
      {"file moved between folders", "mv a/b/c/three.txt d/"},
      {"file replaced by a link", "rm d/four.txt && ln -s ../top.txt d/four.txt"},
      {"folder added", "mkdir -p a/e/f && printf x > a/e/f/g.txt"},
      {"folder removed", "rm -r a/b"},
      {"folder renamed", "mv a/b a/renamed"},
      {"folder renamed away and another put in its place",
       "mv a/b old-b && mkdir -p a/b/c && printf other > a/b/c/three.txt"},
      {"folder swapped with another", "mv a/b t && mv d a/b && mv t d"},
      {"root's files replaced", "rm top.txt && mkdir top.txt"},
      {"a name beside one equal but for case", "printf x > a/ONE.txt && printf y > a/One.txt"},
      {"folder's mode changed", "chmod 700 a/b"},
      {"file added, written and removed again", "printf x > d/gone && printf y >> d/gone && rm d/gone"},
      {"file replaced by a FIFO", "rm d/four.txt && mkfifo d/four.txt"},
      {"many files added to one folder",
       "for i in $(seq 1 40); do printf $i > a/b/f$i.txt; done && rm a/b/f7.txt"},
      {"more files added than are read one by one",
       "for i in $(seq 1 300); do : > a/f$i.txt; done && chmod +x a/one.txt"},
  };
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    LayOut(dir);
    TWatchedListings listings;
    Scan(dir, &listings);
    ASSERT_EQ(test::Run("cd '" + dir.Path() + "' && " + c.command), 0);
    const std::string watched = Scan(dir, &listings);
    EXPECT_EQ(watched, Scan(dir, nullptr));
    // And once more with nothing changed in between.
    EXPECT_EQ(Scan(dir, &listings), watched);
  }
}

TEST(WatchedListingsTest, OnlyChangedEntriesAreReadAgain) {
  TempDir dir;
  LayOut(dir);
  TWatchedListings listings;
  Scan(dir, &listings);
  // The root, a, a/b, a/b/c and d; the ignored .git is never listed.
  ASSERT_EQ(listings.DiskListings(), 5u);
  Scan(dir, &listings);
  EXPECT_EQ(listings.DiskListings(), 5u);

  // Nothing below an ignored folder counts.
  WriteFile(dir / ".git/index", "index");
  Scan(dir, &listings);
  EXPECT_EQ(listings.DiskListings(), 5u);

  // A written file: its entry in its folder's kept listing.
  WriteFile(dir / "a/b/two.txt", "changed");
  Scan(dir, &listings);
  EXPECT_EQ(listings.DiskListings(), 5u);
  EXPECT_EQ(listings.EntryReads(), 1u);

  // A new folder is listed; its entry in its parent and its parent's entry
  // in the root (which shows the parent's times) are read again.
  WriteFile(dir / "d/e/five.txt", "five");
  Scan(dir, &listings);
  EXPECT_EQ(listings.DiskListings(), 6u);
  EXPECT_EQ(listings.EntryReads(), 3u);

  // A folder removed leaves no listing to trust: all five are read again.
  ASSERT_EQ(test::Run("rm -r '" + (dir / "d/e") + "'"), 0);
  Scan(dir, &listings);
  EXPECT_EQ(listings.DiskListings(), 11u);

  // So many entries changed in one folder that it is listed again whole.
  ASSERT_EQ(test::Run("cd '" + (dir / "a") + "' && for i in $(seq 1 300); do : > f$i; done"), 0);
  Scan(dir, &listings);
  EXPECT_EQ(listings.DiskListings(), 12u);
}

TEST(WatchedListingsTest, AMissingFolderIsNoListing) {
  TempDir dir;
  TWatchedListings listings;
  std::vector<TFolderEntry> scratch;
  EXPECT_EQ(listings.List(dir / "missing/", scratch), nullptr);
  WriteFile(dir / "missing/now.txt", "x");
  const std::vector<TFolderEntry>* entries = listings.List(dir / "missing/", scratch);
  ASSERT_NE(entries, nullptr);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].Name, "now.txt");
}

}  // namespace
}  // namespace pellmor
