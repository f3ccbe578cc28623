#include "store/NameIndex.h"

#include <algorithm>

#include "foundation/AsciiText.h"
#include "store/uMyFS.h"

namespace pellmor {

namespace {
constexpr size_t kInitialSlots = 16;
}

uint32_t TNameIndex::HashOf(std::string_view name) {
  const uint64_t hash = NameHashAscii(name);
  return static_cast<uint32_t>(hash ^ (hash >> 32));
}

size_t TNameIndex::Lookup(std::string_view name, uint32_t hash) const {
  if (slots_.empty()) return kNone;
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.first == nullptr) return kNone;
    if (slot.hash == hash && SameNameAscii(slot.first->Name(), name)) return i;
  }
}

TNameIndex::Slot* TNameIndex::Find(std::string_view name) {
  const size_t i = Lookup(name, HashOf(name));
  return i == kNone ? nullptr : &slots_[i];
}

const TNameIndex::Slot* TNameIndex::Find(std::string_view name) const {
  const size_t i = Lookup(name, HashOf(name));
  return i == kNone ? nullptr : &slots_[i];
}

TNameIndex::Place TNameIndex::Locate(std::string_view name) {
  // At most three quarters full, so that every probe meets a free slot soon.
  if (Full(used_ + 1)) Rehash(slots_.empty() ? kInitialSlots : slots_.size() * 2);
  const uint32_t hash = HashOf(name);
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.first == nullptr) return {i, hash, false};
    if (slot.hash == hash && SameNameAscii(slot.first->Name(), name)) return {i, hash, true};
  }
}

TNameIndex::Slot& TNameIndex::Fill(const Place& place, TMyFile* entry) {
  slots_[place.slot] = Slot{entry, 1, place.hash};
  ++used_;
  return slots_[place.slot];
}

TNameIndex::Slot& TNameIndex::Add(TMyFile* entry) {
  const Place place = Locate(entry->Name());
  if (!place.found) return Fill(place, entry);
  ++At(place).count;
  ++repeats_;
  return At(place);
}

bool TNameIndex::Drop(Slot* slot) {
  if (--slot->count > 0) {
    --repeats_;
    return true;
  }
  Remove(slot);
  return false;
}

void TNameIndex::Remove(Slot* slot) {
  // Backward-shift deletion: every later slot of the same probe run that may
  // move into the gap does, so no search ever stops early at a hole.
  const size_t mask = slots_.size() - 1;
  size_t hole = static_cast<size_t>(slot - slots_.data());
  for (size_t i = (hole + 1) & mask; slots_[i].first != nullptr; i = (i + 1) & mask) {
    const size_t home = slots_[i].hash & mask;
    // The slot at i may fill the hole unless its home lies cyclically in (hole, i].
    const bool homeAfterHole = hole <= i ? (home > hole && home <= i) : (home > hole || home <= i);
    if (homeAfterHole) continue;
    slots_[hole] = slots_[i];
    hole = i;
  }
  slots_[hole] = Slot{};
  --used_;
}

void TNameIndex::Clear() {
  slots_ = std::vector<Slot>();
  used_ = 0;
  repeats_ = 0;
}

void TNameIndex::Reserve(size_t count) {
  size_t size = std::max(slots_.size(), kInitialSlots);
  while (count * 4 > size * 3) size *= 2;
  if (size != slots_.size()) Rehash(size);
}

void TNameIndex::Rehash(size_t size) {
  std::vector<Slot> old;
  old.swap(slots_);
  slots_.resize(size);
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.first == nullptr) continue;
    size_t i = slot.hash & mask;
    while (slots_[i].first != nullptr) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

}  // namespace pellmor
