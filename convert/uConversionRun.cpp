#include "convert/uConversionRun.h"

#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "git/TreeChecker.h"
#include "git/uGitStatus.h"
#include "git/uGitWorkingFolder.h"
#include "scan/WorkingDigestCache.h"
#include "scan/uQuarvLoader.h"
#include "store/StoreLayout.h"
#include "store/uQuarvEngine.h"

namespace pellmor {

namespace {

// Records the working folder, as the checkout left it, as the next revision.
// Returns the revision's number, or 0 when nothing differed from the store.
// digests: the run's own, so that files a checkout left alone are not read again.
int RecordRevision(const std::string& folder, const TGitCommitInfo& commit,
                   TWorkingDigestCache& digests) {
  TQuarv_Engine engine(folder);
  engine.Load();
  TQuarvEngine_Loader loader(engine, &digests);
  loader.Prepare(false);
  loader.IgnoreList.AddPattern(".git");
  loader.Compare();
  TChangeRefList changes = loader.ChangeRefs();
  loader.ApplyChanges(changes);
  if (engine.Index->Files.Empty()) return 0;
  const int revision = engine.FileSystem->NextFreeNumber();
  // The committer's instant itself: no round trip through local time, which
  // would shift it whenever this machine's zone differs from the committer's.
  engine.CommitUtc(RevisionComment(commit.Message), commit.AuthorName,
                   UnixTimeToFileTime(commit.CommitTime, 0), commit.AuthorEmail);
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
  if (!HasGitFolder(folder)) throw Exception(kGitRepositoryNotFound);
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
  for (; more; more = walk->Next(id)) {
    const int number = summary.Commits + 1;
    TGitCommit commit = LookupCommit(repository, id);
    const TGitCommitInfo info = ReadCommit(commit.get());
    progress.CommitBegun(number, info);
    trees.Check(commit.get());
    CheckoutCommit(repository, commit.get(), previous.get());
    previous = std::move(commit);
    const int revision = RecordRevision(folder, info, digests);
    summary.Commits = number;
    if (revision != 0) ++summary.Revisions;
    progress.CommitDone(number, info, revision);
  }
  return summary;
}

}  // namespace pellmor
