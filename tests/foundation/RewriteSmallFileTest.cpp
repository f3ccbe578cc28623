#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "foundation/Platform.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(RewriteSmallFileTest, RewritesInPlacePaddingToTheFormerSize) {
  TempDir dir;
  const std::string path = dir / "marker";
  WriteFile(path, "a longer first text");
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);

  ASSERT_TRUE(RewriteSmallFile(path, "short", '\n'));
  EXPECT_EQ(ReadFile(path), "short" + std::string(14, '\n'));
  ASSERT_TRUE(RewriteSmallFile(path, "longer than all before it", '\n'));
  EXPECT_EQ(ReadFile(path), "longer than all before it");

  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "no new file";
}

// Where no small regular file stands, nothing is written and the caller
// replaces whatever is there.
TEST(RewriteSmallFileTest, LeavesEverythingButASmallRegularFileAlone) {
  TempDir dir;
  const std::string big(kSmallFileBytes + 1, 'x');
  WriteFile(dir / "target", "the link's target");
  ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  fs::create_directory(dir / "folder");
  WriteFile(dir / "large", big);
  WriteFile(dir / "small", "small");

  EXPECT_FALSE(RewriteSmallFile(dir / "missing", "new", '\n'));
  EXPECT_FALSE(fs::exists(dir / "missing"));
  EXPECT_FALSE(RewriteSmallFile(dir / "link", "new", '\n'));
  EXPECT_EQ(ReadFile(dir / "target"), "the link's target");
  EXPECT_FALSE(RewriteSmallFile(dir / "fifo", "new", '\n'));
  EXPECT_FALSE(RewriteSmallFile(dir / "folder", "new", '\n'));
  EXPECT_FALSE(RewriteSmallFile(dir / "large", "new", '\n'));
  EXPECT_EQ(ReadFile(dir / "large"), big);
  EXPECT_FALSE(RewriteSmallFile(dir / "small", big, '\n'));
  EXPECT_EQ(ReadFile(dir / "small"), "small");
}

}  // namespace
}  // namespace pellmor
