#include "store/CommitRecord.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "foundation/TextLines.h"

namespace pellmor {

namespace {

constexpr size_t kCommitIdLength = 40;
constexpr char kNoRevision[] = "-";

// The revision of a line's second field: a decimal number of 1 or more, or
// "-" for 0; -1 for anything else.
int32_t RevisionField(const std::string& field) {
  if (field == kNoRevision) return 0;
  if (field.empty() || field.size() > 10 || field[0] == '0') return -1;
  int64_t number = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number <= INT32_MAX ? static_cast<int32_t>(number) : -1;
}

}  // namespace

bool IsRecordedCommitId(const std::string& text) {
  return text.size() == kCommitIdLength && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

TCommitRecord TCommitRecord::Load(const std::string& path) {
  TCommitRecord record;
  if (!FileExists(path)) return record;
  const std::vector<std::string> lines = ReadTextFile(path);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::string::size_type blank = line.find(' ');
    const std::string commit = line.substr(0, blank);
    const int32_t revision =
        blank == std::string::npos ? -1 : RevisionField(line.substr(blank + 1));
    if (!IsRecordedCommitId(commit) || revision < 0)
      throw Exception(
          Format("The commit record '%s' is damaged: line %zu is not '<commit id> "
                 "<revision>' or '<commit id> -'",
                 path.c_str(), i + 1));
    record.Add(commit, revision);
  }
  return record;
}

void TCommitRecord::Save(const std::string& path) const {
  std::vector<std::string> text;
  text.reserve(lines_.size());
  for (const TCommitRecordLine& line : lines_)
    text.push_back(line.Commit + ' ' +
                   (line.Revision > 0 ? std::to_string(line.Revision) : kNoRevision));
  WriteTextFile(path, text);
}

void TCommitRecord::Add(const std::string& commit, int32_t revision) {
  byCommit_.try_emplace(commit, lines_.size());
  if (revision > 0) {
    byRevision_.try_emplace(revision, lines_.size());
    newest_ = std::max(newest_, revision);
  }
  lines_.push_back({commit, revision});
}

const TCommitRecordLine* TCommitRecord::FindCommit(const std::string& commit) const {
  const auto found = byCommit_.find(commit);
  return found == byCommit_.end() ? nullptr : &lines_[found->second];
}

const TCommitRecordLine* TCommitRecord::FindRevision(int32_t revision) const {
  const auto found = byRevision_.find(revision);
  return found == byRevision_.end() ? nullptr : &lines_[found->second];
}

std::vector<std::string> TCommitRecord::Problems(const std::vector<int32_t>& history) const {
  const std::unordered_set<int32_t> listed(history.begin(), history.end());
  std::vector<std::string> problems;
  int32_t previous = 0;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const TCommitRecordLine& line = lines_[i];
    const size_t number = i + 1;
    const size_t firstOfCommit = byCommit_.at(line.Commit);
    if (firstOfCommit != i)
      problems.push_back(Format("line %zu names commit %s again (first on line %zu)", number,
                                line.Commit.c_str(), firstOfCommit + 1));
    if (line.Revision == 0) continue;
    const size_t firstOfRevision = byRevision_.at(line.Revision);
    if (firstOfRevision != i)
      problems.push_back(Format("line %zu names revision %d again (first on line %zu)", number,
                                line.Revision, firstOfRevision + 1));
    else if (line.Revision < previous)
      problems.push_back(
          Format("line %zu names revision %d after revision %d", number, line.Revision, previous));
    if (!listed.count(line.Revision))
      problems.push_back(Format("line %zu names revision %d, which the history does not list",
                                number, line.Revision));
    previous = std::max(previous, line.Revision);
  }
  return problems;
}

}  // namespace pellmor
