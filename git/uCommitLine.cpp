#include "git/uCommitLine.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "foundation/DateTime.h"
#include "foundation/Exception.h"

namespace pellmor {

namespace {

// Far beyond any real commit (about 2.7 billion years), yet small enough that
// no arithmetic below can overflow on a crafted time stamp.
constexpr double kLargestDays = 1e12;

}  // namespace

std::string CommitDateFormat(double dateTime) {
  if (!std::isfinite(dateTime)) dateTime = 0;
  dateTime = std::fmax(-kLargestDays, std::fmin(kLargestDays, dateTime));
  // The whole part counts days, the fraction's magnitude is the time of day
  // (also for values before 1899-12-30).
  const int64_t total = std::llround(dateTime * kSecondsPerDay);
  const int64_t days = total / kSecondsPerDay;
  const int64_t time = std::llabs(total % kSecondsPerDay);
  const TCivilDate date = CivilFromDays(days - kUnixEpochAsDateTime);
  std::string text =
      Format("%04lld-%02d-%02d", static_cast<long long>(date.Year), date.Month, date.Day);
  if (time != 0)
    text += Format(" %02d:%02d:%02d", static_cast<int>(time / 3600),
                   static_cast<int>(time / 60 % 60), static_cast<int>(time % 60));
  return text;
}

std::string CommitListLine(const TGitCommitInfo& commit) {
  return Format("%s  %s  %s (%s)  %s", commit.ShortId.c_str(),
                CommitDateFormat(commit.DateTime).c_str(), commit.AuthorName.c_str(),
                commit.AuthorEmail.c_str(), commit.Message.c_str());
}

}  // namespace pellmor
