#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "git/uGitLibrary.h"
#include "git/uGitStatus.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

std::vector<std::string> ChangesOf(const test::GitRepoBuilder& repo) {
  const std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo.Folder());
  return UncommittedChanges(walk->Repository());
}

TEST(UncommittedChangesTest, ListsTrackedFilesThatACheckoutWouldOverwrite) {
  using Files = std::vector<std::string>;
  struct Case {
    const char* name;
    std::function<void(test::GitRepoBuilder&)> change;
    Files expected;
  };
  const Case cases[] = {
      {"clean", [](test::GitRepoBuilder&) {}, {}},
      {"untracked and ignored files do not count",
       [](test::GitRepoBuilder& r) {
         r.WriteFile("new.txt", "n");
         r.WriteFile(".Quarv/History.txt", "1.dat\r\n");
       },
       {}},
      {"modified",
       [](test::GitRepoBuilder& r) { r.WriteFile("sub/b.txt", "changed"); },
       {"sub/b.txt"}},
      {"deleted", [](test::GitRepoBuilder& r) { r.RemoveFile("a.txt"); }, {"a.txt"}},
      {"executable bit",
       [](test::GitRepoBuilder& r) { r.SetExecutable("a.txt", true); },
       {"a.txt"}},
      {"file turned into a link",
       [](test::GitRepoBuilder& r) {
         r.RemoveFile("a.txt");
         r.Symlink("a.txt", "sub/b.txt");
       },
       {"a.txt"}},
      {"staged new file",
       [](test::GitRepoBuilder& r) {
         r.WriteFile("staged.txt", "s");
         r.Git({"add", "staged.txt"});
       },
       {"staged.txt"}},
      {"staged edit undone in the folder",
       [](test::GitRepoBuilder& r) {
         r.WriteFile("a.txt", "staged");
         r.Git({"add", "a.txt"});
         r.WriteFile("a.txt", "a");
       },
       {"a.txt"}},
      {"staged rename",
       [](test::GitRepoBuilder& r) { r.Move("a.txt", "c.txt"); },
       {"a.txt", "c.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    test::GitRepoBuilder repo(dir.Path());
    repo.WriteFile("a.txt", "a");
    repo.WriteFile("sub/b.txt", "b");
    repo.WriteFile(".git/info/exclude", ".Quarv\n");
    repo.Commit("base");
    c.change(repo);
    EXPECT_EQ(ChangesOf(repo), c.expected);
  }
}

TEST(UncommittedChangesTest, ARepositoryWithoutCommitsCountsStagedFiles) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir.Path());
  repo.WriteFile("a.txt", "a");
  repo.WriteFile("loose.txt", "l");
  repo.Git({"add", "a.txt"});
  EXPECT_EQ(ChangesOf(repo), std::vector<std::string>{"a.txt"});
}

}  // namespace
}  // namespace pellmor
