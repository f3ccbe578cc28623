// The compression of a staged revision's new contents, shared out file by
// file between a worker thread and the committing thread, which takes the
// files still left when it comes to need them instead of waiting.
#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <vector>

#include "foundation/WorkerThreads.h"
#include "store/uMyFS.h"

namespace pellmor {

// Compresses every entry of a container that its saving stores compressed
// (TMyFile::StoresCompressed), the largest first, each by whichever thread
// takes it first. The container's entries are left alone meanwhile.
class TContentPacking {
 public:
  // background: a worker thread starts on it at once; else Finish does it
  // all.
  TContentPacking(TMyContaner& container, bool background);
  TContentPacking(const TContentPacking&) = delete;
  TContentPacking& operator=(const TContentPacking&) = delete;
  // Waits for the worker thread, when one has started on it.
  ~TContentPacking();

  // Compresses the entries no thread has taken yet, then waits for the rest:
  // the compressed bytes in the order of the container's Files (null for
  // entries stored as they are). Raises the first error of any thread
  // (a content too large, a failed compression). Call once.
  TPackedContents Finish();

 private:
  // Takes entries one at a time until none is left or one failed.
  void Work() noexcept;

  TMyContaner& container_;
  std::vector<int> order_;  // the entries to compress, largest first
  TPackedContents packed_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> failed_{false};
  std::mutex errorMutex_;
  std::exception_ptr error_;
  TWorkerTask task_;  // last: started once the rest is set
};

}  // namespace pellmor
