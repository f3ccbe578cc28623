// Runs a piece of a test in a child process that a crash point may kill.
#pragma once

#include <functional>

namespace pellmor::test {

// What became of a child run by RunArmedChild.
struct TChildEnd {
  bool Killed = false;  // killed at the armed crash point (SIGKILL)
  int Status = -1;      // the exit status when it ran to its end; -1 for any other signal
};

// Forks; the child arms the crash points (ArmCrashPoints(point)), runs body
// and exits with what it returns (2 when it throws). The parent waits for it.
TChildEnd RunArmedChild(int point, const std::function<int()>& body);

}  // namespace pellmor::test
