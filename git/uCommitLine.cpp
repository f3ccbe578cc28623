#include "git/uCommitLine.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "foundation/Exception.h"

namespace pellmor {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDelphiEpochToUnixEpochDays = 25569;
// Far beyond any real commit (about 2.7 billion years), yet small enough that
// no arithmetic below can overflow on a crafted time stamp.
constexpr double kLargestDays = 1e12;

// Year, month and day of a count of days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t days, int64_t& year, int& month, int& day) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

std::string CommitDateFormat(double dateTime) {
  if (!std::isfinite(dateTime)) dateTime = 0;
  dateTime = std::fmax(-kLargestDays, std::fmin(kLargestDays, dateTime));
  // The whole part counts days, the fraction's magnitude is the time of day
  // (also for values before 1899-12-30).
  const int64_t total = std::llround(dateTime * kSecondsPerDay);
  const int64_t days = total / kSecondsPerDay;
  const int64_t time = std::llabs(total % kSecondsPerDay);
  int64_t year;
  int month, day;
  CivilFromDays(days - kDelphiEpochToUnixEpochDays, year, month, day);
  std::string text = Format("%04lld-%02d-%02d", static_cast<long long>(year), month, day);
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
