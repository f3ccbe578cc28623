#include "store/ContentCache.h"

#include <cstring>

namespace pellmor {

std::string TContentCache::Key(int32_t revision, const std::string& upperName) {
  std::string key(sizeof revision, '\0');
  std::memcpy(key.data(), &revision, sizeof revision);
  return key + upperName;
}

void TContentCache::Put(int32_t revision, const std::string& upperName, TMemoryStream& content) {
  const size_t size = static_cast<size_t>(content.Size());
  if (size > budget_ / 4) return;
  std::string key = Key(revision, upperName);
  if (const auto old = kept_.find(key); old != kept_.end()) Drop(old);
  auto bytes = std::make_unique<TMemoryStream>();
  bytes->Swap(content);
  order_.push_back(key);
  kept_.emplace(std::move(key), TKept{std::move(bytes), std::prev(order_.end())});
  bytes_ += size;
  while (bytes_ > budget_) Drop(kept_.find(order_.front()));
}

bool TContentCache::Take(int32_t revision, const std::string& upperName,
                         TMemoryStream& content) {
  const auto kept = kept_.find(Key(revision, upperName));
  if (kept == kept_.end()) return false;
  content.Swap(*Drop(kept));
  content.SetPosition(0);
  return true;
}

std::unique_ptr<TMemoryStream> TContentCache::Drop(TKeptMap::iterator kept) {
  std::unique_ptr<TMemoryStream> bytes = std::move(kept->second.Bytes);
  bytes_ -= static_cast<size_t>(bytes->Size());
  order_.erase(kept->second.Age);
  kept_.erase(kept);
  return bytes;
}

}  // namespace pellmor
