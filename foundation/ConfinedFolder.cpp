#include "foundation/ConfinedFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "foundation/DateTime.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"

namespace pellmor {

namespace {

std::vector<std::string> Components(const std::string& relative, const std::string& shown) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (true) {
    const std::string::size_type slash = relative.find('/', start);
    parts.push_back(relative.substr(start, slash - start));
    const std::string& part = parts.back();
    if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string::npos)
      throw Exception(Format("Cannot create file \"%s\". The name is not a plain relative path",
                             shown.c_str()));
    if (slash == std::string::npos) return parts;
    start = slash + 1;
  }
}

timespec ToTimespec(uint64_t fileTime) {
  const TUnixTime time = FileTimeToUnixTime(fileTime);
  timespec spec{};
  spec.tv_sec = static_cast<time_t>(time.Seconds);
  spec.tv_nsec = static_cast<long>(time.Nanoseconds);
  return spec;
}

int OpenFolderAt(int parent, const std::string& name) {
  return ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool IsLinkAt(int parent, const std::string& name) {
  struct stat st {};
  return ::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

std::string SymlinkTargetFault(int64_t length, bool holdsNul) {
  if (length == 0) return "its target is empty";
  if (holdsNul) return "its target holds a NUL byte";
  if (length > kMaxLinkTarget)
    return Format("its target is longer than %lld bytes", static_cast<long long>(kMaxLinkTarget));
  return "";
}

TConfinedFolder::TConfinedFolder(const std::string& path) : path_(IncludeTrailingDelimiter(path)) {
  ForceDirectories(path_);
  fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) ThrowNoFollowError("Cannot open folder", path_, errno);
}

TConfinedFolder::~TConfinedFolder() {
  CloseCachedParent();
  if (fd_ >= 0) ::close(fd_);
}

bool TConfinedFolder::IsEmpty() const {
  const int fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (dir == nullptr) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    ThrowNoFollowError("Cannot list folder", path_, error);
  }
  bool empty = true;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  ::closedir(dir);
  return empty;
}

void TConfinedFolder::CloseCachedParent() {
  if (cachedFd_ >= 0) ::close(cachedFd_);
  cachedFd_ = -1;
  cachedFolder_.clear();
}

int TConfinedFolder::OpenParent(const std::string& relative, std::string& leaf) {
  std::vector<std::string> parts = Components(relative, path_ + relative);
  leaf = parts.back();
  parts.pop_back();
  if (parts.empty()) return fd_;
  const std::string folder = relative.substr(0, relative.size() - leaf.size() - 1);
  if (cachedFd_ >= 0 && cachedFolder_ == folder) return cachedFd_;

  CloseCachedParent();
  int current = fd_;
  std::string shown = path_;
  for (const std::string& part : parts) {
    shown += part;
    int next = OpenFolderAt(current, part);
    if (next < 0 && errno == ENOENT) {
      if (::mkdirat(current, part.c_str(), 0777) != 0 && errno != EEXIST)
        ThrowNoFollowError("Cannot create folder", shown, errno);
      next = OpenFolderAt(current, part);
    }
    int error = errno;
    if (next < 0 && IsLinkAt(current, part)) error = ELOOP;
    if (current != fd_) ::close(current);
    if (next < 0) ThrowNoFollowError("Cannot create folder", shown, error);
    current = next;
    shown += '/';
  }
  cachedFd_ = current;
  cachedFolder_ = folder;
  return current;
}

void TConfinedFolder::ClearPlace(int parent, const std::string& leaf, const std::string& relative) {
  if (::unlinkat(parent, leaf.c_str(), 0) == 0 || errno == ENOENT) return;
  const int error = errno;
  if (error == EISDIR || error == EPERM) {
    struct stat st {};
    if (::fstatat(parent, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
      throw Exception(Format("Cannot create file \"%s\". A folder of that name is in the way",
                             (path_ + relative).c_str()));
  }
  ThrowNoFollowError("Cannot create file", path_ + relative, error);
}

std::unique_ptr<TConfinedFolder::TFileWriter> TConfinedFolder::CreateFile(
    const std::string& relative, bool executable) {
  std::string leaf;
  const int parent = OpenParent(relative, leaf);
  ClearPlace(parent, leaf, relative);
  const std::string shown = path_ + relative;
  const int fd =
      ::openat(parent, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
               executable ? 0777 : 0666);
  if (fd < 0) ThrowNoFollowError("Cannot create file", shown, errno);
  const int heldParent = ::fcntl(parent, F_DUPFD_CLOEXEC, 0);
  if (heldParent < 0) {
    const int error = errno;
    ::close(fd);
    ::unlinkat(parent, leaf.c_str(), 0);
    ThrowNoFollowError("Cannot create file", shown, error);
  }
  return std::unique_ptr<TFileWriter>(new TFileWriter(heldParent, leaf, shown, fd));
}

TConfinedFolder::TFileWriter::~TFileWriter() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlinkat(parent_, leaf_.c_str(), 0);
  }
  ::close(parent_);
}

void TConfinedFolder::TFileWriter::Write(const void* bytes, size_t count) {
  const auto* data = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    const ssize_t n = ::write(fd_, data, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowNoFollowError("Cannot write file", shown_, errno);
    }
    data += n;
    count -= static_cast<size_t>(n);
  }
}

void TConfinedFolder::TFileWriter::Finish(uint64_t lastAccessTime, uint64_t lastWriteTime) {
  const timespec times[2] = {ToTimespec(lastAccessTime), ToTimespec(lastWriteTime)};
  int error = ::futimens(fd_, times) != 0 ? errno : 0;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error != 0) {
    ::unlinkat(parent_, leaf_.c_str(), 0);
    ThrowNoFollowError("Cannot write file", shown_, error);
  }
}

void TConfinedFolder::WriteSymlink(const std::string& relative, const std::string& target,
                                   uint64_t lastAccessTime, uint64_t lastWriteTime) {
  const std::string shown = path_ + relative;
  std::string fault =
      SymlinkTargetFault(static_cast<int64_t>(target.size()), target.find('\0') != target.npos);
  if (!fault.empty()) {
    fault[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(fault[0])));
    throw Exception(Format("Cannot create symbolic link \"%s\". %s", shown.c_str(), fault.c_str()));
  }
  std::string leaf;
  const int parent = OpenParent(relative, leaf);
  ClearPlace(parent, leaf, relative);
  if (::symlinkat(target.c_str(), parent, leaf.c_str()) != 0)
    ThrowNoFollowError("Cannot create symbolic link", shown, errno);
  const timespec times[2] = {ToTimespec(lastAccessTime), ToTimespec(lastWriteTime)};
  if (::utimensat(parent, leaf.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
    ThrowNoFollowError("Cannot set the times of", shown, errno);
}

}  // namespace pellmor
