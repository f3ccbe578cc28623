#include "store/uMyRename.h"

#include <deque>
#include <memory>
#include <unordered_map>

#include "foundation/AsciiText.h"
#include "foundation/TextLines.h"

namespace pellmor {

namespace {

constexpr char kSeparator[] = "\"->\"";
constexpr size_t kSeparatorLength = sizeof(kSeparator) - 1;

}  // namespace

int TMyRenameItem::IndexInOwner() const { return Owner->Items.IndexOf(this); }

TMyRenameItem* TMyRenameData::Add(const std::string& oldName, const std::string& newName) {
  return Items.Add(std::make_unique<TMyRenameItem>(this, oldName, newName));
}

void TMyRenameData::Remove(TMyRenameItem* item) {
  const int index = item->IndexInOwner();
  if (index >= 0) Items.Delete(index);
}

const std::string* TMyRenameData::RemoveByNewNames(const std::vector<const std::string*>& names) {
  // The records of each new name, first in log order at the front.
  std::unordered_map<std::string, std::deque<int>> byNewName;
  for (int i = 0; i < Items.Count(); ++i) byNewName[UpperCaseAscii(Items[i]->NewName)].push_back(i);
  std::vector<bool> removed(static_cast<size_t>(Items.Count()), false);
  for (const std::string* name : names) {
    const auto it = byNewName.find(UpperCaseAscii(*name));
    if (it == byNewName.end() || it->second.empty()) return name;
    removed[static_cast<size_t>(it->second.front())] = true;
    it->second.pop_front();
  }
  // Rebuilt in one pass: the kept records in their order, the others freed.
  std::vector<std::unique_ptr<TMyRenameItem>> records;
  while (!Items.Empty()) records.push_back(Items.Detach(Items.Count() - 1));
  for (size_t i = records.size(); i-- > 0;) {
    const size_t position = records.size() - 1 - i;
    if (!removed[position]) Items.Add(std::move(records[i]));
  }
  return nullptr;
}

TMyRenameItem* TMyRenameData::FindByNewName(const std::string& name) const {
  for (const auto& item : Items)
    if (CompareNamesAscii(item->NewName, name) == 0) return item.get();
  return nullptr;
}

bool ParseLine(const std::string& line, std::string& oldName, std::string& newName) {
  oldName.clear();
  newName.clear();
  const std::string::size_type p = line.find(kSeparator);
  if (p == std::string::npos) return false;
  // Between the first character and the separator; after the separator up to
  // the last character. A count of 0 or below gives an empty name.
  if (p > 1) oldName = line.substr(1, p - 1);
  const std::string::size_type newStart = p + kSeparatorLength;
  if (line.size() > newStart + 1) newName = line.substr(newStart, line.size() - newStart - 1);
  return true;
}

void TMyRenameData::LoadFromFile(const std::string& path) { AddLines(ReadTextFile(path)); }

void TMyRenameData::LoadFromStream(TStream& stream) { AddLines(ReadTextLines(stream)); }

void TMyRenameData::AddLines(const std::vector<std::string>& lines) {
  std::string oldName;
  std::string newName;
  for (const std::string& line : lines)
    if (ParseLine(TrimBlanks(line), oldName, newName)) Add(oldName, newName);
}

std::vector<std::string> TMyRenameData::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(static_cast<size_t>(Items.Count()));
  for (const auto& item : Items)
    lines.push_back('"' + item->OldName + kSeparator + item->NewName + '"');
  return lines;
}

void TMyRenameData::SaveToFile(const std::string& path) const { WriteTextFile(path, Lines()); }

void TMyRenameData::SaveToStream(TStream& stream) const { WriteTextLines(stream, Lines()); }

}  // namespace pellmor
