#include "scan/uMyFileUtils.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "foundation/DateTime.h"
#include "foundation/Platform.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using test::TempDir;
using test::WriteFile;

// ---------------------------------------------------------------- patterns

struct PatternCase {
  const char* text;
  TMatchKind kind;
  const char* matchText;
};

TEST(TFileIgnoreObjectTest, ClassifiesPatternsByTheirOuterStars) {
  const PatternCase cases[] = {
      {"a", mkExact, "a"},
      {"*", mkExact, "*"},
      {"**", mkExact, "**"},
      {"*~", mkExact, "*~"},  // two characters: never a wildcard
      {"a*", mkExact, "a*"},
      {"***", mkContains, "*"},
      {"*.tmp", mkEndsWith, ".tmp"},
      {"build*", mkStartsWith, "build"},
      {"*cache*", mkContains, "cache"},
      {"**x", mkEndsWith, "*x"},
      {"x**", mkStartsWith, "x*"},
      {"a*b", mkExact, "a*b"},
      {"  *.bak \t\r\n", mkEndsWith, ".bak"},
      {"\x01.Quarv ", mkExact, ".Quarv"},
  };
  for (const PatternCase& c : cases) {
    SCOPED_TRACE(c.text);
    TFileIgnoreObject pattern(c.text);
    EXPECT_EQ(pattern.MatchKind, c.kind);
    EXPECT_EQ(pattern.MatchText, c.matchText);
    EXPECT_EQ(pattern.MatchTextLength, static_cast<int32_t>(std::string(c.matchText).size()));
  }
  EXPECT_EQ(TFileIgnoreObject("  *.bak \t").Pattern, "*.bak");
}

struct MatchCase {
  const char* pattern;
  const char* name;
  bool matches;
};

TEST(TFileIgnoreObjectTest, MatchesEntryNames) {
  const MatchCase cases[] = {
      {".Quarv", ".QUARV", true},
      {".Quarv", ".quarv", true},
      {".Quarv", "x.Quarv", false},
      {".Quarv", ".Quarv2", false},
      {"*.tmp", "A.TMP", true},
      {"*.tmp", "x.tmp", true},
      {"*.tmp", ".tmp", true},
      {"*.tmp", "x.tmpl", false},
      {"*.tmp", "tmp", false},
      {"build*", "build", true},
      {"build*", "Build.log", true},
      {"build*", "builder", true},
      {"build*", "buil", false},
      {"build*", "rebuild", false},
      {"*cache*", "MyCache.db", true},
      {"*cache*", "cache", true},
      {"*cache*", "cach", false},
      {"*~", "*~", true},
      {"*~", "a~", false},
      {"*~", "~", false},
      {"**", "**", true},
      {"**", "ab", false},
      {"**x", "a*x", true},
      {"**x", "ax", false},
      {"a?c", "abc", false},  // a question mark is literal
      {"a?c", "A?C", true},
      {"sub\\file.txt", "file.txt", false},
      {"sub\\file.txt", "sub", false},
      // Exact, ends-with and starts-with fold ASCII letters only.
      {"\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89", false},
      {"*.\xc3\xa9", "A.\xc3\x89", false},
      // Contains folds every letter of well-formed UTF-8 names ...
      {"*\xc3\xa9*", "CAF\xc3\x89.txt", true},
      {"*\xc3\x89t\xc3\xa9*", "l\xc3\xa9T\xc3\x89s", true},
      {"*\xce\xb1\xce\xb2*", "x\xce\x91\xce\x92y", true},  // Greek alpha beta
      // ... and ASCII letters only in names that are not UTF-8 (Latin-1 here).
      {"*t*", "\xe9T\xe9", true},
      {"*\xe9*", "\xc9t\xc9", false},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.name);
    EXPECT_EQ(TFileIgnoreObject(c.pattern).Matches(c.name), c.matches);
  }
}

TEST(TFileIgnoreObjectTest, ANameEqualToTheMatchTextMatchesEveryKind) {
  for (TMatchKind kind : {mkExact, mkEndsWith, mkStartsWith, mkContains}) {
    TFileIgnoreObject pattern("x");
    pattern.MatchKind = kind;
    pattern.MatchText = "Name.txt";
    pattern.MatchTextLength = 8;
    EXPECT_TRUE(pattern.Matches("name.TXT")) << static_cast<int>(kind);
  }
}

TEST(TFileIgnoreListTest, AddPatternTrimsAndRejectsBlankText) {
  TFileIgnoreList list;
  EXPECT_EQ(list.AddPattern(""), nullptr);
  EXPECT_EQ(list.AddPattern(" \t\r\n"), nullptr);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(list.MatchesAny("anything"));

  TFileIgnoreObject* added = list.AddPattern("  *.bak ");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->Pattern, "*.bak");
  TFileIgnoreObject* duplicate = list.AddPattern("*.bak");  // duplicates are kept
  EXPECT_EQ(duplicate, list.Last());
  list.AddPattern(".git");
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], added);
  EXPECT_TRUE(list.MatchesAny("x.BAK"));
  EXPECT_TRUE(list.MatchesAny(".GIT"));
  EXPECT_FALSE(list.MatchesAny("x.bak.old"));
}

// ---------------------------------------------------------------- tree paths

TEST(TFileObjectTest, FullAndRelativePathsJoinTheChain) {
  TFolderObject root;
  root.SetName("/w/project/");
  TFolderObject* a = root.Folders.Add(std::make_unique<TFolderObject>(&root));
  a->SetName("a");
  TFolderObject* b = a->Folders.Add(std::make_unique<TFolderObject>(a));
  b->SetName("b");
  TFileObject* file = b->Files.Add(std::make_unique<TFileObject>(b));
  file->SetName("name.txt");
  TFileObject* top = root.Files.Add(std::make_unique<TFileObject>(&root));
  top->SetName("file.txt");

  EXPECT_EQ(root.Name, "/w/project");
  EXPECT_EQ(root.GetFullPath(), "/w/project");
  EXPECT_EQ(root.GetRelativePath(), "/w/project");
  EXPECT_EQ(top->GetFullPath(), "/w/project/file.txt");
  EXPECT_EQ(top->GetRelativePath(), "file.txt");
  EXPECT_EQ(b->GetRelativePath(), "a\\b");
  EXPECT_EQ(file->GetFullPath(), "/w/project/a/b/name.txt");
  EXPECT_EQ(file->GetRelativePath(), "a\\b\\name.txt");
}

TEST(TFileObjectTest, FileSystemRootKeepsOneDelimiter) {
  TFolderObject root;
  root.SetName("/");
  EXPECT_EQ(root.Name, "");
  TFileObject* file = root.Files.Add(std::make_unique<TFileObject>(&root));
  file->SetName("etc");
  EXPECT_EQ(file->GetFullPath(), "/etc");
  EXPECT_EQ(file->GetRelativePath(), "etc");
}

// ---------------------------------------------------------------- scanning

std::vector<std::string> Names(const TFileList& list) {
  std::vector<std::string> names;
  for (const auto& node : list) names.push_back(node->Name);
  return names;
}

void MakeFolder(const std::string& path, mode_t mode = 0755) {
  ASSERT_EQ(::mkdir(path.c_str(), mode), 0) << path;
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;  // past the umask
}

void MakeLink(const std::string& target, const std::string& path) {
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << path;
}

void WriteFileWithMode(const std::string& path, mode_t mode) {
  WriteFile(path, "x");
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

TEST(ScanFolderTreeTest, EmptyMissingAndNonFolderRootsGiveEmptyNodes) {
  TempDir dir;
  WriteFile(dir / "plain", "x");
  WriteFile(dir / "empty/.keep", "x");
  ASSERT_EQ(::unlink((dir / "empty/.keep").c_str()), 0);
  for (const std::string& path : {dir / "empty/", dir / "missing", dir / "plain"}) {
    SCOPED_TRACE(path);
    auto root = ScanFolderTree(path, "*.*", true, nullptr);
    EXPECT_EQ(root->Parent, nullptr);
    EXPECT_TRUE(root->Files.Empty());
    EXPECT_TRUE(root->Folders.Empty());
    EXPECT_EQ(root->Attributes, 0u);
    EXPECT_EQ(root->LastWriteTime, 0u);
  }
  EXPECT_EQ(ScanFolderTree(dir / "empty/", "*.*", true, nullptr)->Name, dir / "empty");
}

TEST(ScanFolderTreeTest, OrdersEntriesByUpperCaseOrdinalAndSplitsFilesFromFolders) {
  TempDir dir;
  for (const char* name : {"b.txt", "B.TXT", "_x", "Z", "\xc3\xa4", "10", "9", "a", "A"})
    WriteFile(dir / name, name);
  for (const char* name : {"sub", "Dir", "_d"}) MakeFolder(dir / name);
  WriteFile(dir / "sub/inner.txt", "inner");

  auto root = ScanFolderTree(dir.Path(), "*.*", true, nullptr);
  // Upper-case byte order; names equal in upper case by their own bytes.
  EXPECT_EQ(Names(root->Files), (std::vector<std::string>{"10", "9", "A", "a", "B.TXT", "b.txt",
                                                          "Z", "_x", "\xc3\xa4"}));
  EXPECT_EQ(Names(root->Folders), (std::vector<std::string>{"Dir", "sub", "_d"}));
  for (const auto& file : root->Files) {
    EXPECT_EQ(file->Parent, root.get());
    EXPECT_EQ(file->Attributes & kAttrDirectory, 0u);
  }
  TFolderObject* sub = root->Folders[1];
  EXPECT_EQ(sub->Parent, root.get());
  EXPECT_EQ(Names(sub->Files), std::vector<std::string>{"inner.txt"});
  EXPECT_EQ(sub->Files[0]->GetFullPath(), dir.Path() + "sub/inner.txt");
  EXPECT_EQ(sub->Files[0]->GetRelativePath(), "sub\\inner.txt");
}

TEST(ScanFolderTreeTest, NonRecursiveScanCreatesEmptyFolderNodes) {
  TempDir dir;
  WriteFile(dir / "top.txt", "x");
  WriteFile(dir / "a/b/deep.txt", "x");
  auto root = ScanFolderTree(dir.Path(), "*.*", false, nullptr);
  EXPECT_EQ(Names(root->Files), std::vector<std::string>{"top.txt"});
  ASSERT_EQ(Names(root->Folders), std::vector<std::string>{"a"});
  EXPECT_TRUE(root->Folders[0]->Files.Empty());
  EXPECT_TRUE(root->Folders[0]->Folders.Empty());

  auto full = ScanFolderTree(dir.Path(), "*.*", true, nullptr);
  EXPECT_EQ(full->Folders[0]->Folders[0]->Files[0]->GetRelativePath(), "a\\b\\deep.txt");
}

TEST(ScanFolderTreeTest, IgnorePatternsLeaveOutFilesAndWholeSubTrees) {
  TempDir dir;
  WriteFile(dir / ".QUARV/Objects/1.dat", "x");
  WriteFile(dir / "src/.git/HEAD", "x");
  WriteFile(dir / "src/.quarv", "x");
  WriteFile(dir / "src/main.cpp", "x");
  WriteFile(dir / "src/main.TMP", "x");
  WriteFile(dir / "src/.Quarv.txt", "x");
  TFileIgnoreList ignore;
  ignore.AddPattern(".Quarv");
  ignore.AddPattern(".git");
  ignore.AddPattern("*.tmp");

  auto root = ScanFolderTree(dir.Path(), "*.*", true, &ignore);
  ASSERT_EQ(Names(root->Folders), std::vector<std::string>{"src"});
  TFolderObject* src = root->Folders[0];
  EXPECT_TRUE(src->Folders.Empty());
  EXPECT_EQ(Names(src->Files), (std::vector<std::string>{".Quarv.txt", "main.cpp"}));
}

TEST(ScanFolderTreeTest, MaskFiltersEveryKindOfEntry) {
  TempDir dir;
  for (const char* name : {"a.txt", "B.TXT", "ab.txt", "noext", "x.txt.bak"})
    WriteFile(dir / name, "x");
  WriteFile(dir / "sub.txt/inner.txt", "x");
  WriteFile(dir / "other/inner.txt", "x");
  struct {
    const char* mask;
    std::vector<std::string> files;
    std::vector<std::string> folders;
  } cases[] = {
      {"*.*", {"a.txt", "ab.txt", "B.TXT", "noext", "x.txt.bak"}, {"other", "sub.txt"}},
      {"*", {"a.txt", "ab.txt", "B.TXT", "noext", "x.txt.bak"}, {"other", "sub.txt"}},
      {"*.txt", {"a.txt", "ab.txt", "B.TXT"}, {"sub.txt"}},
      {"?.txt", {"a.txt", "B.TXT"}, {}},
      {"a*", {"a.txt", "ab.txt"}, {}},
      {"*t*b*", {"x.txt.bak"}, {}},
      {"noext", {"noext"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    auto root = ScanFolderTree(dir.Path(), c.mask, true, nullptr);
    EXPECT_EQ(Names(root->Files), c.files);
    EXPECT_EQ(Names(root->Folders), c.folders);
  }
  // The mask applies inside sub-folders too.
  auto root = ScanFolderTree(dir.Path(), "*.txt", true, nullptr);
  EXPECT_EQ(Names(root->Folders[0]->Files), std::vector<std::string>{"inner.txt"});
}

TEST(ScanFolderTreeTest, MapsModesToAttributes) {
  TempDir dir;
  WriteFileWithMode(dir / "normal", 0644);
  WriteFileWithMode(dir / "readonly", 0444);
  WriteFileWithMode(dir / "exec", 0755);
  WriteFileWithMode(dir / "exec-readonly", 0555);
  WriteFileWithMode(dir / ".hidden", 0644);
  WriteFileWithMode(dir / ".hidden-exec", 0744);
  MakeFolder(dir / "folder");
  MakeFolder(dir / ".hidden-folder");
  MakeFolder(dir / "readonly-folder", 0555);
  MakeLink("normal", dir / "link");
  MakeLink("normal", dir / ".hidden-link");

  auto root = ScanFolderTree(dir.Path(), "*.*", false, nullptr);
  std::vector<std::pair<std::string, uint32_t>> seen;
  for (const auto& node : root->Files) seen.emplace_back(node->Name, node->Attributes);
  for (const auto& node : root->Folders) seen.emplace_back(node->Name, node->Attributes);
  const std::vector<std::pair<std::string, uint32_t>> expected = {
      {".hidden", kAttrHidden},
      {".hidden-exec", kAttrHidden | kAttrArchive},
      {".hidden-link", kAttrHidden | kAttrReparsePoint},
      {"exec", kAttrArchive},
      {"exec-readonly", kAttrArchive | kAttrReadOnly},
      {"link", kAttrReparsePoint},
      {"normal", kAttrNormal},
      {"readonly", kAttrReadOnly},
      {".hidden-folder", kAttrDirectory | kAttrHidden},
      {"folder", kAttrDirectory},
      {"readonly-folder", kAttrDirectory | kAttrReadOnly},
  };
  EXPECT_EQ(seen, expected);
}

TEST(ScanFolderTreeTest, CopiesTheListedTimesAsFileTimes) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  MakeLink("file", dir / "link");
  // Access time 2014-03-04 14:07:09.1234567 UTC, write time a day later
  // (nanoseconds beyond the 100-ns tick are dropped).
  const struct timespec fileTimes[2] = {{1393942029, 123456700}, {1394028429, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "file").c_str(), fileTimes, 0), 0);
  // The link's own times, not its target's.
  const struct timespec linkTimes[2] = {{1000000000, 0}, {1000000001, 500}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "link").c_str(), linkTimes, AT_SYMLINK_NOFOLLOW), 0);

  auto root = ScanFolderTree(dir.Path(), "*.*", false, nullptr);
  ASSERT_EQ(Names(root->Files), (std::vector<std::string>{"file", "link"}));
  const TFileObject& file = *root->Files[0];
  EXPECT_EQ(file.LastWriteTime, 130385020291234567ULL);
  EXPECT_EQ(file.LastAccessTime, 130384156291234567ULL);
  EXPECT_NE(file.CreationTime, 0u);
  const TFileObject& link = *root->Files[1];
  EXPECT_EQ(link.LastWriteTime, UnixTimeToFileTime(1000000001, 500));
  EXPECT_EQ(link.LastAccessTime, UnixTimeToFileTime(1000000000, 0));
}

TEST(ScanFolderTreeTest, LinksAreFileNodesAndSpecialFilesAreLeftOut) {
  TempDir dir;
  WriteFile(dir / "target.txt", "x");
  WriteFile(dir / "real/inside.txt", "x");
  MakeLink("target.txt", dir / "to-file");
  MakeLink("real", dir / "to-folder");
  MakeLink(dir.Path(), dir / "to-root");  // a cycle, were links followed
  MakeLink("nowhere", dir / "dangling");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  WriteFile(dir / ".hidden", "x");

  auto root = ScanFolderTree(dir.Path(), "*.*", true, nullptr);
  EXPECT_EQ(Names(root->Files), (std::vector<std::string>{".hidden", "dangling", "target.txt",
                                                          "to-file", "to-folder", "to-root"}));
  EXPECT_EQ(Names(root->Folders), std::vector<std::string>{"real"});
  for (const auto& node : root->Files) {
    if (node->Name.rfind("to-", 0) == 0 || node->Name == "dangling") {
      EXPECT_EQ(node->Attributes, kAttrReparsePoint) << node->Name;
    }
  }
}

// Runs body in a child process, as an unprivileged user when this process is
// root (root reads any folder whatever its mode). The child's exit code comes
// back; 77 means privileges could not be dropped.
int RunUnprivileged(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(77);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ScanFolderTreeTest, AFolderThatCannotBeListedIsAnErrorNamingIt) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  WriteFile(dir / "a.txt", "x");
  // Without read permission the folder cannot be opened; without search
  // permission its entries cannot be examined.
  for (mode_t mode : {0000, 0444}) {
    SCOPED_TRACE(mode);
    const std::string locked = dir / "locked";
    MakeFolder(locked);
    WriteFile(locked + "/secret.txt", "x");
    ASSERT_EQ(::chmod(locked.c_str(), mode), 0);
    const int result = RunUnprivileged([&] {
      if (::access(locked.c_str(), R_OK | X_OK) == 0) return 1;  // the mode stops nothing here
      try {
        ScanFolderTree(dir.Path(), "*.*", true, nullptr);
        return 3;
      } catch (const Exception& e) {
        const std::string expected = "Cannot list folder \"" + locked + "/\"";
        return std::string(e.what()).rfind(expected, 0) == 0 ? 0 : 2;
      }
    });
    ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
    ASSERT_EQ(test::Run("rm -rf '" + locked + "'"), 0);
    if (result == 77) GTEST_SKIP() << "running as root without the right to change user";
    if (result == 1) GTEST_SKIP() << "this process reads folders whatever their mode";
    EXPECT_NE(result, 3) << "the locked folder was scanned as if it were empty";
    EXPECT_NE(result, 2) << "the error does not name " << locked;
    EXPECT_EQ(result, 0);
  }
}

}  // namespace
}  // namespace pellmor
