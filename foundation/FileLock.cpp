#include "foundation/FileLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/Exception.h"

namespace pellmor {

TFileLock::TFileLock(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd_ < 0)
    throw Exception(Format("Cannot create file \"%s\". %s", path.c_str(), std::strerror(errno)));
  int result;
  do {
    result = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  held_ = result == 0;
}

TFileLock::~TFileLock() {
  if (fd_ >= 0) ::close(fd_);  // drops the lock
}

bool FileOpenElsewhere(const std::string& path) {
  struct stat target;
  if (::stat(path.c_str(), &target) != 0) return false;
  const std::string self = std::to_string(::getpid());
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) return false;
  bool open = false;
  while (!open) {
    const dirent* process = ::readdir(processes);
    if (process == nullptr) break;
    const char* pid = process->d_name;
    if (pid[0] < '1' || pid[0] > '9' || self == pid) continue;
    const std::string fds = std::string("/proc/") + pid + "/fd";
    DIR* list = ::opendir(fds.c_str());
    if (list == nullptr) continue;  // gone, or another user's
    while (const dirent* fd = ::readdir(list)) {
      if (fd->d_name[0] == '.') continue;
      struct stat st;
      if (::stat((fds + '/' + fd->d_name).c_str(), &st) == 0 && st.st_dev == target.st_dev &&
          st.st_ino == target.st_ino) {
        open = true;
        break;
      }
    }
    ::closedir(list);
  }
  ::closedir(processes);
  return open;
}

}  // namespace pellmor
