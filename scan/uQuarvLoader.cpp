#include "scan/uQuarvLoader.h"

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
  std::unordered_map<std::string, const TFileObject*> byUpperName;
  auto check = [&](const TFileObject& node) {
    if (node.Name.find('\\') != std::string::npos)
      throw Exception(Format("Cannot record \"%s\": its name contains a backslash",
                             node.GetFullPath().c_str()));
    const auto [it, added] = byUpperName.emplace(UpperCaseAscii(node.Name), &node);
    if (!added)
      throw Exception(Format("Cannot record \"%s\" and \"%s\": their names differ only in case",
                             it->second->GetFullPath().c_str(), node.GetFullPath().c_str()));
  };
  for (const auto& file : folder.Files) check(*file);
  for (const auto& sub : folder.Folders) check(*sub);
  for (const auto& sub : folder.Folders)
    CheckStorableNames(*static_cast<TFolderObject*>(sub.get()));
}

// Whether a working file's executable bit or link-ness differs from its entry's.
bool ModeChanged(const TFileObject& file, const TMyFile& entry) {
  return ((file.Attributes ^ entry.Attributes) & kAttrModeBits) != 0;
}

}  // namespace

TQuarvEngine_Loader::TQuarvEngine_Loader(TQuarv_Engine& engine, TWorkingDigestCache* digests)
    : engine_(engine), digests_(digests) {}

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
  knownUnchanged_.clear();  // points into the scan tree
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
  root_ = ScanFolderTree(engine_.RootPath, "*.*", true, &IgnoreList);
  CheckStorableNames(*root_);
  CollectRenames();
  {
    // The working files CompareFolder reads are read and hashed ahead, in
    // its order, while it works on the ones before.
    std::vector<std::string> planned;
    plannedStamps_.clear();
    stampsTaken_ = 0;
    knownUnchanged_.clear();
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
  CollectDeletions();
  SortByName(Changes);
  SortByName(Staged);
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
      const std::optional<TFileStamp>& stamp = plannedStamps_[stampsTaken_++];
      if (stamp) digests_->Record(rel, *stamp, digest);
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
  for (const auto& node : folder.Files) {
    const std::string rel = prefix + node->Name;
    const TMyFile* e = target_->Files.FindByName(rel);
    const bool staged = e != nullptr && !e->IsLink;
    if (staged ? e->Deleted : IsLeftOut(rel)) continue;
    std::string path = DiskPath(engine_.RootPath, rel);
    if (digests_ != nullptr && !staged) {
      // Stamped by the scan, before it is read: a write since changes the stamp.
      const TFileStamp stamp = digests_->Stamp(*node);
      const TMyFile* b = base_ != nullptr ? base_->Files.FindByName(rel) : nullptr;
      const TContentDigest* known = digests_->Find(rel, stamp);
      if (known != nullptr && b != nullptr && !b->Deleted && DigestsEqual(*known, b->Hash) &&
          !ModeChanged(*node, *b)) {
        knownUnchanged_.insert(node.get());
        continue;
      }
      plannedStamps_.push_back(stamp);
    } else if (digests_ != nullptr) {
      plannedStamps_.push_back(std::nullopt);
    }
    paths.push_back(std::move(path));
  }
  for (const auto& sub : folder.Folders)
    PlanWorkingReads(*static_cast<const TFolderObject*>(sub.get()), prefix + sub->Name + '\\',
                     paths);
}

void TQuarvEngine_Loader::CollectRenames() {
  TMyContaner& index = *engine_.Index;

  // Renames already staged: the live link entry of each pair in the index.
  for (const auto& entry : index.Files) {
    TMyFile& e = *entry;
    if (!e.IsLink || e.Deleted) continue;
    TMyFile* o = index.Files.FindLink(e.LinkName, true);
    if (o == nullptr)
      throw Exception(
          Format("Corrupted data. Linked filename '%s' not founded.", e.LinkName.c_str()),
          ekDamaged);
    auto newItem = TListItemData::CreateForFile(nullptr);
    newItem->State = lsRenamedNew;
    newItem->IsText = e.IsText();
    newItem->NewData.LoadFromStream(e.Content);
    TListItemData* n = AddStaged(std::move(newItem), e.Name());
    auto oldItem = TListItemData::CreateForFile(nullptr);
    oldItem->State = lsRenamedOld;
    oldItem->IsText = o->IsText();
    TListItemData* p = AddStaged(std::move(oldItem), o->Name());
    n->Partner = p;
    p->Partner = n;
    n->OldData.LoadFromStream(o->Content);
    n->HashBoth();
    if (n->IsText) n->CompareLines();
  }

  // The rename log.
  int renamedInIndex = 0;
  for (const auto& record : engine_.Renames.Items) {
    const std::string& oldName = record->OldName;
    const std::string& newName = record->NewName;
    if (!FileExists(DiskPath(engine_.RootPath, newName)))
      throw Exception(Format("Error: File was renambed but not found: \"%s\"->\"%s\"",
                             oldName.c_str(), newName.c_str()),
                      ekNotFound);
    TListItemData* sn = FindItem(Staged, newName);
    TListItemData* so = FindItem(Staged, oldName);
    if (sn != nullptr && so != nullptr) {
      // Staged already: report a change of the working file since.
      auto m = TListItemData::CreateForFile(nullptr);
      m->State = lsRenamedChanged;
      m->Partner = sn;
      m->IsText = FileTypes.IsTextFile(newName);
      m->OldData.LoadFromStream(sn->NewData.Content);
      m->OldHash = sn->NewHash;
      ReadWorkingFile(sn->Name(), m->NewHash);
      m->NewData.TakeContent(working_);
      bool changed;
      if (m->IsText) {
        m->CompareLines();
        changed = m->HasLineChanges();
      } else {
        changed = !m->HashesEqual();
      }
      if (changed) AddChange(std::move(m), sn->Name());
      continue;
    }
    if (sn != nullptr || so != nullptr)
      throw Exception(
          Format("Internal error: the rename \"%s\"->\"%s\" has a staged item under "
                 "\"%s\" only, where both of its names or neither were expected",
                 oldName.c_str(), newName.c_str(), (sn != nullptr ? newName : oldName).c_str()));

    auto newItem = TListItemData::CreateForFile(nullptr);
    newItem->State = lsRenamedNew;
    newItem->IsText = FileTypes.IsTextFile(newName);
    TContentDigest workingDigest;
    ReadWorkingFile(newName, workingDigest);
    newItem->NewData.TakeContent(working_);
    TListItemData* n = AddChange(std::move(newItem), newName);
    auto oldItem = TListItemData::CreateForFile(nullptr);
    oldItem->State = lsRenamedOld;
    oldItem->IsText = n->IsText;
    TListItemData* p = AddChange(std::move(oldItem), oldName);
    n->Partner = p;
    p->Partner = n;

    TMyFile* e = index.Files.FindByName(oldName);
    if (e != nullptr) {
      e->SetName(newName);
      ++renamedInIndex;
    } else {
      e = index.Files.FindByName(newName);
    }
    if (e == nullptr) {
      if (base_ != nullptr) e = base_->Files.FindByName(oldName);
      if (e == nullptr)
        throw Exception(Format("Error: File was renambed but not found in base: \"%s\"->\"%s\"",
                               oldName.c_str(), newName.c_str()),
                        ekNotFound);
      if (e->DataRevision < base_->Number) engine_.LoadContent(*e);
    }
    n->OldData.LoadFromStream(e->Content);
    n->HashOld();
    n->NewHash = workingDigest;
    if (n->IsText) n->CompareLines();
  }
  if (renamedInIndex > 0) engine_.SaveIndex();
}

void TQuarvEngine_Loader::CompareFolder(TFolderObject& folder, const std::string& prefix) {
  for (const auto& node : folder.Files) {
    TFileObject& f = *node;
    const std::string rel = prefix + f.Name;  // f.GetRelativePath(), built along the walk
    TMyFile* e = target_->Files.FindByName(rel);
    if (e != nullptr && !e->IsLink) {
      // A plain target entry: the path is staged.
      auto item = TListItemData::CreateForFile(&f);
      if (e->Deleted)
        item->State = lsDeleted;
      else
        CompareStagedFile(rel, *e, *item, base_ != nullptr ? *base_ : *target_);
      e->Seen = true;
      AddStaged(std::move(item), rel);
      continue;
    }
    // Names the store leaves out, and new names of renames (CollectRenames covers them).
    if (IsLeftOut(rel)) continue;
    TMyFile* b = base_ != nullptr ? base_->Files.FindByName(rel) : nullptr;
    if (b != nullptr)
      CompareWithBase(rel, f, *b);
    else
      AddNewFile(rel, f);
  }
  for (const auto& sub : folder.Folders)
    CompareFolder(*static_cast<TFolderObject*>(sub.get()), prefix + sub->Name + '\\');
}

void TQuarvEngine_Loader::CompareWithBase(const std::string& rel, TFileObject& file, TMyFile& b) {
  b.Seen = true;
  // Its kept digest, read under the stamp it still has, is the base entry's
  // (and its mode bits are the entry's: PlanWorkingReads saw to that).
  if (knownUnchanged_.count(&file) != 0) return;
  TContentDigest workingDigest;
  ReadWorkingFile(rel, workingDigest);
  // A file that became executable or not, or a symbolic link or not, has
  // changed whatever its bytes, so that its entry takes the new attributes.
  const bool modeChanged = !b.Deleted && ModeChanged(file, b);
  // Equal digests mean equal bytes: the stored bytes need not be read.
  if (!b.Deleted && !modeChanged && DigestsEqual(workingDigest, b.Hash)) return;

  if (b.DataRevision < base_->Number) engine_.LoadContent(b);
  auto item = TListItemData::CreateForFile(&file);
  item->IsText = b.IsText();
  item->OldData.LoadFromStream(b.Content);
  item->NewData.TakeContent(working_);
  item->HashOld();
  item->NewHash = workingDigest;
  item->State = lsModified;
  // A file the base records as deleted is back, whatever its bytes: it is
  // always a change, or an empty file put back would never be recorded.
  if (b.Deleted || modeChanged) {
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

void TQuarvEngine_Loader::CompareStagedFile(const std::string& rel, TMyFile& e, TListItemData& item,
                                            TMyContaner& container) {
  TMyFile* b = container.Files.FindByName(rel);
  auto pending = TListItemData::CreateForFile(item.FileObject);
  if (b != nullptr) {
    // A staged modification.
    item.State = lsModified;
    if (b->DataRevision < container.Number) engine_.LoadContent(*b);
    const bool text = b->IsText();
    item.IsText = text;
    item.OldData.LoadFromStream(b->Content);
    item.NewData.LoadFromStream(e.Content);
    pending->IsText = text;
    pending->OldData.Assign(item.NewData);
    ReadWorkingFile(rel, pending->NewHash);
    pending->NewData.TakeContent(working_);
    pending->State = lsModifiedChanged;
    bool changed;
    if (text) {
      item.HashBoth();
      item.CompareLines();
      pending->CompareLines();
      changed = pending->HasLineChanges();
    } else {
      pending->HashOld();
      changed = !pending->HashesEqual();
    }
    if (changed) {
      item.State = lsModifiedChanged;
      AddChange(std::move(pending), rel);
    }
    return;
  }

  // A staged addition; the decision rests on the digests, text or not.
  item.State = lsAdded;
  item.IsText = e.IsText();
  item.OldData.LoadFromStream(e.Content);
  item.HashOld();
  pending->IsText = item.IsText;
  pending->OldData.Assign(item.OldData);
  ReadWorkingFile(rel, pending->NewHash);
  pending->NewData.TakeContent(working_);
  pending->OldHash = item.OldHash;
  pending->State = lsAddedChanged;
  if (pending->IsText) pending->CompareLines();
  if (!pending->HashesEqual()) {
    item.State = lsAddedChanged;
    AddChange(std::move(pending), rel);
  }
}

void TQuarvEngine_Loader::CollectDeletions() {
  if (base_ == nullptr) return;
  for (const auto& entry : base_->Files) {
    const TMyFile& b = *entry;
    if (b.Seen || b.Deleted) continue;
    const TMyFile* t = target_->Files.FindByName(b.Name());
    if (t != nullptr && (!t->Deleted || t->IsLink)) continue;
    if (IsRenamedTo(b.Name())) continue;
    auto item = TListItemData::CreateForFile(nullptr);
    if (t != nullptr) {
      item->State = lsDeletedStaged;
      AddStaged(std::move(item), b.Name());
    } else {
      item->State = lsDeleted;
      AddChange(std::move(item), b.Name());
    }
  }
}

int TQuarvEngine_Loader::ApplyChanges(TChangeRefList& items) {
  // Items leave Changes in one pass at the end (also when a failure ends the
  // loop), so that staging every change costs time in proportion to their
  // number; until then `taken` tells which of them are no longer in Changes.
  std::unordered_set<const TListItemData*> taken;
  TChangeRefList movedToStaged;  // in the order they were staged
  // Positions in items of the members of rename pairs, for taking a pair's
  // second member out of the list.
  std::unordered_map<const TListItemData*, std::vector<size_t>> pairPositions;
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i]->State == lsRenamedNew || items[i]->State == lsRenamedOld)
      pairPositions[items[i]].push_back(i);
  std::vector<bool> dropped(items.size(), false);

  auto inChanges = [&](const TListItemData* item) {
    return Changes.IndexOfItem(item) >= 0 && taken.count(item) == 0;
  };
  auto stage = [&](TListItemData* item) {
    taken.insert(item);
    movedToStaged.push_back(item);
  };
  auto finish = [&] {
    TakeFromChanges(taken, movedToStaged);
    size_t kept = 0;
    for (size_t i = 0; i < items.size(); ++i)
      if (!dropped[i]) items[kept++] = items[i];
    items.resize(kept);
  };

  int applied = 0;
  try {
    for (size_t j = 0; j < items.size(); ++j) {
      if (dropped[j]) continue;
      TListItemData* x = items[j];
      if (!inChanges(x))
        throw Exception(Format("File '%s' not founded in the source", x->Name().c_str()));
      switch (x->State) {
        case lsAddedChanged:
        case lsModifiedChanged: {
          TListItemData* s = FindItem(Staged, x->Name());
          TMyFile* e = target_->Files.FindByName(x->Name());
          if (s == nullptr || e == nullptr)
            throw Exception(Format("File '%s' not founded in the index", x->Name().c_str()));
          if (x->State == lsAddedChanged) {
            s->OldData.LoadFromStream(x->NewData.Content);
            s->HashOld();
            e->SetContent(s->OldData.Content);
            e->Hash = s->OldHash;
            s->State = lsAdded;
          } else {
            s->NewData.LoadFromStream(x->NewData.Content);
            s->HashNew();
            if (s->IsText) s->CompareLines();
            e->SetContent(s->NewData.Content);
            e->Hash = s->NewHash;
            s->State = lsModified;
          }
          taken.insert(x);  // merged: freed with the others taken
          break;
        }
        case lsRenamedChanged: {
          TListItemData* s = x->Partner;
          TMyFile* e = target_->Files.FindLink(x->Name(), false);
          if (s == nullptr || e == nullptr)
            throw Exception(Format("File '%s' not founded in the index", x->Name().c_str()));
          s->NewData.LoadFromStream(x->NewData.Content);
          s->HashNew();
          e->SetContent(s->NewData.Content);
          e->Hash = s->NewHash;
          taken.insert(x);
          break;
        }
        case lsDeleted:
        case lsDeletedStaged:
        case lsAdded:
        case lsModified:
          if (x->State == lsDeleted) x->State = lsDeletedStaged;
          stage(x);
          ApplyItem(*x);
          break;
        case lsRenamedNew:
        case lsRenamedOld: {
          TListItemData* a = x->State == lsRenamedNew ? x : x->Partner;
          TListItemData* o = x->State == lsRenamedNew ? x->Partner : x;
          // Both members must still be in Changes (the new name too, or the
          // pair would be staged half).
          for (TListItemData* member : {o, a})
            if (member == nullptr || !inChanges(member))
              throw Exception(Format("File '%s' not founded in the list",
                                     (member != nullptr ? member : x)->Name().c_str()));
          stage(a);
          stage(o);
          ApplyItem(*a);
          const TListItemData* other = x == a ? o : a;
          const auto found = pairPositions.find(other);
          if (found != pairPositions.end())
            for (size_t position : found->second)
              if (position > j && !dropped[position]) {
                dropped[position] = true;
                break;
              }
          break;
        }
      }
      ++applied;
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  if (applied > 0) SortByName(Staged);
  return applied;
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
  TMyFileList& files = target_->Files;
  if (item.IsDeletion()) {
    TMyFile* e = files.FindOrAdd(item.Name());
    if (e->Untouched) {
      e->Deleted = true;
      e->Untouched = false;
    }
    return;
  }
  if (item.State == lsRenamedNew) {
    const std::string& oldName = item.Partner->Name();
    TMyFile* e = files.FindOrAdd(item.Name());
    if (e->Untouched) {
      const std::string path = DiskPath(engine_.RootPath, item.Name());
      TEntryInfo info;
      if (!ReadEntryInfo(path, info))
        throw Exception(Format("File '%s' not founded", path.c_str()), ekNotFound);
      e->Attributes = info.Attributes;
      e->CreationTime = info.CreationTime;
      e->LastAccessTime = info.LastAccessTime;
      e->LastWriteTime = info.LastWriteTime;
      e->IsLink = true;
      e->Untouched = false;
      e->LinkName = oldName;
      e->SetContent(item.NewData.Content);
      e->Hash = item.NewHash;
    }
    if (files.FindLink(oldName, true) == nullptr) {
      TMyFile* gone = files.Add();
      gone->SetName(oldName);
      gone->IsLink = true;
      gone->Deleted = true;
      gone->Untouched = false;
      gone->LinkName = item.Name();
    }
    return;
  }
  TMyFile* e = files.FindOrAdd(item.Name());
  const TFileObject* f = item.FileObject;
  if (!e->Untouched || f == nullptr) return;
  e->Attributes = f->Attributes;
  e->CreationTime = f->CreationTime;
  e->LastAccessTime = f->LastAccessTime;
  e->LastWriteTime = f->LastWriteTime;
  // The entry's digest goes with its bytes, so that a saved index carries it too.
  if (item.IsAddition()) {
    e->SetContent(item.OldData.Content);
    e->Hash = item.OldHash;
    e->ChangeKind = ckAdded;
  } else {
    e->SetContent(item.NewData.Content);
    e->Hash = item.NewHash;
    if (item.State == lsModified || item.State == lsModifiedChanged) e->ChangeKind = ckModified;
  }
  e->Untouched = false;
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
