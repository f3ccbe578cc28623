#include "tests/support/FaultInjectingFileCalls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "foundation/Platform.h"

namespace pellmor::test {

namespace {

namespace fs = std::filesystem;

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The regular files and folders in a folder: name -> whether a folder.
std::map<std::string, bool> Names(const std::string& folder) {
  std::map<std::string, bool> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::lstat((folder + "/" + name).c_str(), &st) != 0) continue;
    if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) names[name] = S_ISDIR(st.st_mode);
  }
  return names;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::error_code ignored;
  if (fs::is_directory(fs::symlink_status(path, ignored))) fs::remove_all(path, ignored);
  fs::remove(path, ignored);  // a new file, not the inode another name may share
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TFaultInjectingFileCalls::TFaultInjectingFileCalls(std::string root)
    : root_(WithoutTrailingSlash(std::move(root))) {}

void TFaultInjectingFileCalls::Arm(int n) {
  armed_ = n;
  changes_ = 0;
}

bool TFaultInjectingFileCalls::Watched(const std::string& path) const {
  return path == root_ || path.rfind(root_ + "/", 0) == 0;
}

bool TFaultInjectingFileCalls::Change() {
  if (crashed_) {
    errno = EIO;
    return false;
  }
  ++changes_;
  if (armed_ > 0 && changes_ == armed_) {
    crashed_ = true;
    throw TPowerLoss{};
  }
  return true;
}

uint64_t TFaultInjectingFileCalls::InodeOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<uint64_t>(st.st_ino);
}

int TFaultInjectingFileCalls::Known(uint64_t inode, const std::string& path) {
  const auto it = ids_.find(inode);
  if (it != ids_.end()) return it->second;
  const int id = ++lastId_;
  ids_[inode] = id;
  synced_[id] = ReadBytes(path);
  return id;
}

TFaultInjectingFileCalls::TListing TFaultInjectingFileCalls::List(const std::string& folder) {
  TListing listing;
  for (const auto& [name, isFolder] : Names(folder)) {
    const std::string path = folder + "/" + name;
    listing[name] = isFolder ? TEntry{0, true} : TEntry{Known(InodeOf(path), path), false};
  }
  return listing;
}

void TFaultInjectingFileCalls::RememberFolder(const std::string& folder) {
  if (Watched(folder) && !folders_.count(folder)) folders_[folder] = List(folder);
}

void TFaultInjectingFileCalls::Remember(const std::string& path) {
  const std::string normal = WithoutTrailingSlash(path);
  RememberFolder(FolderOf(normal));
  if (const uint64_t inode = InodeOf(normal)) Known(inode, normal);
}

int TFaultInjectingFileCalls::Open(const char* path, int flags, mode_t mode) {
  const std::string name = WithoutTrailingSlash(path);
  if (!Watched(name)) return TFileCalls::Open(path, flags, mode);
  const bool changes = (flags & (O_CREAT | O_TRUNC)) != 0;
  if (changes && !Change()) return -1;
  if ((flags & O_ACCMODE) != O_RDONLY || changes) Remember(name);
  const bool existed = InodeOf(name) != 0;
  const int fd = TFileCalls::Open(path, flags, mode);
  if (fd < 0) return fd;
  struct stat st {};
  if (!existed && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    // A file made now keeps nothing through a power loss until it is synced.
    ids_[static_cast<uint64_t>(st.st_ino)] = ++lastId_;
    synced_[lastId_] = "";
  }
  open_[fd] = name;
  return fd;
}

int TFaultInjectingFileCalls::Close(int fd) {
  open_.erase(fd);
  return TFileCalls::Close(fd);
}

ssize_t TFaultInjectingFileCalls::PWrite(int fd, const void* buffer, size_t count, off_t offset) {
  if (open_.count(fd) && !Change()) return -1;
  return TFileCalls::PWrite(fd, buffer, count, offset);
}

int TFaultInjectingFileCalls::Truncate(int fd, off_t size) {
  if (open_.count(fd) && !Change()) return -1;
  return TFileCalls::Truncate(fd, size);
}

int TFaultInjectingFileCalls::Sync(int fd) {
  const auto it = open_.find(fd);
  if (it == open_.end()) return TFileCalls::Sync(fd);
  if (!Change()) return -1;
  const int result = TFileCalls::Sync(fd);
  if (result != 0) return result;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) {
    folders_[it->second] = List(it->second);
    return 0;
  }
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  const ssize_t n = ::pread(fd, bytes.data(), bytes.size(), 0);
  bytes.resize(n < 0 ? 0 : static_cast<size_t>(n));
  const auto id = ids_.find(static_cast<uint64_t>(st.st_ino));
  if (id != ids_.end()) synced_[id->second] = bytes;
  return 0;
}

int TFaultInjectingFileCalls::Rename(const char* from, const char* to) {
  if (!Watched(WithoutTrailingSlash(from)) && !Watched(WithoutTrailingSlash(to)))
    return TFileCalls::Rename(from, to);
  if (!Change()) return -1;
  Remember(from);
  Remember(to);
  const uint64_t replaced = InodeOf(WithoutTrailingSlash(to));
  const int result = TFileCalls::Rename(from, to);
  if (result == 0 && replaced != 0 && replaced != InodeOf(WithoutTrailingSlash(to)))
    ids_.erase(replaced);  // gone: its inode number may come back for another file
  return result;
}

int TFaultInjectingFileCalls::Unlink(const char* path) {
  const std::string name = WithoutTrailingSlash(path);
  if (!Watched(name)) return TFileCalls::Unlink(path);
  if (!Change()) return -1;
  Remember(name);
  const uint64_t inode = InodeOf(name);
  const int result = TFileCalls::Unlink(path);
  if (result == 0 && inode != 0) ids_.erase(inode);
  return result;
}

int TFaultInjectingFileCalls::MakeFolder(const char* path, mode_t mode) {
  const std::string name = WithoutTrailingSlash(path);
  if (!Watched(name)) return TFileCalls::MakeFolder(path, mode);
  if (!Change()) return -1;
  Remember(name);
  const int result = TFileCalls::MakeFolder(path, mode);
  // Whatever it will hold is lost with it until its entries are synced.
  if (result == 0) folders_[name] = {};
  return result;
}

void TFaultInjectingFileCalls::SimulateCrash(TCrashKind kind) {
  crashed_ = true;
  Restore(root_, kind);
}

void TFaultInjectingFileCalls::Restore(const std::string& folder, TCrashKind kind) {
  const auto known = folders_.find(folder);
  if (kind == TCrashKind::DropUnsynced && known != folders_.end()) {
    const TListing& survives = known->second;
    for (const auto& [name, isFolder] : Names(folder))
      if (!survives.count(name)) fs::remove_all(folder + "/" + name);
    for (const auto& [name, entry] : survives) {
      const std::string path = folder + "/" + name;
      if (entry.Folder)
        fs::create_directory(path);
      else
        WriteBytes(path, synced_.at(entry.Id));
    }
  } else {
    // Every entry stays; each file keeps only the bytes it had when last synced.
    for (const auto& [name, isFolder] : Names(folder)) {
      const auto id = ids_.find(InodeOf(folder + "/" + name));
      if (!isFolder && id != ids_.end()) WriteBytes(folder + "/" + name, synced_.at(id->second));
    }
  }
  for (const auto& [name, isFolder] : Names(folder))
    if (isFolder) Restore(folder + "/" + name, kind);
}

}  // namespace pellmor::test
