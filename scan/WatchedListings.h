// Folder listings kept across the scans of one conversion run: an inotify
// watch on each listed folder tells which folders changed since the last
// scan, and only those are listed again (Git's fsmonitor idea). Whatever the
// watch cannot vouch for is listed from the disk as before.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/Platform.h"

namespace pellmor {

// An entry no watch vouches for (see TWatchedListings::List).
inline constexpr uint64_t kNotWatched = UINT64_MAX;

// Keeps each folder's listing (foundation ListFolder's entries, unfiltered)
// and reads again only the entries the kernel reports changed since: created,
// removed, renamed, written or given new attributes or times (with the
// folder's own entry in its parent, whose times such changes move). When
// folders are removed or renamed below a watched one, or events were lost,
// every listing is read again from the disk (a folder created is listed
// afresh like any folder not kept). It tells, entry by entry, since when no
// change was reported, which vouches for a digest read since (the run's
// TWorkingDigestCache). Reads are not watched
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

  // Takes the changes reported since the last call: the entries they name
  // are read again when their folder is next listed; a folder removed or
  // renamed (or more changes than the kernel queued) drops every listing.
  // Call before each scan.
  void Refresh();
  // How many times Refresh was called.
  uint64_t Refreshes() const { return refreshes_; }

  // The folder's entries as ListFolder(path) gives them: the kept listing
  // when the folder has not changed since it was listed (valid until the
  // next Refresh), else read from the disk (into scratch when the folder
  // cannot be watched). Null when the folder does not exist; raises
  // ListFolder's error. path in ListFolder's form (ending with '/').
  // unchangedSince, when given, is pointed at the listing's count, entry by
  // entry, of the Refresh since which the kernel has reported no change of
  // the entry (its state was read after that Refresh and nothing changed
  // it since), or set to null when no watch vouches for the folder.
  const std::vector<TFolderEntry>* List(const std::string& path, std::vector<TFolderEntry>& scratch,
                                        const std::vector<uint64_t>** unchangedSince = nullptr);

  // How many times List read a folder from the disk.
  size_t DiskListings() const { return diskListings_; }
  // How many times List read a kept listing's changed entries again.
  size_t EntryReads() const { return entryReads_; }

 private:
  // A kept listing, and for each entry the Refresh after which it was read.
  struct TKept {
    std::vector<TFolderEntry> Entries;
    std::vector<uint64_t> ReadAfter;
  };

  void DropAll();
  // Notes that the entry name of the folder path changed, when path's
  // listing is kept.
  void MarkStale(const std::string& path, const std::string& name);
  // Reads path's changed entries into its kept listing, in place; false
  // when one cannot be read (the listing is then to be read whole).
  bool ReadStaleEntries(const std::string& path, TKept& kept);

  int fd_ = -1;
  uint64_t refreshes_ = 0;
  std::unordered_map<std::string, TKept> kept_;  // by path
  std::unordered_map<int, std::string> paths_;   // by watch
  // The names of changed entries in kept listings, by the folder's path.
  std::unordered_map<std::string, std::set<std::string>> stale_;
  size_t diskListings_ = 0;
  size_t entryReads_ = 0;
};

}  // namespace pellmor
