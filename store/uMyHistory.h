// The revision history of a store: one line per recorded revision in
// .Quarv/History.txt, each naming the revision's container file (7.dat).
// The file format is described in docs/store-format.md.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Streams.h"
#include "foundation/uMyClasses.h"

namespace pellmor {

// One recorded revision.
class TMyHistoryItem {
 public:
  TMyHistoryItem(std::string fileName, int32_t revision)
      : FileName(std::move(fileName)), Revision(revision) {}

  std::string FileName;  // the container file name as the line holds it, without folder
  int32_t Revision = 0;  // the revision number, 1 or more
};

// The revisions in the order they were added (file order, then appended
// revisions). Items are never removed or reordered.
class TMyHistoryData {
 public:
  // Appends (fileName, revision); raises "Invalid revision number %d" when
  // revision is below 1. The item is owned by Items.
  TMyHistoryItem* Add(const std::string& fileName, int32_t revision);
  int Count() const { return Items.Count(); }

  // Appends the lines of a file. Each line's number is the line without its
  // extension; a line that is no number, or a negative one, is skipped (and
  // kept in PassedOver), and a line with the number 0 raises "Invalid
  // revision number 0" (the items read before it stay). Raises the file
  // layer's error when the file cannot be read.
  void LoadFromFile(const std::string& path);
  void LoadFromStream(TStream& stream);
  // Writes every FileName followed by CR LF; SaveToFile replaces the file atomically.
  void SaveToFile(const std::string& path) const;
  void SaveToStream(TStream& stream) const;
  // Every item's FileName, in order: the lines the history is written as.
  std::vector<std::string> FileNames() const;

  TObjectList<TMyHistoryItem> Items;
  // The lines read that name no revision, in their order; a store never
  // writes one.
  std::vector<std::string> PassedOver;

 private:
  void AddLines(const std::vector<std::string>& lines);
};

// The revision number a history line stands for: the line without its
// extension (the last '.' not followed by '\' or ':'), read as a decimal
// integer; -1 when that is not an integer.
int32_t HistoryLineNumber(const std::string& line);

}  // namespace pellmor
