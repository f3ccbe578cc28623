// Writing below a folder without ever leaving it: files, links, modes and
// times, replacing what stands in the way, and refusing to pass through
// links, files or names that point elsewhere.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "foundation/ConfinedFolder.h"
#include "foundation/DateTime.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "tests/support/ErrorText.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;

struct stat LinkStat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

class ConfinedFolderTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  // Writes text as a file with the fixture's times.
  void Write(TConfinedFolder& folder, const std::string& name, const std::string& text,
             bool executable = false) {
    const auto file = folder.CreateFile(name, executable);
    file->Write(text.data(), text.size());
    file->Finish(accessed_, written_);
  }

  const uint64_t written_ = UnixTimeToFileTime(1600000000, 123456700);
  const uint64_t accessed_ = UnixTimeToFileTime(1600000100, 0);
};

TEST_F(ConfinedFolderTest, WritesFilesAndLinksWithModesAndTimes) {
  TConfinedFolder folder(dir_ / "new/dest");
  EXPECT_TRUE(folder.IsEmpty());
  Write(folder, "a/b/run.sh", "#!/bin/sh\n", true);
  Write(folder, "a/b/plain.txt", "");
  folder.WriteSymlink("a/link", "b/run.sh", accessed_, written_);
  EXPECT_FALSE(folder.IsEmpty());

  // The times first: reading the file would move its access time.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const struct stat run = LinkStat(dir_ / "new/dest/a/b/run.sh");
  EXPECT_EQ(run.st_mode & 0777, 0777 & ~mask);
  EXPECT_EQ(run.st_mtim.tv_sec, 1600000000);
  EXPECT_EQ(run.st_mtim.tv_nsec, 123456700);
  EXPECT_EQ(run.st_atim.tv_sec, 1600000100);
  EXPECT_EQ(LinkStat(dir_ / "new/dest/a/b/plain.txt").st_mode & 0777, 0666 & ~mask);
  EXPECT_EQ(test::ReadFile(dir_ / "new/dest/a/b/run.sh"), "#!/bin/sh\n");
  const struct stat link = LinkStat(dir_ / "new/dest/a/link");
  ASSERT_TRUE(S_ISLNK(link.st_mode));
  EXPECT_EQ(fs::read_symlink(dir_ / "new/dest/a/link"), "b/run.sh");
  EXPECT_EQ(link.st_mtim.tv_sec, 1600000000);
}

TEST_F(ConfinedFolderTest, ReplacesAFileOrLinkInsteadOfWritingThroughIt) {
  test::WriteFile(dir_ / "outside.txt", "keep");
  test::WriteFile(dir_ / "dest/old.txt", "old");
  fs::create_symlink(dir_ / "outside.txt", dir_ / "dest/victim");
  TConfinedFolder folder(dir_ / "dest");
  Write(folder, "victim", "new");
  folder.WriteSymlink("old.txt", "victim", accessed_, written_);

  EXPECT_EQ(test::ReadFile(dir_ / "outside.txt"), "keep");
  EXPECT_FALSE(S_ISLNK(LinkStat(dir_ / "dest/victim").st_mode));
  EXPECT_EQ(test::ReadFile(dir_ / "dest/victim"), "new");
  EXPECT_TRUE(S_ISLNK(LinkStat(dir_ / "dest/old.txt").st_mode));
}

TEST_F(ConfinedFolderTest, NeverPassesThroughALinkOrAFileOnTheWay) {
  fs::create_directories(dir_ / "outside");
  fs::create_directories(dir_ / "dest");
  fs::create_directory_symlink(dir_ / "outside", dir_ / "dest/sub");
  test::WriteFile(dir_ / "dest/file", "x");
  TConfinedFolder folder(dir_ / "dest");

  const std::string throughLink = test::ErrorOf([&] { Write(folder, "sub/passwd", "owned"); });
  EXPECT_EQ(throughLink,
            "Cannot create folder \"" + dir_ / "dest/sub" + "\". It is a symbolic link");
  const std::string throughFile =
      test::ErrorOf([&] { folder.WriteSymlink("file/x", "y", accessed_, written_); });
  EXPECT_NE(throughFile.find("Cannot create folder \"" + dir_ / "dest/file\""), std::string::npos)
      << throughFile;
  EXPECT_TRUE(fs::is_empty(dir_ / "outside"));
}

TEST_F(ConfinedFolderTest, RefusesNamesThatAreNotPlainRelativePaths) {
  TConfinedFolder folder(dir_ / "dest");
  for (const std::string name : {"../x", "a/../../x", "/etc/x", "a//b", "a/./b", "", "a/"}) {
    const std::string error = test::ErrorOf([&] { Write(folder, name, "x"); });
    EXPECT_NE(error.find("The name is not a plain relative path"), std::string::npos) << name;
  }
  EXPECT_TRUE(folder.IsEmpty());
  EXPECT_FALSE(fs::exists(dir_ / "x"));
}

TEST_F(ConfinedFolderTest, AFolderInTheWayOrAnEmptyLinkTargetIsAnError) {
  fs::create_directories(dir_ / "dest/taken/inner");
  TConfinedFolder folder(dir_ / "dest");
  EXPECT_EQ(
      test::ErrorOf([&] { Write(folder, "taken", "x"); }),
      "Cannot create file \"" + dir_ / "dest/taken" + "\". A folder of that name is in the way");
  EXPECT_TRUE(fs::exists(dir_ / "dest/taken/inner"));
  EXPECT_NE(test::ErrorOf([&] {
              folder.WriteSymlink("l", "", accessed_, written_);
            }).find("Its target is empty"),
            std::string::npos);
}

}  // namespace
}  // namespace pellmor
