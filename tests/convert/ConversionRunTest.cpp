// The conversion run on histories the tests build: it converts only what the
// store does not hold yet, goes on after a kill at any write instant as if it
// had never stopped, stops when asked, waits for a busy index, keeps to one
// run per store, refuses a damaged store, and leaves the working folder at
// HEAD however it ends.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "convert/ConversionPlan.h"
#include "convert/GitComparison.h"
#include "convert/KilledRun.h"
#include "convert/StoreFolder.h"
#include "convert/uConversionRun.h"
#include "foundation/FileLock.h"
#include "foundation/Platform.h"
#include "foundation/uMyHash.h"
#include "store/QuarvReader.h"
#include "store/StoreVerifier.h"
#include "tests/support/ErrorText.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/KilledChild.h"
#include "tests/support/LockHolder.h"
#include "tests/support/StoreRevisions.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;

// Records what a run reports; answers its question and stops it as told.
class TestProgress : public TConversionProgress {
 public:
  void Planned(const TConversionPlan& plan) override {
    ToConvert = plan.ToConvert();
    Warnings = plan.Warnings();
  }
  bool ConfirmOverwrite(const std::vector<std::string>& files) override {
    Asked = files;
    return Answer;
  }
  void CommitBegun(int number, int position, const TGitCommitInfo&) override {
    EXPECT_EQ(number, static_cast<int>(Positions.size()) + 1);
    Positions.push_back(position);
  }
  void CommitDone(int, const TGitCommitInfo&, int revision) override {
    Revisions.push_back(revision);
  }
  bool StopRequested() override {
    return StopAfter >= 0 && static_cast<int>(Revisions.size()) >= StopAfter;
  }

  bool Answer = false;
  int StopAfter = -1;  // stop once this many commits are done
  int ToConvert = -1;
  std::vector<std::string> Warnings, Asked;
  std::vector<int> Positions, Revisions;
};

// A history of six commits (files added, changed, deleted with their folder,
// an executable, links, a move, an empty commit) and an untracked file of
// the user's, in a working folder readied for the store.
void BuildHistory(test::GitRepoBuilder& repo) {
  std::string bytes(3000, 'x');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 % 251);
  repo.WriteFile("a.txt", "alpha\n");
  repo.WriteFile("keep.txt", "keep\n");
  repo.WriteFile("src/main.c", "int main() { return 0; }\n");
  repo.WriteFile("tools/run.sh", "#!/bin/sh\n");
  repo.SetExecutable("tools/run.sh", true);
  repo.Symlink("link", "a.txt");
  repo.WriteFile("big.bin", bytes);
  repo.Commit("Start\n");
  repo.WriteFile("a.txt", "alpha 2\n");
  repo.WriteFile("dir/deep/x.txt", "deep\n");
  repo.WriteFile("b.txt", "beta\n");
  repo.Commit("Grow\n");
  repo.RemoveFile("dir/deep/x.txt");
  bytes[100] = 'y';
  repo.WriteFile("big.bin", bytes);
  repo.Commit("Prune\n");
  repo.Commit("Nothing\n");
  repo.Move("b.txt", "moved/b.txt");
  repo.RemoveFile("link");
  repo.Symlink("link", "keep.txt");
  repo.Commit("Move\n");
  repo.WriteFile("keep.txt", "keep 2\n");
  repo.WriteFile("c.txt", "gamma\n");
  repo.Commit("Last\n");
  repo.WriteFile("notes.txt", "my own notes\n");
  PrepareStoreFolder(repo.Folder());
}

// The store's revisions as one comparable text: header fields and every
// file's attributes and digest.
std::string StoreText(const std::string& folder) {
  std::ostringstream text;
  for (const test::StoredRevision& revision : test::ReadStoreRevisions(folder)) {
    text << "revision " << revision.Number << ": " << revision.Comment << " | " << revision.Author
         << " | " << revision.Email << " | " << revision.Date << '\n';
    for (const auto& [name, file] : revision.Files) {
      TContentDigest digest;
      HashBuffer(file.Bytes.data(), file.Bytes.size(), digest);
      text << "  " << name << " " << file.Attributes << " ";
      for (const uint8_t byte : digest) text << static_cast<int>(byte) << '.';
      text << '\n';
    }
  }
  return text.str();
}

// Problems `quarv verify --git` finds, one a line, but for the user's
// untracked file, which every revision holds and no commit.
std::string VerifyWithGit(const std::string& folder) {
  std::string problems;
  const TProblemSink sink = [&](const std::string& file, const std::string& text) {
    if (text.rfind("'notes.txt' of revision ", 0) != 0) problems += file + ": " + text + '\n';
  };
  const TQuarvReader reader(folder);
  TGitComparison git(folder, sink);
  TStoreVerifier(reader, sink).Run([&](TMyContaner& revision) {
    git.Compare(revision, reader.ContainerFileName(revision.Number));
  });
  return problems;
}

class ConversionRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildHistory(repo_);
    // One uninterrupted run, to hold every other run against.
    test::Run("cp -a '" + repo_.Folder() + "' '" + dir_ / "reference" + "'");
    TestProgress progress;
    RunConversion(dir_ / "reference/", progress);
    reference_ = StoreText(dir_ / "reference/");
    ASSERT_EQ(test::ReadStoreRevisions(dir_ / "reference/").size(), 5u);
  }

  std::string Folder() const { return repo_.Folder(); }
  std::string Status() { return repo_.Git({"status", "--porcelain"}); }
  std::string Store(const std::string& name) const { return Folder() + ".Quarv/" + name; }
  // The record's lines.
  std::vector<std::string> Record() {
    std::vector<std::string> lines;
    std::istringstream text(test::ReadFile(Store("Commits.txt")));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }
  // The record of the built history's six commits (CR of each line kept).
  std::vector<std::string> ExpectedRecord() {
    std::vector<std::string> lines;
    std::istringstream ids(repo_.Git({"rev-list", "--reverse", "HEAD"}));
    for (const char* revision : {"1", "2", "3", "-", "4", "5"}) {
      std::string id;
      std::getline(ids, id);
      lines.push_back(id + " " + revision + "\r");
    }
    return lines;
  }

  // The folder holds HEAD's files and the user's untracked file, nothing else.
  void ExpectFolderAtHead() {
    EXPECT_EQ(Status(), "?? notes.txt\n");
    // The index file is HEAD's and knows every file as written (a stale
    // entry would show here without its content being looked at).
    EXPECT_EQ(repo_.Git({"diff-files", "--name-only"}), "");
    EXPECT_EQ(repo_.Git({"diff-index", "--cached", "--name-only", "HEAD"}), "");
    EXPECT_EQ(test::ReadFile(Folder() + "keep.txt"), "keep 2\n");
    EXPECT_FALSE(fs::exists(Store("Run.txt")));
  }

  test::TempDir dir_;
  test::GitRepoBuilder repo_{dir_ / "work/"};
  std::string reference_;
};

TEST_F(ConversionRunTest, ConvertsOnlyWhatTheStoreDoesNotHold) {
  TestProgress first;
  const TConversionSummary all = RunConversion(Folder(), first);
  EXPECT_EQ(first.ToConvert, 6);
  EXPECT_EQ(first.Positions, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(first.Revisions, (std::vector<int>{1, 2, 3, 0, 4, 5}));
  EXPECT_EQ(all.Commits, 6);
  EXPECT_EQ(StoreText(Folder()), reference_);
  EXPECT_EQ(Record(), ExpectedRecord());
  ExpectFolderAtHead();

  // Up to date: nothing converted, nothing written.
  const std::string history = test::ReadFile(Store("History.txt"));
  TestProgress again;
  const TConversionSummary none = RunConversion(Folder(), again);
  EXPECT_EQ(again.ToConvert, 0);
  EXPECT_TRUE(again.Positions.empty());
  EXPECT_EQ(none.Total, 6);
  EXPECT_EQ(none.ConvertedBefore, 6);
  EXPECT_EQ(none.Commits, 0);
  EXPECT_EQ(test::ReadFile(Store("History.txt")), history);

  // One new commit: one new revision, at its place in the walk.
  repo_.WriteFile("d.txt", "delta\n");
  const std::string added = repo_.Commit("Added later\n");
  TestProgress one;
  RunConversion(Folder(), one);
  EXPECT_EQ(one.Positions, (std::vector<int>{6}));
  EXPECT_EQ(one.Revisions, (std::vector<int>{6}));
  EXPECT_EQ(Record().back(), added + " 6\r");
  const auto revisions = test::ReadStoreRevisions(Folder());
  ASSERT_EQ(revisions.size(), 6u);
  EXPECT_EQ(revisions[5].Files.at("d.txt").Bytes, "delta\n");
  EXPECT_EQ(revisions[5].Files.at("notes.txt").Bytes, "my own notes\n");
  EXPECT_EQ(VerifyWithGit(Folder()), "");
}

TEST_F(ConversionRunTest, AStoreWithoutTheRecordIsMatchedByItsRevisionsFields) {
  TestProgress first;
  RunConversion(Folder(), first);
  fs::remove(Store("Commits.txt"));
  repo_.WriteFile("d.txt", "delta\n");
  const std::string added = repo_.Commit("Added later\n");

  TestProgress resumed;
  RunConversion(Folder(), resumed);
  EXPECT_EQ(resumed.ToConvert, 1) << "the empty commit counts as converted: a later one matched";
  EXPECT_EQ(resumed.Revisions, (std::vector<int>{6}));
  std::vector<std::string> expected = ExpectedRecord();
  expected.push_back(added + " 6\r");
  EXPECT_EQ(Record(), expected);
  EXPECT_TRUE(resumed.Warnings.empty());
}

TEST_F(ConversionRunTest, ARevisionNoCommitMatchesIsReportedAndNothingIsRecordedTwice) {
  TestProgress first;
  RunConversion(Folder(), first);
  fs::remove(Store("Commits.txt"));
  TMyContaner newest;
  newest.LoadFromFile(Store("Objects/5.dat"));
  newest.Comment = "Reworded in the store\r\n";
  newest.SaveToFile(Store("Objects/5.dat"));

  TestProgress resumed;
  RunConversion(Folder(), resumed);
  EXPECT_EQ(resumed.Warnings,
            (std::vector<std::string>{
                "Revision 5 of the store matches no commit of the history (message, author, "
                "e-mail and time); it stays in the store, and the new commits are converted after "
                "it."}));
  // Its commit is converted again: its files are the newest revision's, so
  // nothing is recorded.
  EXPECT_EQ(resumed.Revisions, (std::vector<int>{0}));
  EXPECT_EQ(test::ReadStoreRevisions(Folder()).size(), 5u);
}

TEST_F(ConversionRunTest, ARewrittenHistoryIsReportedAndTheNewCommitsConvertedAfterIt) {
  TestProgress first;
  RunConversion(Folder(), first);
  const std::string dropped = repo_.RevParse("HEAD");
  repo_.Git({"reset", "-q", "--hard", "HEAD~1"});
  repo_.WriteFile("c.txt", "gamma, again\n");
  const std::string redone = repo_.Commit("Last, redone\n");

  TestProgress after;
  RunConversion(Folder(), after);
  EXPECT_EQ(after.Warnings,
            (std::vector<std::string>{
                "1 converted commit is no longer in the history of HEAD (" + dropped.substr(0, 9) +
                "): the history was rewritten, or HEAD moved. Its revision stays in the store; "
                "the new commits are converted after it."}));
  EXPECT_EQ(after.Revisions, (std::vector<int>{6}));
  EXPECT_EQ(Record().back(), redone + " 6\r");
  const std::vector<std::string> record = Record();
  EXPECT_EQ(std::count(record.begin(), record.end(), dropped + " 5\r"), 1);
  EXPECT_EQ(VerifyWithGit(Folder()), "") << "each revision against the commit the record names";
  EXPECT_EQ(test::ReadFile(Folder() + "c.txt"), "gamma, again\n");
}

TEST_F(ConversionRunTest, AStopAtACommitBoundaryKeepsWhatIsConvertedAndRestoresHead) {
  TestProgress stopped;
  stopped.StopAfter = 2;
  const TConversionSummary summary = RunConversion(Folder(), stopped);
  EXPECT_TRUE(summary.Stopped);
  EXPECT_EQ(summary.Commits, 2);
  EXPECT_EQ(summary.Remaining(), 4);
  EXPECT_EQ(Record().size(), 2u);
  ExpectFolderAtHead();

  TestProgress rest;
  RunConversion(Folder(), rest);
  EXPECT_EQ(rest.Positions, (std::vector<int>{2, 3, 4, 5}));
  EXPECT_EQ(StoreText(Folder()), reference_);
  EXPECT_EQ(Record(), ExpectedRecord());
  ExpectFolderAtHead();
}

// The heart of it: a run killed at every write instant in turn (each file a
// checkout writes, each write of the marker, the store and the record), and
// then run again, without --force, ends as one uninterrupted run.
TEST_F(ConversionRunTest, AfterAKillAtAnyInstantTheNextRunEndsAsOneUninterruptedRun) {
  const std::string original = dir_ / "original";
  test::Run("cp -a '" + Folder() + "' '" + original + "'");
  int killed = 0, unrecordedRevision = 0, staleLocks = 0;
  for (int point = 1;; ++point) {
    ASSERT_LT(point, 1000) << "the run never finished";
    test::Run("rm -rf '" + Folder() + "' && cp -a '" + original + "' '" + Folder() + "'");
    const test::TChildEnd end = test::RunArmedChild(point, [&] {
      TestProgress progress;
      return RunConversion(Folder(), progress).Cancelled ? 3 : 0;
    });
    if (!end.Killed) {
      ASSERT_EQ(end.Status, 0) << "the run failed without a kill at point " << point;
      break;
    }
    ++killed;
    SCOPED_TRACE("killed at write instant " + std::to_string(point));

    const int32_t recorded = FileExists(Store("Commits.txt"))
                                 ? TCommitRecord::Load(Store("Commits.txt")).NewestRevision()
                                 : 0;
    if (FileExists(Store("History.txt")) &&
        static_cast<int32_t>(TQuarvReader(Folder()).Revisions().size()) > recorded)
      ++unrecordedRevision;
    // Half the time, as if the kill had come while libgit2 held the index lock.
    if (FileExists(Store("Run.txt")) && point % 2 == 0) {
      test::WriteFile(Folder() + ".git/index.lock", "");
      ++staleLocks;
    }

    TestProgress next;
    const TConversionSummary summary = RunConversion(Folder(), next);
    EXPECT_TRUE(next.Asked.empty()) << "asked about its own leftovers: " << next.Asked.front();
    EXPECT_FALSE(summary.Cancelled);
    EXPECT_EQ(StoreText(Folder()), reference_);
    EXPECT_EQ(Record(), ExpectedRecord());
    ExpectFolderAtHead();
    EXPECT_FALSE(fs::exists(Folder() + ".git/index.lock"));
    if (HasFailure()) return;
  }
  RecordProperty("killed", killed);
  RecordProperty("unrecorded_revisions", unrecordedRevision);
  EXPECT_GE(killed, 60) << "too few write instants were reached";
  EXPECT_GT(unrecordedRevision, 0) << "no kill fell between a revision and its record";
  EXPECT_GT(staleLocks, 0);
}

TEST_F(ConversionRunTest, TheUsersOwnEditsAfterAKillAreStillAskedAbout) {
  TestProgress two;
  two.StopAfter = 2;
  RunConversion(Folder(), two);
  // What a kill during the checkout of the third commit leaves: its marker,
  // the index and files of the second commit, one file of the third.
  std::istringstream ids(repo_.Git({"rev-list", "--reverse", "HEAD"}));
  std::vector<std::string> commit;
  for (std::string id; std::getline(ids, id);) commit.push_back(id);
  test::WriteFile(Store("Run.txt"), "head " + commit[5] + "\r\nholds " + commit[1] + "\r\nholds " +
                                        commit[2] + "\r\n");
  repo_.Git({"read-tree", commit[1]});
  repo_.Git({"checkout-index", "-a", "-f"});
  repo_.WriteFile("big.bin", repo_.Git({"show", commit[2] + ":big.bin"}));
  repo_.WriteFile("a.txt", "my own edit\n");

  TestProgress no;
  const TConversionSummary refused = RunConversion(Folder(), no);
  EXPECT_TRUE(refused.Cancelled);
  EXPECT_EQ(no.Asked, (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(test::ReadFile(Folder() + "a.txt"), "my own edit\n") << "nothing touched";
  EXPECT_TRUE(fs::exists(Store("Run.txt")));

  TestProgress yes;
  yes.Answer = true;
  RunConversion(Folder(), yes);
  EXPECT_EQ(yes.Asked, (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(StoreText(Folder()), reference_);
  ExpectFolderAtHead();
}

TEST_F(ConversionRunTest, AFailureRestoresHeadOrSaysThatItCouldNot) {
  // The blob only the second and third commits hold goes missing: the second
  // commit fails, HEAD can still be checked out.
  std::string blob = repo_.Git({"rev-parse", "HEAD~4:dir/deep/x.txt"});
  blob.resize(40);
  fs::remove(Folder() + ".git/objects/" + blob.substr(0, 2) + "/" + blob.substr(2));
  TestProgress failing;
  const std::string error = test::ErrorOf([&] { RunConversion(Folder(), failing); });
  EXPECT_EQ(error.rfind("Cannot check out commit " + repo_.RevParse("HEAD~4").substr(0, 9), 0), 0u)
      << error;
  EXPECT_EQ(error.find("could not be put back"), std::string::npos) << error;
  EXPECT_EQ(failing.Revisions, (std::vector<int>{1}));
  ExpectFolderAtHead();

  // Now a blob of HEAD itself: the folder cannot go back, and the message says so.
  repo_.Git({"reset", "-q", "--soft", "HEAD~4"});
  fs::remove_all(Folder() + ".Quarv");
  PrepareStoreFolder(Folder());
  TestProgress again;
  again.Answer = true;  // over the files HEAD does not hold
  const std::string second = test::ErrorOf([&] { RunConversion(Folder(), again); });
  EXPECT_NE(second.find(" The working folder could not be put back at HEAD (Cannot check out "
                        "commit " +
                        repo_.RevParse("HEAD").substr(0, 9)),
            std::string::npos)
      << second;
  EXPECT_TRUE(fs::exists(Store("Run.txt"))) << "for the next run to clean up";
}

TEST_F(ConversionRunTest, AnIndexLockHeldForAMomentDoesNotEndTheRun) {
  TestProgress progress;
  {
    const test::LockHolder git(Folder() + ".git/index.lock", 500);
    RunConversion(Folder(), progress);
  }
  EXPECT_EQ(StoreText(Folder()), reference_);
  ExpectFolderAtHead();
}

TEST_F(ConversionRunTest, ASecondRunOnTheStoreIsRefusedWhileTheFirstHoldsIt) {
  const TFileLock first(Store("Run.lock"));
  ASSERT_TRUE(first.Held());
  TestProgress progress;
  EXPECT_EQ(test::ErrorOf([&] { RunConversion(Folder(), progress); }),
            "Another conversion run is writing the store '" + Folder() +
                ".Quarv/'; it can be converted again once that run has ended.");
  EXPECT_EQ(progress.ToConvert, -1) << "nothing read, nothing touched";
  EXPECT_FALSE(fs::exists(Store("History.txt")));
}

// A store may come from anyone: its lock file as a link must not make the
// run create or open a file the link names outside the folder.
TEST_F(ConversionRunTest, ALockFileThatIsALinkIsRefusedNotFollowed) {
  const test::TempDir outside;
  const std::string target = outside.Path() + "made-by-the-run";
  fs::create_directories(Store(""));
  fs::create_symlink(target, Store("Run.lock"));
  TestProgress progress;
  const std::string error = test::ErrorOf([&] { RunConversion(Folder(), progress); });
  EXPECT_EQ(error.rfind("Cannot create file \"" + Store("Run.lock") + "\".", 0), 0u) << error;
  EXPECT_FALSE(fs::exists(fs::symlink_status(target))) << "created through the link";
  EXPECT_FALSE(fs::exists(Store("History.txt")));
}

TEST_F(ConversionRunTest, ADamagedStoreIsNotAppendedTo) {
  TestProgress first;
  first.StopAfter = 3;
  RunConversion(Folder(), first);
  test::WriteFile(Store("History.txt"), "1.dat\r\n3.dat\r\n");
  const std::string history = test::ReadFile(Store("History.txt"));
  TestProgress progress;
  const std::string error = test::ErrorOf([&] { RunConversion(Folder(), progress); });
  const std::string start =
      "The store '" + Folder() +
      ".Quarv/' is damaged, so nothing is added to it: " + Store("History.txt") +
      ": it skips revision 2 (and ";
  const std::string end = " more problems). 'quarv verify " +
                          Folder().substr(0, Folder().size() - 1) + "' lists every problem.";
  EXPECT_EQ(error.rfind(start, 0), 0u) << error;
  EXPECT_EQ(error.substr(error.size() - end.size()), end) << error;
  EXPECT_EQ(test::ReadFile(Store("History.txt")), history);
  ExpectFolderAtHead();
}

TEST(KilledRunTest, RemovesAnIndexLockOnlyWhenTheKilledRunHeldIt) {
  test::TempDir dir;
  test::GitRepoBuilder repo(dir.Path());
  repo.WriteFile("a.txt", "a");
  const std::string head = repo.Commit("one");
  const std::string marker = dir / "Run.txt";
  const std::string lock = repo.Folder() + ".git/index.lock";
  const std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo.Folder());
  const TKilledRun killed{{head, {}}, {}};

  // Older than the marker: another process's, left before the run began.
  test::WriteFile(lock, "");
  test::Run("touch -d '2001-01-01' '" + lock + "'");
  test::WriteFile(marker, "head " + head + "\r\n");
  CleanUpKilledRun(walk->Repository(), killed, marker);
  EXPECT_TRUE(fs::exists(lock));

  // Newer, but a process holds it open.
  fs::remove(lock);
  {
    const test::LockHolder git(lock, -1);
    CleanUpKilledRun(walk->Repository(), killed, marker);
    EXPECT_TRUE(fs::exists(lock));
  }

  // Newer and held by no one: the killed run's.
  test::WriteFile(lock, "");
  CleanUpKilledRun(walk->Repository(), killed, marker);
  EXPECT_FALSE(fs::exists(lock));
}

}  // namespace
}  // namespace pellmor
