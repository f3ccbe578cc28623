#include <gtest/gtest.h>

#include "cli/ConvertProgress.h"

namespace pellmor {
namespace {

TEST(ProgressBarTextTest, ShowsDoneOfTotalRateAndTimeLeftWithinTheWidth) {
  const std::string empty40(40, '-');
  struct Case {
    const char* name;
    int done, total;
    double seconds;
    int width;
    std::string expected;
  };
  for (const Case& c : {
           Case{"nothing done yet", 0, 4, 0.0, 80, "[" + empty40 + "]  0/4  -- commits/s  -- left"},
           Case{"a quarter", 1, 4, 2.0, 80,
                "[" + std::string(10, '#') + std::string(30, '-') +
                    "]  1/4  0.5 commits/s  0:06 left"},
           Case{"hours left; the bar gives way to the figures", 1, 10000, 1.0, 79,
                "[" + std::string(39, '-') + "]  1/10000  1.0 commits/s  2:46:39 left"},
           Case{"more commits than counted", 5, 4, 1.0, 80,
                "[" + std::string(40, '#') + "]  5/4  5.0 commits/s  0:00 left"},
           Case{"no room for a bar", 2, 4, 1.0, 20, "2/4  2.0 commits/s  "},
           Case{"empty history", 0, 0, 0.0, 80, "[" + empty40 + "]  0/0  -- commits/s  -- left"},
       }) {
    EXPECT_EQ(ProgressBarText(c.done, c.total, c.seconds, c.width), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace pellmor
