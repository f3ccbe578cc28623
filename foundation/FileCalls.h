// The file-system calls beneath the platform layer: every file the program
// writes into a store (through TFileStream and Platform.h) is opened, written,
// synced, renamed and removed through the one table that FileCalls() returns.
// The system's own calls serve unless a test puts others in their place, as
// the power-loss test does with a layer that forgets every write that was not
// synced (tests/support/FaultInjectingFileCalls.h).
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace pellmor {

// Each call behaves as the system call of its name (open(2), close(2),
// pread(2), pwrite(2), ftruncate(2), fsync(2), rename(2), unlink(2),
// mkdir(2)): it returns what that returns and sets errno on failure.
class TFileCalls {
 public:
  virtual ~TFileCalls() = default;

  virtual int Open(const char* path, int flags, mode_t mode);
  virtual int Close(int fd);
  virtual ssize_t PRead(int fd, void* buffer, size_t count, off_t offset);
  virtual ssize_t PWrite(int fd, const void* buffer, size_t count, off_t offset);
  virtual int Truncate(int fd, off_t size);
  // Makes what was written to fd durable: a file's bytes and size, or, for a
  // folder opened for reading, the entries created, renamed and removed in it.
  virtual int Sync(int fd);
  virtual int Rename(const char* from, const char* to);
  virtual int Unlink(const char* path);
  virtual int MakeFolder(const char* path, mode_t mode);
};

// The calls in use.
TFileCalls& FileCalls();
// Puts calls in the place of the ones in use (nullptr: the system's own) and
// returns those it replaced. The calls must outlive their use; not for use
// while another thread writes files.
TFileCalls* ReplaceFileCalls(TFileCalls* calls);

}  // namespace pellmor
