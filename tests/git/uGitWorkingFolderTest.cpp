#include <gtest/gtest.h>

#include <filesystem>

#include "git/uGitWorkingFolder.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

TEST(RepositoryFolderTest, TrimsBlanksAndEndsWithADelimiter) {
  struct Case {
    const char* text;
    const char* expected;
  };
  for (const Case& c :
       {Case{"/home/ann/project", "/home/ann/project/"},
        Case{"/home/ann/project/", "/home/ann/project/"},
        Case{"  \t/home/ann/my project \r\n", "/home/ann/my project/"}, Case{"", "/"}}) {
    EXPECT_EQ(RepositoryFolder(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(HasGitFolderTest, OnlyAWorkingTreeRootWithAGitFolderCounts) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir / "work");
  test::WriteFile(dir / "work/sub/x.txt", "x");
  test::WriteFile(dir / "linked/.git", "gitdir: " + dir / "work/.git\n");
  EXPECT_TRUE(HasGitFolder(dir / "work/"));
  EXPECT_FALSE(HasGitFolder(dir / "work/sub/"));
  EXPECT_FALSE(HasGitFolder(dir / "linked/"));
  EXPECT_FALSE(HasGitFolder(dir / "missing/"));
}

TEST(ExcludeFromGitTest, AddsTheNameOnceAndRewritesWithCrLf) {
  struct Case {
    const char* name;
    const char* before;  // null: no exclude file
    const char* after;
  };
  for (const Case& c : {
           Case{"missing file is created", nullptr, ".Quarv\r\n"},
           Case{"empty file", "", ".Quarv\r\n"},
           Case{"last line without a break", "# comment\n*.o", "# comment\r\n*.o\r\n.Quarv\r\n"},
           Case{"name in other letter case: no new line", "*.o\n.quarv\n", "*.o\r\n.quarv\r\n"},
           Case{"CR and CR LF line ends", "a\rb\r\n\r\nc\n", "a\r\nb\r\n\r\nc\r\n.Quarv\r\n"},
           Case{"blanks around the name do not match", " .Quarv\n", " .Quarv\r\n.Quarv\r\n"},
       }) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    test::GitRepoBuilder repo(dir.Path());
    const std::string exclude = repo.Folder() + ".git/info/exclude";
    std::filesystem::remove(exclude);
    if (c.before) test::WriteFile(exclude, c.before);
    ExcludeFromGit(repo.Folder(), ".Quarv");
    EXPECT_EQ(test::ReadFile(exclude), c.after);
  }
}

}  // namespace
}  // namespace pellmor
