#include "store/ChangeCounts.h"

#include "store/uMyFS.h"

namespace pellmor {

TChangeCounts CountChanges(const TMyContaner& revision) {
  TChangeCounts counts;
  for (const auto& entry : revision.Files) {
    if (entry->DataRevision != revision.Number) continue;  // carried over
    if (entry->IsLink) {
      if (!entry->Deleted) ++counts.Renamed;  // the old name's entry is the same rename
    } else if (entry->Deleted) {
      ++counts.Deleted;
    } else if (entry->ChangeKind == ckAdded) {
      ++counts.Added;
    } else {
      ++counts.Modified;
    }
  }
  return counts;
}

}  // namespace pellmor
