#include "scan/WorkingDigestCache.h"

namespace pellmor {

namespace {

class TSystemSource : public TWorkingDigestCache::TSource {
 public:
  TFileStamp Stamp(const TFileObject& file) override { return file.Stamp; }

  int64_t NowNs() override { return RealTimeNs(); }
};

}  // namespace

std::unique_ptr<TWorkingDigestCache::TSource> TWorkingDigestCache::SystemSource() {
  return std::make_unique<TSystemSource>();
}

TWorkingDigestCache::TWorkingDigestCache(std::unique_ptr<TSource> source)
    : source_(std::move(source)) {}

int64_t TWorkingDigestCache::MarginNs(const TFileStamp& stamp) {
  constexpr int64_t kSecondNs = 1'000'000'000;
  const bool fine = stamp.ModifiedNs % kSecondNs != 0 || stamp.ChangedNs % kSecondNs != 0;
  return fine ? kFineMarginNs : kCoarseMarginNs;
}

void TWorkingDigestCache::BeginPass() { passStartNs_ = source_->NowNs(); }

const TContentDigest* TWorkingDigestCache::Find(const std::string& name, const TFileStamp& stamp,
                                                uint64_t unchangedSince) const {
  const auto it = entries_.find(name);
  if (it == entries_.end() || !(it->second.Stamp == stamp)) return nullptr;
  const Entry& entry = it->second;
  // A change after the read would have been reported at a later Refresh,
  // and the entry read again after it. (An entry no watch vouches for has
  // kNotWatched, above every count; a young digest always has a count.)
  if (!entry.Settled && entry.ReadAfter < unchangedSince) return nullptr;
  return &entry.Digest;
}

void TWorkingDigestCache::Record(const std::string& name, const TFileStamp& stamp,
                                 const TContentDigest& digest, uint64_t readAfter) {
  // Written so shortly before the pass began that a later write could leave
  // the same times behind: such a file is read again next time, unless the
  // watch tells that nothing wrote it.
  const int64_t settled = passStartNs_ - MarginNs(stamp);
  const bool young = stamp.ModifiedNs >= settled || stamp.ChangedNs >= settled;
  if (young && readAfter == kNotWatched) {
    entries_.erase(name);
    return;
  }
  entries_[name] = Entry{stamp, digest, !young, readAfter};
}

}  // namespace pellmor
