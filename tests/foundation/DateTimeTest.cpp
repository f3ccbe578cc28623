#include <gtest/gtest.h>
#include <time.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "foundation/DateTime.h"
#include "foundation/Exception.h"
#include "tests/support/TimeZone.h"

namespace pellmor {
namespace {

using test::ScopedTimeZone;

struct Calendar {
  int year, month, day, hour, minute, second, millisecond;
};

int64_t CalendarAsUtcSeconds(const Calendar& c) {
  struct tm fields = {};
  fields.tm_year = c.year - 1900;
  fields.tm_mon = c.month - 1;
  fields.tm_mday = c.day;
  fields.tm_hour = c.hour;
  fields.tm_min = c.minute;
  fields.tm_sec = c.second;
  return ::timegm(&fields);
}

// The date-time value of a calendar reading: days since 1899-12-30, the time
// of day as the fraction (subtracted before that day, as the format has it).
double DateTimeOf(const Calendar& c) {
  const int64_t seconds = CalendarAsUtcSeconds(c);
  const int64_t days = (seconds - (seconds % 86400 + 86400) % 86400) / 86400 + 25569;
  const double time = ((seconds % 86400 + 86400) % 86400 * 1000.0 + c.millisecond) / 86400000.0;
  return days < 0 ? days - time : days + time;
}

struct ZoneCase {
  const char* zone;
  Calendar local;
  int64_t utcOffset;  // seconds east of UTC that the local reading carries
};

TEST(DateTimeToUtcFileTimeTest, ReadsTheValueAsLocalTimeOfTheProcessZone) {
  const char* berlin = "CET-1CEST,M3.5.0,M10.5.0/3";
  const char* auckland = "NZST-12NZDT,M9.5.0,M4.1.0/3";
  const ZoneCase cases[] = {
      {"UTC0", {2014, 3, 5, 14, 7, 9, 250}, 0},
      {"CET-1", {2014, 3, 5, 14, 7, 9, 0}, 3600},  // one hour ahead: one hour earlier
      {"EST5", {2014, 3, 5, 14, 7, 9, 999}, -5 * 3600},
      {"<+0530>-5:30", {2014, 3, 5, 0, 10, 0, 0}, 5 * 3600 + 1800},  // the day before in UTC
      {berlin, {2021, 1, 15, 12, 0, 0, 0}, 3600},
      {berlin, {2021, 7, 1, 12, 0, 0, 0}, 7200},
      {berlin, {2021, 3, 28, 2, 30, 0, 0}, 3600},   // never happened: read with winter time
      {berlin, {2021, 10, 31, 2, 30, 0, 0}, 7200},  // happened twice: the earlier instant
      {auckland, {2021, 1, 1, 0, 30, 0, 0}, 13 * 3600},
      {auckland, {2021, 7, 1, 12, 0, 0, 0}, 12 * 3600},
      {"UTC0", {1969, 12, 31, 23, 0, 0, 0}, 0},
      {"UTC0", {1899, 12, 29, 6, 0, 0, 0}, 0},
      {"UTC0", {1601, 1, 1, 0, 0, 0, 0}, 0},
      {"CET-1", {9999, 12, 31, 23, 59, 59, 999}, 3600},
  };
  for (const ZoneCase& c : cases) {
    ScopedTimeZone zone(c.zone);
    const Calendar& l = c.local;
    SCOPED_TRACE(testing::Message() << c.zone << " " << l.year << "-" << l.month << "-" << l.day
                                    << " " << l.hour << ":" << l.minute);
    const int64_t utc = CalendarAsUtcSeconds(l) - c.utcOffset;
    EXPECT_EQ(DateTimeToUtcFileTime(DateTimeOf(l)),
              UnixTimeToFileTime(utc, l.millisecond * 1000000LL));
  }
}

TEST(DateTimeToUtcFileTimeTest, RoundsToTheMillisecondAndRefusesValuesOutOfRange) {
  ScopedTimeZone zone("UTC0");
  const double midnight = DateTimeOf({2020, 2, 29, 0, 0, 0, 0});
  const uint64_t nextDay = UnixTimeToFileTime(CalendarAsUtcSeconds({2020, 3, 1, 0, 0, 0, 0}), 0);
  EXPECT_EQ(DateTimeToUtcFileTime(midnight + 1 - 0.4 / 86400000.0), nextDay);
  EXPECT_EQ(DateTimeToUtcFileTime(-0.5), DateTimeToUtcFileTime(0.5));  // the time of day counts
  for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL, 2958466.0, -693594.0, 1e300}) {
    SCOPED_TRACE(bad);
    try {
      DateTimeToUtcFileTime(bad);
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Invalid date-time value: ", 0), 0u) << e.what();
    }
  }
}

TEST(UtcFileTimeToDateTimeTest, IsTheInverseOutsideTheFolds) {
  ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  for (const Calendar& c :
       {Calendar{2014, 3, 5, 14, 7, 9, 123}, Calendar{2021, 7, 1, 23, 59, 59, 999},
        Calendar{1899, 12, 29, 6, 0, 0, 0}, Calendar{1950, 6, 1, 0, 0, 0, 1}}) {
    const double value = DateTimeOf(c);
    EXPECT_NEAR(UtcFileTimeToDateTime(DateTimeToUtcFileTime(value)), value, 0.5 / 86400000.0)
        << c.year;
  }
  // Both instants of a repeated hour read as the same local time.
  const double repeated = DateTimeOf({2021, 10, 31, 2, 30, 0, 0});
  const int64_t first = CalendarAsUtcSeconds({2021, 10, 31, 0, 30, 0, 0});
  EXPECT_NEAR(UtcFileTimeToDateTime(UnixTimeToFileTime(first, 0)), repeated, 1e-9);
  EXPECT_NEAR(UtcFileTimeToDateTime(UnixTimeToFileTime(first + 3600, 0)), repeated, 1e-9);
}

}  // namespace
}  // namespace pellmor
