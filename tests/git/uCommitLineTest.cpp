#include <gtest/gtest.h>
#include <time.h>

#include "git/uCommitLine.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TimeZone.h"

namespace pellmor {
namespace {

TEST(CommitDateFormatTest, DateAloneAtMidnightOtherwiseDateAndTime) {
  struct Case {
    double value;
    const char* expected;
  };
  const double mar_5_2014 = 41703;  // days since 1899-12-30
  for (const Case& c :
       {Case{mar_5_2014, "2014-03-05"},
        Case{mar_5_2014 + (14 * 3600 + 7 * 60 + 9) / 86400.0, "2014-03-05 14:07:09"},
        Case{mar_5_2014 + 1 / 86400.0, "2014-03-05 00:00:01"},
        Case{mar_5_2014 + 86399 / 86400.0, "2014-03-05 23:59:59"}, Case{25569, "1970-01-01"},
        Case{2, "1900-01-01"}, Case{-1.25, "1899-12-29 06:00:00"}}) {
    EXPECT_EQ(CommitDateFormat(c.value), c.expected) << c.value;
  }
}

TEST(CommitDateFormatTest, AbsurdValuesStillGiveText) {
  for (double value : {1e300, -1e300, std::numeric_limits<double>::quiet_NaN()})
    EXPECT_FALSE(CommitDateFormat(value).empty());
}

TEST(CommitListLineTest, JoinsTheFieldsAndKeepsLineBreaks) {
  TGitCommitInfo info;
  info.ShortId = "0123abcde";
  info.DateTime = 41703 + 0.5;
  info.AuthorName = "Ann";
  info.AuthorEmail = "ann@example.com";
  info.Message = "Subject\n\nBody\n";
  EXPECT_EQ(CommitListLine(info),
            "0123abcde  2014-03-05 12:00:00  Ann (ann@example.com)  Subject\n\nBody\n");
}

// The listed time is the committer's own wall-clock time, whatever zone this
// machine is in: a commit made at midnight in UTC+02:00 shows its date alone.
TEST(CommitListLineTest, MidnightCommitInTheCommittersZoneShowsTheDateAlone) {
  const test::ScopedTimeZone zone("America/New_York");
  test::TempDir dir;
  test::GitRepoBuilder repo(dir.Path());
  test::CommitOptions options;
  // 2014-03-05 00:00:00 at +02:00 is 2014-03-04 22:00:00 UTC.
  options.Author.Seconds = 1393970400;
  options.Author.OffsetMinutes = 120;
  repo.Commit("midnight", options);
  std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(repo.Folder());
  git_oid id;
  ASSERT_TRUE(walk->Next(id));
  const TGitCommitInfo info = ReadCommit(LookupCommit(walk->Repository(), id).get());
  EXPECT_EQ(CommitListLine(info),
            info.ShortId + "  2014-03-05  Ann Author (ann@example.com)  midnight");
}

}  // namespace
}  // namespace pellmor
