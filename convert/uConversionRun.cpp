#include "convert/uConversionRun.h"

#include <chrono>
#include <optional>
#include <utility>

#include "convert/ConversionPlan.h"
#include "convert/KilledRun.h"
#include "convert/RevisionCommits.h"
#include "convert/RunMarker.h"
#include "convert/StoreHealth.h"
#include "foundation/Exception.h"
#include "foundation/FileLock.h"
#include "foundation/Platform.h"
#include "git/CheckoutLeftovers.h"
#include "git/TreeChecker.h"
#include "git/uGitStatus.h"
#include "git/uGitWorkingFolder.h"
#include "scan/WatchedListings.h"
#include "scan/WorkingDigestCache.h"
#include "scan/uQuarvLoader.h"
#include "store/RecordBatch.h"
#include "store/StoreLayout.h"
#include "store/uQuarvEngine.h"

namespace pellmor {

namespace {

// Stages the working folder, as the checkout left it, as the next revision:
// its contents are compressed on another thread until engine.FinishCommit.
// Returns the revision's number, or 0 when nothing differed from the store
// (nothing pending then).
// engine: the run's own, loaded, holding the store as the last Commit left it.
// digests and listings: the run's own, so that files a checkout left alone
// are not read again and folders it left alone are not listed again.
int StageRevision(TQuarv_Engine& engine, const TGitCommitInfo& commit,
                  TWorkingDigestCache& digests, TWatchedListings& listings) {
  TQuarvEngine_Loader loader(engine, &digests, &listings);
  loader.Prepare(false);
  loader.IgnoreList.AddPattern(".git");
  loader.Compare();
  TChangeRefList changes = loader.ChangeRefs();
  loader.ApplyChanges(changes);
  if (engine.Index->Files.Empty()) return 0;
  const int revision = engine.FileSystem->NextFreeNumber();
  const TRecordedFields recorded = RecordedFieldsOf(commit);
  engine.BeginCommitUtc(recorded.Comment, recorded.Author, recorded.Date, recorded.Email);
  return revision;
}

std::string HeadOf(git_repository* repository) {
  git_oid head;
  const int result = git_reference_name_to_id(&head, repository, "HEAD");
  if (result != 0)
    throw Exception(Format("Cannot read HEAD of Git repository \"%s\". %s",
                           git_repository_workdir(repository), GitErrorText(result).c_str()));
  return OidToText(head, 40);
}

git_oid OidOf(const std::string& hex) {
  git_oid id;
  git_oid_fromstr(&id, hex.c_str());
  return id;
}

// A commit whose revision is staged and not yet written (Revision 0: none).
struct TStagedCommit {
  const TPlannedCommit* Planned;
  int Revision;
};

// One run over its plan, once it touches the working folder: the checkouts,
// the marker that names the commits whose files the folder may hold, the
// commit record's new lines, and putting the folder back at HEAD.
class TRun {
 public:
  TRun(const std::string& folder, TConversionPlan& plan, TConversionProgress& progress,
       TConversionSummary& summary)
      : folder_(folder),
        layout_(folder),
        plan_(plan),
        progress_(progress),
        summary_(summary),
        repository_(plan.Repository()),
        head_(HeadOf(repository_)),
        trees_(repository_, kStoreFolderName) {}

  // Asks about the user's own changes, then removes what a killed run (whose
  // marker is given) left behind. Returns false when the answer was no.
  bool Begin(const std::optional<TRunMarker>& killed) {
    std::vector<std::string> changes;
    std::optional<TKilledRun> inspected;
    if (killed) {
      inspected = InspectKilledRun(repository_, *killed, head_);
      changes = inspected->Changes.Foreign;
    } else {
      changes = UncommittedChanges(repository_);
    }
    if (!changes.empty() && !progress_.ConfirmOverwrite(changes)) return false;
    if (inspected) {
      CleanUpKilledRun(repository_, *inspected, layout_.RunMarkerFileName());
      // The folder may still hold files of every commit the killed run named.
      written_ = *killed;
      holds_ = TRunMarker{head_, {}};
      for (const std::string& held : killed->Holds) holds_.AddHeld(held);
      holds_.AddHeld(killed->Head);
      touched_ = true;
      summary_.CleanedUp = true;
    }
    return true;
  }

  void ConvertCommits() {
    TWorkingDigestCache digests;
    TWatchedListings listings;
    // One engine for the whole run: the store is read once, and each Commit
    // leaves the engine holding it as a new Load would.
    TQuarv_Engine engine(folder_);
    engine.Batch = &batch_;
    engine.Load();
    // A commit's revision is written while the next commit is checked out:
    // its contents are compressed meanwhile on another thread. It is
    // reported done when staged; like every revision it is on the disk once
    // its batch is.
    std::optional<TStagedCommit> staged;
    const auto writeStaged = [&] {
      const TStagedCommit done = *staged;
      staged.reset();
      Write(engine, done);
    };
    int number = 0;
    try {
      for (size_t position = 0; position < plan_.Commits.size(); ++position) {
        TPlannedCommit& planned = plan_.Commits[position];
        if (planned.Converted()) continue;
        if (progress_.StopRequested()) {
          summary_.Stopped = true;
          break;
        }
        ++number;
        progress_.CommitBegun(number, static_cast<int>(position), planned.Info);
        TGitCommit commit = LookupCommit(repository_, planned.Id);
        trees_.Check(commit.get());
        Checkout(std::move(commit), planned.Hex, IndexWrite::kInMemory);
        if (staged) writeStaged();
        const int revision = StageRevision(engine, planned.Info, digests, listings);
        staged = TStagedCommit{&planned, revision};
        planned.Revision = revision;
        summary_.Commits = number;
        if (revision != 0) ++summary_.Revisions;
        progress_.CommitDone(number, planned.Info, revision);
      }
      if (staged) writeStaged();
    } catch (const std::exception&) {
      // A later commit's failure does not cost the revision already staged;
      // a failure to write it does not hide the first.
      if (staged) {
        try {
          writeStaged();
        } catch (const std::exception&) {
        }
      }
      throw;
    }
    Flush();
  }

  // Writes a staged commit's revision into the batch and the commit into the
  // record; makes the batch durable every kFlushEvery revisions or
  // kFlushSeconds (waiting for the disk once a batch costs a conversion a
  // few percent, once a revision a quarter).
  void Write(TQuarv_Engine& engine, const TStagedCommit& staged) {
    engine.FinishCommit();
    plan_.Record.Add(staged.Planned->Hex, staged.Revision);
    constexpr size_t kFlushEvery = 100;
    constexpr auto kFlushSeconds = std::chrono::seconds(5);
    const auto now = std::chrono::steady_clock::now();
    if (batch_.Pending().size() >= kFlushEvery || now - flushed_ >= kFlushSeconds) {
      Flush();
      flushed_ = now;
    }
  }

  // Makes the batch's revisions durable, then the commit record's lines for
  // them: the record never names a revision that History.txt does not list.
  // A kill between the two leaves revisions without their lines, which the
  // next run matches to their commits by their fields.
  void Flush() {
    batch_.Flush();
    CrashPoint("batch recorded");
    plan_.Record.Save(layout_.CommitRecordFileName());
  }

  // After the last commit or a stop: HEAD checked out (only the paths that
  // differ from the commit checked out last), the marker deleted.
  void RestoreHead() {
    if (!touched_) return;
    Checkout(LookupCommit(repository_, OidOf(head_)), head_, IndexWrite::kWrite);
    RemoveFile(layout_.RunMarkerFileName());
  }

  // After a failure: what the run may have left (every commit of the marker)
  // removed and HEAD checked out whole. Returns "" when that worked, else a
  // note for the failure's message.
  std::string RestoreAfterFailure() {
    if (!touched_) return "";
    // The revisions recorded before the failure stay; a second failure (the
    // disk's, most likely) must not hide the first.
    try {
      Flush();
    } catch (const std::exception&) {
    }
    try {
      RemoveLeftovers(repository_,
                      InspectKilledRun(repository_, written_, head_).Changes.Leftovers);
      const TGitCommit head = LookupCommit(repository_, OidOf(head_));
      CheckoutCommit(repository_, head.get());
      RemoveFile(layout_.RunMarkerFileName());
      return "";
    } catch (const std::exception& e) {
      return Format(
          " The working folder could not be put back at HEAD (%s); the next conversion run of "
          "this folder puts it back.",
          e.what());
    }
  }

 private:
  // Checks the commit out, the marker naming it first; only the paths that
  // differ from the commit checked out before, when there is one. The
  // commits of the run keep the Git index in memory; putting HEAD back
  // writes it (a killed run leaves the user's own index file as it was).
  void Checkout(TGitCommit commit, const std::string& hex, IndexWrite indexWrite) {
    written_ = holds_;
    written_.Head = head_;
    written_.AddHeld(hex);
    written_.Write(layout_.RunMarkerFileName());
    touched_ = true;
    CrashPoint("run marker written");
    CheckoutCommit(repository_, commit.get(), last_.get(), kIndexLockWait, indexWrite);
    last_ = std::move(commit);
    holds_ = TRunMarker{head_, {}};
    holds_.AddHeld(hex);
  }

  const std::string folder_;
  const TStoreLayout layout_;
  TConversionPlan& plan_;
  TConversionProgress& progress_;
  TConversionSummary& summary_;
  git_repository* repository_;
  const std::string head_;  // HEAD's commit when the run began
  TRunMarker holds_;        // the commits besides HEAD whose files the folder holds now
  TRunMarker written_;      // the marker as last written
  bool touched_ = false;    // the marker is written: the folder must go back to HEAD
  TGitCommit last_;         // the commit checked out whole last
  TTreeChecker trees_;
  TRecordBatch batch_;
  std::chrono::steady_clock::time_point flushed_ = std::chrono::steady_clock::now();
};

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
  const TStoreLayout layout(folder);
  ForceDirectories(layout.Folder());
  const TFileLock lock(layout.RunLockFileName());
  if (!lock.Held())
    throw Exception(
        Format("Another conversion run is writing the store '%s'; it can be converted "
               "again once that run has ended.",
               layout.Folder().c_str()));
  RefuseDamagedStore(folder);
  TConversionPlan plan(folder);
  if (!plan.Matched.empty()) {
    for (const TCommitRecordLine& line : plan.Matched) plan.Record.Add(line.Commit, line.Revision);
    plan.Record.Save(layout.CommitRecordFileName());
  }

  TConversionSummary summary;
  summary.Total = plan.CommitCount();
  summary.ConvertedBefore = summary.Total - plan.ToConvert();
  progress.Planned(plan);
  const std::optional<TRunMarker> killed = TRunMarker::Read(layout.RunMarkerFileName());
  if (plan.ToConvert() == 0 && !killed) return summary;

  TRun run(folder, plan, progress, summary);
  try {
    if (!run.Begin(killed)) {
      summary.Cancelled = true;
      return summary;
    }
    run.ConvertCommits();
    run.RestoreHead();
  } catch (const std::exception& e) {
    const std::string note = run.RestoreAfterFailure();
    if (note.empty()) throw;
    std::string message = e.what();
    if (!message.empty() && message.back() != '.') message += '.';
    throw Exception(message + note);
  }
  return summary;
}

}  // namespace pellmor
