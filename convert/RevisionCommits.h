// Which commit a revision of the store was recorded from. A revision keeps
// what the conversion gave it of its commit: the message (RevisionComment),
// the author's name and e-mail (the store's defaults for empty ones) and the
// committer time as a UTC FILETIME; a commit and a revision match when all
// four are equal. `quarv verify --git` matches the store's revisions with the
// commits of the walk this way, and so can a run that goes on with a store.
#pragma once

#include <git2.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "git/uGitLibrary.h"

namespace pellmor {

class TMyContaner;

// What a revision records of its commit.
struct TRecordedFields {
  std::string Comment;
  std::string Author;
  std::string Email;
  uint64_t Date = 0;  // FILETIME, UTC

  // Whether revision holds exactly these.
  bool Matches(const TMyContaner& revision) const;
};

// The fields a revision recorded from commit holds.
TRecordedFields RecordedFieldsOf(const TGitCommitInfo& commit);

// One commit of the walk, with what a revision recorded from it holds.
struct TWalkedCommit {
  git_oid Id;
  git_oid Tree;
  std::string ShortId;
  TRecordedFields Recorded;
};

// The commit with this id, as a walk gives it. Raises LookupCommit's errors.
TWalkedCommit WalkedCommitOf(git_repository* repository, const git_oid& id);

// Every commit the walk yields, in its order (oldest first). Runs the walk,
// which is borrowed, to its end; raises LookupCommit's errors.
std::vector<TWalkedCommit> ReadWalkedCommits(TCommitWalk& walk);

// The position in commits of the one that revision was recorded from,
// searched from position `from` on and round past the last once (a second
// conversion run walks the history again, so its revisions follow those of
// the first); -1 when no commit matches.
int MatchRevision(const std::vector<TWalkedCommit>& commits, const TMyContaner& revision,
                  size_t from);

}  // namespace pellmor
