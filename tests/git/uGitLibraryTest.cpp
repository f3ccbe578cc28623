#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/Exception.h"
#include "git/uGitLibrary.h"
#include "tests/support/FolderImage.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using test::CommitOptions;
using test::GitRepoBuilder;
using test::TempDir;

std::vector<std::string> WalkIds(const std::string& path) {
  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(path);
  std::vector<std::string> ids;
  git_oid id;
  while (walk->Next(id)) ids.push_back(OidToText(id, 40));
  return ids;
}

git_oid ParseOid(const std::string& text) {
  git_oid id;
  EXPECT_EQ(git_oid_fromstr(&id, text.c_str()), 0) << text;
  return id;
}

// The message of the Exception that action raises; a test failure when none.
template <typename Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "no error raised";
  return {};
}

TEST(CommitWalkTest, MergeHistoryComesParentsFirstEachCommitOnce) {
  TempDir dir;
  GitRepoBuilder repo(dir.Path());
  repo.WriteFile("a.txt", "1");
  const std::string root = repo.Commit("root");
  repo.Branch("side");
  repo.WriteFile("a.txt", "2");
  repo.Commit("main 1");
  repo.Switch("side");
  repo.WriteFile("b.txt", "side");
  repo.Commit("side 1");
  repo.WriteFile("b.txt", "side 2");
  repo.Commit("side 2");
  repo.Switch("main");
  repo.Merge("side", "merge side");
  repo.WriteFile("a.txt", "3");
  const std::string head = repo.Commit("after merge");

  const std::vector<std::string> ids = WalkIds(repo.Folder());
  ASSERT_EQ(ids.size(), 6u);
  EXPECT_EQ(ids.front(), root);
  EXPECT_EQ(ids.back(), head);
  // Each commit's parents come before it.
  std::istringstream parents(repo.Git({"rev-list", "--parents", "HEAD"}));
  std::string line;
  int checked = 0;
  while (std::getline(parents, line)) {
    std::istringstream fields(line);
    std::string child, parent;
    fields >> child;
    const auto child_at = std::find(ids.begin(), ids.end(), child);
    ASSERT_NE(child_at, ids.end()) << child;
    while (fields >> parent) EXPECT_LT(std::find(ids.begin(), ids.end(), parent), child_at);
    ++checked;
  }
  EXPECT_EQ(checked, 6);
}

TEST(CommitWalkTest, CommitsThatATagReachesAreLeftOut) {
  struct Case {
    const char* name;
    int tagged;  // 1-based commit number carrying the tag
    bool annotated;
    int expected_first;  // first commit number walked (7: none)
  };
  for (const Case& c :
       {Case{"lightweight tag three behind HEAD", 3, false, 4},
        Case{"annotated tag three behind HEAD", 3, true, 4}, Case{"tag on HEAD", 6, false, 7}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    std::vector<std::string> commits;
    for (int i = 1; i <= 6; ++i) {
      repo.WriteFile("f.txt", std::to_string(i));
      commits.push_back(repo.Commit("commit " + std::to_string(i)));
    }
    repo.Tag("v1", commits[c.tagged - 1], c.annotated);
    const std::vector<std::string> expected(commits.begin() + (c.expected_first - 1),
                                            commits.end());
    EXPECT_EQ(WalkIds(repo.Folder()), expected);
  }
}

TEST(CommitWalkTest, EmptyRepositoryYieldsNothing) {
  TempDir dir;
  GitRepoBuilder repo(dir.Path());
  EXPECT_TRUE(WalkIds(repo.Folder()).empty());
}

TEST(CommitWalkTest, FolderInsideAWorkingTreeOpensItsRepository) {
  TempDir dir;
  GitRepoBuilder repo(dir.Path());
  repo.WriteFile("sub/x.txt", "x");
  const std::string id = repo.Commit("one");
  EXPECT_EQ(WalkIds(repo.Folder() + "sub"), std::vector<std::string>{id});
}

TEST(CommitWalkTest, UnopenableRepositoryNamesFolderAndLibgit2Reason) {
  TempDir dir;
  test::WriteFile(dir / "plain/file.txt", "no repository here");
  const std::string path = dir / "plain";
  const std::string message = ErrorOf([&] { OpenCommitWalk(path); });
  EXPECT_EQ(message.rfind("Cannot open Git repository \"" + path + "\". ", 0), 0u) << message;
  EXPECT_NE(message.find("could not find repository"), std::string::npos) << message;
}

TEST(CommitWalkTest, RepositoryOfAnotherOwnerIsReportedReadably) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the repository to another user";
  TempDir dir;
  GitRepoBuilder repo(dir / "theirs");
  repo.WriteFile("a.txt", "a");
  repo.Commit("one");
  ASSERT_EQ(test::Run("chown -R nobody '" + repo.Folder() + "'"), 0);
  const std::string message = ErrorOf([&] { OpenCommitWalk(repo.Folder()); });
  EXPECT_NE(message.find(repo.Folder()), std::string::npos) << message;
  EXPECT_NE(message.find("belongs to another user"), std::string::npos) << message;
}

TEST(GitTimeTest, ConvertsToCommitterWallClockDays) {
  struct Case {
    int64_t seconds;
    int offset;
    double expected;
  };
  const double sep_8_2001 = 37142;  // 2001-09-08 as days since 1899-12-30
  for (const Case& c : {Case{0, 0, 25569.0},
                        Case{1000000000, -300, sep_8_2001 + (20 * 3600 + 46 * 60 + 40) / 86400.0},
                        Case{86400, 120, 25570 + 120 / 1440.0}, Case{-86400, 0, 25568.0}}) {
    EXPECT_NEAR(GitTimeToDateTime(c.seconds, c.offset), c.expected, 1e-9)
        << c.seconds << " " << c.offset;
  }
}

TEST(ReadCommitTest, ReadsShortIdMessageAuthorAndCommitterTime) {
  TempDir dir;
  GitRepoBuilder repo(dir.Path());
  repo.WriteFile("a.txt", "a");
  CommitOptions options;
  options.Author = {"Zoë Writer", "zoe@example.org", 1000000000, 60};
  options.Committer = test::GitSignature{"Carl Committer", "carl@example.org", 1000003600, -300};
  const std::string id = repo.Commit("Subject\n\nBody line\n", options);

  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo.Folder());
  git_oid oid;
  ASSERT_TRUE(walk->Next(oid));
  TGitCommit commit = LookupCommit(walk->Repository(), oid);
  const TGitCommitInfo info = ReadCommit(commit.get());
  EXPECT_EQ(info.ShortId, id.substr(0, 9));
  EXPECT_EQ(info.Message, "Subject\n\nBody line\n");
  EXPECT_EQ(info.AuthorName, "Zoë Writer");
  EXPECT_EQ(info.AuthorEmail, "zoe@example.org");
  EXPECT_EQ(info.CommitTime, 1000003600);
  EXPECT_EQ(info.CommitTimeOffset, -300);
  EXPECT_DOUBLE_EQ(info.DateTime, GitTimeToDateTime(1000003600, -300));
  EXPECT_FALSE(walk->Next(oid));
}

TEST(ReadCommitTest, MessageInALegacyEncodingBecomesUtf8) {
  TempDir dir;
  GitRepoBuilder repo(dir.Path());
  CommitOptions latin1;
  latin1.Encoding = "ISO-8859-1";
  repo.Commit("Caf\xe9 au lait\n", latin1);
  repo.CommitRawMessage("Price \x80 5\n");  // not UTF-8, no encoding header: Windows-1252
  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo.Folder());
  std::vector<std::string> messages;
  git_oid oid;
  while (walk->Next(oid))
    messages.push_back(ReadCommit(LookupCommit(walk->Repository(), oid).get()).Message);
  EXPECT_EQ(messages, (std::vector<std::string>{"Café au lait\n", "Price € 5\n"}));
}

TEST(LookupCommitTest, MissingOrNonCommitObjectNamesTheId) {
  TempDir dir;
  GitRepoBuilder repo(dir.Path());
  repo.WriteFile("a.txt", "blob");
  repo.Commit("one");
  std::string blob = repo.Git({"rev-parse", "HEAD:a.txt"});
  blob.resize(40);
  const std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo.Folder());
  for (const std::string& id : {std::string("0123456789abcdef0123456789abcdef01234567"), blob}) {
    const std::string message = ErrorOf([&] { LookupCommit(walk->Repository(), ParseOid(id)); });
    EXPECT_EQ(message.rfind("Cannot read commit " + id + ". ", 0), 0u) << message;
    EXPECT_GT(message.size(), ("Cannot read commit " + id + ". ").size()) << "no libgit2 reason";
  }
}

TEST(OidToTextTest, CutsTheLowercaseHexForm) {
  const git_oid id = ParseOid("ABCDEF0123456789ABCDEF0123456789ABCDEF01");
  EXPECT_EQ(OidToText(id, 9), "abcdef012");
  EXPECT_EQ(OidToText(id, 40), "abcdef0123456789abcdef0123456789abcdef01");
  EXPECT_EQ(OidToText(id, 99), OidToText(id, 40));
  EXPECT_EQ(OidToText(id, 0), "");
}

TEST(LoadGitLibraryTest, InitialisesLibgit2OncePerProcess) {
  LoadGitLibrary();
  LoadGitLibrary();
  // git_libgit2_init reports how many initialisations are now active: ours and this one.
  EXPECT_EQ(git_libgit2_init(), 2);
  git_libgit2_shutdown();
}

class CheckoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    repo_.WriteFile("keep.txt", "first");
    repo_.WriteFile("old.txt", "old");
    first_ = repo_.Commit("first");
    repo_.WriteFile("keep.txt", "second");
    repo_.RemoveFile("old.txt");
    repo_.WriteFile("dir/new.txt", "new");
    repo_.Commit("second");
  }
  TGitCommit First(TCommitWalk& walk) { return LookupCommit(walk.Repository(), ParseOid(first_)); }

  TempDir dir_;
  GitRepoBuilder repo_{dir_.Path()};
  std::string first_;
};

TEST_F(CheckoutTest, ForceMakesTheWorkingFolderMatchTheTreeAndKeepsHead) {
  const std::string head = repo_.RevParse("HEAD");
  repo_.WriteFile("keep.txt", "local edit that the checkout overwrites");
  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo_.Folder());
  CheckoutCommit(walk->Repository(), First(*walk).get());
  EXPECT_EQ(test::ReadFile(repo_.Folder() + "keep.txt"), "first");
  EXPECT_EQ(test::ReadFile(repo_.Folder() + "old.txt"), "old");
  EXPECT_FALSE(std::filesystem::exists(repo_.Folder() + "dir/new.txt"));
  EXPECT_EQ(repo_.RevParse("HEAD"), head);
}

TEST_F(CheckoutTest, FailureNamesTheCommitAndLibgit2Reason) {
  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo_.Folder());
  const TGitCommit commit = First(*walk);
  std::string blob = repo_.Git({"rev-parse", first_ + ":old.txt"});
  blob.resize(40);
  std::filesystem::remove(repo_.Folder() + ".git/objects/" + blob.substr(0, 2) + "/" +
                          blob.substr(2));
  const std::string message = ErrorOf([&] { CheckoutCommit(walk->Repository(), commit.get()); });
  EXPECT_EQ(message.rfind("Cannot check out commit " + first_.substr(0, 9) + ". ", 0), 0u)
      << message;
  EXPECT_NE(message.find(blob.substr(0, 7)), std::string::npos) << "libgit2's reason: " << message;
}

TEST_F(CheckoutTest, WaitsWhileAnotherGitProcessHoldsTheIndexForAMoment) {
  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo_.Folder());
  const TGitCommit commit = First(*walk);
  {
    const test::LockHolder git(repo_.Folder() + ".git/index.lock", 300);
    CheckoutCommit(walk->Repository(), commit.get());
  }
  EXPECT_EQ(test::ReadFile(repo_.Folder() + "keep.txt"), "first");
  EXPECT_EQ(repo_.Git({"diff", "--cached", "--name-only", first_}), "") << "the index follows";
  EXPECT_FALSE(std::filesystem::exists(repo_.Folder() + ".git/index.lock"));
}

TEST_F(CheckoutTest, AnIndexLockHeldLongerThanTheWaitNamesTheLockFile) {
  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo_.Folder());
  const TGitCommit commit = First(*walk);
  const std::string lock = repo_.Folder() + ".git/index.lock";
  test::LockHolder git(lock, -1);
  const std::string message = ErrorOf([&] {
    CheckoutCommit(walk->Repository(), commit.get(), nullptr, std::chrono::milliseconds(200));
  });
  EXPECT_EQ(message, "Cannot check out commit " + first_.substr(0, 9) +
                         ". The Git index is locked: another Git process holds '" + lock +
                         "' (waited 0.2 s). When no Git process runs in the repository any more, "
                         "delete that file.");
}

// A reader of a file when the checkout replaces it (a "git status" beside the
// run maps the files it hashes) keeps reading the old bytes whole: the
// checkout writes a new file in its place instead of truncating the old one.
// Also a checkout of the whole tree, and one tried again after the index was
// locked for a moment (the first try wrote the files already).
TEST_F(CheckoutTest, AReaderOfAReplacedFileNeverSeesItShrink) {
  const std::string before = std::string(64, 'x');  // longer than what replaces it
  repo_.WriteFile("keep.txt", before);
  const std::string third = repo_.Commit("third");
  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo_.Folder());
  const TGitCommit thirdCommit = LookupCommit(walk->Repository(), ParseOid(third));
  struct Case {
    const char* name;
    bool whole;
    int lockMs;
  };
  for (const Case& c : {Case{"narrowed", false, 0}, Case{"whole tree", true, 0},
                        Case{"after a locked index", false, 300}}) {
    SCOPED_TRACE(c.name);
    CheckoutCommit(walk->Repository(), thirdCommit.get());
    std::ifstream reader(repo_.Folder() + "keep.txt", std::ios::binary);
    ASSERT_TRUE(reader);
    {
      std::optional<test::LockHolder> git;
      if (c.lockMs > 0) git.emplace(repo_.Folder() + ".git/index.lock", c.lockMs);
      CheckoutCommit(walk->Repository(), First(*walk).get(), c.whole ? nullptr : thirdCommit.get());
    }
    EXPECT_EQ(test::ReadFile(repo_.Folder() + "keep.txt"), "first");
    const std::string seen((std::istreambuf_iterator<char>(reader)),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(seen, before);
  }
}

// Checked out one after another, each commit naming the one before it: only
// the paths that differ are looked at, and the folder ends up as a full
// checkout of each commit leaves it (changes, additions, deletions, a rename,
// a file that becomes a folder, an executable bit, a link, an empty commit).
TEST(NarrowedCheckoutTest, EachStepLeavesTheFolderAsAFullCheckoutWould) {
  TempDir dir;
  GitRepoBuilder repo(dir.Path());
  std::vector<std::string> commits;
  repo.WriteFile("a.txt", "a1");
  repo.WriteFile("sub/b.txt", "b1");
  repo.WriteFile("x", "a file first");
  commits.push_back(repo.Commit("one"));
  repo.WriteFile("a.txt", "a2");
  repo.Move("sub/b.txt", "sub/renamed.txt");
  repo.RemoveFile("x");
  repo.WriteFile("x/inside.txt", "then a folder");
  repo.Symlink("link", "a.txt");
  commits.push_back(repo.Commit("two"));
  commits.push_back(repo.Commit("empty"));
  repo.SetExecutable("a.txt", true);
  repo.RemoveFile("sub/renamed.txt");
  commits.push_back(repo.Commit("three"));

  // The working files (not .git) as git's own full checkout of each commit leaves them.
  const auto workingFiles = [&] {
    std::map<std::string, std::string> files = test::FolderImage(repo.Folder());
    std::erase_if(files, [](const auto& file) { return file.first.rfind(".git/", 0) == 0; });
    return files;
  };
  std::vector<std::map<std::string, std::string>> expected;
  for (const std::string& id : commits) {
    repo.Git({"checkout", "-q", "--force", id});
    repo.Git({"clean", "-q", "-d", "-f"});
    expected.push_back(workingFiles());
  }
  repo.Git({"checkout", "-q", "--force", "main"});

  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo.Folder());
  TGitCommit previous;
  for (size_t i = 0; i < commits.size(); ++i) {
    SCOPED_TRACE(i);
    TGitCommit commit = LookupCommit(walk->Repository(), ParseOid(commits[i]));
    CheckoutCommit(walk->Repository(), commit.get(), previous.get());
    previous = std::move(commit);
    EXPECT_EQ(workingFiles(), expected[i]);
  }
  // The index follows: git sees nothing to commit against the last commit.
  EXPECT_EQ(repo.Git({"diff", "--cached", "--name-only", commits.back()}), "");
}

// Checkouts that keep the index in memory leave the index file as it was,
// while each takes the one before as its baseline; the checkout that writes
// it, even one with no file to write, leaves the index of its commit.
TEST(NarrowedCheckoutTest, AnIndexKeptInMemoryIsWrittenByTheCheckoutThatAsks) {
  TempDir dir;
  GitRepoBuilder repo(dir.Path());
  repo.WriteFile("a.txt", "a1");
  const std::string one = repo.Commit("one");
  repo.WriteFile("a.txt", "a2");
  repo.WriteFile("b.txt", "b");
  const std::string two = repo.Commit("two");
  repo.RemoveFile("a.txt");
  const std::string three = repo.Commit("three");
  repo.Git({"checkout", "-q", "--force", one});
  const std::string indexFile = repo.Folder() + ".git/index";
  const std::string userIndex = test::ReadFile(indexFile);

  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo.Folder());
  TGitCommit previous = LookupCommit(walk->Repository(), ParseOid(one));
  for (const std::string& id : {two, three}) {
    SCOPED_TRACE(id);
    TGitCommit commit = LookupCommit(walk->Repository(), ParseOid(id));
    CheckoutCommit(walk->Repository(), commit.get(), previous.get(), kIndexLockWait,
                   IndexWrite::kInMemory);
    previous = std::move(commit);
    EXPECT_EQ(test::ReadFile(indexFile), userIndex);
  }
  EXPECT_FALSE(std::filesystem::exists(repo.Folder() + "a.txt"));
  EXPECT_EQ(test::ReadFile(repo.Folder() + "b.txt"), "b");

  // The same commit again: no file to write, only the index.
  CheckoutCommit(walk->Repository(), previous.get(), previous.get());
  EXPECT_EQ(repo.Git({"diff-index", "--cached", "--name-only", three}), "");
  EXPECT_EQ(repo.Git({"diff-files", "--name-only"}), "");
}

}  // namespace
}  // namespace pellmor
