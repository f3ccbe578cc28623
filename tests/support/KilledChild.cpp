#include "tests/support/KilledChild.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

#include "foundation/Platform.h"

namespace pellmor::test {

TChildEnd RunArmedChild(int point, const std::function<int()>& body) {
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ArmCrashPoints(point);
    int status = 2;
    try {
      status = body();
    } catch (...) {
    }
    _exit(status);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) throw std::runtime_error("waitpid failed");
  TChildEnd end;
  if (WIFEXITED(status)) end.Status = WEXITSTATUS(status);
  end.Killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  return end;
}

}  // namespace pellmor::test
