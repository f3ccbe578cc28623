#include "scan/WorkingFileReader.h"

#include <algorithm>

#include "foundation/Exception.h"
#include "foundation/Platform.h"

namespace pellmor {

TWorkingFileReader::TWorkingFileReader(std::vector<std::string> paths, int threads,
                                       int maxFilesAhead, int64_t maxBytesAhead)
    : paths_(std::move(paths)),
      slots_(paths_.size()),
      maxFilesAhead_(std::max(maxFilesAhead, 1)),
      maxBytesAhead_(maxBytesAhead) {
  const int count = std::min<int>(std::max(threads, 1), static_cast<int>(paths_.size()));
  workers_.reserve(static_cast<size_t>(count));
  try {
    for (int i = 0; i < count; ++i) workers_.emplace_back([this] { Work(); });
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
  changed_.notify_all();
  for (std::thread& worker : workers_)
    if (worker.joinable()) worker.join();
  workers_.clear();
}

int TWorkingFileReader::DefaultThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 4u));
}

void TWorkingFileReader::Work() {
  for (;;) {
    size_t k;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // The file the caller waits for is always within the window: when it
      // is not picked up yet, nothing ahead of it is finished.
      changed_.wait(lock, [this] {
        return stopping_ || next_ >= paths_.size() ||
               (next_ - taken_ < static_cast<size_t>(maxFilesAhead_) &&
                bytesAhead_ < maxBytesAhead_);
      });
      if (stopping_ || next_ >= paths_.size()) return;
      k = next_++;
    }
    Slot& slot = slots_[k];
    try {
      ReadFileContent(paths_[k], slot.bytes);
      ContentDigest(slot.bytes, slot.digest);
    } catch (...) {
      slot.bytes.Clear();
      slot.error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slot.ready = true;
      bytesAhead_ += slot.bytes.Size();
    }
    changed_.notify_all();
  }
}

void TWorkingFileReader::Take(const std::string& path, TMemoryStream& bytes,
                              TContentDigest& digest) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (taken_ >= paths_.size() || paths_[taken_] != path)
    throw Exception(Format("Working file \"%s\" was not read in the planned order", path.c_str()));
  Slot& slot = slots_[taken_];
  changed_.wait(lock, [&] { return slot.ready; });
  ++taken_;
  bytesAhead_ -= slot.bytes.Size();
  std::exception_ptr error = slot.error;
  slot.error = nullptr;
  bytes.Swap(slot.bytes);
  digest = slot.digest;
  lock.unlock();
  changed_.notify_all();
  slot.bytes.Clear();
  if (error) std::rethrow_exception(error);
}

}  // namespace pellmor
