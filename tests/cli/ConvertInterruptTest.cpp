// `quarv convert` interrupted and disturbed, as the built tool: Ctrl-C and
// SIGTERM stop it at a commit boundary with the folder back at HEAD and the
// next run goes on; a second Ctrl-C stops it at once and still leaves a whole
// store; a second run on the same folder is refused; `git status` run over
// and over beside it does not break it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "foundation/Platform.h"
#include "tests/support/RunProgram.h"
#include "tests/support/StoreRevisions.h"
#include "tests/support/TempDir.h"

namespace pellmor {
namespace {

namespace fs = std::filesystem;

constexpr int kCommits = 40;

struct ToolRun {
  int Status = -1;
  std::string Out, Err;
};

ToolRun Quarv(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {test::BuiltProgram("quarv")};
  argv.insert(argv.end(), args.begin(), args.end());
  ToolRun run;
  run.Status = test::RunProgram(argv, "/", {}, run.Out, run.Err);
  return run;
}

// Git, isolated from the machine's configuration, in folder.
std::string Git(const std::string& folder, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"git", "-C", folder};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string out, err;
  const int status =
      test::RunProgram(argv, "/", {"GIT_CONFIG_NOSYSTEM=1", "HOME=/nonexistent"}, out, err);
  if (status != 0) ADD_FAILURE() << "git failed (" << status << "): " << err;
  return out;
}

// Waits (without a bound of its own: a hang fails the test program's
// timeout) until test() holds.
void WaitUntil(const std::function<bool()>& test) {
  while (!test()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Each of kCommits commits rewrites one of three files of 100 kB random
// bytes, so that converting takes long enough to be disturbed part way.
class ConvertInterruptTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    history_ = new test::TempDir;
    const std::string folder = *history_ / "repo";
    ASSERT_EQ(test::Run("git init -q -b main '" + folder + "' && cd '" + folder +
                        "' && export GIT_CONFIG_NOSYSTEM=1 HOME=/nonexistent && for i in $(seq 1 " +
                        std::to_string(kCommits) +
                        "); do head -c 100000 /dev/urandom > f$((i % 3)).bin && git add -A && git "
                        "-c user.name=T -c user.email=t@example.com commit -qm \"Commit $i\"; "
                        "done"),
              0);
  }
  static void TearDownTestSuite() { delete history_; }

  void SetUp() override {
    ASSERT_EQ(test::Run("cp -a '" + *history_ / "repo" + "' '" + Folder() + "'"), 0);
  }

  std::string Folder() const { return dir_ / "work/"; }
  std::string Out() const { return dir_ / "out.txt"; }
  std::string Err() const { return dir_ / "err.txt"; }

  // Starts quarv convert in the background.
  std::unique_ptr<test::BackgroundProgram> Start() {
    return std::make_unique<test::BackgroundProgram>(
        std::vector<std::string>{test::BuiltProgram("quarv"), "convert", Folder()}, Out(), Err());
  }
  // Until the run has begun its first checkout (its marker is written
  // before it); the record is written only with a batch of revisions.
  void WaitForTheFirstCommit() {
    WaitUntil([&] { return FileExists(Folder() + ".Quarv/Run.txt"); });
  }

  // The store is whole and holds every commit, the folder is at HEAD.
  void ExpectConvertedWhole() {
    EXPECT_EQ(test::ReadStoreRevisions(Folder()).size(), static_cast<size_t>(kCommits));
    const ToolRun verify = Quarv({"verify", "--git", Folder()});
    EXPECT_EQ(verify.Status, 0) << verify.Out << verify.Err;
    EXPECT_EQ(Git(Folder(), {"status", "--porcelain"}), "");
  }

  static test::TempDir* history_;
  test::TempDir dir_;
};

test::TempDir* ConvertInterruptTest::history_ = nullptr;

TEST_F(ConvertInterruptTest, ASignalStopsTheRunAtACommitBoundaryAndTheNextRunGoesOn) {
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(strsignal(signal));
    fs::remove_all(Folder());
    SetUp();
    const auto run = Start();
    WaitForTheFirstCommit();
    run->Signal(signal);
    const int ended = run->Wait();
    ASSERT_TRUE(WIFEXITED(ended)) << "ended by the signal itself";
    EXPECT_EQ(WEXITSTATUS(ended), status);
    const std::string out = test::ReadFile(Out());
    EXPECT_NE(out.find("Stopped: converted "), std::string::npos) << out;
    EXPECT_NE(out.find("; the working folder is back at HEAD.\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" left to convert: run 'quarv convert " + Folder() + "' again to go on.\n"),
              std::string::npos)
        << out;
    EXPECT_NE(test::ReadFile(Err()).find("Stopping after the commit under way"), std::string::npos);
    EXPECT_EQ(Git(Folder(), {"status", "--porcelain"}), "");
    const size_t converted = test::ReadStoreRevisions(Folder()).size();
    EXPECT_LT(converted, static_cast<size_t>(kCommits));

    const ToolRun next = Quarv({"convert", Folder()});
    ASSERT_EQ(next.Status, 0) << next.Err;
    EXPECT_EQ(next.Out.rfind(std::to_string(converted) + " of " + std::to_string(kCommits) +
                                 " commits are in the store already; converting the other " +
                                 std::to_string(kCommits - converted) + ".\n",
                             0),
              0u)
        << next.Out;
    ExpectConvertedWhole();
  }
}

TEST_F(ConvertInterruptTest, ASecondCtrlCStopsAtOnceAndLeavesAWholeStore) {
  const auto run = Start();
  WaitForTheFirstCommit();
  run->Signal(SIGINT);
  WaitUntil([&] { return test::ReadFile(Err()).find("Stopping") != std::string::npos; });
  run->Signal(SIGINT);
  const int ended = run->Wait();
  // At once, by the signal; or, when the stop came first, as a stop does.
  EXPECT_TRUE((WIFSIGNALED(ended) && WTERMSIG(ended) == SIGINT) ||
              (WIFEXITED(ended) && WEXITSTATUS(ended) == 130))
      << ended;
  const ToolRun verify = Quarv({"verify", Folder()});
  EXPECT_EQ(verify.Status, 0) << verify.Out;

  const ToolRun next = Quarv({"convert", Folder()});  // no --force
  ASSERT_EQ(next.Status, 0) << next.Err;
  ExpectConvertedWhole();
}

TEST_F(ConvertInterruptTest, ASecondRunOnTheSameFolderIsRefused) {
  const auto first = Start();
  WaitForTheFirstCommit();
  const ToolRun second = Quarv({"convert", Folder()});
  const bool firstStillRan = first->Running();
  EXPECT_EQ(second.Status, 1);
  if (firstStillRan) {
    EXPECT_EQ(second.Err, "Another conversion run is writing the store '" + Folder() +
                              ".Quarv/'; it can be converted again once that run has ended.\n");
  }
  const int ended = first->Wait();
  EXPECT_TRUE(WIFEXITED(ended) && WEXITSTATUS(ended) == 0) << test::ReadFile(Err());
  ExpectConvertedWhole();
}

TEST_F(ConvertInterruptTest, GitStatusOverAndOverBesideTheRunDoesNotBreakIt) {
  const auto run = Start();
  int statuses = 0;
  while (run->Running()) {
    // Its own result does not count: git reads files the run rewrites (and
    // may end by SIGBUS when one shrinks under it).
    std::string out, err;
    test::RunProgram({"git", "-C", Folder(), "status", "--porcelain"}, "/",
                     {"GIT_CONFIG_NOSYSTEM=1", "HOME=/nonexistent"}, out, err);
    ++statuses;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const int ended = run->Wait();
  EXPECT_TRUE(WIFEXITED(ended) && WEXITSTATUS(ended) == 0) << test::ReadFile(Err());
  EXPECT_GT(statuses, 1);
  ExpectConvertedWhole();
}

}  // namespace
}  // namespace pellmor
