// A file layer for power-loss tests, after LevelDB's fault-injection test
// environment: every call goes on to the system, and the layer remembers,
// for the files and folders below one root, what a power loss would keep:
// the bytes each file had when it was last synced, and the entries each
// folder had when it was last synced. A crash can be armed at any call that
// changes the disk; SimulateCrash then puts the root back to what survives.
//
// Installed with ReplaceFileCalls (foundation/FileCalls.h) for the length of
// a test; files below the root that the layer never saw change are taken as
// durable as they were.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>

#include "foundation/FileCalls.h"

namespace pellmor::test {

// Thrown by the armed call: the machine lost its power there. It derives
// from nothing the program catches, so it ends whatever was running.
struct TPowerLoss {};

class TFaultInjectingFileCalls : public TFileCalls {
 public:
  // What a crash keeps of the changes that were not synced.
  enum class TCrashKind {
    DropUnsynced,  // nothing: unsynced bytes, renames, creations and removals are lost
    // Every folder entry as it stood (renames, creations, removals all reached
    // the disk) but no unsynced byte: a file renamed into place before its
    // bytes were synced is found empty, or as it was at its last sync.
    KeepEntriesDropBytes,
  };

  // root: the folder whose contents are watched, ending in '/'.
  explicit TFaultInjectingFileCalls(std::string root);

  // After Arm(n), the n-th call from now that would change the disk (a
  // creating or truncating open, a write, a truncation, a sync, a rename, a
  // removal, a new folder) is not made: it throws TPowerLoss, and every later
  // call that would change the disk fails with EIO. Arm(0) disarms.
  void Arm(int n);
  // How many such calls were made since construction (or the last Arm).
  int Changes() const { return changes_; }
  bool Crashed() const { return crashed_; }

  // Puts the root back to what survives the crash. The layer is spent.
  void SimulateCrash(TCrashKind kind);

  int Open(const char* path, int flags, mode_t mode) override;
  int Close(int fd) override;
  ssize_t PWrite(int fd, const void* buffer, size_t count, off_t offset) override;
  int Truncate(int fd, off_t size) override;
  int Sync(int fd) override;
  int Rename(const char* from, const char* to) override;
  int Unlink(const char* path) override;
  int MakeFolder(const char* path, mode_t mode) override;

 private:
  // A file is known by an id of the layer's own, not by its inode number,
  // which the system hands out again once a file is gone.
  struct TEntry {
    int Id = 0;  // 0 for a folder
    bool Folder = false;
  };
  using TListing = std::map<std::string, TEntry>;

  bool Watched(const std::string& path) const;
  // Counts a change; false (errno EIO) once crashed; throws at the armed one.
  bool Change();
  // The id of the file with this inode at path; a file the layer has not seen
  // yet is taken as durable with the bytes it has now.
  int Known(uint64_t inode, const std::string& path);
  // Remembers what survives of the folder holding path, and of the file at
  // path, as they are now, unless already known.
  void Remember(const std::string& path);
  void RememberFolder(const std::string& folder);
  // The inode at path, or 0 when there is no file.
  static uint64_t InodeOf(const std::string& path);
  TListing List(const std::string& folder);
  void Restore(const std::string& folder, TCrashKind kind);

  std::string root_;
  int armed_ = 0;
  int changes_ = 0;
  bool crashed_ = false;
  int lastId_ = 0;
  std::map<int, std::string> open_;          // watched descriptors and their paths
  std::map<uint64_t, int> ids_;              // the ids of the files there are, by inode
  std::map<int, std::string> synced_;        // by id: the bytes a power loss keeps
  std::map<std::string, TListing> folders_;  // by path: the entries a power loss keeps
};

}  // namespace pellmor::test
