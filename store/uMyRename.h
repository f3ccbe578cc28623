// The store's pending renames: pairs of old and new relative names kept in
// .Quarv/Rename.txt, one "old"->"new" line each (docs/store-format.md). The
// change loader pairs vanished and appeared files by them; Commit removes the
// records it used.
#pragma once

#include <string>
#include <vector>

#include "foundation/Streams.h"
#include "foundation/uMyClasses.h"

namespace pellmor {

class TMyRenameData;

// One rename record. Owned by the TMyRenameData in Owner.
class TMyRenameItem {
 public:
  TMyRenameItem(TMyRenameData* owner, std::string oldName, std::string newName)
      : Owner(owner), NewName(std::move(newName)), OldName(std::move(oldName)) {}

  // Position of this record in its log.
  int IndexInOwner() const;

  TMyRenameData* Owner;
  std::string NewName;  // the name after the rename, relative to the root folder
  std::string OldName;  // the name before the rename
};

// The rename records in file order.
class TMyRenameData {
 public:
  // Appends a record owned by this log.
  TMyRenameItem* Add(const std::string& oldName, const std::string& newName);
  // Takes the record out of the log and frees it; item is invalid afterwards.
  void Remove(TMyRenameItem* item);
  // For each name in order: takes out the first record still in the log
  // whose NewName is that name (as FindByNewName compares them) and frees it,
  // the others keeping their order. Returns the first name that finds no
  // record (the log then being unchanged), or nullptr when every name found
  // one. Costs time in proportion to the log and the names, however many.
  const std::string* RemoveByNewNames(const std::vector<const std::string*>& names);
  // The first record whose NewName equals name, ASCII letters compared
  // without regard to case; nullptr when there is none.
  TMyRenameItem* FindByNewName(const std::string& name) const;
  int Count() const { return Items.Count(); }

  // Append the records of a file / stream. Each line is trimmed of characters
  // up to the space, then parsed with ParseLine; other lines are skipped.
  // LoadFromFile raises the file layer's error when the file cannot be read.
  void LoadFromFile(const std::string& path);
  void LoadFromStream(TStream& stream);
  // One "old"->"new" line per record, each ending in CR LF; SaveToFile
  // replaces the file atomically.
  void SaveToFile(const std::string& path) const;
  void SaveToStream(TStream& stream) const;

  TObjectList<TMyRenameItem> Items;

 private:
  void AddLines(const std::vector<std::string>& lines);
  std::vector<std::string> Lines() const;
};

// Splits a trimmed record line "old"->"new" at the first separator "->"
// (quotes included). The first and the last character of the line are
// dropped unchecked. Returns false (both names empty) when the line holds no
// separator.
bool ParseLine(const std::string& line, std::string& oldName, std::string& newName);

}  // namespace pellmor
