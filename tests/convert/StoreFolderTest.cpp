#include <gtest/gtest.h>

#include <filesystem>

#include "convert/StoreFolder.h"
#include "foundation/Exception.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

TEST(PrepareStoreFolderTest, MissingInfoFolderRaisesTheCreateErrorAndCreatesNothing) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir.Path());
  std::filesystem::remove_all(repo.Folder() + ".git/info");
  const std::string exclude = repo.Folder() + ".git/info/exclude";
  try {
    PrepareStoreFolder(repo.Folder());
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(),
                 ("Cannot create file \"" + exclude + "\". No such file or directory").c_str());
  }
  EXPECT_FALSE(std::filesystem::exists(repo.Folder() + ".git/info"));
  EXPECT_FALSE(std::filesystem::exists(repo.Folder() + ".Quarv"));
}

TEST(PrepareStoreFolderTest, CreatesTheStoreFolderThatGitThenIgnores) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir.Path());
  PrepareStoreFolder(repo.Folder());
  EXPECT_TRUE(std::filesystem::is_directory(repo.Folder() + ".Quarv"));
  test::WriteFile(repo.Folder() + ".Quarv/History.txt", "1.dat\r\n");
  PrepareStoreFolder(repo.Folder());  // an existing store is left as it is
  EXPECT_EQ(test::ReadFile(repo.Folder() + ".Quarv/History.txt"), "1.dat\r\n");
  const std::string exclude = test::ReadFile(repo.Folder() + ".git/info/exclude");
  EXPECT_EQ(exclude.find(".Quarv"), exclude.size() - 8) << "listed once, as the last line";
  EXPECT_EQ(repo.Git({"status", "--porcelain", "--untracked-files=all"}), "");
}

}  // namespace
}  // namespace pellmor
