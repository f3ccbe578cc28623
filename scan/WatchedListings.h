// Folder listings kept across the scans of one conversion run: an inotify
// watch on each listed folder tells which folders changed since the last
// scan, and only those are listed again (Git's fsmonitor idea). Whatever the
// watch cannot vouch for is listed from the disk as before.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/Platform.h"

namespace pellmor {

// Keeps each folder's listing (foundation ListFolder's entries, unfiltered)
// while the kernel reports no change inside it: no entry created, removed,
// renamed, written or given new attributes or times. Reads are not watched
// (the scan's own would make every listing stale at once), so a kept listing
// may show an older access time than the disk; a run records an entry's
// times only when its bytes or attributes changed, which its folder reports.
// A file changed through a hard link in another folder, or through a shared
// memory map, is not reported; a checkout makes neither. Used by one thread.
class TWatchedListings {
 public:
  // Without inotify (or with its watches used up) nothing is kept and every
  // List lists from the disk.
  TWatchedListings();
  TWatchedListings(const TWatchedListings&) = delete;
  TWatchedListings& operator=(const TWatchedListings&) = delete;
  ~TWatchedListings();

  // Takes the changes reported since the last call: the listings of changed
  // folders are dropped; a folder created, removed or renamed (or more
  // changes than the kernel queued) drops them all. Call before each scan.
  void Refresh();

  // The folder's entries as ListFolder(path) gives them: the kept listing
  // when the folder has not changed since it was listed (valid until the
  // next Refresh), else read from the disk (into scratch when the folder
  // cannot be watched). Null when the folder does not exist; raises
  // ListFolder's error. path in ListFolder's form (ending with '/').
  const std::vector<TFolderEntry>* List(const std::string& path,
                                        std::vector<TFolderEntry>& scratch);

  // How many times List read a folder from the disk.
  size_t DiskListings() const { return diskListings_; }

 private:
  void DropAll();

  int fd_ = -1;
  std::unordered_map<std::string, std::vector<TFolderEntry>> kept_;  // by path
  std::unordered_map<int, std::string> paths_;                       // by watch
  size_t diskListings_ = 0;
};

}  // namespace pellmor
