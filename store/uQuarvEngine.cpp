#include "store/uQuarvEngine.h"

#include <algorithm>
#include <iterator>

#include "foundation/AsciiText.h"
#include "foundation/DateTime.h"
#include "foundation/Platform.h"
#include "foundation/ShownText.h"
#include "foundation/TextLines.h"
#include "foundation/Utf8.h"
#include "foundation/uMyStreamUtils.h"
#include "store/RecordBatch.h"
#include "store/StoreLayout.h"

namespace pellmor {

namespace {

// The current time as a UTC FILETIME, to the millisecond, as a revision
// stamped "now" from a local date-time value would hold it.
uint64_t NowUtcFileTime() {
  constexpr int64_t kNsPerSecond = 1'000'000'000, kNsPerMs = 1'000'000;
  const int64_t now = RealTimeNs();
  return UnixTimeToFileTime(now / kNsPerSecond, now % kNsPerSecond / kNsPerMs * kNsPerMs);
}

// Sets a container file's NextNumber in place: four bytes, so the recorded
// revision is never seen half written. Returns the file, still open, for the
// caller to sync before the history names the next revision.
std::unique_ptr<TFileStream> PatchNextNumber(const std::string& path, int32_t next) {
  auto file = std::make_unique<TFileStream>(path, TFileStream::Mode::OpenReadWrite);
  if (file->Size() < kContainerNextNumberOffset + 4)
    ThrowDamagedContainer(path, "it is too short to hold a container header");
  file->SetPosition(kContainerNextNumberOffset);
  WriteInt32(*file, next);
  return file;
}

bool NameLess(const std::string& a, const std::string& b) { return CompareNamesAscii(a, b) < 0; }

}  // namespace

// ---- TQuarv_IgonreList ----

int TQuarv_IgonreList::IndexOf(const std::string& name) const {
  const auto it = std::lower_bound(names_.begin(), names_.end(), name, NameLess);
  if (it == names_.end() || CompareNamesAscii(*it, name) != 0) return -1;
  return static_cast<int>(it - names_.begin());
}

bool TQuarv_IgonreList::Add(const std::string& name) {
  const auto it = std::lower_bound(names_.begin(), names_.end(), name, NameLess);
  if (it != names_.end() && CompareNamesAscii(*it, name) == 0) return false;
  names_.insert(it, name);
  return true;
}

void TQuarv_IgonreList::LoadFromFile(const std::string& path) {
  TFileStream file(path, TFileStream::Mode::OpenRead);
  LoadFromStream(file);
}

void TQuarv_IgonreList::LoadFromStream(TStream& stream) {
  // All lines at once: sorted behind the names already present, so that a
  // stable sort keeps those, and then the earliest line, first among equals.
  std::vector<std::string> lines = ReadTextLines(stream);
  names_.insert(names_.end(), std::make_move_iterator(lines.begin()),
                std::make_move_iterator(lines.end()));
  std::stable_sort(names_.begin(), names_.end(), NameLess);
  const auto same = [](const std::string& a, const std::string& b) {
    return CompareNamesAscii(a, b) == 0;
  };
  names_.erase(std::unique(names_.begin(), names_.end(), same), names_.end());
}

// ---- TQuarv_Engine ----

TQuarv_Engine::TQuarv_Engine(const std::string& root) : RootPath(IncludeTrailingDelimiter(root)) {
  LocateStore();
  const TStoreLayout layout(RootPath);
  IgnoreFileName = layout.IgnoreFileName();
  HistoryFileName = layout.HistoryFileName();
  RenameFileName = layout.RenameFileName();
  FileSystem = std::make_unique<TMyFS_Engine>(RootPath);
  Index = std::make_unique<TMyContaner>();
}

bool TQuarv_Engine::StoreExists(const std::string& folder) {
  return DirectoryExists(folder + kStoreFolderName);
}

void TQuarv_Engine::LocateStore() {
  if (StoreExists(RootPath)) return;
  // The parent folder with its trailing '/': /a/b/ gives /a/.
  const std::string trimmed = RootPath.substr(0, RootPath.size() - 1);
  const std::string::size_type slash = trimmed.rfind('/');
  if (slash == std::string::npos) return;
  const std::string parent = trimmed.substr(0, slash + 1);
  if (StoreExists(parent)) RootPath = parent;
}

void TQuarv_Engine::Load() {
  LoadIgnoreList();
  LoadHistory();
  LoadRenames();
  LoadIndex();
}

void TQuarv_Engine::LoadIgnoreList() {
  if (FileExists(IgnoreFileName)) IgnoreList.LoadFromFile(IgnoreFileName);
}

void TQuarv_Engine::LoadHistory() {
  if (FileExists(HistoryFileName)) History.LoadFromFile(HistoryFileName);
  if (Batch != nullptr)
    for (const TMyHistoryItem& item : Batch->Pending()) History.Add(item.FileName, item.Revision);
  olderRecords_.clear();  // the containers are made anew
  FileSystem->LoadContainers(History);
}

void TQuarv_Engine::LoadRenames() {
  if (FileExists(RenameFileName)) Renames.LoadFromFile(RenameFileName);
}

std::string TQuarv_Engine::GetIndexFileName() const {
  return TStoreLayout(RootPath).IndexFileName();
}

void TQuarv_Engine::LoadIndex() {
  const std::string path = GetIndexFileName();
  if (FileExists(path)) Index->LoadFromFile(path);
}

void TQuarv_Engine::SaveIndex() {
  ForceDirectories(TStoreLayout(RootPath).Folder());
  Index->SortFiles();
  Index->SaveToFile(GetIndexFileName());
}

void TQuarv_Engine::DeleteIndexFile() { RemoveFile(GetIndexFileName()); }

void TQuarv_Engine::LoadContent(TMyFile& entry) {
  const TMyContaner* holder = entry.Container();
  if (entry.DataRevision >= (holder ? holder->Number : 0)) return;
  TMyContaner* source = FileSystem->FindByNumber(entry.DataRevision);
  if (source == nullptr) return;
  if (!source->Loaded && recentContents_.Take(source->Number, entry.UpperName(), entry.Content))
    return;
  if (!source->RecordsLoaded) {
    FileSystem->LoadNumbered(*source, lpRecords);
    olderRecords_.push_back(source);
  }
  TMyFile* stored = source->Files.FindByName(entry.Name());
  if (stored == nullptr) return;
  if (source->Loaded) {
    entry.Content.Assign(stored->Content.Memory(), static_cast<size_t>(stored->Content.Size()));
    return;
  }
  // Only this entry's block is read and expanded, not every file of that
  // revision; the bytes go to the entry and are not kept in the source.
  source->LoadContentFromFile(source->GetFileName(), *stored);
  entry.Content.Swap(stored->Content);
  entry.Content.SetPosition(0);
  stored->Content.Clear();
}

void TQuarv_Engine::MergeEntries(TMyContaner& target, TMyContaner& source) {
  for (const auto& from : source.Files) {
    TMyFile* to = target.Files.FindByName(from->Name());
    if (to == nullptr) {
      if (from->DataRevision != source.Number) continue;
      to = target.Files.AddCopy(*from);
    } else if (to->DataRevision < from->DataRevision) {
      to->Assign(*from);
    } else {
      continue;
    }
    to->Content.Assign(from->Content.Memory(), static_cast<size_t>(from->Content.Size()));
  }
  target.SortFiles();
}

void TQuarv_Engine::MergeContainers(TMyContaner& target, TMyContaner& newest, TMyContaner& index) {
  target.Files.Clear();
  MergeEntries(target, newest);
  MergeEntries(target, index);
  target.Number = 0;
  target.Comment = newest.Comment;
}

void TQuarv_Engine::Commit(const std::string& message, const std::string& author, double date,
                           const std::string& email) {
  if (Index->Files.Empty()) return;
  CommitUtc(message, author, date == 0 ? NowUtcFileTime() : DateTimeToUtcFileTime(date), email);
}

void TQuarv_Engine::CommitUtc(const std::string& message, const std::string& author,
                              uint64_t utcDate, const std::string& email) {
  // Compressed on this thread when FinishCommit asks for it.
  if (StageRevision(message, author, utcDate, email, false)) FinishCommit();
}

bool TQuarv_Engine::BeginCommitUtc(const std::string& message, const std::string& author,
                                   uint64_t utcDate, const std::string& email) {
  return StageRevision(message, author, utcDate, email, true);
}

bool TQuarv_Engine::StageRevision(const std::string& message, const std::string& author,
                                  uint64_t utcDate, const std::string& email,
                                  bool background) {
  if (pending_) throw Exception("Internal error: a revision is staged while one is pending");
  if (Index->Files.Empty()) return false;
  for (const auto& entry : Index->Files) entry->CheckContentSize();
  const int32_t number = FileSystem->NextFreeNumber();
  const bool consumedRenames = TakeStagedEntries(number);
  TMyContaner* previous = FileSystem->Containers.Last();
  if (previous != nullptr)
    CarryOverFrom(*previous);
  else
    MarkEveryEntryAdded();
  FillRevisionHeader(number, previous, message, author, email, utcDate);
  pending_.emplace(TPendingRevision{
      number, previous, consumedRenames,
      std::make_unique<TContentPacking>(*Index, background)});
  return true;
}

void TQuarv_Engine::FinishCommit() {
  if (!pending_) return;
  TPendingRevision pending = std::move(*pending_);
  pending_.reset();
  TPackedContents packed = pending.Packing->Finish();
  // The new container is built in memory first, so that nothing is written
  // when it cannot be (compression, sizes).
  TMemoryStream image;
  Index->SaveToStream(image, &packed);
  WriteRevision(pending.Number, image, pending.Previous, pending.ConsumedRenames);
  TakeRecordedRevision();
}

void TQuarv_Engine::TakeRecordedRevision() {
  // Only the newest and the older ones whose records LoadContent read hold
  // anything: the rest are not walked, so that a commit's cost does not
  // grow with the history.
  if (TMyContaner* newest = FileSystem->Containers.Last()) {
    if (newest->Loaded) KeepRecentContents(*newest);
    newest->Unload();
  }
  for (TMyContaner* older : olderRecords_) older->Unload();
  olderRecords_.clear();
  // The staged revision itself becomes the newest container, holding what a
  // Load reads of it: its records as they were written (WriteHeader and
  // WriteContent set Compressed and ContentOffset), its own bytes (the
  // staged ones, not expanded again), the comment as it reads back, and
  // nothing of the working state of the staging.
  TMyContaner& recorded = *Index;
  recorded.Comment = ToWellFormedUtf8(recorded.Comment);
  recorded.FormatVersion = kContainerFormatVersion;
  for (const auto& entry : recorded.Files) {
    entry->Untouched = true;
    entry->Seen = false;
    entry->OffsetSlotPos = 0;
    if (!entry->IsLink) entry->LinkName.clear();
    if (entry->DataRevision == recorded.Number)
      entry->Content.SetPosition(0);
    else
      entry->Content.Clear();
  }
  recorded.RecordsLoaded = true;
  recorded.Loaded = true;
  FileSystem->Containers.Adopt(std::move(Index));
  Index = std::make_unique<TMyContaner>();
}

void TQuarv_Engine::KeepRecentContents(TMyContaner& container) {
  for (const auto& entry : container.Files)
    if (entry->DataRevision == container.Number && entry->Content.Size() != 0)
      recentContents_.Put(container.Number, entry->UpperName(), entry->Content);
}

bool TQuarv_Engine::TakeStagedEntries(int32_t number) {
  // Every new-name side of a rename consumes the first rename record of its
  // name, in list order.
  std::vector<const std::string*> renamedTo;
  for (const auto& entry : Index->Files) {
    entry->DataRevision = number;
    // The entries whose bytes this revision holds are exactly the ones staged
    // now (carried entries keep an older DataRevision): hashed here, without
    // walking the whole revision again once it is complete.
    entry->ComputeHash();
    if (entry->IsLink && !entry->Deleted) renamedTo.push_back(&entry->Name());
  }
  if (const std::string* missing = Renames.RemoveByNewNames(renamedTo))
    throw Exception(Format("Rename item for '%s' not found", QuoteName(*missing).c_str()));
  return !renamedTo.empty();
}

void TQuarv_Engine::CarryOverFrom(TMyContaner& previous) {
  for (const auto& entry : Index->Files) {
    if (IsModificationKind(entry->ChangeKind)) {
      const TMyFile* old = previous.Files.FindByName(entry->Name());
      if (old == nullptr)
        throw Exception(Format("Index '%s' is corrupted!", previous.GetFileName().c_str()),
                        ekDamaged);
      // Wraps like the 32-bit counter it is, instead of overflowing.
      entry->Version = static_cast<int32_t>(static_cast<uint32_t>(old->Version) + 1u);
    } else if (entry->ChangeKind == ckAdded) {
      entry->Version = 1;
    }
  }
  Index->Files.AddCopiesUnlessPresent(previous.Files,
                                      [](TMyFile& copy) { copy.ChangeKind = ckUnchanged; });
}

void TQuarv_Engine::MarkEveryEntryAdded() {
  for (const auto& entry : Index->Files) {
    entry->Version = 1;
    entry->ChangeKind = ckAdded;
  }
}

void TQuarv_Engine::FillRevisionHeader(int32_t number, TMyContaner* previous,
                                       const std::string& message, const std::string& author,
                                       const std::string& email, uint64_t utcDate) {
  Index->Comment = message;
  Index->Author = author.empty() ? kDefaultAuthor : author;
  Index->Email = email.empty() ? kDefaultEmail : email;
  Index->Number = number;
  Index->Date = utcDate;
  Index->SortFiles();
  if (previous != nullptr) {
    Index->PreviousNumber = previous->Number;
    previous->NextNumber = number;
  }
}

void TQuarv_Engine::WriteRevision(int32_t number, const TMemoryStream& image,
                                  const TMyContaner* previous, bool consumedRenames) {
  // The writes go in the order that keeps the store loadable through a power
  // loss, with as few waits for the disk as that order allows: first every
  // byte the history will point at (the link from the previous revision,
  // the new container under its name, the new history under a temporary
  // name) in one sync, then the index removed and the history renamed into
  // place in a second. Until the second, the new container is one that no
  // history names, which the next revision replaces. With a batch, the
  // history and both syncs wait for the batch's Flush.
  ForceDirectories(FileSystem->ObjectsFolder());
  std::unique_ptr<TFileStream> link;
  if (previous != nullptr) {
    link = PatchNextNumber(previous->GetFileName(), number);
    CrashPoint("previous container linked");
  }
  const std::string containerFile = FileSystem->ContainerFileName(number);
  TFileReplacement container(containerFile, [&](TStream& file) {
    file.WriteBuffer(image.Memory(), static_cast<size_t>(image.Size()));
  });
  container.Publish();
  CrashPoint("container written");
  const TMyHistoryItem line(TStoreLayout::ContainerLeafName(number), number);
  History.Add(line.FileName, line.Revision);
  if (Batch != nullptr) {
    std::vector<std::string> written = {containerFile};
    if (previous != nullptr) written.push_back(previous->GetFileName());
    Batch->Add(line, HistoryFileName, History, written);
    DeleteIndexFile();
  } else {
    TFileReplacement history(HistoryFileName, [&](TStream& file) { History.SaveToStream(file); });
    if (link) link->Sync();
    container.Sync();
    SyncFolder(FileSystem->ObjectsFolder());
    history.Sync();
    CrashPoint("revision synced");

    DeleteIndexFile();
    CrashPoint("index deleted");
    history.Publish();
    SyncFolder(FolderOf(HistoryFileName));
    CrashPoint("history written");
  }
  if (consumedRenames) {
    if (Renames.Count() == 0) {
      RemoveFile(RenameFileName);
      SyncFolder(FolderOf(RenameFileName));
    } else {
      Renames.SaveToFile(RenameFileName);
    }
  }
}

}  // namespace pellmor
