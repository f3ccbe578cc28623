#include "convert/ConversionPlan.h"

#include <algorithm>
#include <unordered_set>

#include "convert/RevisionCommits.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "store/QuarvReader.h"
#include "store/StoreLayout.h"
#include "store/uMyFS.h"

namespace pellmor {

TConversionPlan::TConversionPlan(const std::string& folder) : walk_(OpenCommitWalk(folder)) {
  const TStoreLayout layout(folder);
  Record = TCommitRecord::Load(layout.CommitRecordFileName());
  ReadCommits();
  if (DirectoryExists(layout.Folder())) MatchUnrecorded(folder);
}

TConversionPlan::~TConversionPlan() = default;

git_repository* TConversionPlan::Repository() const { return walk_->Repository(); }

int TConversionPlan::ToConvert() const {
  return static_cast<int>(std::count_if(Commits.begin(), Commits.end(),
                                        [](const TPlannedCommit& c) { return !c.Converted(); }));
}

std::vector<std::string> TConversionPlan::Warnings() const {
  constexpr size_t kListedIds = 5;
  std::vector<std::string> warnings;
  if (const size_t count = Unreachable.size(); count > 0) {
    std::string ids;
    for (size_t i = 0; i < count && i < kListedIds; ++i)
      ids += (i > 0 ? ", " : "") + Unreachable[i].Commit.substr(0, 9);
    if (count > kListedIds) ids += ", ...";
    const bool one = count == 1;
    warnings.push_back(
        Format("%zu converted commit%s %s no longer in the history of HEAD (%s): the history was "
               "rewritten, or HEAD moved. %s in the store; the new commits are converted after %s.",
               count, one ? "" : "s", one ? "is" : "are", ids.c_str(),
               one ? "Its revision stays" : "Their revisions stay", one ? "it" : "them"));
  }
  if (const size_t count = Unmatched.size(); count > 0) {
    const bool one = count == 1;
    const std::string numbers =
        one ? Format("Revision %d", Unmatched[0])
            : Format("Revisions %d to %d", Unmatched.front(), Unmatched.back());
    warnings.push_back(Format(
        "%s of the store match%s no commit of the history (message, author, e-mail and time); "
        "%s in the store, and the new commits are converted after %s.",
        numbers.c_str(), one ? "es" : "", one ? "it stays" : "they stay", one ? "it" : "them"));
  }
  return warnings;
}

void TConversionPlan::ReadCommits() {
  std::unordered_set<std::string> walked;
  git_oid id;
  while (walk_->Next(id)) {
    const TGitCommit commit = LookupCommit(walk_->Repository(), id);
    TPlannedCommit planned{id, OidToText(id, 40), ReadCommit(commit.get())};
    if (const TCommitRecordLine* line = Record.FindCommit(planned.Hex))
      planned.Revision = line->Revision;
    walked.insert(planned.Hex);
    Commits.push_back(std::move(planned));
  }
  for (const TCommitRecordLine& line : Record.Lines())
    if (!walked.count(line.Commit)) Unreachable.push_back(line);
}

void TConversionPlan::MatchUnrecorded(const std::string& folder) {
  const TQuarvReader reader(folder);
  std::vector<int32_t> unrecorded;
  for (const int32_t number : reader.Revisions())
    if (number > Record.NewestRevision()) unrecorded.push_back(number);
  std::sort(unrecorded.begin(), unrecorded.end());
  unrecorded.erase(std::unique(unrecorded.begin(), unrecorded.end()), unrecorded.end());
  if (unrecorded.empty()) return;

  // Revisions follow their commits in walk order: the search starts after
  // the last commit the record names, and each match moves it on.
  size_t cursor = 0;
  for (size_t i = 0; i < Commits.size(); ++i)
    if (Commits[i].Converted()) cursor = i + 1;
  for (const int32_t number : unrecorded) {
    const std::unique_ptr<TMyContaner> revision = reader.ReadRevision(number, lpRecords);
    size_t match = cursor;
    while (match < Commits.size() && (Commits[match].Converted() ||
                                      !RecordedFieldsOf(Commits[match].Info).Matches(*revision)))
      ++match;
    if (match == Commits.size()) {
      Unmatched.push_back(number);
      continue;
    }
    for (size_t i = cursor; i <= match; ++i) {
      if (Commits[i].Converted()) continue;
      Commits[i].Revision = i == match ? number : 0;
      Matched.push_back({Commits[i].Hex, Commits[i].Revision});
    }
    cursor = match + 1;
  }
}

}  // namespace pellmor
