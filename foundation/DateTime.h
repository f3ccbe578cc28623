// The program's two forms of time and the conversions between them:
//
// - a date-time value: a double counting whole days since 1899-12-30 00:00,
//   the time of day as the fraction (its magnitude, before that day), in
//   local time;
// - a FILETIME: the count of 100-ns intervals since 1601-01-01 00:00 UTC, the
//   form the store keeps its times in.
//
// Both are related to POSIX time (seconds since 1970-01-01 00:00 UTC) here,
// and to the calendar (proleptic Gregorian). Local time is the process's time
// zone (TZ), read through the platform layer.
#pragma once

#include <cstdint>

namespace pellmor {

inline constexpr int64_t kSecondsPerDay = 86400;
inline constexpr int64_t kMillisecondsPerDay = 86400000;
// 1970-01-01 as a date-time value: days since 1899-12-30.
inline constexpr int64_t kUnixEpochAsDateTime = 25569;
inline constexpr int64_t kFileTimeTicksPerSecond = 10000000;
// 1970-01-01 00:00 UTC as a FILETIME.
inline constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

// FILETIME of a POSIX instant.
uint64_t UnixTimeToFileTime(int64_t seconds, int64_t nanoseconds);

// The POSIX instant of a FILETIME, the inverse of UnixTimeToFileTime:
// Seconds (negative before 1970) and Nanoseconds (0 to 999,999,900).
struct TUnixTime {
  int64_t Seconds = 0;
  int64_t Nanoseconds = 0;
};
TUnixTime FileTimeToUnixTime(uint64_t fileTime);

// A day of the proleptic Gregorian calendar.
struct TCivilDate {
  int64_t Year = 1970;
  int Month = 1;  // 1 to 12
  int Day = 1;    // 1 to 31
};
// The date of a count of days since 1970-01-01, and the inverse.
TCivilDate CivilFromDays(int64_t days);
int64_t DaysFromCivil(const TCivilDate& date);

// A local date-time value (to the millisecond) as a UTC FILETIME, through
// the process's time zone. A local time that occurs twice (clocks set back)
// is taken as the earlier instant; one that never occurs (clocks set
// forward) is read with the offset in force before the change, which moves
// it forward by the gap. Raises "Invalid date-time value: <value>" outside
// the years 1 to 9999.
uint64_t DateTimeToUtcFileTime(double dateTime);

// The inverse: a UTC FILETIME as a local date-time value of the process's
// time zone, to the millisecond. Raises "Invalid file time: <value>" for a
// time the C library cannot express as local time.
double UtcFileTimeToDateTime(uint64_t fileTime);

}  // namespace pellmor
