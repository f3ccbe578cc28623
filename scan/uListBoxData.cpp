#include "scan/uListBoxData.h"

#include <algorithm>
#include <string_view>

#include "foundation/AsciiText.h"
#include "foundation/Platform.h"
#include "foundation/TextLines.h"
#include "foundation/uMyStreamUtils.h"

namespace pellmor {

namespace {

// Change detection takes the first run of this many equal lines instead of
// looking for the longest, so that comparing long files stays cheap.
constexpr int32_t kLineMatchThreshold = 50;

}  // namespace

TStringList ContentLines(const TMemoryStream& content) {
  const std::string_view bytes(reinterpret_cast<const char*>(content.Memory()),
                               static_cast<size_t>(content.Size()));
  return SplitLines(bytes.substr(0, bytes.find('\0')));
}

void TMyFileData::LoadFromFile(const std::string& path) {
  ReadFileContent(path, Content);
  SplitLinesIfText();
}

void TMyFileData::LoadFromStream(TStream& stream) {
  CopyToMemoryStream(Content, stream);
  SplitLinesIfText();
}

void TMyFileData::TakeContent(TMemoryStream& bytes) {
  Content.Swap(bytes);
  bytes.Clear();
  Content.SetPosition(0);
  SplitLinesIfText();
}

void TMyFileData::SplitLinesIfText() {
  if (Owner != nullptr && Owner->IsText) Lines = ContentLines(Content);
}

void TMyFileData::AssignTo(TPersistent& dest) const {
  auto* target = dynamic_cast<TMyFileData*>(&dest);
  if (target == nullptr) return TPersistent::AssignTo(dest);
  if (target == this) return;
  target->Content.Assign(Content.Memory(), static_cast<size_t>(Content.Size()));
  target->Lines = Lines;
}

std::unique_ptr<TListItemData> TListItemData::CreateForFile(TFileObject* fileObject) {
  return std::unique_ptr<TListItemData>(new TListItemData(fileObject));
}

void TListItemData::SetName(const std::string& name) {
  if (list_ == nullptr || TQuarvDataList::Key(name) == TQuarvDataList::Key(name_)) {
    name_ = name;
    return;
  }
  list_->UnindexItem(this, name_);
  name_ = name;
  list_->IndexItem(this);
}

void TListItemData::HashOld() { ContentDigest(OldData.Content, OldHash); }
void TListItemData::HashNew() { ContentDigest(NewData.Content, NewHash); }

void TListItemData::HashBoth() {
  HashOld();
  HashNew();
}

bool TListItemData::HashesEqual() const { return DigestsEqual(OldHash, NewHash); }

void TListItemData::CompareLines() {
  Comparer.Clear();
  Comparer.MatchThreshold = kLineMatchThreshold;
  Comparer.Compare(OldData.Lines, NewData.Lines);
}

bool TListItemData::HasLineChanges() const { return Comparer.Count() > 0; }
bool TListItemData::IsDeletion() const { return State == lsDeleted || State == lsDeletedStaged; }
bool TListItemData::IsAddition() const { return State == lsAdded || State == lsAddedChanged; }

std::string TQuarvDataList::Key(const std::string& name) { return UpperCaseAscii(name); }

TListItemData* TQuarvDataList::Add(std::unique_ptr<TListItemData> item) {
  TListItemData* added = Base::Add(std::move(item));
  added->list_ = this;
  added->listPosition_ = Count() - 1;
  // Appended last, so last among the items of its name as well.
  index_[Key(added->name_)].push_back(added);
  return added;
}

TListItemData* TQuarvDataList::Insert(int i, std::unique_ptr<TListItemData> item) {
  TListItemData* inserted = Base::Insert(i, std::move(item));
  inserted->list_ = this;
  inserted->listPosition_ = i;
  IndexItem(inserted);
  return inserted;
}

std::unique_ptr<TListItemData> TQuarvDataList::Detach(int i) {
  std::unique_ptr<TListItemData> item = Base::Detach(i);
  UnindexItem(item.get(), item->name_);
  item->list_ = nullptr;
  item->listPosition_ = -1;
  return item;
}

void TQuarvDataList::Delete(int i) { Detach(i).reset(); }

void TQuarvDataList::Clear() {
  index_.clear();
  Base::Clear();
}

TListItemData* TQuarvDataList::FindByNameFrom(const std::string& name, int start,
                                              int* position) const {
  if (position != nullptr) *position = -1;
  start = std::max(start, 0);
  if (start >= Count()) return nullptr;
  const auto found = index_.find(Key(name));
  if (found == index_.end()) return nullptr;
  if (start == 0 && position == nullptr) return found->second.front();
  // The items of one name are held in list order: the first at or after start wins.
  for (TListItemData* item : found->second) {
    const int at = PositionOf(item, start);
    if (at >= start) {
      if (position != nullptr) *position = at;
      return item;
    }
  }
  return nullptr;
}

int TQuarvDataList::IndexOfItem(const TListItemData* item, int start) const {
  if (item == nullptr || item->list_ != this) return -1;
  start = std::max(start, 0);
  const int at = PositionOf(item, start);
  return at >= start ? at : -1;
}

// The item's position when its hint is still right; otherwise a scan from
// start, which finds nothing (-1) when the item stands before start.
int TQuarvDataList::PositionOf(const TListItemData* item, int start) const {
  const int hint = item->listPosition_;
  if (hint >= 0 && hint < Count() && (begin() + hint)->get() == item) return hint;
  for (auto it = begin() + std::min(start, Count()); it != end(); ++it) {
    if (it->get() == item) {
      item->listPosition_ = static_cast<int>(it - begin());
      return item->listPosition_;
    }
  }
  return -1;
}

void TQuarvDataList::IndexItem(TListItemData* item) {
  std::vector<TListItemData*>& sameName = index_[Key(item->name_)];
  const int at = PositionOf(item, 0);
  auto place = std::find_if(sameName.begin(), sameName.end(),
                            [&](const TListItemData* other) { return PositionOf(other, 0) > at; });
  sameName.insert(place, item);
}

void TQuarvDataList::UnindexItem(TListItemData* item, const std::string& name) {
  const auto found = index_.find(Key(name));
  if (found == index_.end()) return;
  std::vector<TListItemData*>& sameName = found->second;
  sameName.erase(std::remove(sameName.begin(), sameName.end(), item), sameName.end());
  if (sameName.empty()) index_.erase(found);
}

void TQuarvDataList::RebuildIndex() {
  index_.clear();
  int position = 0;
  for (const auto& item : *this) {
    item->listPosition_ = position++;
    index_[Key(item->name_)].push_back(item.get());
  }
}

}  // namespace pellmor
