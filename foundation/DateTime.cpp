#include "foundation/DateTime.h"

#include <cmath>
#include <cstdlib>

#include "foundation/Exception.h"
#include "foundation/Platform.h"

namespace pellmor {

namespace {

constexpr int64_t kMinDay = -693593;  // 0001-01-01 as a date-time value
constexpr int64_t kMaxDay = 2958465;  // 9999-12-31

// Offset of local time from UTC, in seconds, at the POSIX instant t.
int64_t UtcOffsetAt(int64_t t) {
  TLocalTime local;
  return LocalTimeAt(t, local) ? local.UtcOffset : 0;
}

}  // namespace

uint64_t UnixTimeToFileTime(int64_t seconds, int64_t nanoseconds) {
  return static_cast<uint64_t>(seconds * kFileTimeTicksPerSecond + nanoseconds / 100) +
         kUnixEpochAsFileTime;
}

TUnixTime FileTimeToUnixTime(uint64_t fileTime) {
  constexpr int64_t kEpochSeconds = kUnixEpochAsFileTime / kFileTimeTicksPerSecond;
  return {static_cast<int64_t>(fileTime / kFileTimeTicksPerSecond) - kEpochSeconds,
          static_cast<int64_t>(fileTime % kFileTimeTicksPerSecond) * 100};
}

// Both directions after H. Hinnant's algorithms for the proleptic Gregorian calendar.
TCivilDate CivilFromDays(int64_t days) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  TCivilDate date;
  date.Day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  date.Month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  date.Year = yearOfEra + era * 400 + (date.Month <= 2 ? 1 : 0);
  return date;
}

int64_t DaysFromCivil(const TCivilDate& date) {
  const int64_t year = date.Year - (date.Month <= 2 ? 1 : 0);
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (date.Month + (date.Month > 2 ? -3 : 9)) + 2) / 5 + date.Day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

uint64_t DateTimeToUtcFileTime(double dateTime) {
  // A negative value's fraction is the time of day all the same (-1.25 is
  // 1899-12-29 06:00), so the valid range reaches one day below kMinDay.
  if (!(dateTime > kMinDay - 1.0 && dateTime < kMaxDay + 1.0))
    throw Exception(Format("Invalid date-time value: %g", dateTime));
  // Rounded to the millisecond as a whole, so 23:59:59.9996 carries into the next day.
  const int64_t totalMs = std::llround(dateTime * static_cast<double>(kMillisecondsPerDay));
  const int64_t day = totalMs / kMillisecondsPerDay;
  if (day < kMinDay || day > kMaxDay)
    throw Exception(Format("Invalid date-time value: %g", dateTime));
  const int64_t msOfDay = std::llabs(totalMs) % kMillisecondsPerDay;
  // The wall-clock reading as if it were UTC; the true instant lies within a
  // day of it, so the offsets in force a day either side cover every case.
  const int64_t wall = (day - kUnixEpochAsDateTime) * kSecondsPerDay + msOfDay / 1000;
  bool found = false;
  int64_t instant = 0;
  for (int64_t probe : {wall - kSecondsPerDay, wall, wall + kSecondsPerDay}) {
    const int64_t offset = UtcOffsetAt(probe);
    const int64_t candidate = wall - offset;
    if (UtcOffsetAt(candidate) != offset) continue;
    if (!found || candidate < instant) instant = candidate;
    found = true;
  }
  if (!found) instant = wall - UtcOffsetAt(wall - kSecondsPerDay);
  return UnixTimeToFileTime(instant, (msOfDay % 1000) * 1000000);
}

double UtcFileTimeToDateTime(uint64_t fileTime) {
  const int64_t ticks = static_cast<int64_t>(fileTime - kUnixEpochAsFileTime);
  int64_t seconds = ticks / kFileTimeTicksPerSecond;
  int64_t remainder = ticks % kFileTimeTicksPerSecond;
  if (remainder < 0) --seconds, remainder += kFileTimeTicksPerSecond;
  TLocalTime local;
  if (!LocalTimeAt(seconds, local))
    throw Exception(Format("Invalid file time: %llu", static_cast<unsigned long long>(fileTime)));
  const int64_t days = DaysFromCivil({local.Year, local.Month, local.Day}) + kUnixEpochAsDateTime;
  const int64_t ms =
      ((local.Hour * 60LL + local.Minute) * 60 + local.Second) * 1000 + remainder / 10000;
  const double time = static_cast<double>(ms) / static_cast<double>(kMillisecondsPerDay);
  // Before 1899-12-30 the day count is negative and the time of day is subtracted.
  return days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time;
}

}  // namespace pellmor
