// The confirmation after a checkout: a working folder that differs from the
// commit at one of the paths asked about, in each way it can, is reported
// with that path; a folder as the commit holds it passes.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "git/CheckoutConfirmation.h"
#include "git/uGitLibrary.h"
#include "tests/support/ErrorText.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;

TEST(CheckoutConfirmationTest, ReportsThePathThatIsNotAsTheCommitHoldsIt) {
  const struct {
    const char* what;
    std::function<void(test::GitRepoBuilder&, const std::string& outside)> change;
    std::string error;  // after "... the working folder holds "; "" for none
  } cases[] = {
      {"nothing changed", [](test::GitRepoBuilder&, const std::string&) {}, ""},
      {"a folder where the commit holds nothing",
       [](test::GitRepoBuilder& r, const std::string&) { r.WriteFile("gone.txt/x", "x"); }, ""},
      {"a file missing", [](test::GitRepoBuilder& r, const std::string&) { r.RemoveFile("a.txt"); },
       "nothing at 'a.txt' where the commit holds a file"},
      {"an executable bit lost",
       [](test::GitRepoBuilder& r, const std::string&) { r.SetExecutable("run.sh", false); },
       "a file at 'run.sh' where the commit holds an executable file"},
      {"an executable bit gained",
       [](test::GitRepoBuilder& r, const std::string&) { r.SetExecutable("a.txt", true); },
       "an executable file at 'a.txt' where the commit holds a file"},
      {"a link that became a file",
       [](test::GitRepoBuilder& r, const std::string&) {
         r.RemoveFile("link");
         r.WriteFile("link", "a.txt");
       },
       "a file at 'link' where the commit holds a symbolic link"},
      {"a file the commit lacks",
       [](test::GitRepoBuilder& r, const std::string&) { r.WriteFile("gone.txt", "back"); },
       "a file at 'gone.txt' where the commit holds nothing"},
      {"a folder that became a link to one outside",
       [](test::GitRepoBuilder& r, const std::string& outside) {
         fs::remove_all(r.Folder() + "dir");
         r.Symlink("dir", outside);
       },
       "nothing at 'dir/b.txt' where the commit holds a file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    test::GitRepoBuilder repo(dir / "work");
    repo.WriteFile("a.txt", "a");
    repo.WriteFile("run.sh", "#!/bin/sh\n");
    repo.SetExecutable("run.sh", true);
    repo.Symlink("link", "a.txt");
    repo.WriteFile("dir/b.txt", "b");
    const std::string id = repo.Commit("c");
    // What a link to a folder outside would show: the same file.
    repo.WriteFile("../outside/b.txt", "b");
    c.change(repo, dir / "outside");

    std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo.Folder());
    git_oid oid;
    git_oid_fromstr(&oid, id.c_str());
    const TGitCommit commit = LookupCommit(walk->Repository(), oid);
    git_tree* raw = nullptr;
    ASSERT_EQ(git_commit_tree(&raw, commit.get()), 0);
    const TGitTree tree(raw);
    const std::string error = test::ErrorOf([&] {
      ConfirmCheckout(repo.Folder(), tree.get(),
                      {"a.txt", "run.sh", "link", "dir/b.txt", "gone.txt"}, "1234abcd5");
    });
    EXPECT_EQ(error, c.error.empty() ? ""
                                     : "After checking out commit 1234abcd5 the working folder "
                                       "holds " +
                                           c.error);
  }
}

// A symbolic link of the user's on the way to a path the checkout writes or
// removes is refused before the checkout; one that the checkout itself replaces, or
// one at the path itself (which the checkout replaces by the file), is not.
TEST(CheckoutConfirmationTest, RefusesALinkOnTheWayThatTheCheckoutLeavesInPlace) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir / "work");
  repo.WriteFile("vendor/x.c", "x");
  repo.WriteFile("y.c", "y");
  const std::string id = repo.Commit("c");
  fs::remove_all(repo.Folder() + "vendor");
  repo.RemoveFile("y.c");
  repo.Symlink("vendor", "../outside");
  repo.Symlink("y.c", "../outside/y.c");

  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo.Folder());
  git_oid oid;
  git_oid_fromstr(&oid, id.c_str());
  const TGitCommit commit = LookupCommit(walk->Repository(), oid);
  git_tree* raw = nullptr;
  ASSERT_EQ(git_commit_tree(&raw, commit.get()), 0);
  const TGitTree tree(raw);
  const auto refusal = [&](const std::vector<std::string>& paths) {
    return test::ErrorOf(
        [&] { RefuseLinksInTheWay(repo.Folder(), tree.get(), paths, "1234abcd5"); });
  };
  EXPECT_EQ(refusal({"y.c", "vendor/x.c"}),
            "Cannot check out commit 1234abcd5. The working folder holds a symbolic link at "
            "'vendor', through which the checkout would write 'vendor/x.c'");
  EXPECT_EQ(refusal({"vendor/gone.c"}),
            "Cannot check out commit 1234abcd5. The working folder holds a symbolic link at "
            "'vendor', through which the checkout would remove 'vendor/gone.c'");
  EXPECT_EQ(refusal({"vendor", "vendor/x.c", "y.c"}), "");
}

}  // namespace
}  // namespace pellmor
