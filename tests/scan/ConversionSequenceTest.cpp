// The conversion run's use of the store engine and the change loader, without
// Git: a folder edited between revisions, each state recorded the way the run
// records a commit, and every revision read back and held against the folder
// as it stood.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "scan/uQuarvLoader.h"
#include "foundation/AsciiText.h"
#include "store/uQuarvEngine.h"
#include "tests/support/StoreRevisions.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;  // relative name ('\') -> bytes

class ConversionSequenceTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& relative) const { return dir_ / relative; }
  void Write(const std::string& relative, const std::string& bytes) {
    test::WriteFile(Path(relative), bytes);
  }

  // One commit of the conversion run; returns how many changes were staged.
  int Convert(const std::string& message) {
    TQuarv_Engine engine(dir_.Path());
    engine.Load();
    TQuarvEngine_Loader loader(engine);
    loader.Prepare(false);
    loader.IgnoreList.AddPattern(".git");
    loader.Compare();
    TChangeRefList all = loader.ChangeRefs();
    const int applied = loader.ApplyChanges(all);
    engine.Commit(message, "Ann", 45000.5, "ann@example.org");
    return applied;
  }

  // The folder as a revision should hold it: files and links (a link's bytes
  // are its target), without .git and .Quarv folders and without the names
  // in `ignored`.
  Files Snapshot(const std::set<std::string>& ignored = {}) const {
    Files files;
    const fs::path root = dir_.Path();
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
      const std::string name = UpperCaseAscii(it->path().filename().string());
      if (it->is_directory() && !it->is_symlink()) {
        if (name == ".GIT" || name == ".QUARV") it.disable_recursion_pending();
        continue;
      }
      const std::string relative = it->path().lexically_relative(root).string();
      if (ignored.count(relative) != 0) continue;
      files[relative] = it->is_symlink() ? fs::read_symlink(it->path()).string()
                                         : test::ReadFile(it->path().string());
    }
    return files;
  }

  // Every revision read back through a fresh engine: the files each holds
  // (bytes fetched from the revision that stored them), oldest first.
  std::vector<Files> Revisions() const {
    std::vector<Files> revisions;
    for (const test::StoredRevision& revision : test::ReadStoreRevisions(dir_.Path())) {
      Files files;
      for (const auto& [name, file] : revision.Files) files[name] = file.Bytes;
      revisions.push_back(files);
    }
    return revisions;
  }

  test::TempDir dir_;
};

// Names first, then each file's bytes, so that a difference reads briefly.
void ExpectSameFiles(const Files& actual, const Files& expected) {
  std::vector<std::string> actualNames, expectedNames;
  for (const auto& [name, bytes] : actual) actualNames.push_back(name);
  for (const auto& [name, bytes] : expected) expectedNames.push_back(name);
  ASSERT_EQ(actualNames, expectedNames);
  for (const auto& [name, bytes] : expected)
    EXPECT_TRUE(actual.at(name) == bytes)
        << name << ": " << actual.at(name).size() << " bytes, " << bytes.size() << " expected";
}

TEST_F(ConversionSequenceTest, EveryRevisionReadsBackAsTheFolderStood) {
  std::map<int, Files> expected;
  auto record = [&](const char* step, int revision, const std::set<std::string>& ignored = {}) {
    SCOPED_TRACE(step);
    EXPECT_GT(Convert(step), 0);
    const std::vector<Files> revisions = Revisions();
    ASSERT_EQ(revisions.size(), static_cast<size_t>(revision));
    expected[revision] = Snapshot(ignored);
    ExpectSameFiles(revisions.back(), expected[revision]);
  };

  std::string big;
  for (int i = 0; i < 5000; ++i) big += static_cast<char>((i * 7919) % 251);
  Write("a.txt", "alpha\r\nbeta\r\n");
  Write("b.bin", std::string("\0\1\2\3", 4));
  Write("empty.txt", "");
  Write("notes.txt", "one\r\ntwo\r\n");
  Write("sub/deep/c.txt", "see");
  Write("sub/d.bin", "dee");
  Write("big.bin", big);
  Write(".git/HEAD", "ref: refs/heads/main\n");
  Write("sub/.git/config", "[core]\n");
  ASSERT_EQ(::symlink("a.txt", Path("link").c_str()), 0);
  record("first revision", 1);
  EXPECT_EQ(expected[1].count(".git/HEAD"), 0u);
  EXPECT_EQ(expected[1].count("link"), 1u);

  Write("a.txt", "alpha\r\ngamma\r\n");
  Write("new.txt", "new");
  fs::remove(Path("b.bin"));
  record("edit, add, delete", 2);

  fs::remove_all(Path("sub"));
  record("folder removed", 3);

  big[2500] = static_cast<char>(big[2500] ^ 1);
  Write("big.bin", big);
  record("one byte of a binary file", 4);

  Write("notes.txt", "one\ntwo\n");
  EXPECT_EQ(Convert("line ends only"), 0);
  ASSERT_EQ(Revisions().size(), 4u);
  EXPECT_EQ(Revisions()[3].at("notes.txt"), "one\r\ntwo\r\n");

  fs::rename(Path("notes.txt"), Path("renamed.txt"));
  Write(".Quarv/Rename.txt", "\"notes.txt\"->\"renamed.txt\"\r\n");
  record("logged rename", 5);
  EXPECT_FALSE(fs::exists(Path(".Quarv/Rename.txt"))) << "the record is consumed";

  Write(".Quarv/Ignore.txt", "secret.txt\r\n");
  Write("secret.txt", "do not keep");
  Write("new.txt", "newer");
  record("an ignored name", 6, {"secret.txt"});

  fs::remove(Path("link"));
  ASSERT_EQ(::symlink("sub/gone", Path("link").c_str()), 0);
  Write("empty.bin", "");
  record("link retargeted, empty file added", 7, {"secret.txt"});

  // Every revision again, now that later ones were written after it.
  const std::vector<Files> revisions = Revisions();
  for (const auto& [revision, files] : expected) {
    SCOPED_TRACE(revision);
    ExpectSameFiles(revisions[static_cast<size_t>(revision - 1)], files);
  }
}

}  // namespace
}  // namespace pellmor
