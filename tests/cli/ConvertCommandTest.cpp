// `quarv convert` end to end: the built tool run on repositories that the
// tests build, the store read back through the engine and held against
// every commit's tree, message, author, e-mail and time.
#include <git2.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "foundation/DateTime.h"
#include "foundation/Platform.h"
#include "foundation/uMyFileTypes.h"
#include "git/uGitLibrary.h"
#include "scan/uListBoxData.h"
#include "store/uQuarvEngine.h"
#include "tests/support/FolderImage.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/RunProgram.h"
#include "tests/support/StoreRevisions.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

struct ToolRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

ToolRun Quarv(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  std::vector<std::string> argv = {test::BuiltProgram("quarv")};
  argv.insert(argv.end(), args.begin(), args.end());
  ToolRun run;
  run.Status = test::RunProgram(argv, "/", env, run.Out, run.Err);
  return run;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines of a text file as the store's comparer sees them (CR LF, CR and
// LF all end a line).
std::vector<std::string> TextLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' || bytes[i] == '\n') {
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      lines.push_back(line);
      line.clear();
    } else {
      line += bytes[i];
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

struct TreeFile {
  std::string Bytes;
  git_filemode_t Mode = GIT_FILEMODE_BLOB;
};
using Tree = std::map<std::string, TreeFile>;

// Every file of a commit's tree, read through libgit2.
Tree TreeOf(const std::string& folder, const std::string& commitId) {
  LoadGitLibrary();
  git_repository* raw_repository = nullptr;
  if (git_repository_open(&raw_repository, folder.c_str()) != 0) ADD_FAILURE() << folder;
  const TGitRepository repository(raw_repository);
  git_oid id;
  git_oid_fromstr(&id, commitId.c_str());
  const TGitCommit commit = LookupCommit(repository.get(), id);
  git_tree* raw_tree = nullptr;
  git_commit_tree(&raw_tree, commit.get());
  const TGitTree tree(raw_tree);
  struct Walk {
    git_repository* Repository;
    Tree Files;
  } walk{repository.get(), {}};
  git_tree_walk(
      tree.get(), GIT_TREEWALK_PRE,
      [](const char* root, const git_tree_entry* entry, void* payload) {
        auto& w = *static_cast<Walk*>(payload);
        if (git_tree_entry_type(entry) != GIT_OBJECT_BLOB) return 0;
        git_blob* blob = nullptr;
        git_blob_lookup(&blob, w.Repository, git_tree_entry_id(entry));
        w.Files[std::string(root) + git_tree_entry_name(entry)] = {
            std::string(static_cast<const char*>(git_blob_rawcontent(blob)),
                        static_cast<size_t>(git_blob_rawsize(blob))),
            git_tree_entry_filemode(entry)};
        git_blob_free(blob);
        return 0;
      },
      &walk);
  return walk.Files;
}

// What one commit of a test history should become.
struct ExpectedCommit {
  std::string Id;
  bool Records = true;       // whether it records a revision
  std::string Comment;       // the revision's comment
  std::string Author;        // as stored
  std::string Email;         // as stored
  int64_t CommitterSeconds;  // the revision's instant
  // Text files whose stored bytes are older ones that differ from the tree
  // only in their line ends.
  std::set<std::string> OldLineEnds;
};

void ExpectRevisionMatches(const std::string& folder, const test::StoredRevision& revision,
                           const ExpectedCommit& commit) {
  SCOPED_TRACE("revision " + std::to_string(revision.Number) + ", commit " + commit.Id);
  EXPECT_EQ(revision.Comment, commit.Comment);
  EXPECT_EQ(revision.Author, commit.Author);
  EXPECT_EQ(revision.Email, commit.Email);
  EXPECT_EQ(revision.Date, UnixTimeToFileTime(commit.CommitterSeconds, 0));
  const Tree tree = TreeOf(folder, commit.Id);
  std::set<std::string> tree_names, stored_names;
  for (const auto& [name, file] : tree) tree_names.insert(name);
  for (const auto& [name, file] : revision.Files) stored_names.insert(name);
  EXPECT_EQ(stored_names, tree_names);
  for (const auto& [name, file] : tree) {
    const auto stored = revision.Files.find(name);
    if (stored == revision.Files.end()) continue;
    SCOPED_TRACE(name);
    if (commit.OldLineEnds.count(name) != 0) {
      EXPECT_NE(stored->second.Bytes, file.Bytes);
      EXPECT_EQ(TextLines(stored->second.Bytes), TextLines(file.Bytes));
    } else {
      EXPECT_EQ(stored->second.Bytes, file.Bytes);
    }
    EXPECT_EQ((stored->second.Attributes & kAttrArchive) != 0,
              file.Mode == GIT_FILEMODE_BLOB_EXECUTABLE);
    EXPECT_EQ((stored->second.Attributes & kAttrReparsePoint) != 0, file.Mode == GIT_FILEMODE_LINK);
  }
}

// The per-commit lines of a run: "<n>/<total>  <short id>  revision <r>|unchanged  <subject>".
struct ReportedCommit {
  std::string ShortId;
  int Revision = 0;
};
std::vector<ReportedCommit> ReportedCommits(const std::string& out) {
  std::vector<ReportedCommit> commits;
  for (const std::string& line : SplitLines(out)) {
    std::istringstream fields(line);
    std::string position, id, state;
    fields >> position >> id >> state;
    if (position.find('/') == std::string::npos) continue;
    ReportedCommit commit{id, 0};
    if (state == "revision") fields >> commit.Revision;
    commits.push_back(commit);
  }
  return commits;
}

std::string Short(const std::string& id) { return id.substr(0, 9); }

// The builder's default author, committing at this time.
test::CommitOptions At(int64_t seconds) {
  test::CommitOptions options;
  options.Author.Seconds = seconds;
  return options;
}

TEST(QuarvConvertTest, EveryRevisionMatchesItsCommit) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir / "work");
  repo.WriteFile("a.txt", "tagged\n");
  repo.Commit("Behind the tag\n");
  repo.Tag("v1", "HEAD", true);

  std::string binary(1000, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7 % 251);
  repo.WriteFile("a.txt", "one\n");
  repo.WriteFile("src/main.pas", "program x;\r\nbegin\r\nend.\r\n");
  repo.WriteFile("docs/readme.txt", "read me\n");
  repo.WriteFile("data.bin", binary);
  repo.WriteFile("tools/run.sh", "#!/bin/sh\necho hi\n");
  repo.SetExecutable("tools/run.sh", true);
  repo.Symlink("tools/link", "run.sh");
  repo.WriteFile("empty.txt", "");
  test::CommitOptions first;
  first.Author = {"Ann Author", "ann@example.com", 1600000000, 120};
  first.Committer = test::GitSignature{"Carl Committer", "carl@example.com", 1600000500, 330};
  const std::string c1 = repo.Commit("Add the sources\n\nWith a body\nof two lines.\n", first);

  binary[500] = 'X';
  repo.WriteFile("data.bin", binary);
  repo.RemoveFile("docs/readme.txt");
  repo.WriteFile("src/main.pas", "program x;\r\nbegin\r\n  run;\r\nend.\r\n");
  test::CommitOptions no_email;
  no_email.Author = {"Bo Nomail", "", 1600100000, -300};
  const std::string c2 = repo.Commit("Windows line ends\r\nsecond line\r\n", no_email);

  repo.Move("tools/run.sh", "tools/start.sh");
  repo.Move("a.txt", "moved/a.txt");
  const std::string c3 = repo.Commit("Renames", At(1600200000));

  repo.WriteFile("src/main.pas", "program x;\nbegin\n  run;\nend.\n");
  const std::string c4 = repo.Commit("Only line ends\n", At(1600300000));
  const std::string c5 = repo.Commit("Nothing at all\n", At(1600400000));

  repo.Branch("side");
  repo.Switch("side");
  repo.WriteFile("side.txt", "from the side\n");
  const std::string side = repo.Commit("Side work\n", At(1600500000));
  repo.Switch("main");
  repo.WriteFile("empty.txt", "now filled\n");
  const std::string main_work = repo.Commit("Main work\n", At(1600600000));
  const std::string merge = repo.Merge("side", "Merge side\n", At(1600700000));

  const ToolRun run = Quarv({"convert", repo.Folder()});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, "");

  const std::string author = "Ann Author", email = "ann@example.com";
  const std::set<std::string> old_line_ends = {"src/main.pas"};
  std::map<std::string, ExpectedCommit> expected;
  for (const ExpectedCommit& c : {
           ExpectedCommit{c1,
                          true,
                          "Add the sources\r\n\r\nWith a body\r\nof two lines.\r\n",
                          author,
                          email,
                          1600000500,
                          {}},
           ExpectedCommit{c2,
                          true,
                          "Windows line ends\r\r\nsecond line\r\r\n",
                          "Bo Nomail",
                          TQuarv_Engine::kDefaultEmail,
                          1600100000,
                          {}},
           ExpectedCommit{c3, true, "Renames", author, email, 1600200000, {}},
           ExpectedCommit{c4, false, "", "", "", 0, {}},
           ExpectedCommit{c5, false, "", "", "", 0, {}},
           ExpectedCommit{side, true, "Side work\r\n", author, email, 1600500000, old_line_ends},
           ExpectedCommit{main_work, true, "Main work\r\n", author, email, 1600600000,
                          old_line_ends},
           ExpectedCommit{merge, true, "Merge side\r\n", author, email, 1600700000, old_line_ends},
       })
    expected[Short(c.Id)] = c;

  // Oldest first, each commit once, nothing behind the tag; the two branches'
  // commits in either order, both before their merge.
  const std::vector<ReportedCommit> reported = ReportedCommits(run.Out);
  ASSERT_EQ(reported.size(), 8u) << run.Out;
  std::vector<std::string> order;
  for (const ReportedCommit& c : reported) order.push_back(c.ShortId);
  EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 5),
            (std::vector<std::string>{Short(c1), Short(c2), Short(c3), Short(c4), Short(c5)}));
  EXPECT_EQ(std::set<std::string>(order.begin() + 5, order.begin() + 7),
            (std::set<std::string>{Short(side), Short(main_work)}));
  EXPECT_EQ(order[7], Short(merge));
  EXPECT_EQ(SplitLines(run.Out).back().rfind("Converted 8 commits into 6 revisions in ", 0), 0u)
      << run.Out;

  const std::vector<test::StoredRevision> revisions = test::ReadStoreRevisions(repo.Folder());
  ASSERT_EQ(revisions.size(), 6u);
  int next_revision = 1;
  for (const ReportedCommit& c : reported) {
    const ExpectedCommit& commit = expected.at(c.ShortId);
    if (!commit.Records) {
      EXPECT_EQ(c.Revision, 0) << c.ShortId;
      continue;
    }
    ASSERT_EQ(c.Revision, next_revision) << c.ShortId;
    ExpectRevisionMatches(repo.Folder(), revisions[static_cast<size_t>(next_revision - 1)], commit);
    ++next_revision;
  }
  // The working folder ends on HEAD's tree, with nothing left to commit, and
  // neither ".git" nor the store ever became a file of a revision.
  EXPECT_EQ(repo.Git({"status", "--porcelain"}), "");
  for (const test::StoredRevision& revision : revisions)
    for (const auto& [name, file] : revision.Files)
      EXPECT_TRUE(name.rfind(".git/", 0) != 0 && name.rfind(".Quarv/", 0) != 0) << name;
}

// The working files of a folder, .git and the store left out.
std::map<std::string, std::string> WorkingImage(const std::string& folder) {
  std::map<std::string, std::string> files = test::FolderImage(folder);
  std::erase_if(files, [](const auto& file) {
    return file.first.rfind(".git/", 0) == 0 || file.first.rfind(".Quarv/", 0) == 0;
  });
  return files;
}

// Trees built to make a checkout write where it must not (the last is the
// report's own reproduction), each as the first commit of a history and as
// a later one. The run stops at it with an error naming the commit and the
// path, before anything of it is written: the folder holds what the commit
// before left, nothing appears outside it, and the revisions before stay.
TEST(QuarvConvertTest, StopsAtAHostileTreeBeforeWritingAnythingOfIt) {
  // Objects the trees are made of: a blob, a link's target (the folder
  // beside the working folder) and a tree holding pwned.txt.
  struct Ids {
    std::string Blob, Link, Sub;
  };
  using Listing = std::function<std::string(const Ids&)>;  // for git mktree; none: raw
  const struct {
    const char* what;
    Listing listing;
    std::string fault;
  } cases[] = {
      {"a file twice", [](const Ids& i) { return "100644 blob " + i.Blob + "\tnew.txt\n"; },
       "'new.txt' occurs twice"},
      {"Git's folder", [](const Ids& i) { return "040000 tree " + i.Sub + "\t.git\n"; },
       "'.git' names Git's own folder"},
      {"Git's folder in another case",
       [](const Ids& i) { return "040000 tree " + i.Sub + "\t.GIT\n"; },
       "'.GIT' names Git's own folder"},
      {"Git's folder by its short name",
       [](const Ids& i) { return "040000 tree " + i.Sub + "\tgit~1\n"; },
       "'git~1' names Git's own folder"},
      {"Git's folder with a trailing dot",
       [](const Ids& i) { return "040000 tree " + i.Sub + "\t.git.\n"; },
       "'.git.' names Git's own folder"},
      {"Git's folder with a code point HFS+ ignores",
       [](const Ids& i) { return "040000 tree " + i.Sub + "\t.g\xe2\x80\x8cit\n"; },
       "'.g\xe2\x80\x8cit' names Git's own folder"},
      {"a '..' folder", [](const Ids& i) { return "040000 tree " + i.Sub + "\t..\n"; },
       "'..' is a '..' entry"},
      {"a link as .gitmodules",
       [](const Ids& i) { return "120000 blob " + i.Link + "\t.gitmodules\n"; },
       "'.gitmodules' is a symbolic link named as Git's .gitmodules file"},
      {"the store's folder", [](const Ids& i) { return "040000 tree " + i.Sub + "\t.Quarv\n"; },
       "'.Quarv' is the store's own folder"},
      {"a link beside a folder of another case",
       [](const Ids& i) {
         return "120000 blob " + i.Link + "\tOUT\n040000 tree " + i.Sub + "\tout\n";
       },
       "'OUT' and 'out' differ only in letter case and one is a symbolic link"},
      {"a name with a slash", nullptr, "the entry '../outside/pwned.txt' holds '/' in its name"},
      {"a link and a folder of one name",
       [](const Ids& i) {
         return "100644 blob " + i.Blob + "\ta\n120000 blob " + i.Link + "\tout\n040000 tree " +
                i.Sub + "\tout\n";
       },
       "'out' is both a symbolic link and a folder, whose files would be written through the "
       "link"},
  };
  for (const auto& c : cases) {
    for (const bool first : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (first ? ", first commit" : ", later commit"));
      test::TempDir dir;
      test::GitRepoBuilder repo(dir / "work");
      std::filesystem::create_directories(dir / "outside");
      Ids ids{repo.WriteBlob("PWNED\n"), repo.WriteBlob("../outside"), ""};
      ids.Sub = repo.MakeTree("100644 blob " + ids.Blob + "\tpwned.txt\n");
      // Beside the hostile entries, a file that must not be written either.
      const std::string fresh = repo.WriteBlob("new\n");
      const std::string tree =
          c.listing ? repo.MakeTree(c.listing(ids) + "100644 blob " + fresh + "\tnew.txt\n")
                    : repo.WriteTree({{"100644", "../outside/pwned.txt", ids.Blob},
                                      {"100644", "new.txt", fresh}});
      const std::string good = repo.MakeTree("100644 blob " + repo.WriteBlob("1\n") + "\ta.txt\n");
      if (!first) repo.CommitTree(good, "good");
      const std::string hostile = repo.CommitTree(tree, "hostile");
      repo.CommitTree(good, "good again");

      const ToolRun run = Quarv({"convert", "--force", repo.Folder()});
      EXPECT_NE(run.Status, 0);
      EXPECT_EQ(
          run.Err.rfind(
              "Cannot check out commit " + Short(hostile) + ". Its tree is unsafe: " + c.fault, 0),
          0u)
          << run.Err;
      EXPECT_TRUE(std::filesystem::is_empty(dir / "outside"));
      EXPECT_EQ(test::ReadStoreRevisions(repo.Folder()).size(), first ? 0u : 1u);
      EXPECT_EQ(WorkingImage(repo.Folder()),
                (first ? std::map<std::string, std::string>{}
                       : std::map<std::string, std::string>{{"a.txt", "1\n"}}));
    }
  }
}

// A link to a folder outside that a later commit replaces by a folder of
// the same name is no hostile tree: the folder's file lands inside.
TEST(QuarvConvertTest, AFolderThatReplacesALinkIsWrittenInside) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir / "work");
  std::filesystem::create_directories(dir / "outside");
  repo.Symlink("out", "../outside");
  const std::string c1 = repo.Commit("link\n", At(1600000000));
  repo.RemoveFile("out");
  repo.WriteFile("out/pwned.txt", "inside\n");
  const std::string c2 = repo.Commit("folder\n", At(1600000100));

  const ToolRun run = Quarv({"convert", repo.Folder()});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(std::filesystem::is_empty(dir / "outside"));
  const std::vector<test::StoredRevision> revisions = test::ReadStoreRevisions(repo.Folder());
  ASSERT_EQ(revisions.size(), 2u);
  const std::string author = "Ann Author", email = "ann@example.com";
  ExpectRevisionMatches(repo.Folder(), revisions[0],
                        {c1, true, "link\r\n", author, email, 1600000000, {}});
  ExpectRevisionMatches(repo.Folder(), revisions[1],
                        {c2, true, "folder\r\n", author, email, 1600000100, {}});
}

// A symbolic link of the user's, which Git does not track, in place of a
// folder of tracked files: the run stops before a checkout would remove
// them (the first, to which they are unknown) or write them (the second)
// through it, and nothing outside changes. Nor can the folder go back to
// HEAD through the link, and the message says so.
TEST(QuarvConvertTest, StopsAtALinkOfTheUsersOnTheWayOfACheckout) {
  for (const bool removed : {true, false}) {
    SCOPED_TRACE(removed ? "a checkout that removes" : "a checkout that writes");
    test::TempDir dir;
    test::GitRepoBuilder repo(dir / "work");
    test::WriteFile(dir / "outside/x.c", "the user's own\n");
    repo.WriteFile("a.txt", "1\n");
    const std::string first = repo.Commit("first\n");
    repo.WriteFile("vendor/x.c", "int x;\n");
    const std::string second = repo.Commit("vendor\n");
    // Without vendor in the index, the first checkout is to remove nothing.
    if (!removed) repo.Git({"rm", "-q", "-r", "--cached", "vendor"});
    std::filesystem::remove_all(repo.Folder() + "vendor");
    repo.Symlink("vendor", "../outside");

    const ToolRun run = Quarv({"convert", "--force", repo.Folder()});
    EXPECT_NE(run.Status, 0);
    EXPECT_EQ(run.Err, "Cannot check out commit " + Short(removed ? first : second) +
                           ". The working folder holds a symbolic link at 'vendor', through "
                           "which the checkout would " +
                           (removed ? "remove" : "write") +
                           " 'vendor/x.c'. The working folder could not be put back at HEAD "
                           "(Cannot check out commit " +
                           Short(second) +
                           ". The working folder holds a symbolic link at 'vendor', through "
                           "which the checkout would write 'vendor/x.c'); the next conversion "
                           "run of this folder puts it back.\n");
    EXPECT_EQ(test::FolderImage(dir / "outside"),
              (std::map<std::string, std::string>{{"x.c", "the user's own\n"}}));
  }
}

// A name the store cannot record ends the run with its own error whichever
// commit first adds it, never with a revision that silently lacks it.
TEST(QuarvConvertTest, ABackslashNameStopsTheRunInAnyCommit) {
  for (const bool first : {true, false}) {
    SCOPED_TRACE(first ? "first commit" : "later commit");
    test::TempDir dir;
    test::GitRepoBuilder repo(dir / "work");
    repo.WriteFile("a.txt", "1\n");
    if (!first) repo.Commit("plain\n");
    repo.WriteFile("x\\y.txt", "back\n");
    repo.Commit("backslash\n");
    repo.WriteFile("a.txt", "2\n");
    repo.Commit("after\n");

    const ToolRun run = Quarv({"convert", repo.Folder()});
    EXPECT_NE(run.Status, 0);
    EXPECT_EQ(run.Err,
              "Cannot record \"" + repo.Folder() + "x\\y.txt\": its name contains a backslash\n");
    EXPECT_EQ(test::ReadStoreRevisions(repo.Folder()).size(), first ? 0u : 1u);
  }
}

// A file whose executable bit or link-ness changes with the same bytes is
// recorded as modified, so each revision keeps its commit's modes.
TEST(QuarvConvertTest, AChangeOfModeAloneIsRecorded) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir / "work");
  repo.WriteFile("run.sh", "#!/bin/sh\n");
  repo.WriteFile("target.txt", "the target\n");
  repo.WriteFile("pointer", "target.txt");
  repo.WriteFile("notes.txt", "line\n");
  std::vector<std::string> commits;
  commits.push_back(repo.Commit("plain\n", At(1600000000)));
  repo.SetExecutable("run.sh", true);
  commits.push_back(repo.Commit("executable\n", At(1600000100)));
  repo.RemoveFile("pointer");
  repo.Symlink("pointer", "target.txt");
  // A text file whose line ends and executable bit change together.
  repo.WriteFile("notes.txt", "line\r\n");
  repo.SetExecutable("notes.txt", true);
  commits.push_back(repo.Commit("a link of the same bytes\n", At(1600000200)));
  repo.SetExecutable("run.sh", false);
  commits.push_back(repo.Commit("not executable\n", At(1600000300)));
  repo.RemoveFile("pointer");
  repo.WriteFile("pointer", "target.txt");
  commits.push_back(repo.Commit("a file again\n", At(1600000400)));

  const ToolRun run = Quarv({"convert", repo.Folder()});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::vector<test::StoredRevision> revisions = test::ReadStoreRevisions(repo.Folder());
  ASSERT_EQ(revisions.size(), commits.size());
  const char* comments[] = {"plain\r\n", "executable\r\n", "a link of the same bytes\r\n",
                            "not executable\r\n", "a file again\r\n"};
  for (size_t i = 0; i < commits.size(); ++i)
    ExpectRevisionMatches(repo.Folder(), revisions[i],
                          {commits[i],
                           true,
                           comments[i],
                           "Ann Author",
                           "ann@example.com",
                           1600000000 + 100 * static_cast<int64_t>(i),
                           {}});
  const ToolRun listed = Quarv({"ls", repo.Folder(), "2"});
  EXPECT_NE(listed.Out.find("run.sh              10  modified   v2  r2  x"), std::string::npos)
      << listed.Out;
  const ToolRun verified = Quarv({"verify", "--git", repo.Folder()});
  EXPECT_EQ(verified.Status, 0) << verified.Out;
}

TEST(QuarvConvertTest, StoresTheCommitInstantWhateverTheMachineZone) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir.Path());
  // A winter and a summer commit, committed in zones east and west of UTC.
  const int64_t winter = 1705320000, summer = 1721044800;  // 2024-01-15, 2024-07-15 12:00 UTC
  repo.WriteFile("a.txt", "winter");
  test::CommitOptions east;
  east.Author = {"Ann", "ann@example.com", winter, 330};
  repo.Commit("Winter", east);
  repo.WriteFile("a.txt", "summer");
  test::CommitOptions west;
  west.Author = {"Ann", "ann@example.com", summer, -420};
  repo.Commit("Summer", west);

  for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "AEST-10AEDT,M10.1.0,M4.1.0/3"}) {
    SCOPED_TRACE(zone);
    std::filesystem::remove_all(repo.Folder() + ".Quarv");
    const ToolRun run = Quarv({"convert", repo.Folder()}, {std::string("TZ=") + zone});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::vector<test::StoredRevision> revisions = test::ReadStoreRevisions(repo.Folder());
    ASSERT_EQ(revisions.size(), 2u);
    EXPECT_EQ(revisions[0].Date, UnixTimeToFileTime(winter, 0));
    EXPECT_EQ(revisions[1].Date, UnixTimeToFileTime(summer, 0));
  }
}

// A two-commit history whose second commit changes a.txt and adds b.bin.
struct TwoCommits {
  test::TempDir Dir;
  test::GitRepoBuilder Repo{Dir / "work"};
  std::string First, Second;
  TwoCommits() {
    Repo.WriteFile("a.txt", "one\n");
    First = Repo.Commit("First\n");
    Repo.WriteFile("a.txt", "two\n");
    Repo.WriteFile("b.bin", "binary");
    Second = Repo.Commit("Second\n");
  }
};

TEST(QuarvConvertTest, RefusesToOverwriteUncommittedChangesUnlessForced) {
  TwoCommits h;
  h.Repo.WriteFile("a.txt", "my unsaved work\n");
  h.Repo.WriteFile("untracked.txt", "left alone\n");

  const ToolRun refused = Quarv({"convert", h.Repo.Folder()});
  EXPECT_NE(refused.Status, 0);
  EXPECT_EQ(refused.Err,
            "The working folder holds uncommitted changes that converting would overwrite:\n"
            "  a.txt\n"
            "Commit or stash them, or convert with --force.\n");
  EXPECT_EQ(test::ReadFile(h.Repo.Folder() + "a.txt"), "my unsaved work\n");
  EXPECT_TRUE(test::ReadStoreRevisions(h.Repo.Folder()).empty());

  const ToolRun forced = Quarv({"convert", "--force", h.Repo.Folder()});
  ASSERT_EQ(forced.Status, 0) << forced.Err;
  EXPECT_EQ(test::ReadFile(h.Repo.Folder() + "a.txt"), "two\n");
  const std::vector<test::StoredRevision> revisions = test::ReadStoreRevisions(h.Repo.Folder());
  ASSERT_EQ(revisions.size(), 2u);
  // Untracked files are not Git's to check out: they stay, and are recorded.
  EXPECT_EQ(revisions[1].Files.at("untracked.txt").Bytes, "left alone\n");
}

TEST(QuarvConvertTest, ListsAtMostTenOverwrittenFiles) {
  TwoCommits h;
  for (int i = 0; i < 12; ++i) h.Repo.WriteFile("f" + std::to_string(i + 10) + ".txt", "x");
  h.Repo.Git({"add", "."});
  const ToolRun refused = Quarv({"convert", h.Repo.Folder()});
  EXPECT_NE(refused.Status, 0);
  EXPECT_NE(refused.Err.find("  f19.txt\n  ... and 2 more\n"), std::string::npos) << refused.Err;
  EXPECT_EQ(refused.Err.find("f20.txt"), std::string::npos) << refused.Err;
}

TEST(QuarvConvertTest, AFailedCheckoutStopsWithTheCommitAndKeepsEarlierRevisions) {
  TwoCommits h;
  // The blob of b.bin, which only the second commit has, goes missing.
  std::string blob = h.Repo.Git({"rev-parse", h.Second + ":b.bin"});
  blob.resize(40);
  std::filesystem::remove(h.Repo.Folder() + ".git/objects/" + blob.substr(0, 2) + "/" +
                          blob.substr(2));
  const ToolRun run = Quarv({"convert", h.Repo.Folder()});
  EXPECT_NE(run.Status, 0);
  EXPECT_EQ(run.Err.rfind("Cannot check out commit " + Short(h.Second) + ". ", 0), 0u) << run.Err;
  EXPECT_NE(run.Err.find(blob.substr(0, 7)), std::string::npos) << "libgit2's reason: " << run.Err;
  EXPECT_EQ(SplitLines(run.Out),
            (std::vector<std::string>{"1/2  " + Short(h.First) + "  revision 1  First"}));
  const std::vector<test::StoredRevision> revisions = test::ReadStoreRevisions(h.Repo.Folder());
  ASSERT_EQ(revisions.size(), 1u);
  EXPECT_EQ(revisions[0].Files.at("a.txt").Bytes, "one\n");
}

TEST(QuarvConvertTest, ReportsFoldersItCannotConvert) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir / "work");
  repo.WriteFile("sub/x.txt", "x");
  repo.Commit("one");
  std::filesystem::create_directories(dir / "broken/.git/info");
  struct Case {
    std::string folder;
    std::string error_start;
  };
  for (const Case& c :
       {Case{dir / "plain", "Git repository is not founded.\n"},
        Case{repo.Folder() + "sub", "Git repository is not founded.\n"},
        Case{dir / "broken", "Cannot open Git repository \"" + dir / "broken/\". "}}) {
    SCOPED_TRACE(c.folder);
    std::filesystem::create_directories(c.folder);
    const ToolRun run = Quarv({"convert", c.folder});
    EXPECT_NE(run.Status, 0);
    EXPECT_EQ(run.Err.rfind(c.error_start, 0), 0u) << run.Err;
    EXPECT_GT(run.Err.size(), c.error_start.size() - 1) << run.Err;
    EXPECT_EQ(run.Out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "plain/.Quarv"));
  EXPECT_FALSE(std::filesystem::exists(repo.Folder() + "sub/.Quarv"));
}

TEST(QuarvConvertTest, ReadiesTheFolderAndConvertsAnEmptyHistoryToNothing) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir.Path());
  const ToolRun run = Quarv({"convert", "  " + repo.Folder()});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out.rfind("Converted 0 commits into 0 revisions in ", 0), 0u) << run.Out;
  EXPECT_TRUE(std::filesystem::is_directory(repo.Folder() + ".Quarv"));
  EXPECT_EQ(
      test::ReadFile(repo.Folder() + ".git/info/exclude").find(".Quarv\r\n") != std::string::npos,
      true);
  EXPECT_TRUE(test::ReadStoreRevisions(repo.Folder()).empty());
}

TEST(QuarvConvertTest, DrawsALiveBarOnATerminal) {
  TwoCommits h;
  std::string out, err;
  // script(1) gives the tool a terminal of its own.
  const int status = test::RunProgram(
      {"script", "-qec", test::BuiltProgram("quarv") + " convert " + h.Repo.Folder(), "/dev/null"},
      "/", {}, out, err);
  ASSERT_EQ(status, 0) << out << err;
  EXPECT_NE(out.find("\r[----------------------------------------]  0/2  -- commits/s  -- left"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\r[########################################]  2/2  "), std::string::npos)
      << out;
  EXPECT_NE(out.find("commits/s  0:00 left\x1b[K\r\nConverted 2 commits into 2 revisions"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("1/2  "), std::string::npos) << "no per-commit lines on a terminal";
}

TEST(QuarvConvertTest, ExplainsItselfAndRefusesBadArguments) {
  const ToolRun help = Quarv({"convert", "--help"});
  EXPECT_EQ(help.Status, 0);
  for (const char* word : {"FOLDER", "--force", "Quarv store"})
    EXPECT_NE(help.Out.find(word), std::string::npos) << word << " in\n" << help.Out;
  const ToolRun top = Quarv({"--help"});
  EXPECT_EQ(top.Status, 0);
  EXPECT_NE(top.Out.find("convert"), std::string::npos) << top.Out;

  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"convert"},
                                               {"convert", "a", "b"},
                                               {"convert", "--fast", "a"}}) {
    const ToolRun bad = Quarv(args);
    EXPECT_NE(bad.Status, 0);
    EXPECT_NE(bad.Err, "");
  }
}

}  // namespace
}  // namespace pellmor
