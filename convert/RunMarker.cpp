#include "convert/RunMarker.h"

#include <algorithm>

#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "foundation/TextLines.h"
#include "store/CommitRecord.h"

namespace pellmor {

namespace {

constexpr char kHead[] = "head ";
constexpr char kHolds[] = "holds ";

// The commit id after prefix on line, or "" when the line is not that.
std::string Field(const std::string& line, const std::string& prefix) {
  if (line.rfind(prefix, 0) != 0) return "";
  const std::string id = line.substr(prefix.size());
  return IsRecordedCommitId(id) ? id : "";
}

}  // namespace

std::optional<TRunMarker> TRunMarker::Read(const std::string& path) {
  if (!FileExists(path)) return std::nullopt;
  std::vector<std::string> lines = ReadTextFile(path);
  // The padding of a marker rewritten in place.
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  TRunMarker marker;
  bool whole = !lines.empty() && !(marker.Head = Field(lines[0], kHead)).empty();
  for (size_t i = 1; whole && i < lines.size(); ++i) {
    const std::string held = Field(lines[i], kHolds);
    whole = !held.empty();
    marker.AddHeld(held);
  }
  if (!whole)
    throw Exception(
        Format("The run marker '%s' is damaged: it is not a line 'head <commit id>' "
               "and lines 'holds <commit id>'",
               path.c_str()));
  return marker;
}

void TRunMarker::Write(const std::string& path) const {
  std::vector<std::string> lines = {kHead + Head};
  for (const std::string& held : Holds) lines.push_back(kHolds + held);
  // Written before every checkout, so not synced: the marker guards against a
  // killed run. After a power loss it may name older commits; the files of
  // newer ones then count as the user's, which the next run asks about
  // rather than removes. Rewritten in place when it can be (padded with line
  // ends to its former length): a new file each checkout costs the file
  // system more than the marker is worth.
  const std::string text = JoinTextLines(lines);
  if (!RewriteSmallFile(path, text, '\n'))
    ReplaceFile(path, [&](TStream& file) { file.WriteBuffer(text.data(), text.size()); });
}

void TRunMarker::AddHeld(const std::string& commit) {
  if (commit != Head && std::find(Holds.begin(), Holds.end(), commit) == Holds.end())
    Holds.push_back(commit);
}

}  // namespace pellmor
