#include "convert/KilledRun.h"

#include <vector>

#include "foundation/FileLock.h"
#include "foundation/Platform.h"
#include "git/uGitLibrary.h"

namespace pellmor {

TKilledRun InspectKilledRun(git_repository* repository, const TRunMarker& marker,
                            const std::string& head) {
  std::vector<git_oid> known;
  const auto add = [&known](const std::string& hex) {
    git_oid id;
    if (git_oid_fromstr(&id, hex.c_str()) == 0) known.push_back(id);
  };
  add(head);
  add(marker.Head);
  for (const std::string& held : marker.Holds) add(held);
  return {marker, SortOutChanges(repository, known)};
}

void CleanUpKilledRun(git_repository* repository, const TKilledRun& killed,
                      const std::string& markerPath) {
  RemoveLeftovers(repository, killed.Changes.Leftovers);
  const std::string lock = IndexLockFileName(repository);
  TEntryInfo lockInfo, markerInfo;
  if (ReadEntryInfo(lock, lockInfo) && ReadEntryInfo(markerPath, markerInfo) &&
      lockInfo.Stamp.ModifiedNs >= markerInfo.Stamp.ModifiedNs && !FileOpenElsewhere(lock))
    RemoveFile(lock);
}

}  // namespace pellmor
