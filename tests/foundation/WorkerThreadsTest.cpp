#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>

#include "foundation/WorkerThreads.h"

namespace pellmor {
namespace {

using namespace std::chrono_literals;

// A task that tells when it has started and then waits until it is let go.
struct THeldTask {
  std::promise<void> started;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> ended{false};

  std::function<void()> Work() {
    return [this] {
      started.set_value();
      released.wait();
      ended = true;
    };
  }
};

TEST(WorkerThreadsTest, WithdrawWaitsForWorkUnderWay) {
  TWorkerThreads threads(2);
  THeldTask held;
  TWorkerTask task = threads.Start(held.Work());
  ASSERT_EQ(held.started.get_future().wait_for(10s), std::future_status::ready);
  auto withdrawn = std::async(std::launch::async, [&] { task.Withdraw(); });
  EXPECT_EQ(withdrawn.wait_for(100ms), std::future_status::timeout);
  held.release.set_value();
  withdrawn.get();
  EXPECT_TRUE(held.ended);
}

TEST(WorkerThreadsTest, WithdrawnBeforeAnyThreadStartsItTheWorkNeverRuns) {
  TWorkerThreads threads(1);
  THeldTask held;
  TWorkerTask first = threads.Start(held.Work());
  ASSERT_EQ(held.started.get_future().wait_for(10s), std::future_status::ready);
  std::atomic<bool> ran{false};
  TWorkerTask second = threads.Start([&ran] { ran = true; });
  second.Withdraw();  // the only thread is busy: the work is taken off the queue
  held.release.set_value();
  first.Withdraw();
  // The thread is free again and runs what comes next, not the withdrawn work.
  std::promise<void> third;
  TWorkerTask next = threads.Start([&third] { third.set_value(); });
  ASSERT_EQ(third.get_future().wait_for(10s), std::future_status::ready);
  next.Withdraw();
  EXPECT_FALSE(ran);
}

TEST(WorkerThreadsTest, WorkRunsOnSeveralThreadsAtOnce) {
  TWorkerThreads threads(2);
  // Each waits for the other to start: both end only when two threads run them.
  std::promise<void> a, b;
  std::shared_future<void> aStarted = a.get_future().share();
  std::shared_future<void> bStarted = b.get_future().share();
  std::atomic<int> met{0};
  TWorkerTask first = threads.Start([&] {
    a.set_value();
    if (bStarted.wait_for(10s) == std::future_status::ready) ++met;
  });
  TWorkerTask second = threads.Start([&] {
    b.set_value();
    if (aStarted.wait_for(10s) == std::future_status::ready) ++met;
  });
  ASSERT_EQ(aStarted.wait_for(10s), std::future_status::ready);
  ASSERT_EQ(bStarted.wait_for(10s), std::future_status::ready);
  first.Withdraw();
  second.Withdraw();
  EXPECT_EQ(met, 2);
}

TEST(WorkerThreadsTest, AMovedTaskIsWithdrawnByItsNewOwner) {
  TWorkerThreads threads(1);
  THeldTask held;
  TWorkerTask moved;
  {
    TWorkerTask task = threads.Start(held.Work());
    moved = std::move(task);
  }  // the moved-from task owns nothing: its end neither waits nor withdraws
  ASSERT_EQ(held.started.get_future().wait_for(10s), std::future_status::ready);
  held.release.set_value();
  moved.Withdraw();
  EXPECT_TRUE(held.ended);
}

// A child made by fork has none of the threads its parent's shared workers
// had: its own run its work (the parent's would never start it, and their
// queue's state could block the child for good).
TEST(WorkerThreadsTest, AForkedChildGetsWorkerThreadsOfItsOwn) {
  std::promise<void> parentRan;
  TWorkerTask first = TWorkerThreads::Shared().Start([&parentRan] { parentRan.set_value(); });
  ASSERT_EQ(parentRan.get_future().wait_for(10s), std::future_status::ready);
  first.Withdraw();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::alarm(20);  // a child that hangs ends all the same
    for (int i = 0; i < 8; ++i) {
      std::promise<void> ran;
      TWorkerTask task = TWorkerThreads::Shared().Start([&ran] { ran.set_value(); });
      if (ran.get_future().wait_for(10s) != std::future_status::ready) ::_exit(1);
      task.Withdraw();
    }
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

}  // namespace
}  // namespace pellmor
