#include "foundation/Streams.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "foundation/Exception.h"
#include "foundation/FileCalls.h"

namespace pellmor {

int64_t TStream::Remaining() const { return std::max<int64_t>(0, Size() - Position()); }

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw Exception("Stream read error", ekDamaged);
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw Exception("Stream write error");
}

void TStream::CopyFrom(TStream& source, int64_t count) {
  if (count <= 0) return;
  if (count > source.Remaining()) throw Exception("Stream read error", ekDamaged);
  // A stream copying from itself takes the buffered path: writing may move
  // the very buffer the fast path would read from.
  if (auto* memory = dynamic_cast<TMemoryStream*>(&source); memory != nullptr && memory != this) {
    WriteBuffer(memory->Memory() + memory->Position(), static_cast<size_t>(count));
    memory->SetPosition(memory->Position() + count);
    return;
  }
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
  while (count > 0) {
    const size_t n =
        static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(chunk.size())));
    source.ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    count -= static_cast<int64_t>(n);
  }
}

TMemoryStream::~TMemoryStream() { std::free(data_); }

void TMemoryStream::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  // Grow geometrically so that appending byte by byte stays linear.
  size_t grown = std::max(capacity, capacity_ + capacity_ / 2);
  void* bigger = std::realloc(data_, grown);
  if (bigger == nullptr) throw std::bad_alloc();
  data_ = static_cast<uint8_t*>(bigger);
  capacity_ = grown;
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (position_ >= size_) return 0;
  const size_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  const size_t end = position_ + count;
  if (end > size_) {
    // The bytes may come from this very buffer, which growing can move.
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (data_ != nullptr && bytes >= data_ && bytes < data_ + capacity_) {
      const size_t offset = static_cast<size_t>(bytes - data_);
      Reserve(end);
      buffer = data_ + offset;
    } else {
      Reserve(end);
    }
    // Bytes between the old end and a position set beyond it read as zeros.
    if (position_ > size_) std::memset(data_ + size_, 0, position_ - size_);
    size_ = end;
  }
  std::memmove(data_ + position_, buffer, count);
  position_ = end;
  return count;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) throw Exception("Stream size error");
  Reserve(static_cast<size_t>(size));
  size_ = static_cast<size_t>(size);
}

void TMemoryStream::SetPosition(int64_t position) {
  if (position < 0) throw Exception("Stream seek error");
  position_ = static_cast<size_t>(position);
}

void TMemoryStream::Clear() {
  std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = position_ = 0;
}

void TMemoryStream::ShrinkToFit() {
  if (capacity_ == size_) return;
  if (size_ == 0) {
    std::free(data_);
    data_ = nullptr;
    capacity_ = 0;
    return;
  }
  if (void* smaller = std::realloc(data_, size_)) {
    data_ = static_cast<uint8_t*>(smaller);
    capacity_ = size_;
  }
}

void TMemoryStream::Assign(const void* bytes, size_t count) {
  SetSize(static_cast<int64_t>(count));
  if (count != 0) std::memmove(data_, bytes, count);
  position_ = 0;
}

void TMemoryStream::Swap(TMemoryStream& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
  std::swap(position_, other.position_);
}

TFileStream::TFileStream(const std::string& path, Mode mode) : path_(path) {
  // Not blocking: opening a FIFO (or a device) that stands where a file is
  // expected would otherwise wait for a writer for ever. It is refused below;
  // on a regular file the flag changes nothing.
  // A file written is never reached through a symbolic link: a link put in
  // its place cannot lead the write elsewhere.
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
    case Mode::OpenRead:
      flags |= O_RDONLY;
      break;
    case Mode::OpenReadWrite:
      flags |= O_RDWR | O_NOFOLLOW;
      break;
    case Mode::Create:
      flags |= O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW;
      break;
  }
  fd_ = FileCalls().Open(path.c_str(), flags, 0666);
  const char* failure = mode == Mode::Create ? "Cannot create file" : "Cannot open file";
  if (fd_ < 0) ThrowNoFollowError(failure, path, errno);
  struct stat info;
  if (::fstat(fd_, &info) == 0 && !S_ISREG(info.st_mode)) {
    FileCalls().Close(fd_);
    fd_ = -1;
    if (S_ISDIR(info.st_mode)) ThrowSystemError(failure, path, EISDIR);
    ThrowSystemError(failure, path, kNotRegularFile);
  }
  // Readers take a shared advisory lock and writers an exclusive one, so that
  // a process that checks with flock sees the file in use. Linux has no share
  // modes that would keep other writers out, and a conflicting lock is not
  // treated as a failure to open.
  ::flock(fd_, (mode == Mode::OpenRead ? LOCK_SH : LOCK_EX) | LOCK_NB);
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) FileCalls().Close(fd_);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  size_t done = 0;
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (done < count) {
    const ssize_t n =
        FileCalls().PRead(fd_, bytes + done, count - done, position_ + static_cast<int64_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowSystemError("Cannot read file", path_, errno);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  position_ += static_cast<int64_t>(done);
  return done;
}

size_t TFileStream::Write(const void* buffer, size_t count) {
  size_t done = 0;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  while (done < count) {
    const ssize_t n =
        FileCalls().PWrite(fd_, bytes + done, count - done, position_ + static_cast<int64_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowSystemError("Cannot write file", path_, n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  position_ += static_cast<int64_t>(done);
  return done;
}

int64_t TFileStream::Size() const {
  struct stat info;
  if (::fstat(fd_, &info) != 0) ThrowSystemError("Cannot read file", path_, errno);
  return info.st_size;
}

void TFileStream::SetSize(int64_t size) {
  if (FileCalls().Truncate(fd_, size) != 0)
    ThrowSystemError("Cannot write file", path_, errno);
}

void TFileStream::SetPosition(int64_t position) {
  if (position < 0) throw Exception("Stream seek error");
  position_ = position;
}

void TFileStream::Sync() {
  if (FileCalls().Sync(fd_) != 0)
    ThrowSystemError("Cannot write file", path_, errno);
}

}  // namespace pellmor
