// Round trips after real conversions: a Git history converted by the built
// `quarv convert`, every revision checked out again and held against the
// tree of the commit it came from (executable bits and links included), and
// `quarv verify --git` on the store as converted and on stores altered so
// that they no longer match their commits: files as a checkout writes them
// (line-end attributes that change along the history), empty files, and the
// commits that recorded no revision, held against the revision that stands
// for them.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

#include "cli/LogCommand.h"
#include "cli/VerifyCommand.h"
#include "foundation/Platform.h"
#include "foundation/uMyFileTypes.h"
#include "store/uMyFS.h"
#include "tests/support/FolderImage.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/RunProgram.h"
#include "tests/support/StoreWriter.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;

// Runs the built quarv tool; returns its exit status.
int Quarv(const std::vector<std::string>& args, std::string& out, std::string& err) {
  std::vector<std::string> argv = {test::BuiltProgram("quarv")};
  argv.insert(argv.end(), args.begin(), args.end());
  return test::RunProgram(argv, "/", {}, out, err);
}

// A folder's image with the line ends of its text files made LF: a commit
// that changes nothing but line ends records no revision, as the change
// detection compares text files by their lines.
std::map<std::string, std::string> LinesImage(const std::string& folder) {
  std::map<std::string, std::string> image = test::FolderImage(folder);
  for (auto& [name, bytes] : image) {
    if (!FileTypes.IsTextFile(name)) continue;
    std::string lines;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
      lines += bytes[i] == '\r' ? '\n' : bytes[i];
    }
    bytes = lines;
  }
  return image;
}

class RoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::GitRepoBuilder& git = repo_;
    git.WriteFile("a.txt", "one\ntwo\n");
    git.WriteFile("tool.sh", "#!/bin/sh\necho tool\n");
    git.SetExecutable("tool.sh", true);
    git.Symlink("link", "a.txt");
    git.WriteFile("dir/data.bin", test::PatternBytes(1000));
    git.WriteFile("dir/sub/deep.txt", "deep\n");
    Commit("first");
    git.WriteFile("a.txt", "one\nthree\n");
    git.RemoveFile("dir/sub/deep.txt");
    git.WriteFile("dir/new.c", "int x;\n");
    Commit("second");
    // Line ends alone: the change detection sees no change, no revision.
    git.WriteFile("a.txt", "one\r\nthree\r\n");
    Commit("line ends only");
    git.RemoveFile("link");
    git.Symlink("link", "dir/new.c");
    git.WriteFile("dir/data.bin", test::PatternBytes(999));
    git.WriteFile("bin/run", "#!/bin/sh\nexit 0\n");
    git.SetExecutable("bin/run", true);
    Commit("fourth");
    git.Move("dir/new.c", "src/new.c");
    git.WriteFile("a.txt", "four\n");
    Commit("fifth");

    std::string out, err;
    ASSERT_EQ(Quarv({"convert", repo_.Folder()}, out, err), 0) << err;
  }

  void Commit(const std::string& message) { commits_[message] = repo_.Commit(message); }

  // The store's revisions as (number, commit id), through quarv log --json.
  std::vector<std::pair<int, std::string>> Revisions() {
    std::ostringstream out;
    RunLog({repo_.Folder(), true, true}, out);
    std::vector<std::pair<int, std::string>> revisions;
    for (const auto& item : QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array()) {
      const QJsonObject revision = item.toObject();
      const std::string message = revision["message"].toString().trimmed().toStdString();
      EXPECT_TRUE(commits_.count(message)) << message;
      EXPECT_EQ(revision["commit"].toString().toStdString(), commits_[message])
          << "the commit the record names";
      revisions.emplace_back(revision["revision"].toInt(), commits_[message]);
    }
    return revisions;
  }

  std::string Newest() const { return repo_.Folder() + ".Quarv/Objects/4.dat"; }

  test::TempDir dir_;
  test::TempDir work_;
  test::GitRepoBuilder repo_{dir_ / "repo/"};
  std::map<std::string, std::string> commits_;  // message -> commit id
};

TEST_F(RoundTripTest, CheckoutOfEveryRevisionEqualsItsCommitsTree) {
  const auto revisions = Revisions();
  ASSERT_EQ(revisions.size(), 4u) << "the line-ends-only commit records nothing";
  for (const auto& [number, commit] : revisions) {
    SCOPED_TRACE("revision " + std::to_string(number));
    const std::string checkout = work_ / ("rev" + std::to_string(number));
    const std::string expected = work_ / ("git" + std::to_string(number));
    std::string out, err;
    ASSERT_EQ(Quarv({"checkout", repo_.Folder(), std::to_string(number), checkout}, out, err), 0)
        << err;
    fs::create_directories(expected);
    ASSERT_EQ(test::Run("git -C '" + repo_.Folder() + "' archive " + commit + " | tar -x -C '" +
                        expected + "'"),
              0);
    EXPECT_EQ(LinesImage(checkout), LinesImage(expected));
  }
  EXPECT_EQ(test::FolderImage(work_ / "rev3").at("a.txt"), "one\nthree\n")
      << "the bytes recorded before the commit that changed only line ends";
  EXPECT_EQ(test::FolderImage(work_ / "rev4").at("tool.sh"), "#!/bin/sh\necho tool\n*");
  EXPECT_EQ(test::FolderImage(work_ / "rev4").at("link"), "-> dir/new.c");
}

TEST_F(RoundTripTest, LogNamesTheCommitOfEachRevision) {
  std::ostringstream out;
  RunLog({repo_.Folder(), false, false}, out);
  const std::string text = out.str();
  EXPECT_EQ(text.rfind("revision 4\nCommit:  " + commits_["fifth"] + "\nDate:    ", 0), 0u) << text;
  EXPECT_NE(text.find("revision 1\nCommit:  " + commits_["first"] + "\n"), std::string::npos)
      << text;

  // A revision the record does not name shows no commit (JSON: null).
  test::WriteFile(repo_.Folder() + ".Quarv/Commits.txt", commits_["first"] + " 1\r\n");
  std::ostringstream json;
  RunLog({repo_.Folder(), true, true}, json);
  const QJsonArray revisions =
      QJsonDocument::fromJson(QByteArray::fromStdString(json.str())).array();
  ASSERT_EQ(revisions.size(), 4);
  EXPECT_EQ(revisions[0].toObject()["commit"].toString().toStdString(), commits_["first"]);
  EXPECT_TRUE(revisions[1].toObject()["commit"].isNull());
}

TEST_F(RoundTripTest, VerifyWithGitComparesTheCommitTheRecordNames) {
  // The newest commit rewritten: HEAD no longer reaches the converted one,
  // which the repository still holds and the record names.
  repo_.Git({"commit", "--amend", "-m", "fifth, reworded"},
            {"GIT_COMMITTER_NAME=Carl", "GIT_COMMITTER_EMAIL=carl@example.com",
             "GIT_COMMITTER_DATE=1700000000 +0000"});
  std::string out, err;
  EXPECT_EQ(Quarv({"verify", "--git", repo_.Folder()}, out, err), 0) << out << err;

  const std::string record = repo_.Folder() + ".Quarv/Commits.txt";
  std::string lines = test::ReadFile(record);
  const std::string gone(40, 'e');
  lines.replace(lines.find(commits_["fifth"]), 40, gone);
  test::WriteFile(record, lines);
  EXPECT_EQ(Quarv({"verify", "--git", repo_.Folder()}, out, err), 1);
  EXPECT_NE(out.find(Newest() + ": revision 4 was recorded from commit " + gone +
                     ", which the Git repository does not hold"),
            std::string::npos)
      << out;
}

TEST_F(RoundTripTest, VerifyWithGitFindsTheStoreAsConverted) {
  std::string out, err;
  EXPECT_EQ(Quarv({"verify", "--git", repo_.Folder()}, out, err), 0) << out << err;
  EXPECT_EQ(out, "Checked 4 revisions against Git: the store is whole\n");
}

TEST_F(RoundTripTest, VerifyWithGitReportsARevisionThatNoLongerMatchesItsCommit) {
  const std::string original = test::ReadFile(Newest());
  const struct {
    const char* what;
    std::function<void(TMyContaner&)> change;
    std::string problem;
  } cases[] = {
      {"other bytes, digest to match",
       [](TMyContaner& c) {
         TMyFile* a = c.Files.FindByName("a.txt");
         a->Content.Assign("five\n", 5);
         a->ComputeHash();
       },
       "the bytes of 'a.txt' differ between revision 4 and commit "},
      {"another message", [](TMyContaner& c) { c.Comment = "edited"; },
       "no commit of the Git repository matches revision 4"},
      {"an executable bit lost",
       [](TMyContaner& c) { c.Files.FindByName("tool.sh")->Attributes = kAttrNormal; },
       "'tool.sh' is executable in commit "},
      {"a link that became a file",
       [](TMyContaner& c) { c.Files.FindByName("link")->Attributes = kAttrNormal; },
       "'link' is a symbolic link in commit "},
      {"a file left out", [](TMyContaner& c) { c.Files.FindByName("bin\\run")->Deleted = true; },
       "'bin\\run' of commit "},
      {"a file too many",
       [](TMyContaner& c) {
         TMyFile* extra = c.Files.Add();
         extra->SetName("extra.txt");
         extra->DataRevision = c.Number;
       },
       "'extra.txt' of revision 4 is not in commit "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TMyContaner newest;
    newest.LoadFromFile(Newest());
    c.change(newest);
    newest.SaveToFile(Newest());
    std::ostringstream out;
    EXPECT_GT(RunVerify({repo_.Folder(), true}, out), 0);
    EXPECT_NE(out.str().find(Newest() + ": " + c.problem), std::string::npos) << out.str();
    std::ostringstream plain;
    EXPECT_EQ(RunVerify({repo_.Folder(), false}, plain), 0) << "the store itself is whole";
    test::WriteFile(Newest(), original);
  }
}

// Runs verify --git in folder; returns its lines and the number of problems.
int VerifyGit(const std::string& folder, std::string& out) {
  std::ostringstream text;
  const int problems = RunVerify({folder, true}, text);
  out = text.str();
  return problems;
}

std::string Container(const std::string& folder, int number) {
  return folder + ".Quarv/Objects/" + std::to_string(number) + ".dat";
}

// Takes the newest revision out of the store, as if its commit had recorded
// nothing: the store stays whole.
void ForgetNewestRevision(const std::string& folder, int newest) {
  std::string history;
  for (int number = 1; number < newest; ++number) history += std::to_string(number) + ".dat\r\n";
  test::WriteFile(folder + ".Quarv/History.txt", history);
  fs::remove(Container(folder, newest));
  TMyContaner previous;
  previous.LoadFromFile(Container(folder, newest - 1));
  previous.NextNumber = 0;
  previous.SaveToFile(Container(folder, newest - 1));
  // The commit record then says that the commit recorded nothing.
  const std::string record = folder + ".Quarv/Commits.txt";
  std::string lines = test::ReadFile(record);
  const std::string::size_type named = lines.find(" " + std::to_string(newest) + "\r\n");
  if (named != std::string::npos) lines.replace(named + 1, std::to_string(newest).size(), "-");
  test::WriteFile(record, lines);
}

TEST(VerifyGitTest, FilesAreHeldAgainstWhatACheckoutWritesUnderTheCommitsAttributes) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir / "work");
  std::vector<std::string> commits;
  // An empty first commit: it records nothing, and stands against the empty store.
  commits.push_back(repo.Commit("nothing yet"));
  repo.WriteFile(".gitattributes", "*.c eol=crlf\n");
  repo.WriteFile("a.c", "int a;\nint b;\n");
  repo.WriteFile("b.h", "#define B\n");
  repo.WriteFile("empty.h", "");
  repo.WriteFile("sub/.gitattributes", "*.h eol=crlf\n");
  repo.WriteFile("sub/c.h", "#define C\n");
  commits.push_back(repo.Commit("crlf for C files"));
  repo.WriteFile("a.c", "int a;\nint b;\nint c;\n");
  commits.push_back(repo.Commit("a.c grows"));
  // a.c and sub/c.h keep their blobs but lose CR LF; b.h gains it.
  repo.WriteFile(".gitattributes", "*.h eol=crlf\n");
  repo.RemoveFile("sub/.gitattributes");
  commits.push_back(repo.Commit("crlf for headers"));
  commits.push_back(repo.Commit("empty"));

  std::string out, err;
  ASSERT_EQ(Quarv({"convert", repo.Folder()}, out, err), 0) << err;
  // Each revision as a checkout of it writes, exactly: git archive writes
  // every file under the attributes of the commit it is given.
  for (int number = 1; number <= 3; ++number) {
    SCOPED_TRACE("revision " + std::to_string(number));
    const std::string checkout = dir / ("rev" + std::to_string(number));
    const std::string expected = dir / ("git" + std::to_string(number));
    ASSERT_EQ(Quarv({"checkout", repo.Folder(), std::to_string(number), checkout}, out, err), 0)
        << err;
    fs::create_directories(expected);
    ASSERT_EQ(test::Run("git -C '" + repo.Folder() + "' archive " + commits[number] +
                        " | tar -x -C '" + expected + "'"),
              0);
    EXPECT_EQ(test::FolderImage(checkout), test::FolderImage(expected));
  }
  EXPECT_EQ(test::FolderImage(dir / "rev3").at("a.c"), "int a;\nint b;\nint c;\n");
  EXPECT_EQ(test::FolderImage(dir / "rev3").at("b.h"), "#define B\r\n");

  EXPECT_EQ(VerifyGit(repo.Folder(), out), 0) << out;
  EXPECT_EQ(out, "Checked 3 revisions against Git: the store is whole\n");

  // The blob's own bytes in place of what the checkout wrote are a difference.
  TMyContaner second;
  second.LoadFromFile(Container(repo.Folder(), 2));
  TMyFile* a = second.Files.FindByName("a.c");
  a->Content.Assign("int a;\nint b;\nint c;\n", 21);
  a->ComputeHash();
  second.SaveToFile(Container(repo.Folder(), 2));
  EXPECT_EQ(VerifyGit(repo.Folder(), out), 1) << out;
  EXPECT_NE(out.find(Container(repo.Folder(), 2) +
                     ": the bytes of 'a.c' differ between revision 2 and commit " +
                     commits[2].substr(0, 9)),
            std::string::npos)
      << out;
}

// Stores as a conversion that passed over a commit would leave them: the
// commit recorded no revision, so the revision before it must equal it, and
// each difference is reported against that revision's container. Where the
// conversion now records the commit, its revision is taken out of the store
// again; where it stops at it, the store ends before it.
TEST(VerifyGitTest, CommitsThatRecordedNoRevisionAreHeldAgainstTheRevisionBefore) {
  const auto commit = [](test::GitRepoBuilder& r) { return r.Commit("second"); };
  const struct {
    const char* what;
    // Makes the second commit and returns its id.
    std::function<std::string(test::GitRepoBuilder&)> second;
    bool recorded;                      // whether the conversion records it
    std::vector<std::string> problems;  // each after "commit <id> recorded no revision: "
  } cases[] = {
      {"an executable bit alone",
       [&](test::GitRepoBuilder& r) {
         r.SetExecutable("run.sh", true);
         return commit(r);
       },
       true,
       {"'run.sh' is executable in commit $ID but not in revision 1"}},
      {"a file that became a link of the same bytes",
       [&](test::GitRepoBuilder& r) {
         r.RemoveFile("pointer");
         r.Symlink("pointer", "a.txt");
         return commit(r);
       },
       true,
       {"'pointer' is a symbolic link in commit $ID but not in revision 1"}},
      {"a file added",
       [&](test::GitRepoBuilder& r) {
         r.WriteFile("sub/new.txt", "new\n");
         return commit(r);
       },
       true,
       {"'sub\\new.txt' of commit $ID is missing from revision 1"}},
      {"a name with a backslash",
       [&](test::GitRepoBuilder& r) {
         r.WriteFile("x\\y.txt", "back\n");
         return commit(r);
       },
       false,
       {"'x\\y.txt' of commit $ID holds a backslash in its name, which the store cannot record"}},
      {"a link and a folder of one name",
       [](test::GitRepoBuilder& r) {
         const std::string link = r.WriteBlob("../outside");
         const std::string sub =
             r.MakeTree("100644 blob " + r.WriteBlob("PWNED\n") + "\tpwned.txt\n");
         std::string listing = r.Git({"ls-tree", "HEAD"});
         listing += "040000 tree " + sub + "\tout\n120000 blob " + link + "\tout\n";
         return r.CommitTree(r.MakeTree(listing), "second");
       },
       false,
       {"'out' of commit $ID is missing from revision 1",
        "'out\\pwned.txt' of commit $ID is missing from revision 1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    test::GitRepoBuilder repo(dir / "work");
    repo.WriteFile("a.txt", "a\n");
    repo.WriteFile("run.sh", "#!/bin/sh\n");
    repo.WriteFile("pointer", "a.txt");
    repo.Commit("first");
    const std::string id = c.second(repo).substr(0, 9);
    std::string out, err;
    ASSERT_EQ(Quarv({"convert", "--force", repo.Folder()}, out, err) == 0, c.recorded) << err;
    if (c.recorded) ForgetNewestRevision(repo.Folder(), 2);

    std::string expected;
    for (std::string problem : c.problems) {
      problem.replace(problem.find("$ID"), 3, id);
      expected += Container(repo.Folder(), 1) + ": commit " + id +
                  " recorded no revision: " + problem + "\n";
    }
    const int count = static_cast<int>(c.problems.size());
    expected += "Checked 1 revision against Git: " + std::to_string(count) +
                (count == 1 ? " problem\n" : " problems\n");
    EXPECT_EQ(VerifyGit(repo.Folder(), out), count) << out;
    EXPECT_EQ(out, expected);
  }
}

}  // namespace
}  // namespace pellmor
