// Another process that holds a lock file, as a Git process holds its index
// lock (.git/index.lock) while it writes the index: created exclusively and
// kept open, then deleted.
#pragma once

#include <sys/types.h>

#include <string>

namespace pellmor::test {

class LockHolder {
 public:
  // Starts a process that creates path (failing the test when it exists),
  // holds it open for `milliseconds` (or, with -1, until Release), then
  // deletes it and ends. Returns once the file exists.
  LockHolder(const std::string& path, int milliseconds);
  // Release, and waits for the process to end.
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  // Tells a holder without a time of its own to delete the file and end.
  void Release();

 private:
  pid_t child_ = -1;
  int release_ = -1;  // the writing end of the pipe that ends the wait
};

}  // namespace pellmor::test
