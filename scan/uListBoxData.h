// Change items: one path of the working folder as the change loader sees it,
// with the older and newer bytes side by side, their digests, their lines and
// the line comparison of the two; and the owning list of such items with
// constant-time lookups by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/Streams.h"
#include "foundation/uMyClasses.h"
#include "foundation/uMyDiff.h"
#include "foundation/uMyHash.h"

namespace pellmor {

class TFileObject;
class TListItemData;
class TQuarvDataList;

// The lines of a text file's bytes as change items compare them: a line ends
// at CR LF, a lone CR or a lone LF (not part of the line); the last line
// needs no terminator, so a final line break adds no empty line; a NUL byte
// ends the text. Bytes are not decoded.
TStringList ContentLines(const TMemoryStream& content);

// One side (older or newer) of a change item: the file's bytes, whole, and,
// when the owning item is text at load time, the same bytes split into lines
// (ContentLines).
class TMyFileData : public TPersistent {
 public:
  // owner is the item this side belongs to; not owned, must outlive this side.
  explicit TMyFileData(TListItemData* owner) : Owner(owner) {}
  const char* ClassName() const override { return "TMyFileData"; }

  TMemoryStream Content;
  TStringList Lines;
  TListItemData* Owner;

  // Content := the file's bytes (a symbolic link's bytes are its target
  // text), position 0; Lines := its lines when the owner's IsText is set,
  // otherwise Lines are left as they were. Raises the file errors of
  // ReadFileContent, naming the file.
  void LoadFromFile(const std::string& path);
  // Content := the whole of stream, from its start whatever its position
  // (the stream is left at its end); Lines as for LoadFromFile.
  void LoadFromStream(TStream& stream);
  // Content := the bytes of a memory stream, taken over without a copy
  // (bytes is left empty), position 0; Lines as for LoadFromFile.
  void TakeContent(TMemoryStream& bytes);

 protected:
  // Copies bytes and lines into another TMyFileData, text or not.
  void AssignTo(TPersistent& dest) const override;

 private:
  void SplitLinesIfText();
};

// What a change item describes (see the change loader for each list's meaning).
enum TListItemState : uint8_t {
  lsAdded = 0,
  lsAddedChanged = 1,
  lsDeleted = 2,
  lsDeletedStaged = 3,
  lsModified = 4,
  lsModifiedChanged = 5,
  lsRenamedNew = 6,
  lsRenamedOld = 7,
  lsRenamedChanged = 8,
};

// One change item. Owns its two sides and its comparer; borrows its scan node
// and its partner, which the item never frees.
//
// Fill an item in this order: IsText, then the sides (a side splits lines only
// when IsText is already set), then the digests, then CompareLines.
class TListItemData {
 public:
  // A new item for a scan node (or none): state lsAdded, empty sides, zero
  // digests, not text, no name, no partner.
  static std::unique_ptr<TListItemData> CreateForFile(TFileObject* fileObject);
  TListItemData(const TListItemData&) = delete;
  TListItemData& operator=(const TListItemData&) = delete;
  ~TListItemData() = default;

  TFileObject* FileObject;
  TMyFileData OldData{this};
  TMyFileData NewData{this};
  TListItemState State = lsAdded;
  TStandardTextComparer Comparer;
  TContentDigest OldHash{};
  TContentDigest NewHash{};
  bool IsText = false;
  TListItemData* Partner = nullptr;

  // The path relative to the working root ('\' between folders), case kept.
  const std::string& Name() const { return name_; }
  // Also keeps the name index of the list holding this item in step.
  void SetName(const std::string& name);

  // OldHash := digest of OldData.Content (all zeros when empty).
  void HashOld();
  // NewHash := digest of NewData.Content.
  void HashNew();
  void HashBoth();
  bool HashesEqual() const;
  // Compares OldData.Lines (first) with NewData.Lines (second), threshold 50.
  void CompareLines();
  // The last CompareLines found at least one difference.
  bool HasLineChanges() const;
  bool IsDeletion() const;  // lsDeleted or lsDeletedStaged
  bool IsAddition() const;  // lsAdded or lsAddedChanged

 private:
  friend class TQuarvDataList;
  explicit TListItemData(TFileObject* fileObject) : FileObject(fileObject) {}

  std::string name_;
  TQuarvDataList* list_ = nullptr;  // the list holding this item, if any
  mutable int listPosition_ = -1;   // where list_ last saw it; a hint, checked before use
};

// The owning list of change items, with lookups by name that cost constant
// time however long the list: an index from the upper-case (ASCII) name to the
// items of that name in list order is kept in step with every change of the
// list and with SetName on its items. Only the operations below change the
// list, so the index cannot be bypassed.
class TQuarvDataList : private TObjectList<TListItemData> {
  using Base = TObjectList<TListItemData>;

 public:
  TQuarvDataList() = default;
  ~TQuarvDataList() override { Clear(); }

  using Base::begin;
  using Base::Count;
  using Base::Empty;
  using Base::end;
  using Base::First;
  using Base::Items;
  using Base::Last;
  using Base::operator[];

  // Appends an item, which must not be in another list, and returns it.
  TListItemData* Add(std::unique_ptr<TListItemData> item);
  TListItemData* Insert(int i, std::unique_ptr<TListItemData> item);
  // Removes the item at position i and hands it to the caller.
  std::unique_ptr<TListItemData> Detach(int i);
  // Removes the item at position i and frees it.
  void Delete(int i);
  void Clear();
  // Stable sort with less(a, b) on the items.
  template <typename Less>
  void Sort(Less less) {
    Base::Sort(less);
    RebuildIndex();
  }

  // The first item at or after start whose Name equals name, ASCII letters
  // compared without regard to case, or nullptr. Its position goes to
  // *position when asked for (-1 when there is none, or when start lies beyond
  // the last item). Asking for the position may cost a scan of the list after
  // items before it were removed; the item alone is found in constant time
  // from position 0.
  TListItemData* FindByNameFrom(const std::string& name, int start, int* position = nullptr) const;
  TListItemData* FindByName(const std::string& name, int* position = nullptr) const {
    return FindByNameFrom(name, 0, position);
  }
  // The position of that very item at or after start, or -1. Constant time
  // for an item not in this list or not moved since it was added or sorted;
  // otherwise a scan from start.
  int IndexOfItem(const TListItemData* item, int start = 0) const;

 private:
  friend class TListItemData;
  using TNameIndex = std::unordered_map<std::string, std::vector<TListItemData*>>;

  static std::string Key(const std::string& name);
  int PositionOf(const TListItemData* item, int start) const;
  // Puts item into the index at its place in list order.
  void IndexItem(TListItemData* item);
  void UnindexItem(TListItemData* item, const std::string& name);
  void RebuildIndex();

  TNameIndex index_;
};

}  // namespace pellmor
