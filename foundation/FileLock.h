// Locks on files between processes: a lock of the program's own (flock),
// which the kernel drops when the process ends however it ends, and the test
// whether any other process holds a file open (as Git holds its lock files
// while it writes them).
#pragma once

#include <string>

namespace pellmor {

// An exclusive lock on a file, held from construction while the object lives.
class TFileLock {
 public:
  // Opens path (created empty when missing; a symbolic link is refused, not
  // followed) and takes the lock without waiting. Raises "Cannot create file
  // "<path>". <reason>" when the file cannot be opened; Held() tells whether
  // another holder kept it.
  explicit TFileLock(const std::string& path);
  ~TFileLock();
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

  bool Held() const { return held_; }

 private:
  int fd_ = -1;
  bool held_ = false;
};

// Whether a process other than this one has the file at path open, as far as
// /proc shows the processes this user may look into.
bool FileOpenElsewhere(const std::string& path);

}  // namespace pellmor
