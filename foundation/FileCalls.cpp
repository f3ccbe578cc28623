#include "foundation/FileCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace pellmor {

namespace {

TFileCalls& SystemCalls() {
  static TFileCalls calls;
  return calls;
}

TFileCalls* current = nullptr;

}  // namespace

int TFileCalls::Open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

int TFileCalls::Close(int fd) { return ::close(fd); }

ssize_t TFileCalls::PRead(int fd, void* buffer, size_t count, off_t offset) {
  return ::pread(fd, buffer, count, offset);
}

ssize_t TFileCalls::PWrite(int fd, const void* buffer, size_t count, off_t offset) {
  return ::pwrite(fd, buffer, count, offset);
}

int TFileCalls::Truncate(int fd, off_t size) { return ::ftruncate(fd, size); }

int TFileCalls::Sync(int fd) { return ::fsync(fd); }

int TFileCalls::Rename(const char* from, const char* to) { return std::rename(from, to); }

int TFileCalls::Unlink(const char* path) { return ::unlink(path); }

int TFileCalls::MakeFolder(const char* path, mode_t mode) { return ::mkdir(path, mode); }

TFileCalls& FileCalls() { return current != nullptr ? *current : SystemCalls(); }

TFileCalls* ReplaceFileCalls(TFileCalls* calls) {
  TFileCalls* replaced = current != nullptr ? current : &SystemCalls();
  current = calls;
  return replaced;
}

}  // namespace pellmor
