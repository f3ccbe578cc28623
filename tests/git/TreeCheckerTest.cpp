// The check of a commit's tree before its checkout: the spellings of ".git"
// and ".gitmodules" that Git's fsck knows, and trees built with git mktree
// (or written raw) that a checkout must not write.
#include <gtest/gtest.h>

#include <memory>

#include "foundation/Exception.h"
#include "git/TreeChecker.h"
#include "git/uGitLibrary.h"
#include "tests/support/ErrorText.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

TEST(DotGitNameTest, KnowsTheSpellingsThatFileSystemsTakeForDotGit) {
  for (const char* name : {".git", ".GIT", ".Git", ".git.", ".git ", ".git. . ", "git~1", "GIT~1",
                           "git~1.", ".git::$INDEX_ALLOCATION", ".git\\hooks",
                           ".g\xe2\x80\x8cit",  // ZERO WIDTH NON-JOINER inside
                           "\xe2\x80\x8e.git",  // LEFT-TO-RIGHT MARK before
                           ".git\xef\xbb\xbf",  // ZERO WIDTH NO-BREAK SPACE after
                           ".gi\xe2\x81\xaft",  // NOMINAL DIGIT SHAPES inside
                           ".git\xff"})         // not UTF-8 after the name
    EXPECT_TRUE(IsDotGitName(name)) << name;
  for (const char* name :
       {"git", ".gi", ".gitignore", ".github", ".git~1", "git~2", "git~1x", "x.git", ". git",
        ".g\xc3\xaft",  // i with diaeresis is not i
        ".g\xc0\xa9t",  // an overlong encoding spells no letter
        ".gitx", ""})
    EXPECT_FALSE(IsDotGitName(name)) << name;
}

TEST(DotGitNameTest, KnowsTheSpellingsThatFileSystemsTakeForDotGitmodules) {
  for (const char* name :
       {".gitmodules", ".GITMODULES", ".gitmodules..", ".gitmodules :x", "gitmod~1", "GITMOD~4",
        "gi7eba~1", "gi7eba~9", "gi7eb~12", ".gitmod\xe2\x80\x8dules"})
    EXPECT_TRUE(IsDotGitmodulesName(name)) << name;
  for (const char* name : {"gitmodules", ".gitmodule", ".gitmodulesx", "gitmod~5", "gitmod~0",
                           "gi7eba~a", "gi7ebb~1", "gi7eba~1x", "gitmodu~1"})
    EXPECT_FALSE(IsDotGitmodulesName(name)) << name;
}

class TreeCheckerTest : public ::testing::Test {
 protected:
  // Checks the tree as the next commit, with the one checker of the test;
  // returns the error ("" for none) and the commit's short id in shortId.
  std::string Check(const std::string& tree, std::string* shortId = nullptr) {
    const std::string id = repo_.CommitTree(tree, "c");
    if (shortId != nullptr) *shortId = id.substr(0, 9);
    if (!walk_) {
      walk_ = OpenCommitWalk(repo_.Folder());
      checker_ = std::make_unique<TTreeChecker>(walk_->Repository(), ".Quarv");
    }
    git_oid oid;
    git_oid_fromstr(&oid, id.c_str());
    const TGitCommit commit = LookupCommit(walk_->Repository(), oid);
    return test::ErrorOf([&] { checker_->Check(commit.get()); });
  }
  std::string Blob() { return repo_.WriteBlob("x\n"); }
  // A tree holding one entry.
  std::string TreeOf(const std::string& mode, const std::string& type, const std::string& id,
                     const std::string& name) {
    return repo_.MakeTree(mode + " " + type + " " + id + "\t" + name + "\n");
  }

  test::TempDir dir_;
  test::GitRepoBuilder repo_{dir_.Path()};
  std::unique_ptr<TCommitWalk> walk_;
  std::unique_ptr<TTreeChecker> checker_;
};

TEST_F(TreeCheckerTest, NamesTheCommitThePathAndWhatIsWrong) {
  const std::string blob = Blob();
  const std::string link = repo_.WriteBlob("../outside");
  const std::string sub = TreeOf("100644", "blob", blob, "pwned.txt");
  const struct {
    const char* what;
    std::string listing;  // for git mktree
    std::string fault;
  } cases[] = {
      {"a link and a folder of one name",
       "120000 blob " + link + "\tout\n040000 tree " + sub + "\tout\n",
       "'out' is both a symbolic link and a folder, whose files would be written through the link"},
      {"a file twice", "100644 blob " + blob + "\ta\n100644 blob " + blob + "\ta\n",
       "'a' occurs twice"},
      {"a link beside a folder of another case",
       "120000 blob " + link + "\tOut\n040000 tree " + sub + "\tout\n",
       "'Out' and 'out' differ only in letter case and one is a symbolic link"},
      {"Git's folder", "040000 tree " + sub + "\t.git\n", "'.git' names Git's own folder .git"},
      {"Git's folder deep down",
       "040000 tree " + TreeOf("040000", "tree", TreeOf("040000", "tree", sub, "GIT~1"), "b") +
           "\ta\n",
       "'a/b/GIT~1' names Git's own folder .git"},
      {"a '..' folder", "040000 tree " + sub + "\t..\n", "'..' is a '..' entry"},
      {"a '.' file", "100644 blob " + blob + "\t.\n", "'.' is a '.' entry"},
      {"a link as .gitmodules", "120000 blob " + link + "\t.gitmodules\n",
       "'.gitmodules' is a symbolic link named as Git's .gitmodules file"},
      {"the store's folder", "040000 tree " + sub + "\t.quarv\n",
       "'.quarv' is the store's own folder, which the checkout would overwrite"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string shortId;
    const std::string error = Check(repo_.MakeTree(c.listing), &shortId);
    EXPECT_EQ(
        error.rfind("Cannot check out commit " + shortId + ". Its tree is unsafe: " + c.fault, 0),
        0u)
        << error;
  }
}

TEST_F(TreeCheckerTest, RefusesANameThatHoldsASlash) {
  const std::string error = Check(repo_.WriteTree({{"100644", "../escape.txt", Blob()}}));
  EXPECT_NE(error.find("Its tree is unsafe: the entry '../escape.txt' holds '/' in its name"),
            std::string::npos)
      << error;
}

TEST_F(TreeCheckerTest, PassesSoundTreesWithOddButHarmlessNames) {
  const std::string blob = Blob();
  const std::string link = repo_.WriteBlob("../anywhere");
  // ".Quarv" is the store's only at the top; a link may point anywhere;
  // names that merely resemble Git's are names like any other.
  const std::string inner = repo_.MakeTree("100644 blob " + blob + "\tHistory.txt\n");
  const std::string deep =
      repo_.MakeTree("040000 tree " + inner + "\t.Quarv\n100644 blob " + blob + "\t.gitignore\n");
  EXPECT_EQ(
      Check(repo_.MakeTree("040000 tree " + deep + "\tsub\n120000 blob " + link +
                           "\tlink\n100644 blob " + blob + "\t.github\n100644 blob " + blob +
                           "\t...\n100644 blob " + blob + "\tgit~2\n100644 blob " + blob +
                           "\tx\\y\n100644 blob " + blob + "\tA\n100644 blob " + blob + "\ta\n")),
      "");
  // The same subtree at the top is no longer harmless: remembered as sound
  // below, it is still looked at when it is the top.
  const std::string error = Check(deep);
  EXPECT_NE(error.find("'.Quarv' is the store's own folder"), std::string::npos) << error;
}

}  // namespace
}  // namespace pellmor
