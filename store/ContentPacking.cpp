#include "store/ContentPacking.h"

#include <algorithm>

#include "foundation/uMyStreamUtils.h"

namespace pellmor {

TContentPacking::TContentPacking(TMyContaner& container, bool background)
    : container_(container), packed_(static_cast<size_t>(container.Files.Count())) {
  for (int i = 0; i < container.Files.Count(); ++i)
    if (container.Files[i]->StoresCompressed()) order_.push_back(i);
  // The largest first, so that the threads end at about the same time.
  std::stable_sort(order_.begin(), order_.end(), [&container](int a, int b) {
    return container.Files[a]->Content.Size() > container.Files[b]->Content.Size();
  });
  if (background) task_ = TWorkerThreads::Shared().Start([this] { Work(); });
}

TContentPacking::~TContentPacking() { task_.Withdraw(); }

void TContentPacking::Work() noexcept {
  while (!failed_) {
    const size_t taken = next_++;
    if (taken >= order_.size()) return;
    const int i = order_[taken];
    try {
      TMyFile& entry = *container_.Files[i];
      entry.CheckContentSize();
      auto packed = std::make_unique<TMemoryStream>();
      CompressMemoryStream(entry.Content, *packed);
      packed_[static_cast<size_t>(i)] = std::move(packed);
    } catch (...) {
      const std::lock_guard<std::mutex> lock(errorMutex_);
      if (!error_) error_ = std::current_exception();
      failed_ = true;
    }
  }
}

TPackedContents TContentPacking::Finish() {
  Work();
  task_.Withdraw();
  if (error_) std::rethrow_exception(error_);
  return std::move(packed_);
}

}  // namespace pellmor
