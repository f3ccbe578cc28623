#include "scan/uQuarvLoader.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "foundation/AsciiText.h"
#include "foundation/Platform.h"
#include "foundation/uMyFileTypes.h"
#include "scan/WorkingFileReader.h"
#include "store/StoreLayout.h"

namespace pellmor {

namespace {

// How far the working-file reader may run ahead of the comparison.
constexpr int kFilesReadAhead = 64;
constexpr int64_t kBytesReadAhead = 64 << 20;

// Refuses names the store cannot keep apart: two entries of one folder whose
// names differ only in ASCII case would share one entry, and a backslash
// inside a name would read as a folder separator.
void CheckStorableNames(const TFolderObject& folder) {
  // The upper-case names in the order of the entries (files, then folders),
  // sorted stably: names equal but for case become neighbours, the one met
  // first before the other.
  struct TName {
    std::string Upper;
    size_t Order;
    const TFileObject* Node;
  };
  std::vector<TName> names;
  names.reserve(static_cast<size_t>(folder.Files.Count() + folder.Folders.Count()));
  auto add = [&](const TFileObject& node) {
    if (node.Name.find('\\') != std::string::npos)
      throw Exception(Format("Cannot record \"%s\": its name contains a backslash",
                             node.GetFullPath().c_str()));
    names.push_back({UpperCaseAscii(node.Name), names.size(), &node});
  };
  for (const auto& file : folder.Files) add(*file);
  for (const auto& sub : folder.Folders) add(*sub);
  std::stable_sort(names.begin(), names.end(),
                   [](const TName& a, const TName& b) { return a.Upper < b.Upper; });
  // Of several such pairs, the one whose later entry comes first.
  const TName* first = nullptr;
  const TName* second = nullptr;
  for (size_t i = 1; i < names.size(); ++i)
    if (names[i].Upper == names[i - 1].Upper &&
        (second == nullptr || names[i].Order < second->Order)) {
      first = &names[i - 1];
      second = &names[i];
    }
  if (second != nullptr)
    throw Exception(Format("Cannot record \"%s\" and \"%s\": their names differ only in case",
                           first->Node->GetFullPath().c_str(),
                           second->Node->GetFullPath().c_str()));
  for (const auto& sub : folder.Folders)
    CheckStorableNames(*static_cast<TFolderObject*>(sub.get()));
}

// Whether a working file's executable bit or link-ness differs from its entry's.
bool ModeChanged(const TFileObject& file, const TMyFile& entry) {
  return ((file.Attributes ^ entry.Attributes) & kAttrModeBits) != 0;
}

// A new item of one side of a rename pair.
std::unique_ptr<TListItemData> NewRenameItem(TListItemState state, bool isText) {
  auto item = TListItemData::CreateForFile(nullptr);
  item->State = state;
  item->IsText = isText;
  return item;
}

void PairRename(TListItemData& newSide, TListItemData& oldSide) {
  newSide.Partner = &oldSide;
  oldSide.Partner = &newSide;
}

// Whether a change item's newer bytes differ from its older ones: by their
// lines for a text file (line ends aside), else by their digests, which the
// item holds already.
bool ContentChanged(TListItemData& change) {
  if (!change.IsText) return !change.HashesEqual();
  change.CompareLines();
  return change.HasLineChanges();
}

}  // namespace

TQuarvEngine_Loader::TQuarvEngine_Loader(TQuarv_Engine& engine, TWorkingDigestCache* digests,
                                         TWatchedListings* listings)
    : engine_(engine), digests_(digests), listings_(listings) {}

TQuarvEngine_Loader::~TQuarvEngine_Loader() { Reset(); }

void TQuarvEngine_Loader::Reset() {
  ownedTarget_.reset();
  target_ = nullptr;
  base_ = nullptr;
  previous_ = nullptr;
  // Items point into the scan tree, so they go first.
  Changes.Clear();
  Staged.Clear();
  IgnoreList.Clear();
  IgnoreList.AddPattern(kStoreFolderName);
  plannedFiles_.clear();
  root_.reset();
}

void TQuarvEngine_Loader::Prepare(bool compareWithPrevious) {
  Reset();
  TMyContanerList& containers = engine_.FileSystem->Containers;
  base_ = containers.Last();
  if (!compareWithPrevious || base_ == nullptr) {
    target_ = engine_.Index.get();
    return;
  }
  previous_ = containers.FindPrevious(*base_);
  if (previous_ != nullptr) {
    if (!previous_->Loaded) previous_->LoadFromFile(previous_->GetFileName());
  } else if (!engine_.Index->Loaded) {
    engine_.LoadIndex();
  }
  ownedTarget_ = std::make_unique<TMyContaner>();
  engine_.MergeContainers(*ownedTarget_, *base_, *engine_.Index);
  target_ = ownedTarget_.get();
  base_ = previous_;
}

void TQuarvEngine_Loader::Compare() {
  if (target_ == nullptr) throw Exception("The change loader is used before Prepare");
  // A second Compare describes the folder afresh: no items of an earlier one
  // (which point into the earlier scan), no base entry marked seen by it.
  Changes.Clear();
  Staged.Clear();
  if (base_ != nullptr)
    for (const auto& entry : base_->Files) entry->Seen = false;
  renamedNames_.clear();
  for (const auto& rename : engine_.Renames.Items)
    renamedNames_.insert(UpperCaseAscii(rename->NewName));

  // The scan and its name check come first, so that a folder the store
  // cannot record leaves the index untouched.
  // The clock before the scan: any write after this moment changes a stamp the scan takes.
  if (digests_ != nullptr) digests_->BeginPass();
  root_ = ScanFolderTree(engine_.RootPath, "*.*", true, &IgnoreList, listings_);
  CheckStorableNames(*root_);
  CollectRenames();
  CompareWorkingFiles();
  CollectDeletions();
  SortByName(Changes);
  SortByName(Staged);
}

void TQuarvEngine_Loader::CompareWorkingFiles() {
  // The working files CompareFolder reads are read and hashed ahead, in its
  // order, while it works on the ones before.
  std::vector<std::string> planned;
  plannedStamps_.clear();
  stampsTaken_ = 0;
  plannedFiles_.clear();
  filesTaken_ = 0;
  PlanWorkingReads(*root_, "", planned);
  TWorkingFileReader reader(std::move(planned), TWorkingFileReader::DefaultThreads(),
                            kFilesReadAhead, kBytesReadAhead);
  reader_ = &reader;
  try {
    CompareFolder(*root_, "");
  } catch (...) {
    reader_ = nullptr;
    throw;
  }
  reader_ = nullptr;
}

TChangeRefList TQuarvEngine_Loader::ChangeRefs() const {
  TChangeRefList refs;
  refs.reserve(static_cast<size_t>(Changes.Count()));
  for (const auto& item : Changes) refs.push_back(item.get());
  return refs;
}

void TQuarvEngine_Loader::ReadWorkingFile(const std::string& rel, TContentDigest& digest) {
  const std::string path = DiskPath(engine_.RootPath, rel);
  if (reader_ != nullptr) {
    reader_->Take(path, working_, digest);
    if (digests_ != nullptr) {
      const std::optional<TPlannedStamp>& planned = plannedStamps_[stampsTaken_++];
      if (planned) digests_->Record(rel, planned->Stamp, digest, planned->ReadAfter);
    }
    return;
  }
  ReadFileContent(path, working_);
  ContentDigest(working_, digest);
}

bool TQuarvEngine_Loader::IsRenamedTo(const std::string& name) const {
  return !renamedNames_.empty() && renamedNames_.count(UpperCaseAscii(name)) != 0;
}

bool TQuarvEngine_Loader::IsLeftOut(const std::string& rel) const {
  return engine_.IgnoreList.IsIgnored(rel) || IsRenamedTo(rel);
}

void TQuarvEngine_Loader::PlanWorkingReads(const TFolderObject& folder, const std::string& prefix,
                                           std::vector<std::string>& paths) {
  const bool anyStaged = !target_->Files.Empty();
  for (const auto& node : folder.Files) {
    const std::string rel = prefix + node->Name;
    TPlannedFile& file = plannedFiles_.emplace_back();
    TMyFile* stagedEntry = anyStaged ? target_->Files.FindByName(rel) : nullptr;
    if (stagedEntry != nullptr && !stagedEntry->IsLink) {
      file.Staged = stagedEntry;
      if (stagedEntry->Deleted) continue;
      if (digests_ != nullptr) plannedStamps_.push_back(std::nullopt);
      paths.push_back(DiskPath(engine_.RootPath, rel));
      continue;
    }
    file.LeftOut = IsLeftOut(rel);
    if (file.LeftOut) continue;
    file.Recorded = base_ != nullptr ? base_->Files.FindByName(rel) : nullptr;
    if (digests_ != nullptr) {
      // Stamped by the scan, before it is read: a write since changes the stamp.
      const TFileStamp stamp = digests_->Stamp(*node);
      const TContentDigest* known = digests_->Find(rel, stamp, node->UnchangedSince);
      const TMyFile* recorded = file.Recorded;
      if (known != nullptr && recorded != nullptr && !recorded->Deleted &&
          DigestsEqual(*known, recorded->Hash) && !ModeChanged(*node, *recorded)) {
        file.KnownUnchanged = true;
        continue;
      }
      // Read after this scan's Refresh, when a watch vouches for the entry.
      const uint64_t readAfter = node->UnchangedSince == kNotWatched || listings_ == nullptr
                                     ? kNotWatched
                                     : listings_->Refreshes();
      plannedStamps_.push_back(TPlannedStamp{stamp, readAfter});
    }
    paths.push_back(DiskPath(engine_.RootPath, rel));
  }
  for (const auto& sub : folder.Folders)
    PlanWorkingReads(*static_cast<const TFolderObject*>(sub.get()), prefix + sub->Name + '\\',
                     paths);
}

void TQuarvEngine_Loader::CollectRenames() {
  CollectStagedRenames();
  int renamedInIndex = 0;
  for (const auto& record : engine_.Renames.Items)
    if (CollectLoggedRename(record->OldName, record->NewName)) ++renamedInIndex;
  if (renamedInIndex > 0) engine_.SaveIndex();
}

void TQuarvEngine_Loader::CollectStagedRenames() {
  TMyFileList& index = engine_.Index->Files;
  for (const auto& entry : index) {
    TMyFile& newEntry = *entry;
    if (!newEntry.IsLink || newEntry.Deleted) continue;
    TMyFile* oldEntry = index.FindLink(newEntry.LinkName, true);
    if (oldEntry == nullptr)
      throw Exception(
          Format("Corrupted data. Linked filename '%s' not founded.", newEntry.LinkName.c_str()),
          ekDamaged);
    auto newItem = NewRenameItem(lsRenamedNew, newEntry.IsText());
    newItem->NewData.LoadFromStream(newEntry.Content);
    TListItemData& newSide = *AddStaged(std::move(newItem), newEntry.Name());
    TListItemData& oldSide =
        *AddStaged(NewRenameItem(lsRenamedOld, oldEntry->IsText()), oldEntry->Name());
    PairRename(newSide, oldSide);
    newSide.OldData.LoadFromStream(oldEntry->Content);
    newSide.HashBoth();
    if (newSide.IsText) newSide.CompareLines();
  }
}

bool TQuarvEngine_Loader::CollectLoggedRename(const std::string& oldName,
                                              const std::string& newName) {
  if (!FileExists(DiskPath(engine_.RootPath, newName)))
    throw Exception(Format("Error: File was renambed but not found: \"%s\"->\"%s\"",
                           oldName.c_str(), newName.c_str()),
                    ekNotFound);
  TListItemData* stagedNew = FindItem(Staged, newName);
  TListItemData* stagedOld = FindItem(Staged, oldName);
  if (stagedNew != nullptr && stagedOld != nullptr) {
    ReportChangeOfStagedRename(*stagedNew);
    return false;
  }
  if (stagedNew != nullptr || stagedOld != nullptr)
    throw Exception(Format(
        "Internal error: the rename \"%s\"->\"%s\" has a staged item under "
        "\"%s\" only, where both of its names or neither were expected",
        oldName.c_str(), newName.c_str(), (stagedNew != nullptr ? newName : oldName).c_str()));
  return AddLoggedRename(oldName, newName);
}

void TQuarvEngine_Loader::ReportChangeOfStagedRename(TListItemData& stagedNew) {
  auto change = TListItemData::CreateForFile(nullptr);
  change->State = lsRenamedChanged;
  change->Partner = &stagedNew;
  change->IsText = FileTypes.IsTextFile(stagedNew.Name());
  change->OldData.LoadFromStream(stagedNew.NewData.Content);
  change->OldHash = stagedNew.NewHash;
  ReadWorkingFile(stagedNew.Name(), change->NewHash);
  change->NewData.TakeContent(working_);
  if (ContentChanged(*change)) AddChange(std::move(change), stagedNew.Name());
}

bool TQuarvEngine_Loader::AddLoggedRename(const std::string& oldName, const std::string& newName) {
  auto newItem = NewRenameItem(lsRenamedNew, FileTypes.IsTextFile(newName));
  TContentDigest workingDigest;
  ReadWorkingFile(newName, workingDigest);
  newItem->NewData.TakeContent(working_);
  TListItemData& newSide = *AddChange(std::move(newItem), newName);
  TListItemData& oldSide = *AddChange(NewRenameItem(lsRenamedOld, newSide.IsText), oldName);
  PairRename(newSide, oldSide);

  bool renamedInIndex = false;
  TMyFile& source = RenameSource(oldName, newName, renamedInIndex);
  newSide.OldData.LoadFromStream(source.Content);
  newSide.HashOld();
  newSide.NewHash = workingDigest;
  if (newSide.IsText) newSide.CompareLines();
  return renamedInIndex;
}

TMyFile& TQuarvEngine_Loader::RenameSource(const std::string& oldName, const std::string& newName,
                                           bool& renamedInIndex) {
  TMyFileList& index = engine_.Index->Files;
  if (TMyFile* staged = index.FindByName(oldName)) {
    staged->SetName(newName);
    renamedInIndex = true;
    return *staged;
  }
  if (TMyFile* staged = index.FindByName(newName)) return *staged;
  TMyFile* recorded = base_ != nullptr ? base_->Files.FindByName(oldName) : nullptr;
  if (recorded == nullptr)
    throw Exception(Format("Error: File was renambed but not found in base: \"%s\"->\"%s\"",
                           oldName.c_str(), newName.c_str()),
                    ekNotFound);
  if (recorded->DataRevision < base_->Number) engine_.LoadContent(*recorded);
  return *recorded;
}

void TQuarvEngine_Loader::CompareFolder(TFolderObject& folder, const std::string& prefix) {
  for (const auto& node : folder.Files) {
    TFileObject& file = *node;
    const std::string rel = prefix + file.Name;  // file.GetRelativePath(), built along the walk
    const TPlannedFile& planned = plannedFiles_[filesTaken_++];
    if (TMyFile* staged = planned.Staged) {
      // A plain target entry: the path is staged.
      auto item = TListItemData::CreateForFile(&file);
      if (staged->Deleted)
        item->State = lsDeleted;
      else
        CompareStagedFile(rel, *staged, *item, base_ != nullptr ? *base_ : *target_);
      staged->Seen = true;
      AddStaged(std::move(item), rel);
      continue;
    }
    // Names the store leaves out, and new names of renames (CollectRenames covers them).
    if (planned.LeftOut) continue;
    if (planned.Recorded != nullptr)
      CompareWithBase(rel, file, *planned.Recorded, planned.KnownUnchanged);
    else
      AddNewFile(rel, file);
  }
  for (const auto& sub : folder.Folders)
    CompareFolder(*static_cast<TFolderObject*>(sub.get()), prefix + sub->Name + '\\');
}

void TQuarvEngine_Loader::CompareWithBase(const std::string& rel, TFileObject& file,
                                          TMyFile& recorded, bool knownUnchanged) {
  recorded.Seen = true;
  if (knownUnchanged) return;
  TContentDigest workingDigest;
  ReadWorkingFile(rel, workingDigest);
  // A file that became executable or not, or a symbolic link or not, has
  // changed whatever its bytes, so that its entry takes the new attributes.
  const bool modeChanged = !recorded.Deleted && ModeChanged(file, recorded);
  // Equal digests mean equal bytes: the stored bytes need not be read.
  if (!recorded.Deleted && !modeChanged && DigestsEqual(workingDigest, recorded.Hash)) return;

  if (recorded.DataRevision < base_->Number) engine_.LoadContent(recorded);
  auto item = TListItemData::CreateForFile(&file);
  item->IsText = recorded.IsText();
  item->OldData.LoadFromStream(recorded.Content);
  item->NewData.TakeContent(working_);
  item->HashOld();
  item->NewHash = workingDigest;
  item->State = lsModified;
  // A file the base records as deleted is back, whatever its bytes: it is
  // always a change, or an empty file put back would never be recorded.
  if (recorded.Deleted || modeChanged) {
    if (item->IsText) item->CompareLines();
    AddChange(std::move(item), rel);
    return;
  }
  if (item->HashesEqual()) return;
  if (item->IsText) {
    item->CompareLines();
    if (!item->HasLineChanges()) return;  // only the line ends differ
  }
  AddChange(std::move(item), rel);
}

void TQuarvEngine_Loader::AddNewFile(const std::string& rel, TFileObject& file) {
  auto item = TListItemData::CreateForFile(&file);
  item->IsText = FileTypes.IsTextFile(rel);
  ReadWorkingFile(rel, item->OldHash);
  item->OldData.TakeContent(working_);
  item->State = lsAdded;
  AddChange(std::move(item), rel);
}

void TQuarvEngine_Loader::CompareStagedFile(const std::string& rel, TMyFile& staged,
                                            TListItemData& item, TMyContaner& container) {
  if (TMyFile* recorded = container.Files.FindByName(rel))
    CompareStagedModification(rel, staged, *recorded, container, item);
  else
    CompareStagedAddition(rel, staged, item);
}

void TQuarvEngine_Loader::CompareStagedModification(const std::string& rel, TMyFile& staged,
                                                    TMyFile& recorded, TMyContaner& container,
                                                    TListItemData& item) {
  item.State = lsModified;
  if (recorded.DataRevision < container.Number) engine_.LoadContent(recorded);
  const bool text = recorded.IsText();
  item.IsText = text;
  item.OldData.LoadFromStream(recorded.Content);
  item.NewData.LoadFromStream(staged.Content);
  auto pending = TListItemData::CreateForFile(item.FileObject);
  pending->IsText = text;
  pending->OldData.Assign(item.NewData);
  ReadWorkingFile(rel, pending->NewHash);
  pending->NewData.TakeContent(working_);
  pending->State = lsModifiedChanged;
  if (text) {
    item.HashBoth();
    item.CompareLines();
  } else {
    pending->HashOld();
  }
  if (!ContentChanged(*pending)) return;
  item.State = lsModifiedChanged;
  AddChange(std::move(pending), rel);
}

void TQuarvEngine_Loader::CompareStagedAddition(const std::string& rel, TMyFile& staged,
                                                TListItemData& item) {
  // The decision rests on the digests, text or not.
  item.State = lsAdded;
  item.IsText = staged.IsText();
  item.OldData.LoadFromStream(staged.Content);
  item.HashOld();
  auto pending = TListItemData::CreateForFile(item.FileObject);
  pending->IsText = item.IsText;
  pending->OldData.Assign(item.OldData);
  ReadWorkingFile(rel, pending->NewHash);
  pending->NewData.TakeContent(working_);
  pending->OldHash = item.OldHash;
  pending->State = lsAddedChanged;
  if (pending->IsText) pending->CompareLines();
  if (pending->HashesEqual()) return;
  item.State = lsAddedChanged;
  AddChange(std::move(pending), rel);
}

void TQuarvEngine_Loader::CollectDeletions() {
  if (base_ == nullptr) return;
  for (const auto& entry : base_->Files) {
    const TMyFile& recorded = *entry;
    if (recorded.Seen || recorded.Deleted) continue;
    const TMyFile* staged = target_->Files.FindByName(recorded.Name());
    if (staged != nullptr && (!staged->Deleted || staged->IsLink)) continue;
    if (IsRenamedTo(recorded.Name())) continue;
    auto item = TListItemData::CreateForFile(nullptr);
    if (staged != nullptr) {
      item->State = lsDeletedStaged;
      AddStaged(std::move(item), recorded.Name());
    } else {
      item->State = lsDeleted;
      AddChange(std::move(item), recorded.Name());
    }
  }
}

// The bookkeeping of one ApplyChanges. Items leave Changes in one pass at the
// end (also when a failure ends the loop), so that staging every change
// costs time in proportion to their number; until then Taken tells which of
// them are no longer in Changes.
struct TQuarvEngine_Loader::TApplyPass {
  TApplyPass(TQuarvEngine_Loader& loader, TChangeRefList& items)
      : Loader(loader), Items(items), Dropped(items.size(), false) {
    for (size_t position = 0; position < items.size(); ++position)
      if (items[position]->State == lsRenamedNew || items[position]->State == lsRenamedOld)
        PairPositions[items[position]].push_back(position);
  }

  bool InChanges(const TListItemData* item) const {
    return Loader.Changes.IndexOfItem(item) >= 0 && Taken.count(item) == 0;
  }
  // The item leaves Changes for Staged.
  void Stage(TListItemData* item) {
    Taken.insert(item);
    MovedToStaged.push_back(item);
  }
  // The item leaves Changes and is freed: it was merged into a staged item.
  void Merge(const TListItemData* item) { Taken.insert(item); }
  // Takes out of the list the first place after `after` where member stands.
  void DropLater(const TListItemData* member, size_t after) {
    const auto found = PairPositions.find(member);
    if (found == PairPositions.end()) return;
    for (size_t position : found->second)
      if (position > after && !Dropped[position]) {
        Dropped[position] = true;
        return;
      }
  }
  // Moves the items taken out of Changes, and the dropped places out of the list.
  void Finish() {
    Loader.TakeFromChanges(Taken, MovedToStaged);
    size_t kept = 0;
    for (size_t position = 0; position < Items.size(); ++position)
      if (!Dropped[position]) Items[kept++] = Items[position];
    Items.resize(kept);
  }

  TQuarvEngine_Loader& Loader;
  TChangeRefList& Items;  // the caller's list
  std::unordered_set<const TListItemData*> Taken;
  TChangeRefList MovedToStaged;  // in the order they were staged
  // Where in Items the members of rename pairs stand.
  std::unordered_map<const TListItemData*, std::vector<size_t>> PairPositions;
  std::vector<bool> Dropped;  // places in Items of pair members applied with their partner
};

int TQuarvEngine_Loader::ApplyChanges(TChangeRefList& items) {
  TApplyPass pass(*this, items);
  int applied = 0;
  try {
    for (size_t position = 0; position < items.size(); ++position) {
      if (pass.Dropped[position]) continue;
      ApplyChange(pass, position);
      ++applied;
    }
  } catch (...) {
    pass.Finish();
    throw;
  }
  pass.Finish();
  if (applied > 0) SortByName(Staged);
  return applied;
}

void TQuarvEngine_Loader::ApplyChange(TApplyPass& pass, size_t position) {
  TListItemData& item = *pass.Items[position];
  if (!pass.InChanges(&item))
    throw Exception(Format("File '%s' not founded in the source", item.Name().c_str()));
  switch (item.State) {
    case lsAddedChanged:
    case lsModifiedChanged:
      MergeIntoStagedFile(item);
      pass.Merge(&item);
      break;
    case lsRenamedChanged:
      MergeIntoStagedRename(item);
      pass.Merge(&item);
      break;
    case lsDeleted:
    case lsDeletedStaged:
    case lsAdded:
    case lsModified:
      if (item.State == lsDeleted) item.State = lsDeletedStaged;
      pass.Stage(&item);
      ApplyItem(item);
      break;
    case lsRenamedNew:
    case lsRenamedOld:
      StageRenamePair(pass, item, position);
      break;
  }
}

void TQuarvEngine_Loader::MergeIntoStagedFile(TListItemData& change) {
  TListItemData* staged = FindItem(Staged, change.Name());
  TMyFile* entry = target_->Files.FindByName(change.Name());
  if (staged == nullptr || entry == nullptr)
    throw Exception(Format("File '%s' not founded in the index", change.Name().c_str()));
  if (change.State == lsAddedChanged) {
    staged->OldData.LoadFromStream(change.NewData.Content);
    staged->HashOld();
    entry->SetContent(staged->OldData.Content);
    entry->Hash = staged->OldHash;
    staged->State = lsAdded;
  } else {
    staged->NewData.LoadFromStream(change.NewData.Content);
    staged->HashNew();
    if (staged->IsText) staged->CompareLines();
    entry->SetContent(staged->NewData.Content);
    entry->Hash = staged->NewHash;
    staged->State = lsModified;
  }
}

void TQuarvEngine_Loader::MergeIntoStagedRename(TListItemData& change) {
  TListItemData* stagedNew = change.Partner;
  TMyFile* entry = target_->Files.FindLink(change.Name(), false);
  if (stagedNew == nullptr || entry == nullptr)
    throw Exception(Format("File '%s' not founded in the index", change.Name().c_str()));
  stagedNew->NewData.LoadFromStream(change.NewData.Content);
  stagedNew->HashNew();
  entry->SetContent(stagedNew->NewData.Content);
  entry->Hash = stagedNew->NewHash;
}

void TQuarvEngine_Loader::StageRenamePair(TApplyPass& pass, TListItemData& member,
                                          size_t position) {
  TListItemData* newSide = member.State == lsRenamedNew ? &member : member.Partner;
  TListItemData* oldSide = member.State == lsRenamedNew ? member.Partner : &member;
  // Both members must still be in Changes (the new name too, or the pair
  // would be staged half).
  for (TListItemData* side : {oldSide, newSide})
    if (side == nullptr || !pass.InChanges(side))
      throw Exception(Format("File '%s' not founded in the list",
                             (side != nullptr ? side : &member)->Name().c_str()));
  pass.Stage(newSide);
  pass.Stage(oldSide);
  ApplyItem(*newSide);
  pass.DropLater(&member == newSide ? oldSide : newSide, position);
}

void TQuarvEngine_Loader::TakeFromChanges(const std::unordered_set<const TListItemData*>& taken,
                                          const TChangeRefList& movedToStaged) {
  if (taken.empty()) return;
  // Empties Changes from its end (cheap removals) and puts back what stays.
  std::vector<std::unique_ptr<TListItemData>> all(static_cast<size_t>(Changes.Count()));
  for (size_t i = all.size(); i-- > 0;) all[i] = Changes.Detach(static_cast<int>(i));
  std::unordered_map<const TListItemData*, std::unique_ptr<TListItemData>> removed;
  for (auto& item : all) {
    if (taken.count(item.get()) != 0) {
      const TListItemData* key = item.get();
      removed.emplace(key, std::move(item));
    } else {
      Changes.Add(std::move(item));
    }
  }
  for (TListItemData* item : movedToStaged) Staged.Add(std::move(removed.at(item)));
  // What is left in removed was merged into a staged item and is freed here.
}

void TQuarvEngine_Loader::ApplyItem(TListItemData& item) {
  if (item.IsDeletion())
    StageDeletion(item);
  else if (item.State == lsRenamedNew)
    StageRename(item);
  else
    StageFile(item);
}

void TQuarvEngine_Loader::StageDeletion(const TListItemData& item) {
  TMyFile* entry = target_->Files.FindOrAdd(item.Name());
  if (!entry->Untouched) return;
  entry->Deleted = true;
  entry->Untouched = false;
}

void TQuarvEngine_Loader::StageRename(TListItemData& newSide) {
  TMyFileList& files = target_->Files;
  const std::string& oldName = newSide.Partner->Name();
  TMyFile* renamed = files.FindOrAdd(newSide.Name());
  if (renamed->Untouched) {
    const std::string path = DiskPath(engine_.RootPath, newSide.Name());
    TEntryInfo info;
    if (!ReadEntryInfo(path, info))
      throw Exception(Format("File '%s' not founded", path.c_str()), ekNotFound);
    renamed->Attributes = info.Attributes;
    renamed->CreationTime = info.CreationTime;
    renamed->LastAccessTime = info.LastAccessTime;
    renamed->LastWriteTime = info.LastWriteTime;
    renamed->IsLink = true;
    renamed->Untouched = false;
    renamed->LinkName = oldName;
    renamed->SetContent(newSide.NewData.Content);
    renamed->Hash = newSide.NewHash;
  }
  if (files.FindLink(oldName, true) != nullptr) return;
  TMyFile* gone = files.Add();
  gone->SetName(oldName);
  gone->IsLink = true;
  gone->Deleted = true;
  gone->Untouched = false;
  gone->LinkName = newSide.Name();
}

void TQuarvEngine_Loader::StageFile(TListItemData& item) {
  TMyFile* entry = target_->Files.FindOrAdd(item.Name());
  const TFileObject* file = item.FileObject;
  if (!entry->Untouched || file == nullptr) return;
  entry->Attributes = file->Attributes;
  entry->CreationTime = file->CreationTime;
  entry->LastAccessTime = file->LastAccessTime;
  entry->LastWriteTime = file->LastWriteTime;
  // The entry's digest goes with its bytes, so that a saved index carries it too.
  if (item.IsAddition()) {
    entry->SetContent(item.OldData.Content);
    entry->Hash = item.OldHash;
    entry->ChangeKind = ckAdded;
  } else {
    entry->SetContent(item.NewData.Content);
    entry->Hash = item.NewHash;
    if (item.State == lsModified || item.State == lsModifiedChanged) entry->ChangeKind = ckModified;
  }
  entry->Untouched = false;
}

TListItemData* TQuarvEngine_Loader::AddChange(std::unique_ptr<TListItemData> item,
                                              const std::string& name) {
  item->SetName(name);
  return Changes.Add(std::move(item));
}

TListItemData* TQuarvEngine_Loader::AddStaged(std::unique_ptr<TListItemData> item,
                                              const std::string& name) {
  item->SetName(name);
  return Staged.Add(std::move(item));
}

TListItemData* TQuarvEngine_Loader::FindItem(const TQuarvDataList& list, const std::string& name) {
  return list.FindByName(name);
}

void TQuarvEngine_Loader::SortByName(TQuarvDataList& list) {
  // Ordinal, byte by byte (std::string compares its bytes as unsigned).
  list.Sort([](const TListItemData& a, const TListItemData& b) { return a.Name() < b.Name(); });
}

}  // namespace pellmor
