// Ctrl-C (SIGINT) and SIGTERM while `quarv convert` runs: the first asks the
// run to stop at the next commit boundary, so that it keeps every commit
// converted so far and puts the working folder back at HEAD; a second one
// ends the process at once, which leaves a whole store (every write of it is
// atomic) and a marker from which the next run cleans up.
#pragma once

namespace pellmor {

class TStopSignals {
 public:
  // Catches SIGINT and SIGTERM until destroyed, when the earlier handlers
  // come back. One object at a time.
  TStopSignals();
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  // The first signal received, or 0.
  static int Received();
};

}  // namespace pellmor
