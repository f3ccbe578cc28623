#include "cli/StopSignals.h"

#include <signal.h>
#include <unistd.h>

namespace pellmor {

namespace {

volatile sig_atomic_t received = 0;
struct sigaction previous_int, previous_term;

void OnStopSignal(int signal) {
  if (received != 0) {
    // The second time: at once, as the default action ends the process.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  received = signal;
  static const char kNote[] =
      "\nStopping after the commit under way; press Ctrl-C again to stop at once.\n";
  const ssize_t written = ::write(STDERR_FILENO, kNote, sizeof kNote - 1);
  (void)written;  // nothing to do when standard error is gone
}

}  // namespace

TStopSignals::TStopSignals() {
  received = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, &previous_int);
  ::sigaction(SIGTERM, &action, &previous_term);
}

TStopSignals::~TStopSignals() {
  ::sigaction(SIGINT, &previous_int, nullptr);
  ::sigaction(SIGTERM, &previous_term, nullptr);
}

int TStopSignals::Received() { return received; }

}  // namespace pellmor
