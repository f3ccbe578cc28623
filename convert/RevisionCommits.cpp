#include "convert/RevisionCommits.h"

#include "convert/uConversionRun.h"
#include "foundation/DateTime.h"
#include "store/uMyFS.h"
#include "store/uQuarvEngine.h"

namespace pellmor {

bool TRecordedFields::Matches(const TMyContaner& revision) const {
  return Date == revision.Date && Comment == revision.Comment && Author == revision.Author &&
         Email == revision.Email;
}

TRecordedFields RecordedFieldsOf(const TGitCommitInfo& commit) {
  TRecordedFields fields;
  fields.Comment = RevisionComment(commit.Message);
  fields.Author = commit.AuthorName.empty() ? TQuarv_Engine::kDefaultAuthor : commit.AuthorName;
  fields.Email = commit.AuthorEmail.empty() ? TQuarv_Engine::kDefaultEmail : commit.AuthorEmail;
  // The committer's instant itself: no round trip through local time, which
  // would shift it whenever this machine's zone differs from the committer's.
  fields.Date = UnixTimeToFileTime(commit.CommitTime, 0);
  return fields;
}

TWalkedCommit WalkedCommitOf(git_repository* repository, const git_oid& id) {
  const TGitCommit commit = LookupCommit(repository, id);
  const TGitCommitInfo info = ReadCommit(commit.get());
  return {id, *git_commit_tree_id(commit.get()), info.ShortId, RecordedFieldsOf(info)};
}

std::vector<TWalkedCommit> ReadWalkedCommits(TCommitWalk& walk) {
  std::vector<TWalkedCommit> commits;
  git_oid id;
  while (walk.Next(id)) commits.push_back(WalkedCommitOf(walk.Repository(), id));
  return commits;
}

int MatchRevision(const std::vector<TWalkedCommit>& commits, const TMyContaner& revision,
                  size_t from) {
  for (size_t step = 0; step < commits.size(); ++step) {
    const size_t i = (from + step) % commits.size();
    if (commits[i].Recorded.Matches(revision)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace pellmor
