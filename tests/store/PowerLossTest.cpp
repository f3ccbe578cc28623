// Cuts the power at every change that a sequence of Commits makes to the
// disk, keeping of what was not yet synced either nothing at all or every
// folder entry without its unsynced bytes, and checks that every revision
// reported recorded survives and that the next Commit goes on; with each
// Commit recording its revision, and with revisions recorded in batches.
#include <gtest/gtest.h>

#include <string>

#include "foundation/FileCalls.h"
#include "tests/support/CommitSequence.h"
#include "tests/support/FaultInjectingFileCalls.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

using TCrashKind = test::TFaultInjectingFileCalls::TCrashKind;

// Puts calls in place for a scope.
class ScopedFileCalls {
 public:
  explicit ScopedFileCalls(TFileCalls& calls) : previous_(ReplaceFileCalls(&calls)) {}
  ~ScopedFileCalls() { ReplaceFileCalls(previous_); }
  ScopedFileCalls(const ScopedFileCalls&) = delete;
  ScopedFileCalls& operator=(const ScopedFileCalls&) = delete;

 private:
  TFileCalls* previous_;
};

struct TCase {
  TCrashKind Crash;
  int BatchEvery;  // 0: each Commit records its revision itself
};

class PowerLossTest : public ::testing::TestWithParam<TCase> {};

TEST_P(PowerLossTest, EveryReportedRevisionSurvivesACrashAtAnyChange) {
  int crashes = 0;
  for (int point = 1;; ++point) {
    ASSERT_LT(point, 500) << "the commit sequence never finished";
    test::TempDir dir;
    const std::string root = dir.Path();
    test::PrepareSequence(root);
    test::TFaultInjectingFileCalls calls(root);
    calls.Arm(point);
    int reported = 0;
    {
      ScopedFileCalls installed(calls);
      try {
        test::RunCommitSequence(
            root, [&](int k) { reported = k; }, GetParam().BatchEvery);
      } catch (const test::TPowerLoss&) {
      }
    }
    if (!calls.Crashed()) {
      EXPECT_EQ(reported, test::kSequenceRevisions);
      EXPECT_EQ(test::RecordedRevisions(root).size(),
                static_cast<size_t>(test::kSequenceRevisions));
      break;
    }
    ++crashes;
    SCOPED_TRACE("power lost at change " + std::to_string(point) + ", after " +
                 std::to_string(reported) + " revisions were reported recorded");
    calls.SimulateCrash(GetParam().Crash);
    EXPECT_GE(test::CheckRecordedRevisionsAndGoOn(root), reported)
        << "a revision reported recorded was lost";
  }
  // Each Commit links the previous revision, writes the new one, removes the
  // index and rewrites the history, each a few changes.
  EXPECT_GE(crashes, 8 * test::kSequenceRevisions) << "too few changes were reached";
}

INSTANTIATE_TEST_SUITE_P(Crashes, PowerLossTest,
                         ::testing::Values(TCase{TCrashKind::DropUnsynced, 0},
                                           TCase{TCrashKind::KeepEntriesDropBytes, 0},
                                           TCase{TCrashKind::DropUnsynced, 2},
                                           TCase{TCrashKind::KeepEntriesDropBytes, 2}),
                         [](const auto& info) {
                           return std::string(info.param.Crash == TCrashKind::DropUnsynced
                                                  ? "DropUnsynced"
                                                  : "KeepEntriesDropBytes") +
                                  (info.param.BatchEvery > 0 ? "InBatchesOfTwo" : "");
                         });

}  // namespace
}  // namespace pellmor
