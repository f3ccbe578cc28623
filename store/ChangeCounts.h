// What one revision recorded, counted from its entries.
#pragma once

namespace pellmor {

class TMyContaner;

// Files whose bytes the revision stored as added or as modified, files it
// recorded as deleted, and renames (counted once, by the entry under the new
// name). Entries carried over unchanged count nowhere.
struct TChangeCounts {
  int Added = 0;
  int Modified = 0;
  int Deleted = 0;
  int Renamed = 0;
};
TChangeCounts CountChanges(const TMyContaner& revision);

}  // namespace pellmor
