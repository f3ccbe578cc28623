// The commit record of a store converted from Git (.Quarv/Commits.txt): every
// converted commit, in the order it was converted, with the revision it was
// recorded as, or none when its files showed no change. A later conversion
// run converts only the commits the record does not name, and readers learn
// from it which commit a revision came from. docs/store-format.md describes
// the file.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace pellmor {

struct TCommitRecordLine {
  std::string Commit;    // the commit id: 40 lowercase hexadecimal digits
  int32_t Revision = 0;  // the revision recorded from the commit; 0: none
};

class TCommitRecord {
 public:
  // The record in the file at path; a missing file is an empty record.
  // Raises the file layer's errors, and "The commit record '<path>' is
  // damaged: line N is not '<commit id> <revision>' or '<commit id> -'" for
  // the first line that is neither.
  static TCommitRecord Load(const std::string& path);
  // Replaces the file at path by the record in one atomic step.
  void Save(const std::string& path) const;

  // Appends a line; revision 0 for a commit that recorded nothing.
  void Add(const std::string& commit, int32_t revision);

  const std::vector<TCommitRecordLine>& Lines() const { return lines_; }
  // The first line of this commit, or nullptr.
  const TCommitRecordLine* FindCommit(const std::string& commit) const;
  // The first line naming this revision (1 or more), or nullptr.
  const TCommitRecordLine* FindRevision(int32_t revision) const;
  // The highest revision the record names; 0 when it names none.
  int32_t NewestRevision() const { return newest_; }

  // What is wrong with the record, given the revision numbers the store's
  // history lists: a commit named twice, a revision named twice, named out
  // of ascending order, or one the history does not list. One text per
  // problem, naming the line ("line 7 names revision 9, which ..."). A
  // revision the record does not name is no problem: it was recorded before
  // the store had a record, or the run that recorded it ended before its line.
  std::vector<std::string> Problems(const std::vector<int32_t>& history) const;

 private:
  std::vector<TCommitRecordLine> lines_;
  std::unordered_map<std::string, size_t> byCommit_;  // first line of each commit
  std::unordered_map<int32_t, size_t> byRevision_;    // first line of each revision
  int32_t newest_ = 0;
};

// Whether text is a commit id as the record holds it: 40 lowercase
// hexadecimal digits.
bool IsRecordedCommitId(const std::string& text);

}  // namespace pellmor
