// The bytes of recently recorded entries, kept in memory for the comparisons
// of the revisions that follow: a file that changes mostly changes again
// soon, and its older bytes then come from here instead of from its
// container (whose records would be read and whose block expanded again).
// Bounded by a byte budget; the oldest bytes are dropped first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "foundation/Streams.h"

namespace pellmor {

class TContentCache {
 public:
  explicit TContentCache(size_t budget) : budget_(budget) {}

  // Keeps the bytes of content (taken from it, which is left empty) as those
  // of the entry upperName (its name in upper case) of revision number.
  // Bytes larger than a quarter of the budget are not kept.
  void Put(int32_t revision, const std::string& upperName, TMemoryStream& content);
  // Moves the kept bytes of that entry into content (position 0), where they
  // are no longer kept; false, content untouched, when they are not kept.
  bool Take(int32_t revision, const std::string& upperName, TMemoryStream& content);

  size_t Bytes() const { return bytes_; }

 private:
  struct TKept {
    std::unique_ptr<TMemoryStream> Bytes;
    std::list<std::string>::iterator Age;  // its place in order_
  };
  using TKeptMap = std::unordered_map<std::string, TKept>;

  static std::string Key(int32_t revision, const std::string& upperName);
  // Forgets an entry; returns its bytes.
  std::unique_ptr<TMemoryStream> Drop(TKeptMap::iterator kept);

  size_t budget_;
  size_t bytes_ = 0;
  TKeptMap kept_;
  std::list<std::string> order_;  // the keys of kept_, oldest first
};

}  // namespace pellmor
