// How `quarv convert` shows a run: on a terminal, one live progress bar
// (commits done of total, commits per second, time left) redrawn in place;
// anywhere else, one plain line per converted commit.
#pragma once

#include <chrono>
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
  // out is borrowed. total: the commits the walk will yield. terminal: draw
  // the bar (width columns) instead of lines. force: go on over uncommitted
  // changes instead of refusing.
  TConvertProgress(std::ostream& out, int total, bool terminal, int width, bool force);

  // Raises, unless force was given, an error that lists the files.
  bool ConfirmOverwrite(const std::vector<std::string>& files) override;
  void CommitBegun(int number, const TGitCommitInfo& commit) override;
  void CommitDone(int number, const TGitCommitInfo& commit, int revision) override;
  // Ends the bar's line (terminal) and writes the summary line.
  void Finish(const TConversionSummary& summary);

 private:
  using Clock = std::chrono::steady_clock;
  void DrawBar(int done, bool force);

  std::ostream& out_;
  int total_;
  bool terminal_;
  int width_;
  bool force_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point drawn_{};  // when the bar was last drawn
  bool bar_shown_ = false;
};

}  // namespace pellmor
