#include "tests/support/LockHolder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pellmor::test {

LockHolder::LockHolder(const std::string& path, int milliseconds) {
  int ready[2], release[2];
  if (::pipe(ready) != 0 || ::pipe(release) != 0) {
    ADD_FAILURE() << "cannot make a pipe";
    return;
  }
  child_ = ::fork();
  if (child_ == 0) {
    ::close(ready[0]);
    ::close(release[1]);  // else the pipe never ends for the poll below
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    const char state = fd >= 0 ? '1' : '0';
    if (::write(ready[1], &state, 1) != 1 || fd < 0) ::_exit(1);
    pollfd wait{release[0], POLLIN, 0};
    ::poll(&wait, 1, milliseconds);
    ::unlink(path.c_str());
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  release_ = release[1];
  char state = '0';
  if (child_ < 0 || ::read(ready[0], &state, 1) != 1 || state != '1')
    ADD_FAILURE() << "no process could hold " << path;
  ::close(ready[0]);
}

void LockHolder::Release() {
  if (release_ < 0) return;
  ::close(release_);  // the holder's poll sees the end of the pipe
  release_ = -1;
}

LockHolder::~LockHolder() {
  Release();
  if (child_ > 0) ::waitpid(child_, nullptr, 0);
}

}  // namespace pellmor::test
