#include "scan/WorkingFileReader.h"

#include <algorithm>
#include <thread>

#include "foundation/Exception.h"
#include "foundation/Platform.h"

namespace pellmor {

namespace {

// Buffers above this size are freed rather than kept for later files.
constexpr int64_t kLargestSpare = 4 << 20;

}  // namespace

TWorkingFileReader::TWorkingFileReader(std::vector<std::string> paths, int threads,
                                       int maxFilesAhead, int64_t maxBytesAhead)
    : paths_(std::move(paths)),
      slots_(paths_.size()),
      maxFilesAhead_(std::max(maxFilesAhead, 1)),
      maxBytesAhead_(std::max<int64_t>(maxBytesAhead, 1)) {
  const int count = std::min<int>(std::max(threads, 1), static_cast<int>(paths_.size()));
  workers_.reserve(static_cast<size_t>(count));
  try {
    for (int i = 0; i < count; ++i)
      workers_.push_back(TWorkerThreads::Shared().Start([this] { Work(); }));
  } catch (...) {
    Stop();
    throw;
  }
}

TWorkingFileReader::~TWorkingFileReader() { Stop(); }

void TWorkingFileReader::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  spaceFree_.notify_all();
  for (TWorkerTask& worker : workers_) worker.Withdraw();
  workers_.clear();
}

int TWorkingFileReader::DefaultThreads() {
  // The caller reads too, so one core is left to it. Counted once: the
  // count is read from the system each time it is asked for.
  static const int threads =
      static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 2u, 5u)) - 1;
  return threads;
}

bool TWorkingFileReader::HasRoom() const {
  return next_ - taken_ < static_cast<size_t>(maxFilesAhead_) && bytesAhead_ < maxBytesAhead_;
}

void TWorkingFileReader::ReadNext(std::unique_lock<std::mutex>& lock) {
  const size_t k = next_++;
  Slot& slot = slots_[k];
  // A buffer the caller gave back saves allocating and faulting in a new one.
  if (!spare_.empty()) {
    slot.bytes.Swap(*spare_.back());
    spare_.pop_back();
  }
  lock.unlock();
  try {
    ReadFileContent(paths_[k], slot.bytes);
    ContentDigest(slot.bytes, slot.digest);
  } catch (...) {
    slot.bytes.Clear();
    slot.error = std::current_exception();
  }
  lock.lock();
  slot.ready = true;
  bytesAhead_ += slot.bytes.Size();
  if (callerWaiting_ && k == taken_) fileReady_.notify_one();
}

void TWorkingFileReader::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // The file the caller waits for always finds room: when it is not
    // picked up yet, nothing ahead of it is finished.
    while (!stopping_ && next_ < paths_.size() && !HasRoom()) {
      ++waitingForRoom_;
      spaceFree_.wait(lock);
      --waitingForRoom_;
    }
    if (stopping_ || next_ >= paths_.size()) return;
    ReadNext(lock);
  }
}

void TWorkingFileReader::Take(const std::string& path, TMemoryStream& bytes,
                              TContentDigest& digest) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (taken_ >= paths_.size() || paths_[taken_] != path)
    throw Exception(Format("Working file \"%s\" was not read in the planned order", path.c_str()));
  Slot& slot = slots_[taken_];
  // Rather than wait, the caller reads the next files itself; it sleeps only
  // when every file up to the one it needs is already being read.
  while (!slot.ready) {
    if (next_ < paths_.size() && HasRoom()) {
      ReadNext(lock);
    } else {
      callerWaiting_ = true;
      fileReady_.wait(lock);
      callerWaiting_ = false;
    }
  }
  ++taken_;
  bytesAhead_ -= slot.bytes.Size();
  std::exception_ptr error = slot.error;
  slot.error = nullptr;
  bytes.Swap(slot.bytes);
  digest = slot.digest;
  // The caller's former buffer serves a later file, unless it is large.
  auto spare = std::make_unique<TMemoryStream>();
  spare->Swap(slot.bytes);
  if (spare->Memory() != nullptr && spare->Size() <= kLargestSpare &&
      spare_.size() < static_cast<size_t>(maxFilesAhead_))
    spare_.push_back(std::move(spare));
  const bool wakeWorkers = waitingForRoom_ > 0 && HasRoom();
  lock.unlock();
  if (wakeWorkers) spaceFree_.notify_all();
  if (error) std::rethrow_exception(error);
}

}  // namespace pellmor
