// The name index of a container's entry list: for every name (ASCII case
// ignored) the entry that comes first in list order and how many entries
// carry that name, found in constant time.
//
// One flat table (open addressing, linear probing) instead of a node per
// name: a revision of 100,000 files then costs no allocation per entry, and
// building, searching and dropping the index touch little memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pellmor {

class TMyFile;

class TNameIndex {
 public:
  struct Slot {
    TMyFile* first = nullptr;  // the entry of this name that comes first; nullptr: free
    int32_t count = 0;         // how many entries carry the name
    uint32_t hash = 0;         // the name's hash (NameHashAscii, folded to 32 bits)
  };

  // The slot of this name, or nullptr. The key of a slot is the Name() of its
  // first entry, so an entry must leave the index before its name changes.
  // A slot pointer is valid until the next Add or Remove.
  Slot* Find(std::string_view name);
  const Slot* Find(std::string_view name) const;
  // Counts the entry under its Name(); it becomes the first when no entry of
  // that name is indexed yet. Returns the name's slot.
  Slot& Add(TMyFile* entry);

  // Where a name is, or where Add would put it: one search serving both a
  // lookup and the insertion that may follow. Valid until the table changes.
  struct Place {
    size_t slot;
    uint32_t hash;
    bool found;  // slot holds the name; otherwise slot is the free one for it
  };
  // Grows the table first when one more name would make it too full.
  Place Locate(std::string_view name);
  // Indexes entry, whose Name() is the name located, in the free slot found.
  Slot& Fill(const Place& place, TMyFile* entry);
  Slot& At(const Place& place) { return slots_[place.slot]; }
  // Uncounts one entry of the slot's name; the slot goes when none is left.
  // Returns whether the slot is still there.
  bool Drop(Slot* slot);
  // How many indexed entries repeat a name that an earlier one carries.
  size_t Repeats() const { return repeats_; }
  void Clear();
  // Makes room for count names without growing again.
  void Reserve(size_t count);

 private:
  static uint32_t HashOf(std::string_view name);
  void Remove(Slot* slot);
  // Where the name's slot is, or kNone.
  size_t Lookup(std::string_view name, uint32_t hash) const;
  static constexpr size_t kNone = static_cast<size_t>(-1);
  // Makes the table size slots (a power of two) and puts every slot in its new place.
  void Rehash(size_t size);
  bool Full(size_t names) const { return names * 4 > slots_.size() * 3; }

  std::vector<Slot> slots_;  // a power of two in size, or empty
  size_t used_ = 0;
  size_t repeats_ = 0;
};

}  // namespace pellmor
