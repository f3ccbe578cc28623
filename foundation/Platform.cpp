#include "foundation/Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "foundation/AsciiText.h"
#include "foundation/DateTime.h"
#include "foundation/Exception.h"
#include "foundation/FileCalls.h"

namespace pellmor {

namespace {

uint64_t FileTimeOf(const struct statx_timestamp& t) {
  return UnixTimeToFileTime(t.tv_sec, t.tv_nsec);
}

void FillInfo(const struct statx& st, const char* name, TEntryInfo& info) {
  const mode_t mode = st.stx_mode;
  info.Attributes = 0;
  if (S_ISDIR(mode)) {
    info.Type = EntryType::Folder;
    info.Attributes |= kAttrDirectory;
  } else if (S_ISLNK(mode)) {
    info.Type = EntryType::Link;
    info.Attributes |= kAttrReparsePoint;
  } else if (S_ISREG(mode)) {
    info.Type = EntryType::File;
    if (mode & S_IXUSR) info.Attributes |= kAttrArchive;
  } else {
    info.Type = EntryType::Special;
  }
  if (!(mode & S_IWUSR) && !S_ISLNK(mode)) info.Attributes |= kAttrReadOnly;
  if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
    info.Attributes |= kAttrHidden;
  if (info.Type != EntryType::Folder &&
      (info.Attributes & (kAttrReadOnly | kAttrHidden | kAttrArchive | kAttrReparsePoint)) == 0)
    info.Attributes |= kAttrNormal;
  info.LastWriteTime = FileTimeOf(st.stx_mtime);
  info.LastAccessTime = FileTimeOf(st.stx_atime);
  info.CreationTime = (st.stx_mask & STATX_BTIME) ? FileTimeOf(st.stx_btime) : info.LastWriteTime;
  info.Stamp.Device = makedev(st.stx_dev_major, st.stx_dev_minor);
  info.Stamp.Inode = st.stx_ino;
  info.Stamp.Size = static_cast<int64_t>(st.stx_size);
  info.Stamp.ModifiedNs = st.stx_mtime.tv_sec * 1'000'000'000LL + st.stx_mtime.tv_nsec;
  info.Stamp.ChangedNs = st.stx_ctime.tv_sec * 1'000'000'000LL + st.stx_ctime.tv_nsec;
}

const char* BaseName(const std::string& path) {
  std::string::size_type end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const std::string::size_type slash = path.rfind('/', end - 1);
  return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

std::atomic<int> crash_countdown{0};

}  // namespace

std::string IncludeTrailingDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path;
  return path + '/';
}

std::string DiskPath(const std::string& root, const std::string& relativeName) {
  std::string path = root;
  path.reserve(root.size() + relativeName.size());
  for (char c : relativeName) path += (c == '\\') ? '/' : c;
  return path;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void ForceDirectories(const std::string& path) {
  std::string prefix;
  std::string::size_type start = 0;
  while (start <= path.size()) {
    std::string::size_type slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    prefix = path.substr(0, slash);
    start = slash + 1;
    if (prefix.empty() || DirectoryExists(prefix)) continue;
    if (FileCalls().MakeFolder(prefix.c_str(), 0777) != 0) {
      if (errno == EEXIST) continue;
      ThrowSystemError("Cannot create folder", prefix, errno);
    }
    SyncFolder(FolderOf(prefix));
  }
}

void RemoveFile(const std::string& path) {
  if (FileCalls().Unlink(path.c_str()) != 0 && errno != ENOENT)
    ThrowSystemError("Cannot delete file", path, errno);
}

std::string FolderOf(const std::string& path) {
  std::string::size_type end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const std::string::size_type slash = path.rfind('/', end - 1);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncFile(const std::string& path) { TFileStream(path, TFileStream::Mode::OpenRead).Sync(); }

void SyncFolder(const std::string& path) {
  const int fd = FileCalls().Open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  int error = fd < 0 ? errno : 0;
  if (fd >= 0) {
    if (FileCalls().Sync(fd) != 0) error = errno;
    FileCalls().Close(fd);
  }
  if (error != 0)
    ThrowSystemError("Cannot write folder", path, error);
}

bool RemoveEmptyFolder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

bool ReadEntryInfo(const std::string& path, TEntryInfo& info) {
  struct statx st;
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st) !=
      0)
    return false;
  FillInfo(st, BaseName(path), info);
  return true;
}

bool ListFolder(const std::string& path, std::vector<TFolderEntry>& entries) {
  entries.clear();
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
  if (!dir) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    ThrowSystemError("Cannot list folder", path, errno);
  }
  const int dir_fd = ::dirfd(dir.get());
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) ThrowSystemError("Cannot list folder", path, errno);
      break;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct statx st;
    if (::statx(dir_fd, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) {
      if (errno == ENOENT) continue;  // vanished since the listing named it
      ThrowSystemError("Cannot list folder", path, errno);
    }
    TFolderEntry item;
    item.Name = name;
    FillInfo(st, name, item.Info);
    if (item.Info.Type == EntryType::Special) continue;
    entries.push_back(std::move(item));
  }
  std::vector<std::pair<std::string, size_t>> keys;
  keys.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) keys.emplace_back(UpperCaseAscii(entries[i].Name), i);
  std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
    return ListedBefore(a.first, entries[a.second].Name, b.first, entries[b.second].Name);
  });
  std::vector<TFolderEntry> sorted;
  sorted.reserve(entries.size());
  for (const auto& key : keys) sorted.push_back(std::move(entries[key.second]));
  entries.swap(sorted);
  return true;
}

void ReadFileContent(const std::string& path, TMemoryStream& content) {
  // Opened without following a link: a link is read as its target text. This
  // runs for every working file on every comparison, so it makes as few
  // system calls as it can (open, fstat, flock, read, close).
  // Not blocking, so that a FIFO put where the scan saw a file is refused
  // instead of waiting for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0 && errno == ELOOP) {
    std::string target(256, '\0');
    for (;;) {
      const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
      if (n < 0) ThrowSystemError("Cannot read file", path, errno);
      if (static_cast<size_t>(n) < target.size()) {
        content.Assign(target.data(), static_cast<size_t>(n));
        return;
      }
      target.resize(target.size() * 2);
    }
  }
  if (fd < 0) ThrowSystemError("Cannot open file", path, errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st;
  if (::fstat(fd, &st) != 0)
    ThrowSystemError("Cannot read file", path, errno);
  if (S_ISDIR(st.st_mode)) ThrowSystemError("Cannot open file", path, EISDIR);
  if (!S_ISREG(st.st_mode)) ThrowSystemError("Cannot open file", path, kNotRegularFile);
  // A shared lock, as every reader of the program takes (see TFileStream).
  ::flock(fd, LOCK_SH | LOCK_NB);
  // Read to the end, not to the size seen at open, so a file that changes
  // while it is read still gives one consistent run of bytes; a short read
  // of a regular file is its end.
  int64_t capacity = std::max<int64_t>(st.st_size, 0) + 1;
  content.SetSize(capacity);
  int64_t total = 0;
  for (;;) {
    if (total == capacity) {
      capacity *= 2;
      content.SetSize(capacity);
    }
    const size_t wanted = static_cast<size_t>(capacity - total);
    const ssize_t n = ::read(fd, content.Memory() + total, wanted);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowSystemError("Cannot read file", path, errno);
    total += n;
    if (n == 0 || static_cast<size_t>(n) < wanted) break;
  }
  content.SetSize(total);
  content.SetPosition(0);
}

size_t ReadFileAt(const std::string& path, int64_t offset, void* buffer, size_t count) {
  // Not blocking: a FIFO in the file's place opens at once, and refuses the
  // positioned read (ESPIPE).
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    ThrowSystemError("Cannot open file", path, errno);
  auto* bytes = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  int error = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, bytes + done, count - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  // A folder opens for reading; only the read says what it is.
  if (error == ESPIPE) ThrowSystemError("Cannot open file", path, kNotRegularFile);
  if (error == EISDIR) ThrowSystemError("Cannot open file", path, EISDIR);
  if (error != 0)
    ThrowSystemError("Cannot read file", path, error);
  return done;
}

TFileReplacement::TFileReplacement(std::string path, const std::function<void(TStream&)>& write)
    : path_(std::move(path)), temporary_(path_ + ".tmp") {
  // A leftover of a write that was cut short is ours to replace; removed
  // first, so that whatever stands there (a link, a FIFO) is not written to.
  FileCalls().Unlink(temporary_.c_str());
  try {
    file_ = std::make_unique<TFileStream>(temporary_, TFileStream::Mode::Create);
    write(*file_);
  } catch (...) {
    file_.reset();
    FileCalls().Unlink(temporary_.c_str());
    throw;
  }
}

TFileReplacement::~TFileReplacement() {
  file_.reset();
  if (!published_) FileCalls().Unlink(temporary_.c_str());
}

void TFileReplacement::Sync() { file_->Sync(); }

void TFileReplacement::Publish() {
  CrashPoint("before rename");
  if (FileCalls().Rename(temporary_.c_str(), path_.c_str()) != 0)
    ThrowSystemError("Cannot create file", path_, errno);
  published_ = true;
}

void WriteFileAtomically(const std::string& path, const std::function<void(TStream&)>& write) {
  TFileReplacement replacement(path, write);
  // The bytes reach the disk before the name does: a power loss never leaves
  // path naming bytes that were lost.
  replacement.Sync();
  replacement.Publish();
  SyncFolder(FolderOf(path));
}

void ReplaceFile(const std::string& path, const std::function<void(TStream&)>& write) {
  TFileReplacement(path, write).Publish();
}

bool RewriteSmallFile(const std::string& path, const std::string& bytes, char pad) {
  if (bytes.size() > kSmallFileBytes) return false;
  const int fd = FileCalls().Open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0);
  if (fd < 0) {
    // Nothing there, or a link, a folder or a FIFO: the caller replaces it.
    if (errno == ENOENT || errno == ELOOP || errno == EISDIR || errno == ENXIO) return false;
    ThrowSystemError("Cannot write file", path, errno);
  }
  int error = 0;
  bool rewritten = false;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = errno;
  } else if (S_ISREG(info.st_mode) && info.st_size <= static_cast<off_t>(kSmallFileBytes)) {
    std::string whole = bytes;
    whole.resize(std::max(bytes.size(), static_cast<size_t>(info.st_size)), pad);
    CrashPoint("before rewrite");
    const ssize_t written = FileCalls().PWrite(fd, whole.data(), whole.size(), 0);
    if (written < 0)
      error = errno;
    else if (static_cast<size_t>(written) != whole.size())
      error = ENOSPC;
    else
      rewritten = true;
  }
  FileCalls().Close(fd);
  if (error != 0) ThrowSystemError("Cannot write file", path, error);
  return rewritten;
}

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

int StandardOutputColumns() {
  winsize size{};
  return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

int64_t RealTimeNs() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool LocalTimeAt(int64_t seconds, TLocalTime& local) {
  const time_t instant = static_cast<time_t>(seconds);
  struct tm fields;
  if (::localtime_r(&instant, &fields) == nullptr) return false;
  local.Year = fields.tm_year + 1900LL;
  local.Month = fields.tm_mon + 1;
  local.Day = fields.tm_mday;
  local.Hour = fields.tm_hour;
  local.Minute = fields.tm_min;
  local.Second = fields.tm_sec;
  local.UtcOffset = fields.tm_gmtoff;
  return true;
}

void ArmCrashPoints(int n) { crash_countdown = n; }

void CrashPoint(const char*) {
  if (crash_countdown.load(std::memory_order_relaxed) > 0 && --crash_countdown == 0)
    ::kill(::getpid(), SIGKILL);
}

}  // namespace pellmor
