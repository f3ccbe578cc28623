// Revision times in ISO 8601 with the local zone's offset, in zones on both
// sides of UTC, with half-hour offsets and summer time.
#include <gtest/gtest.h>

#include "cli/IsoDate.h"
#include "foundation/DateTime.h"
#include "foundation/Platform.h"
#include "tests/support/TimeZone.h"

namespace pellmor {
namespace {

TEST(IsoDateTest, LocalTimeWithTheZonesOffset) {
  test::ScopedTimeZone zone("UTC0");
  // 2023-11-14 22:13:20 UTC, and 2023-07-01 12:00:00.9 UTC (fractions dropped).
  const uint64_t winter = UnixTimeToFileTime(1700000000, 0);
  const uint64_t summer = UnixTimeToFileTime(1688212800, 900000000);
  const struct {
    const char* tz;
    uint64_t time;
    const char* text;
  } cases[] = {
      {"UTC0", winter, "2023-11-14T22:13:20+00:00"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", winter, "2023-11-14T23:13:20+01:00"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", summer, "2023-07-01T14:00:00+02:00"},
      {"EST5EDT,M3.2.0,M11.1.0", winter, "2023-11-14T17:13:20-05:00"},
      {"IST-5:30", winter, "2023-11-15T03:43:20+05:30"},
      {"NST3:30", summer, "2023-07-01T08:30:00-03:30"},
      {"UTC0", 0, "1601-01-01T00:00:00+00:00"},
  };
  for (const auto& c : cases) {
    zone.Set(c.tz);
    EXPECT_EQ(IsoLocalDate(c.time), c.text) << c.tz;
  }
}

TEST(IsoDateTest, ATimeBeyondTheCalendarIsReportedNotPrinted) {
  const test::ScopedTimeZone zone("UTC0");
  EXPECT_EQ(IsoLocalDate(UINT64_MAX), "(invalid date)");
}

}  // namespace
}  // namespace pellmor
