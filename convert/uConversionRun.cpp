#include "convert/uConversionRun.h"

#include <chrono>

#include "convert/RevisionCommits.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "git/TreeChecker.h"
#include "git/uGitStatus.h"
#include "git/uGitWorkingFolder.h"
#include "scan/WorkingDigestCache.h"
#include "scan/uQuarvLoader.h"
#include "store/RecordBatch.h"
#include "store/StoreLayout.h"
#include "store/uQuarvEngine.h"

namespace pellmor {

namespace {

// Records the working folder, as the checkout left it, as the next revision.
// Returns the revision's number, or 0 when nothing differed from the store.
// digests: the run's own, so that files a checkout left alone are not read again.
int RecordRevision(const std::string& folder, const TGitCommitInfo& commit,
                   TWorkingDigestCache& digests, TRecordBatch& batch) {
  TQuarv_Engine engine(folder);
  engine.Batch = &batch;
  engine.Load();
  TQuarvEngine_Loader loader(engine, &digests);
  loader.Prepare(false);
  loader.IgnoreList.AddPattern(".git");
  loader.Compare();
  TChangeRefList changes = loader.ChangeRefs();
  loader.ApplyChanges(changes);
  if (engine.Index->Files.Empty()) return 0;
  const int revision = engine.FileSystem->NextFreeNumber();
  const TRecordedFields recorded = RecordedFieldsOf(commit);
  engine.CommitUtc(recorded.Comment, recorded.Author, recorded.Date, recorded.Email);
  return revision;
}

}  // namespace

std::string OverwrittenFilesText(const std::vector<std::string>& files) {
  constexpr size_t kListed = 10;
  std::string text;
  for (size_t i = 0; i < files.size() && i < kListed; ++i) text += "  " + files[i] + "\n";
  if (files.size() > kListed) text += Format("  ... and %zu more\n", files.size() - kListed);
  return text;
}

std::string RevisionComment(const std::string& message) {
  std::string comment;
  comment.reserve(message.size() + message.size() / 32);
  for (const char c : message) {
    if (c == '\n') comment += '\r';
    comment += c;
  }
  return comment;
}

TConversionSummary RunConversion(const std::string& folder, TConversionProgress& progress) {
  if (!HasGitFolder(folder)) throw Exception(kGitRepositoryNotFound, ekNotFound);
  TConversionSummary summary;
  const std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(folder);
  git_repository* repository = walk->Repository();
  git_oid id;
  bool more = walk->Next(id);
  if (more) {
    const std::vector<std::string> changed = UncommittedChanges(repository);
    if (!changed.empty() && !progress.ConfirmOverwrite(changed)) {
      summary.Cancelled = true;
      return summary;
    }
  }
  TWorkingDigestCache digests;
  TTreeChecker trees(repository, kStoreFolderName);
  TGitCommit previous;  // checked out last; the first checkout looks at every file
  // Revisions are made durable in batches (waiting for the disk once a batch
  // costs a conversion a few percent, once a revision a quarter): every
  // kFlushEvery revisions or kFlushSeconds, at the end, and after a failure.
  constexpr size_t kFlushEvery = 100;
  constexpr auto kFlushSeconds = std::chrono::seconds(5);
  TRecordBatch batch;
  auto flushed = std::chrono::steady_clock::now();
  try {
    for (; more; more = walk->Next(id)) {
      const int number = summary.Commits + 1;
      TGitCommit commit = LookupCommit(repository, id);
      const TGitCommitInfo info = ReadCommit(commit.get());
      progress.CommitBegun(number, info);
      trees.Check(commit.get());
      CheckoutCommit(repository, commit.get(), previous.get());
      previous = std::move(commit);
      const int revision = RecordRevision(folder, info, digests, batch);
      summary.Commits = number;
      if (revision != 0) ++summary.Revisions;
      const auto now = std::chrono::steady_clock::now();
      if (batch.Pending().size() >= kFlushEvery || now - flushed >= kFlushSeconds) {
        batch.Flush();
        flushed = now;
      }
      progress.CommitDone(number, info, revision);
    }
  } catch (...) {
    // The revisions recorded before the failure stay; a second failure
    // (the disk's, most likely) must not hide the first.
    try {
      batch.Flush();
    } catch (const std::exception&) {
    }
    throw;
  }
  batch.Flush();
  return summary;
}

}  // namespace pellmor
