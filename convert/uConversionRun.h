// The conversion run: every commit that the commit walk yields (oldest
// first) is checked out into the working folder and recorded as the next
// revision of the Quarv store there, with the commit's message, author,
// author e-mail and time. Written once, without Qt: the window and the quarv
// tool drive the same run, each through its own TConversionProgress.
#pragma once

#include <string>
#include <vector>

#include "git/uGitLibrary.h"

namespace pellmor {

// What a run reports to the one who drives it, and the one question it asks.
// Any of these may raise to end the run with that error.
class TConversionProgress {
 public:
  virtual ~TConversionProgress() = default;

  // Asked once, before the first checkout, when tracked files of the working
  // folder hold changes that the checkouts would overwrite (paths relative to
  // the working folder, '/' between folders). true goes on; false ends the
  // run before anything is touched.
  virtual bool ConfirmOverwrite(const std::vector<std::string>& files) = 0;
  // The commit at this 1-based position of the walk begins: it has been
  // read, nothing of it checked out or recorded yet.
  virtual void CommitBegun(int number, const TGitCommitInfo& commit) = 0;
  // The commit is done: recorded as the store's revision `revision`, or 0
  // when the working folder showed no change against the store and nothing
  // was recorded. The revision is on the disk once its batch is (at the
  // latest 100 revisions or 5 seconds later, or when the run ends).
  virtual void CommitDone(int number, const TGitCommitInfo& commit, int revision) = 0;
};

struct TConversionSummary {
  bool Cancelled = false;  // ConfirmOverwrite said no
  int Commits = 0;         // commits converted
  int Revisions = 0;       // revisions recorded
};

// The files of a ConfirmOverwrite question, one a line indented by two
// blanks: the first ten, then "... and N more" for the rest.
std::string OverwrittenFilesText(const std::vector<std::string>& files);

// The commit message as a revision records it: every LF becomes CR LF, so an
// existing CR LF becomes CR CR LF (undone exactly by turning CR LF into LF).
std::string RevisionComment(const std::string& message);

// Converts the history of the Git repository whose working folder is
// `folder` (ending in '/') into the store in folder/.Quarv, which Prepare
// has created. Each commit: its tree checked (TTreeChecker: nothing of a
// tree that could write outside the folder, into ".git" or into the store
// is written), checkout (force) and its confirmation, a new store engine loaded, the
// change loader's differences all staged, Commit with the commit's message
// (RevisionComment), author name, committer time (as the UTC instant it is)
// and author e-mail; an unchanged working folder records nothing. After the
// first commit only the paths that differ from the previous commit are
// checked out, and a digest cache kept for the run spares reading the
// working files that have not changed since they were last hashed.
//
// Revisions are recorded in batches (store/RecordBatch.h): History.txt is
// written, and every file the batch wrote made durable, every 100 revisions
// or 5 seconds, at the end of the run and after a failure. A power loss or a
// killed run loses at most the revisions since the last batch, never the
// store's soundness.
//
// Raises on the first failure and stops there; revisions recorded before it
// stay. Failures: folder holds no ".git" folder ("Git repository is not
// founded."), the repository cannot be opened (OpenCommitWalk), a commit
// cannot be read or checked out ("Cannot check out commit <short id>.
// <libgit2 text>"), an unsafe tree (TTreeChecker::Check), a checkout that
// left a path other than the commit holds it (ConfirmCheckout), and every
// error of the store and the change loader.
TConversionSummary RunConversion(const std::string& folder, TConversionProgress& progress);

}  // namespace pellmor
