// How `quarv convert` shows a run: what it resumes and what it found, then
// on a terminal one live progress bar (commits done of the run's total,
// commits per second, time left) redrawn in place, anywhere else one plain
// line per converted commit; and at the end what was converted, or how to go
// on after a stop.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "convert/uConversionRun.h"

namespace pellmor {

// The bar's text for `done` of `total` commits after `seconds`, at most
// `width` characters: "[####-----]  done/total  R commits/s  M:SS left".
// Rate and time left read "--" until one commit is done; the bar shrinks (to
// nothing) when the width is small.
std::string ProgressBarText(int done, int total, double seconds, int width);

class TConvertProgress : public TConversionProgress {
 public:
  // out is borrowed. folder: the working folder, as the way to go on names
  // it. terminal: draw the bar (width columns) instead of lines. force: go
  // on over uncommitted changes instead of refusing. stopRequested: asked at
  // each commit boundary.
  TConvertProgress(std::ostream& out, const std::string& folder, bool terminal, int width,
                   bool force, std::function<bool()> stopRequested);

  // Warns of converted commits HEAD no longer reaches and of revisions no
  // commit matches, and says what is converted already.
  void Planned(const TConversionPlan& plan) override;
  // Raises, unless force was given, an error that lists the files.
  bool ConfirmOverwrite(const std::vector<std::string>& files) override;
  void CommitBegun(int number, int position, const TGitCommitInfo& commit) override;
  void CommitDone(int number, const TGitCommitInfo& commit, int revision) override;
  bool StopRequested() override { return stopRequested_(); }
  // Ends the bar's line (terminal) and writes the summary: what the run
  // converted, that there was nothing to convert, or (stopped) what is left
  // and how to go on.
  void Finish(const TConversionSummary& summary);

 private:
  using Clock = std::chrono::steady_clock;
  void DrawBar(int done, bool force);

  std::ostream& out_;
  std::string folder_;
  int total_ = 0;
  bool terminal_;
  int width_;
  bool force_;
  std::function<bool()> stopRequested_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point drawn_{};  // when the bar was last drawn
  bool bar_shown_ = false;
};

}  // namespace pellmor
