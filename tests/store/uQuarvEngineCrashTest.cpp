// Kills a process at every write instant of a sequence of Commits and checks
// that the store it leaves behind keeps every recorded revision, passes the
// store's checks and takes the next Commit: one revision at a time, and in
// batches (a killed batch leaves several containers the history does not list).
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "foundation/Platform.h"
#include "store/QuarvReader.h"
#include "store/StoreVerifier.h"
#include "tests/support/CommitSequence.h"
#include "tests/support/KilledChild.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

TEST(CommitCrashTest, EveryRecordedRevisionSurvivesAKillAtAnyWrite) {
  for (const int batchEvery : {0, 3}) {
    SCOPED_TRACE("batches of " + std::to_string(batchEvery));
    int killed = 0;
    for (int point = 1;; ++point) {
      ASSERT_LT(point, 200) << "the commit sequence never finished";
      test::TempDir dir;
      const std::string root = dir.Path();
      test::PrepareSequence(root);

      const test::TChildEnd end = test::RunArmedChild(point, [&] {
        test::RunCommitSequence(root, {}, batchEvery);
        return 0;
      });
      if (!end.Killed) {
        ASSERT_EQ(end.Status, 0) << "the commits failed without a kill";
        EXPECT_EQ(test::RecordedRevisions(root).size(),
                  static_cast<size_t>(test::kSequenceRevisions));
        break;
      }
      ++killed;
      SCOPED_TRACE("killed at write instant " + std::to_string(point));

      // What the kill left (the interrupted recording's NextNumber and
      // container included) is a whole store to `quarv verify`.
      std::string problems;
      const TQuarvReader reader(root);
      TStoreVerifier(reader, [&](const std::string& file, const std::string& text) {
        problems += file + ": " + text + "\n";
      }).Run();
      EXPECT_EQ(problems, "");

      test::CheckRecordedRevisionsAndGoOn(root);
    }
    EXPECT_GE(killed, 4 * test::kSequenceRevisions) << "too few write instants were reached";
  }
}

}  // namespace
}  // namespace pellmor
