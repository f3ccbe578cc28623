// What a checkout cut short leaves, told apart from the user's own changes:
// a working folder at HEAD is given the files a killed checkout of an older
// commit would have written, and the user's own changes besides.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "git/CheckoutLeftovers.h"
#include "git/uGitLibrary.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

git_oid Oid(const std::string& hex) {
  git_oid id;
  git_oid_fromstr(&id, hex.c_str());
  return id;
}

// Three commits; HEAD (the third) lacks files that the second has.
class CheckoutLeftoversTest : public ::testing::Test {
 protected:
  void SetUp() override {
    repo_.WriteFile("a.txt", "a1");
    repo_.WriteFile("keep.txt", "k");
    first_ = repo_.Commit("one");
    repo_.WriteFile("a.txt", "a2");
    repo_.WriteFile("b.txt", "b2");
    repo_.WriteFile("dir/c.txt", "c2");
    repo_.WriteFile(".Quarv/note", "n2");
    repo_.Symlink("link", "a.txt");
    second_ = repo_.Commit("two");
    repo_.WriteFile("a.txt", "a3");
    repo_.RemoveFile("b.txt");
    repo_.RemoveFile("dir/c.txt");
    repo_.RemoveFile(".Quarv/note");
    repo_.RemoveFile("link");
    head_ = repo_.Commit("three");
  }

  TSortedChanges Sort() {
    const std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo_.Folder());
    return SortOutChanges(walk->Repository(), {Oid(second_), Oid(head_)});
  }

  test::TempDir dir_;
  test::GitRepoBuilder repo_{dir_.Path()};
  std::string first_, second_, head_;
};

TEST_F(CheckoutLeftoversTest, SortsTheUsersChangesFromWhatACheckoutOfAKnownCommitLeft) {
  const struct {
    const char* what;
    std::function<void(test::GitRepoBuilder&)> change;
    Paths foreign;
    Paths leftovers;
  } cases[] = {
      {"nothing changed", [](test::GitRepoBuilder&) {}, {}, {}},
      {"a killed checkout's files: new ones, a changed one, a link",
       [](test::GitRepoBuilder& r) {
         r.WriteFile("b.txt", "b2");
         r.WriteFile("dir/c.txt", "c2");
         r.WriteFile("a.txt", "a2");
         r.Symlink("link", "a.txt");
       },
       {},
       {"b.txt", "dir/c.txt", "link"}},
      {"a file the checkout removed before writing it again, and one it was writing",
       [](test::GitRepoBuilder& r) {
         r.RemoveFile("keep.txt");
         r.WriteFile("a.txt", "a");
         r.WriteFile("b.txt", "b");
       },
       {},
       {"b.txt"}},
      {"the index written by the killed checkout, the files not yet",
       [&](test::GitRepoBuilder& r) {
         r.Git({"read-tree", second_});
       },
       {},
       {}},
      {"the user's own untracked file",
       [](test::GitRepoBuilder& r) { r.WriteFile("notes.txt", "mine"); },
       {},
       {}},
      {"an untracked file with other bytes than the commit's",
       [](test::GitRepoBuilder& r) { r.WriteFile("b.txt", "my b"); },
       {},
       {}},
      {"a link to another target",
       [](test::GitRepoBuilder& r) { r.Symlink("link", "keep.txt"); },
       {},
       {}},
      {"the user's edit",
       [](test::GitRepoBuilder& r) { r.WriteFile("keep.txt", "edited"); },
       {"keep.txt"},
       {}},
      {"a version that no known commit holds",
       [](test::GitRepoBuilder& r) { r.WriteFile("a.txt", "a1"); },
       {"a.txt"},
       {}},
      {"bytes that only start like a known version",
       [](test::GitRepoBuilder& r) { r.WriteFile("a.txt", "a2 and more"); },
       {"a.txt"},
       {}},
      {"an executable bit",
       [](test::GitRepoBuilder& r) { r.SetExecutable("keep.txt", true); },
       {"keep.txt"},
       {}},
      {"a staged removal",
       [](test::GitRepoBuilder& r) {
         r.Git({"rm", "-q", "--cached", "keep.txt"});
       },
       {"keep.txt"},
       {}},
      {"the store folder is never a leftover",
       [](test::GitRepoBuilder& r) { r.WriteFile(".Quarv/note", "n2"); },
       {},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    repo_.Git({"reset", "-q", "--hard", head_});
    repo_.Git({"clean", "-q", "-d", "-f", "-x"});
    c.change(repo_);
    const TSortedChanges sorted = Sort();
    EXPECT_EQ(sorted.Foreign, c.foreign);
    EXPECT_EQ(sorted.Leftovers, c.leftovers);
  }
}

TEST_F(CheckoutLeftoversTest, RemovesTheLeftoversAndTheFoldersTheyLeaveEmpty) {
  repo_.WriteFile("b.txt", "b2");
  repo_.WriteFile("dir/c.txt", "c2");
  repo_.WriteFile("dir/sub/mine.txt", "mine");
  repo_.WriteFile("other/dir/c.txt", "c2");
  const std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo_.Folder());
  RemoveLeftovers(walk->Repository(), {"b.txt", "dir/c.txt"});
  EXPECT_FALSE(fs::exists(repo_.Folder() + "b.txt"));
  EXPECT_FALSE(fs::exists(repo_.Folder() + "dir/c.txt"));
  EXPECT_TRUE(fs::exists(repo_.Folder() + "dir/sub/mine.txt"));

  fs::remove(repo_.Folder() + "dir/sub/mine.txt");
  fs::remove(repo_.Folder() + "dir/sub");
  repo_.WriteFile("dir/x/y/c.txt", "c2");
  RemoveLeftovers(walk->Repository(), {"dir/x/y/c.txt"});
  EXPECT_FALSE(fs::exists(repo_.Folder() + "dir")) << "every folder it emptied";
  EXPECT_TRUE(fs::exists(repo_.Folder() + "other/dir/c.txt"));
  EXPECT_TRUE(fs::exists(repo_.Folder() + "keep.txt"));
}

}  // namespace
}  // namespace pellmor
