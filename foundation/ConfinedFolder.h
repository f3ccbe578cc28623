// A folder that files are written into without ever leaving it. Every
// sub-folder is opened relative to the folder above it and never through a
// symbolic link, so neither a crafted name nor a link already on disk can
// lead a write outside the folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pellmor {

// The longest target a symbolic link may hold (PATH_MAX less its NUL).
inline constexpr int64_t kMaxLinkTarget = 4095;

// Why a target of this many bytes, holding a NUL byte or not, cannot be
// written as a symbolic link ("its target is empty", "... holds a NUL byte",
// "... is longer than 4095 bytes"), or "" when it can.
std::string SymlinkTargetFault(int64_t length, bool holdsNul);

class TConfinedFolder {
 public:
  // Opens the folder at path, creating it and missing parents when needed
  // (path itself may be reached through links; nothing below it is). Raises
  // "Cannot create folder "%s". %s" or "Cannot open folder "%s". %s".
  explicit TConfinedFolder(const std::string& path);
  TConfinedFolder(const TConfinedFolder&) = delete;
  TConfinedFolder& operator=(const TConfinedFolder&) = delete;
  ~TConfinedFolder();

  // The folder's path as given, ending in '/'.
  const std::string& Path() const { return path_; }
  // Whether the folder holds no entry at all.
  bool IsEmpty() const;

  // A file being written below the folder, piece by piece. Destroyed before
  // Finish, it removes the file again, so that a checkout that failed
  // half-way leaves no file whose bytes were not all written and checked.
  class TFileWriter {
   public:
    TFileWriter(const TFileWriter&) = delete;
    TFileWriter& operator=(const TFileWriter&) = delete;
    ~TFileWriter();
    // Appends bytes; raises "Cannot write file "%s". %s".
    void Write(const void* bytes, size_t count);
    // Sets the times (FILETIME values, UTC) and closes the file.
    void Finish(uint64_t lastAccessTime, uint64_t lastWriteTime);

   private:
    friend class TConfinedFolder;
    TFileWriter(int parent, std::string leaf, std::string shown, int fd)
        : parent_(parent), leaf_(std::move(leaf)), shown_(std::move(shown)), fd_(fd) {}

    int parent_;  // the folder holding the file, owned (a duplicate)
    std::string leaf_;
    std::string shown_;
    int fd_;
  };

  // relative names an entry below the folder: components separated by '/',
  // none empty, "." or "..", no NUL byte (else "Cannot create file "%s". The
  // name is not a plain relative path"). Missing folders on the way are
  // created; one that is a symbolic link or a file is an error naming it. An
  // entry already at the name (a file or a link, never followed) is replaced;
  // a folder there is an error. The file's mode is 0777 when executable, else
  // 0666, less the process's umask.
  std::unique_ptr<TFileWriter> CreateFile(const std::string& relative, bool executable);
  // A symbolic link holding target (refused as SymlinkTargetFault says), with
  // its times (FILETIME values, UTC).
  void WriteSymlink(const std::string& relative, const std::string& target, uint64_t lastAccessTime,
                    uint64_t lastWriteTime);

 private:
  // The open folder that holds relative's last component (owned by this
  // object, valid until the next call), and that component in leaf.
  int OpenParent(const std::string& relative, std::string& leaf);
  // Removes whatever non-folder entry stands at leaf in the folder parent.
  void ClearPlace(int parent, const std::string& leaf, const std::string& relative);
  void CloseCachedParent();

  std::string path_;
  int fd_ = -1;
  std::string cachedFolder_;  // relative path of the folder open in cachedFd_
  int cachedFd_ = -1;
};

}  // namespace pellmor
