// Threads kept for the life of the process that run short pieces of work
// handed to them, so that what a conversion run splits off at every commit
// (compressing a revision, reading files ahead) does not start and end a
// thread of its own each time, nor build its per-thread state again.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pellmor {

class TWorkerThreads;

// A piece of work handed to TWorkerThreads. Its owner ends it with
// Withdraw (the destructor does it too): the work must not outlive what it
// uses.
class TWorkerTask {
 public:
  TWorkerTask() = default;
  TWorkerTask(TWorkerTask&& other) noexcept;
  TWorkerTask& operator=(TWorkerTask&& other) noexcept;
  ~TWorkerTask() { Withdraw(); }

  // Waits for the work when a thread has started it; when none has, takes
  // it off the queue so that it never runs. Afterwards the task is empty.
  // Meant for work that its owner can do itself instead (or need not do).
  void Withdraw();

 private:
  friend class TWorkerThreads;
  struct TState;
  TWorkerTask(TWorkerThreads* threads, std::shared_ptr<TState> state)
      : threads_(threads), state_(std::move(state)) {}

  TWorkerThreads* threads_ = nullptr;
  std::shared_ptr<TState> state_;
};

class TWorkerThreads {
 public:
  // The process's own: one thread per core, between two and kMostShared,
  // made at the first call (in a child made by fork, at its first call
  // there).
  static TWorkerThreads& Shared();
  static constexpr unsigned kMostShared = 4;

  // Returns once every thread has started and waits for work, so that a
  // process forked later copies no thread halfway through its start-up
  // (whose memory allocator's locks the child could inherit held).
  explicit TWorkerThreads(int threads);
  TWorkerThreads(const TWorkerThreads&) = delete;
  TWorkerThreads& operator=(const TWorkerThreads&) = delete;
  // Waits for the work under way; work still queued is dropped (every
  // task's owner has withdrawn it by then).
  ~TWorkerThreads();

  // Queues work, which must not throw, for the first thread free.
  TWorkerTask Start(std::function<void()> work);

 private:
  friend class TWorkerTask;
  void Run();
  // Ends the threads once the work under way has ended.
  void Stop();
  void Withdraw(const std::shared_ptr<TWorkerTask::TState>& state);

  std::mutex mutex_;
  std::condition_variable queued_;  // threads wait on it for work
  // Withdraw waits on it for work under way, the constructor for the
  // threads to start.
  std::condition_variable ended_;
  std::deque<std::shared_ptr<TWorkerTask::TState>> queue_;
  bool stopping_ = false;
  size_t started_ = 0;  // threads that have come to wait for work
  std::vector<std::thread> threads_;
};

}  // namespace pellmor
