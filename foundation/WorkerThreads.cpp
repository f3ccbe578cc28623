#include "foundation/WorkerThreads.h"

#include <unistd.h>

#include <algorithm>

namespace pellmor {

struct TWorkerTask::TState {
  enum class Stage { kQueued, kRunning, kEnded };
  std::function<void()> Work;
  Stage At = Stage::kQueued;
};

TWorkerTask::TWorkerTask(TWorkerTask&& other) noexcept
    : threads_(other.threads_), state_(std::move(other.state_)) {
  other.threads_ = nullptr;
}

TWorkerTask& TWorkerTask::operator=(TWorkerTask&& other) noexcept {
  if (this != &other) {
    Withdraw();
    threads_ = other.threads_;
    state_ = std::move(other.state_);
    other.threads_ = nullptr;
  }
  return *this;
}

void TWorkerTask::Withdraw() {
  if (!state_) return;
  threads_->Withdraw(state_);
  state_.reset();
  threads_ = nullptr;
}

TWorkerThreads& TWorkerThreads::Shared() {
  // A process made by fork has none of its parent's threads, and the
  // parent's queue may be locked or awaited by them for good: it gets
  // threads of its own. Neither is ever ended: their threads end with the
  // process.
  static std::mutex mutex;
  static TWorkerThreads* shared = nullptr;
  static pid_t owner = 0;
  const std::lock_guard<std::mutex> lock(mutex);
  if (shared == nullptr || owner != ::getpid()) {
    shared = new TWorkerThreads(
        static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 2u, kMostShared)));
    owner = ::getpid();
  }
  return *shared;
}

TWorkerThreads::TWorkerThreads(int threads) {
  threads_.reserve(static_cast<size_t>(std::max(threads, 1)));
  try {
    for (int i = 0; i < std::max(threads, 1); ++i) threads_.emplace_back([this] { Run(); });
    std::unique_lock<std::mutex> lock(mutex_);
    ended_.wait(lock, [this] { return started_ == threads_.size(); });
  } catch (...) {
    Stop();
    throw;
  }
}

TWorkerThreads::~TWorkerThreads() { Stop(); }

void TWorkerThreads::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

TWorkerTask TWorkerThreads::Start(std::function<void()> work) {
  auto state = std::make_shared<TWorkerTask::TState>();
  state->Work = std::move(work);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(state);
  }
  queued_.notify_one();
  return TWorkerTask(this, std::move(state));
}

void TWorkerThreads::Run() {
  using Stage = TWorkerTask::TState::Stage;
  std::unique_lock<std::mutex> lock(mutex_);
  ++started_;
  ended_.notify_all();
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const std::shared_ptr<TWorkerTask::TState> state = std::move(queue_.front());
    queue_.pop_front();
    state->At = Stage::kRunning;
    lock.unlock();
    state->Work();
    lock.lock();
    state->At = Stage::kEnded;
    state->Work = nullptr;
    ended_.notify_all();
  }
}

void TWorkerThreads::Withdraw(const std::shared_ptr<TWorkerTask::TState>& state) {
  using Stage = TWorkerTask::TState::Stage;
  std::unique_lock<std::mutex> lock(mutex_);
  if (state->At == Stage::kQueued) {
    queue_.erase(std::find(queue_.begin(), queue_.end(), state));
    state->At = Stage::kEnded;
    return;
  }
  ended_.wait(lock, [&state] { return state->At == Stage::kEnded; });
}

}  // namespace pellmor
