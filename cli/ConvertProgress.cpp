#include "cli/ConvertProgress.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "convert/ConversionPlan.h"
#include "foundation/Exception.h"

namespace pellmor {

namespace {

// Redrawing more often than this only costs time.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Duration(double seconds) {
  const long total = std::lround(seconds);
  if (total >= 3600) return Format("%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  return Format("%ld:%02ld", total / 60, total % 60);
}

const char* Plural(int64_t count) { return count == 1 ? "" : "s"; }

// The message's first line, for the one-line report of a commit.
std::string Subject(const std::string& message) {
  return message.substr(0, message.find_first_of("\r\n"));
}

}  // namespace

std::string ProgressBarText(int done, int total, double seconds, int width) {
  std::string figures = Format("  %d/%d", done, total);
  if (done > 0 && seconds > 0) {
    const double rate = done / seconds;
    figures += Format("  %.1f commits/s  %s left", rate,
                      Duration(std::max(total - done, 0) / rate).c_str());
  } else {
    figures += "  -- commits/s  -- left";
  }
  // "[" + bar + "]" in front of the figures, when at least a little bar fits.
  const int bar_width = std::min(40, width - static_cast<int>(figures.size()) - 2);
  if (bar_width < 5) return figures.substr(2, static_cast<size_t>(std::max(width, 0)));
  const int filled =
      total > 0 ? static_cast<int>(int64_t{bar_width} * std::clamp(done, 0, total) / total) : 0;
  return "[" + std::string(static_cast<size_t>(filled), '#') +
         std::string(static_cast<size_t>(bar_width - filled), '-') + "]" + figures;
}

TConvertProgress::TConvertProgress(std::ostream& out, const std::string& folder, bool terminal,
                                   int width, bool force, std::function<bool()> stopRequested)
    : out_(out),
      folder_(folder),
      terminal_(terminal),
      width_(width),
      force_(force),
      stopRequested_(std::move(stopRequested)) {}

void TConvertProgress::Planned(const TConversionPlan& plan) {
  total_ = plan.ToConvert();
  for (const std::string& warning : plan.Warnings()) out_ << "Warning: " << warning << '\n';
  const int converted = plan.CommitCount() - total_;
  if (converted > 0 && total_ > 0)
    out_ << Format("%d of %d commits are in the store already; converting the other %d.\n",
                   converted, plan.CommitCount(), total_);
  out_.flush();
}

bool TConvertProgress::ConfirmOverwrite(const std::vector<std::string>& files) {
  if (force_) return true;
  throw Exception(
      "The working folder holds uncommitted changes that converting would overwrite:\n" +
      OverwrittenFilesText(files) + "Commit or stash them, or convert with --force.");
}

void TConvertProgress::CommitBegun(int number, int, const TGitCommitInfo&) {
  if (terminal_) DrawBar(number - 1, false);
}

void TConvertProgress::CommitDone(int number, const TGitCommitInfo& commit, int revision) {
  if (terminal_) {
    DrawBar(number, false);
    return;
  }
  const std::string recorded = revision != 0 ? Format("revision %d", revision) : "unchanged";
  out_ << Format("%d/%d  %s  %s  ", number, total_, commit.ShortId.c_str(), recorded.c_str())
       << Subject(commit.Message) << '\n';
}

void TConvertProgress::Finish(const TConversionSummary& summary) {
  if (terminal_ && bar_shown_) {
    DrawBar(summary.Commits, true);
    out_ << '\n';
  }
  if (summary.Cancelled) return;
  if (summary.CleanedUp)
    out_ << "Removed what an interrupted run had left in the working folder.\n";
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  const std::string converted =
      Format("%d commit%s into %d revision%s in %.1f s", summary.Commits, Plural(summary.Commits),
             summary.Revisions, Plural(summary.Revisions), seconds);
  if (summary.Stopped) {
    const int left = summary.Remaining();
    out_ << "Stopped: converted " << converted << "; the working folder is back at HEAD.\n"
         << Format("%d commit%s left to convert: run 'quarv convert %s' again to go on.\n", left,
                   Plural(left), folder_.c_str());
  } else if (summary.Total > 0 && summary.Commits == 0) {
    out_ << Format("Nothing to convert: all %d commit%s of the history %s in the store already.\n",
                   summary.Total, Plural(summary.Total), summary.Total == 1 ? "is" : "are");
  } else {
    out_ << "Converted " << converted << ".\n";
  }
  out_.flush();
}

void TConvertProgress::DrawBar(int done, bool force) {
  const Clock::time_point now = Clock::now();
  if (!force && bar_shown_ && now - drawn_ < kRedrawInterval) return;
  drawn_ = now;
  bar_shown_ = true;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  // Back to the line's start, the bar, then clear what a longer bar left.
  out_ << '\r' << ProgressBarText(done, total_, seconds, width_) << "\x1b[K";
  out_.flush();
}

}  // namespace pellmor
