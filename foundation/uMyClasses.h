// The owning object list and the copyable-object base shared by the store,
// the scan and the change loader.
#pragma once

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "foundation/Exception.h"

namespace pellmor {

// An ordered list that owns its items. Deleting an item, clearing the list or
// destroying the list frees the items; the slot is emptied before the item is
// freed, so an item's destructor never sees itself in the list. Detach hands
// an item back to the caller without freeing it. Lookups never raise: a
// position that is not found is -1.
template <typename T>
class TObjectList {
 public:
  TObjectList() = default;
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;
  virtual ~TObjectList() { Clear(); }

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }

  // The item at position i; raises "List index out of bounds (%d)" outside 0..Count()-1.
  T* Items(int i) const {
    CheckIndex(i);
    return items_[static_cast<size_t>(i)].get();
  }
  T* operator[](int i) const { return Items(i); }
  T* First() const { return items_.empty() ? nullptr : items_.front().get(); }
  T* Last() const { return items_.empty() ? nullptr : items_.back().get(); }

  // Appends an owned item and returns it.
  T* Add(std::unique_ptr<T> item) {
    T* raw = item.get();
    items_.push_back(std::move(item));
    return raw;
  }
  T* Insert(int i, std::unique_ptr<T> item) {
    if (i < 0 || i > Count()) ThrowIndex(i);
    T* raw = item.get();
    items_.insert(items_.begin() + i, std::move(item));
    return raw;
  }

  // Position of this very item (by identity) at or after start, or -1.
  int IndexOf(const T* item, int start = 0) const {
    for (int i = std::max(start, 0); i < Count(); ++i)
      if (items_[static_cast<size_t>(i)].get() == item) return i;
    return -1;
  }

  // Removes the item at position i and frees it.
  void Delete(int i) { Detach(i).reset(); }

  // Removes the item at position i and hands it to the caller.
  std::unique_ptr<T> Detach(int i) {
    CheckIndex(i);
    std::unique_ptr<T> item = std::move(items_[static_cast<size_t>(i)]);
    items_.erase(items_.begin() + i);
    return item;
  }

  // Frees every item, last first (each slot is emptied before its item is
  // freed), and the room the list took for them: an emptied list that is
  // kept (a revision the store knows by number only) holds no memory.
  void Clear() {
    while (!items_.empty()) {
      std::unique_ptr<T> item = std::move(items_.back());
      items_.pop_back();
      item.reset();
    }
    std::vector<std::unique_ptr<T>>().swap(items_);
  }

  // Sorts with less(a, b) on the items; stable, so equal items keep their order.
  template <typename Less>
  void Sort(Less less) {
    std::stable_sort(
        items_.begin(), items_.end(),
        [&](const std::unique_ptr<T>& a, const std::unique_ptr<T>& b) { return less(*a, *b); });
  }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  void CheckIndex(int i) const {
    if (i < 0 || i >= Count()) ThrowIndex(i);
  }
  [[noreturn]] static void ThrowIndex(int i) {
    throw Exception(Format("List index out of bounds (%d)", i));
  }

  std::vector<std::unique_ptr<T>> items_;
};

// Base of the copyable objects (TMyFile, TMyContaner, TMyFileData).
// dest.Assign(source) asks source to copy itself into dest (AssignTo); a class
// that does not know how raises "Cannot assign a <source class> to a <dest class>".
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual const char* ClassName() const = 0;

  void Assign(const TPersistent& source) { source.AssignTo(*this); }

 protected:
  // Overridden by each copyable class: copy this object into dest when dest is
  // of a class it knows, otherwise call the base, which raises.
  virtual void AssignTo(TPersistent& dest) const {
    throw Exception(Format("Cannot assign a %s to a %s", ClassName(), dest.ClassName()));
  }
};

}  // namespace pellmor
