// The conversion run records what the plain way of converting records: for
// each commit a checkout, a fresh store engine loaded from the disk, every
// difference the change loader finds staged, one Commit that waits for the
// disk. A generated history (edits, additions, deletions, renames, modes,
// links, an attributes change, an empty commit, a line-end-only change, files
// that another program writes into the folder during the run) is converted
// both ways into two clones, and every revision of the two stores is held
// against the other field by field.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "convert/RevisionCommits.h"
#include "convert/StoreFolder.h"
#include "convert/uConversionRun.h"
#include "foundation/Platform.h"
#include "git/uGitLibrary.h"
#include "scan/uQuarvLoader.h"
#include "store/QuarvReader.h"
#include "store/StoreLayout.h"
#include "store/uMyFS.h"
#include "store/uQuarvEngine.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

// Files that no commit names, written into the working folder as a commit
// begins (before its checkout): a new one, one changed, one removed. The
// commits' own changes never mention them, so a run that only looked at
// what a checkout wrote would miss them.
void WriteOutsideFiles(const std::string& folder, int number) {
  if (number == 3) test::WriteFile(folder + "notes/outside.txt", "written by another program\n");
  if (number == 9) test::WriteFile(folder + "notes/outside.txt", "changed by it\nlater\n");
  if (number == 12) test::WriteFile(folder + "build/output.bin", std::string(700, '\x7f'));
  if (number == 20) RemoveFile(folder + "build/output.bin");
}

class EquivalenceProgress : public TConversionProgress {
 public:
  explicit EquivalenceProgress(std::string folder) : folder_(std::move(folder)) {}
  void Planned(const TConversionPlan&) override {}
  bool ConfirmOverwrite(const std::vector<std::string>&) override { return true; }
  void CommitBegun(int number, int, const TGitCommitInfo&) override {
    WriteOutsideFiles(folder_, number);
  }
  void CommitDone(int, const TGitCommitInfo&, int) override {}

 private:
  std::string folder_;
};

// The plain way: a fresh engine per commit, no batch, no digest cache.
void ConvertPlainly(const std::string& folder) {
  PrepareStoreFolder(folder);
  const std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(folder);
  git_repository* repository = walk->Repository();
  TGitCommit previous;
  git_oid id;
  for (int number = 1; walk->Next(id); ++number) {
    TGitCommit commit = LookupCommit(repository, id);
    const TGitCommitInfo info = ReadCommit(commit.get());
    WriteOutsideFiles(folder, number);
    CheckoutCommit(repository, commit.get(), previous.get());
    previous = std::move(commit);
    TQuarv_Engine engine(folder);
    engine.Load();
    TQuarvEngine_Loader loader(engine);
    loader.Prepare(false);
    loader.IgnoreList.AddPattern(".git");
    loader.Compare();
    TChangeRefList changes = loader.ChangeRefs();
    loader.ApplyChanges(changes);
    const TRecordedFields fields = RecordedFieldsOf(info);
    engine.CommitUtc(fields.Comment, fields.Author, fields.Date, fields.Email);
  }
}

// A history with every kind of change the run records, from a fixed seed.
void BuildHistory(test::GitRepoBuilder& repo) {
  std::mt19937 random(1312);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const auto text = [&](int lines) {
    std::string bytes;
    for (int i = 0; i < lines; ++i) bytes += "line " + std::to_string(pick(1000)) + " of text\n";
    return bytes;
  };
  std::vector<std::string> files;
  for (int i = 0; i < 16; ++i) {
    const std::string ext = i % 4 == 0 ? ".bin" : i % 4 == 1 ? ".c" : ".txt";
    files.push_back("src/d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ext);
    repo.WriteFile(files.back(), text(i % 2 == 0 ? 40 : 3));
  }
  repo.WriteFile("tools/run.sh", "#!/bin/sh\necho run\n");
  repo.SetExecutable("tools/run.sh", true);
  repo.Symlink("tools/link", "run.sh");
  repo.Commit("Initial import\n\nThe whole tree.");
  for (int n = 1; n <= 24; ++n) {
    test::CommitOptions options;
    options.Author.Name = "Dev " + std::to_string(n % 3);
    options.Author.Email = n % 4 == 0 ? "" : "dev@example.org";
    for (int k = 0; k < 1 + pick(3); ++k) {
      const std::string& path = files[static_cast<size_t>(pick(static_cast<int>(files.size())))];
      repo.WriteFile(path, text(2 + pick(60)));
    }
    switch (n) {
      case 4:  // a rename
        repo.Move(files[5], "src/moved/f5.c");
        files[5] = "src/moved/f5.c";
        break;
      case 6:  // a deletion
        repo.RemoveFile(files[7]);
        files.erase(files.begin() + 7);
        break;
      case 8:  // a mode alone, and a link's new target
        repo.SetExecutable("tools/run.sh", false);
        repo.RemoveFile("tools/link");
        repo.Symlink("tools/link", "../src");
        break;
      case 11:  // every .txt checked out again with CR LF
        repo.WriteFile(".gitattributes", "*.txt eol=crlf\n");
        break;
      case 14:  // an addition, and a file put back under a deleted name
        repo.WriteFile("src/new.txt", text(30));
        repo.WriteFile(files.size() > 7 ? "src/d1/f7.txt" : "src/d1/f7b.txt", "back\n");
        break;
      case 17:  // the attributes go: .txt files are written with LF again
        repo.RemoveFile(".gitattributes");
        break;
      default:
        break;
    }
    repo.Commit("Change " + std::to_string(n) + "\n", options);
    if (n == 19) repo.Commit("Empty\n");
  }
}

std::string Bytes(const TMyFile& entry) {
  return std::string(reinterpret_cast<const char*>(entry.Content.Memory()),
                     static_cast<size_t>(entry.Content.Size()));
}

// Read in full: the bytes each revision stored of its own are compared too.
void ExpectSameEntries(const TMyContaner& plain, const TMyContaner& run) {
  ASSERT_EQ(plain.Files.Count(), run.Files.Count()) << "revision " << plain.Number;
  for (int i = 0; i < plain.Files.Count(); ++i) {
    const TMyFile& a = *plain.Files[i];
    const TMyFile& b = *run.Files[i];
    SCOPED_TRACE("revision " + std::to_string(plain.Number) + ", entry " + a.Name());
    EXPECT_EQ(a.Name(), b.Name());
    EXPECT_EQ(a.Version, b.Version);
    EXPECT_EQ(a.Deleted, b.Deleted);
    EXPECT_EQ(a.IsLink, b.IsLink);
    EXPECT_EQ(a.LinkName, b.LinkName);
    EXPECT_EQ(a.Compressed, b.Compressed);
    EXPECT_EQ(a.ChangeKind, b.ChangeKind);
    EXPECT_EQ(a.DataRevision, b.DataRevision);
    EXPECT_TRUE(DigestsEqual(a.Hash, b.Hash));
    EXPECT_EQ(a.Attributes, b.Attributes);
    EXPECT_EQ(Bytes(a), Bytes(b));
  }
}

TEST(RunEquivalenceTest, TheRunRecordsWhatThePlainWayRecords) {
  test::TempDir origin, plainDir, runDir;
  test::GitRepoBuilder repo(origin.Path());
  BuildHistory(repo);
  for (const std::string& clone : {plainDir.Path(), runDir.Path()})
    ASSERT_EQ(test::Run("git clone -q '" + origin.Path() + "' '" + clone + "'"), 0);

  ConvertPlainly(plainDir.Path());
  PrepareStoreFolder(runDir.Path());
  EquivalenceProgress progress(runDir.Path());
  const TConversionSummary summary = RunConversion(runDir.Path(), progress);

  const TQuarvReader plainStore(plainDir.Path());
  const TQuarvReader runStore(runDir.Path());
  const std::vector<int32_t> numbers = plainStore.SortedRevisions();
  ASSERT_EQ(numbers, runStore.SortedRevisions());
  // The empty commit recorded nothing.
  EXPECT_EQ(summary.Revisions, static_cast<int>(numbers.size()));
  EXPECT_EQ(summary.Commits, 26);
  EXPECT_EQ(numbers.size(), 25u);
  for (const int32_t number : numbers) {
    const std::unique_ptr<TMyContaner> plainRevision =
        plainStore.ReadRevision(number, lpEverything);
    const std::unique_ptr<TMyContaner> runRevision = runStore.ReadRevision(number, lpEverything);
    const TMyContaner& plain = *plainRevision;
    const TMyContaner& run = *runRevision;
    SCOPED_TRACE("revision " + std::to_string(number));
    EXPECT_EQ(plain.Number, run.Number);
    EXPECT_EQ(plain.PreviousNumber, run.PreviousNumber);
    EXPECT_EQ(plain.NextNumber, run.NextNumber);
    EXPECT_EQ(plain.Comment, run.Comment);
    EXPECT_EQ(plain.Author, run.Author);
    EXPECT_EQ(plain.Email, run.Email);
    EXPECT_EQ(plain.Date, run.Date);
    ExpectSameEntries(plain, run);
  }
  // The history names the same containers in the same order.
  EXPECT_EQ(test::ReadFile(TStoreLayout(plainDir.Path()).HistoryFileName()),
            test::ReadFile(TStoreLayout(runDir.Path()).HistoryFileName()));
}

}  // namespace
}  // namespace pellmor
