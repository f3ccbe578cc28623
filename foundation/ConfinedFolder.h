// A folder that files are written into without ever leaving it. Every
// sub-folder is opened relative to the folder above it and never through a
// symbolic link, so neither a crafted name nor a link already on disk can
// lead a write outside the folder.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/Streams.h"

namespace pellmor {

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

  // relative names an entry below the folder: components separated by '/',
  // none empty, "." or "..", no NUL byte (else "Cannot create file "%s". The
  // name is not a plain relative path"). Missing folders on the way are
  // created; one that is a symbolic link or a file is an error naming it. An
  // entry already at the name (a file or a link, never followed) is replaced;
  // a folder there is an error. Times are FILETIME values (UTC); a file's
  // mode is 0777 when executable, else 0666, less the process's umask.
  void WriteFile(const std::string& relative, const TMemoryStream& bytes, bool executable,
                 uint64_t lastAccessTime, uint64_t lastWriteTime);
  // A symbolic link holding target (which must not be empty or hold a NUL).
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
