// Which commits of the history a conversion run converts. The commits of the
// walk (oldest first, from HEAD, none that a tag reaches) are held against the
// store's commit record: a commit it names is converted already, every other
// one is converted by the run. Revisions the record does not name yet (a
// store recorded before it had a record, or a run stopped between a revision
// and its line) are matched to commits by message, author, e-mail and time,
// and the commits between two matches count as converted without a revision
// of their own. Nothing is written: the plan only reads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "git/uGitLibrary.h"
#include "store/CommitRecord.h"

namespace pellmor {

struct TPlannedCommit {
  static constexpr int32_t kNotConverted = -1;

  git_oid Id;
  std::string Hex;  // the 40-digit id, as the record holds it
  TGitCommitInfo Info;
  // kNotConverted; 0: converted, recorded nothing; N: converted as revision N.
  int32_t Revision = kNotConverted;

  bool Converted() const { return Revision != kNotConverted; }
};

class TConversionPlan {
 public:
  // Walks the repository of the working folder (ending in '/') and reads the
  // store's commit record, its history and the headers of the revisions the
  // record does not name, when the store folder exists. Raises
  // OpenCommitWalk's errors, the commit record's and the store readers'.
  explicit TConversionPlan(const std::string& folder);
  ~TConversionPlan();

  // The repository the plan walked; borrowed, valid while the plan lives.
  git_repository* Repository() const;

  // Every commit of the walk, in walk order.
  std::vector<TPlannedCommit> Commits;
  // The store's commit record as read.
  TCommitRecord Record;
  // The lines the record lacks, for the revisions matched by their fields and
  // the commits between matches (which recorded nothing), in walk order.
  std::vector<TCommitRecordLine> Matched;
  // Record lines whose commit the walk no longer yields: the history was
  // rewritten (or HEAD moved) since they were converted.
  std::vector<TCommitRecordLine> Unreachable;
  // Revisions after the record's newest that no commit matches.
  std::vector<int32_t> Unmatched;

  int CommitCount() const { return static_cast<int>(Commits.size()); }
  // How many commits the run converts.
  int ToConvert() const;
  // What the person who runs the conversion should know: converted commits
  // that HEAD no longer reaches, revisions that match no commit. One
  // sentence each; none when all is as expected.
  std::vector<std::string> Warnings() const;

 private:
  void ReadCommits();
  void MatchUnrecorded(const std::string& folder);

  std::unique_ptr<TCommitWalk> walk_;
};

}  // namespace pellmor
