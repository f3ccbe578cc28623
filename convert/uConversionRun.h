// The conversion run: every commit of the commit walk (oldest first) that
// the store has not converted yet is checked out into the working folder and
// recorded as the next revision of the Quarv store there, with the commit's
// message, author, author e-mail and time. Written once, without Qt: the
// window and the quarv tool drive the same run, each through its own
// TConversionProgress.
#pragma once

#include <string>
#include <vector>

#include "git/uGitLibrary.h"

namespace pellmor {

class TConversionPlan;

// What a run reports to the one who drives it, and the questions it asks.
// Any of these may raise to end the run with that error.
class TConversionProgress {
 public:
  virtual ~TConversionProgress() = default;

  // The run knows what it converts (plan.ToConvert() commits of
  // plan.Commits) and has touched nothing yet.
  virtual void Planned(const TConversionPlan& plan) = 0;
  // Asked once, before the first checkout, when tracked files of the working
  // folder hold changes that the checkouts would overwrite (paths relative to
  // the working folder, '/' between folders); what a killed run left behind
  // is not asked about. true goes on; false ends the run before anything is
  // touched.
  virtual bool ConfirmOverwrite(const std::vector<std::string>& files) = 0;
  // The run's commit `number` (1-based, counting this run's commits only),
  // at `position` (0-based) in the walk (plan.Commits), begins: it has been
  // read, nothing of it checked out or recorded yet.
  virtual void CommitBegun(int number, int position, const TGitCommitInfo& commit) = 0;
  // The commit is done: recorded as the store's revision `revision`, or 0
  // when the working folder showed no change against the store and nothing
  // was recorded. The revision is on the disk once its batch is (at the
  // latest 100 revisions or 5 seconds later, or when the run ends).
  virtual void CommitDone(int number, const TGitCommitInfo& commit, int revision) = 0;
  // Asked before each commit: true stops the run there, with every commit
  // converted so far kept and the working folder put back at HEAD.
  virtual bool StopRequested() { return false; }
};

struct TConversionSummary {
  bool Cancelled = false;   // ConfirmOverwrite said no
  bool Stopped = false;     // StopRequested said yes
  bool CleanedUp = false;   // what a killed run left behind was removed
  int Total = 0;            // commits of the walk
  int ConvertedBefore = 0;  // of them, converted before this run
  int Commits = 0;          // commits converted by this run
  int Revisions = 0;        // revisions recorded by this run
  int Remaining() const { return Total - ConvertedBefore - Commits; }
};

// The files of a ConfirmOverwrite question, one a line indented by two
// blanks: the first ten, then "... and N more" for the rest.
std::string OverwrittenFilesText(const std::vector<std::string>& files);

// The commit message as a revision records it: every LF becomes CR LF, so an
// existing CR LF becomes CR CR LF (undone exactly by turning CR LF into LF).
std::string RevisionComment(const std::string& message);

// Converts the history of the Git repository whose working folder is
// `folder` (ending in '/') into the store in folder/.Quarv, which Prepare
// has created:
//
// 1. Takes the store's run lock (.Quarv/Run.lock), so that no other run
//    writes the store meanwhile, and refuses a damaged store
//    (RefuseDamagedStore).
// 2. Plans (TConversionPlan): only the commits the store's commit record does
//    not name are converted, oldest first; record lines for revisions matched
//    by their fields are added.
// 3. When a killed run left its marker, removes what it left behind (its own
//    files and index lock); the user's own changes are asked about as usual.
// 4. Each commit: its tree checked (TTreeChecker: nothing of a tree that
//    could write outside the folder, into ".git" or into the store is
//    written), checkout (force) and its confirmation, the change loader's
//    differences all staged in the run's one store engine (loaded before the
//    first commit and not read again: the run is the store's only writer),
//    Commit with the
//    commit's message (RevisionComment), author name, committer time (as the
//    UTC instant it is) and author e-mail; an unchanged working folder
//    records nothing. Then the commit's line is added to the commit record
//    (saved with the batch). After the run's first
//    checkout only the paths that differ from the previous commit are checked
//    out, and a digest cache kept for the run spares reading the working
//    files that have not changed since they were last hashed.
// 5. Puts the working folder back at HEAD, also after a stop or a failure.
//
// Revisions are recorded in batches (store/RecordBatch.h): History.txt is
// written, and every file the batch wrote made durable, every 100 revisions
// or 5 seconds, at the end of the run, at a stop and after a failure; the
// commit record's lines for the batch's commits are saved right after it. A
// power loss or a killed run loses at most the revisions since the last
// batch, never the store's soundness; revisions whose record lines were lost
// are matched by their fields (step 2).
//
// Raises on the first failure and stops there; revisions recorded before it
// stay, and the folder is put back at HEAD (when that fails too, the message
// says so). Failures: folder holds no ".git" folder ("Git repository is not
// founded."), another run holds the store, the store is damaged, the
// repository cannot be opened (OpenCommitWalk), a commit cannot be read or
// checked out ("Cannot check out commit <short id>. <libgit2 text>"), an
// unsafe tree (TTreeChecker::Check), a checkout that left a path other than
// the commit holds it (ConfirmCheckout), and every error of the store and the
// change loader.
TConversionSummary RunConversion(const std::string& folder, TConversionProgress& progress);

}  // namespace pellmor
