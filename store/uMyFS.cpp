#include "store/uMyFS.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "foundation/AsciiText.h"
#include "foundation/Platform.h"
#include "foundation/ShownText.h"
#include "foundation/uMyFileTypes.h"
#include "foundation/uMyStreamUtils.h"
#include "store/BufferedFileReader.h"
#include "store/StoreLayout.h"
#include "store/uMyHistory.h"

namespace pellmor {

namespace {

// A compressed block that could expand to more than this is measured before
// it is expanded into memory (TMyFile::ReadContent).
constexpr int64_t kCountBeforeHolding = 64 << 20;

// The fewest bytes an entry record can take (empty name, no link name); an
// entry count that would need more than the rest of the file is damage.
constexpr int64_t kMinRecordSize = 4 + 4 + 1 + 1 + 1 + 1 + 4 + 32 + 4 + 8 + 8 + 8 + 8;

[[noreturn]] void ThrowTooLarge(const std::string& name, int64_t size, const char* what) {
  throw Exception(Format("File '%s' is too large to store: %s has %lld bytes (at most %lld)",
                         QuoteName(name).c_str(), what, static_cast<long long>(size),
                         static_cast<long long>(kMaxContentSize)));
}

// A content block starts with its 4-byte length, which must lie inside the file.
void CheckContentOffset(const TMyFile& entry, const TStream& stream) {
  if (entry.ContentOffset < 0 || entry.ContentOffset > stream.Size() - 4)
    throw Exception(Format("the content of '%s' lies outside the file (offset %lld)",
                           QuoteName(entry.Name()).c_str(),
                           static_cast<long long>(entry.ContentOffset)));
}

}  // namespace

void ThrowDamagedContainer(const std::string& path, const std::string& reason) {
  throw EDamagedContainer(Format("Container '%s' is damaged: %s", path.c_str(), reason.c_str()));
}

void RaiseContainerReadFailure(const std::string& path, const Exception& failure) {
  if (failure.Kind() == ekInputOutput) throw;
  ThrowDamagedContainer(path, failure.what());
}

// ---- TMyFile ----

TMyContaner* TMyFile::Container() const { return owner_ ? owner_->Owner() : nullptr; }

void TMyFile::SetName(const std::string& name) {
  if (owner_ && owner_->IndexOf(this) >= 0) {
    owner_->Rename(this, name);
    return;
  }
  name_ = name;
}

void TMyFile::SetContent(TStream& stream) { CopyToMemoryStream(Content, stream); }

bool TMyFile::IsText() const { return FileTypes.IsTextFile(name_); }

void TMyFile::ComputeHash() { ContentDigest(Content, Hash); }

void TMyFile::CheckContentSize() const {
  if (Content.Size() > kMaxContentSize) ThrowTooLarge(name_, Content.Size(), "its content");
}

void TMyFile::AssignTo(TPersistent& dest) const {
  auto* file = dynamic_cast<TMyFile*>(&dest);
  if (file == nullptr) {
    TPersistent::AssignTo(dest);
    return;
  }
  file->SetName(name_);
  file->LastWriteTime = LastWriteTime;
  file->CreationTime = CreationTime;
  file->LastAccessTime = LastAccessTime;
  file->Deleted = Deleted;
  file->Untouched = Untouched;
  file->Seen = Seen;
  file->Attributes = Attributes;
  file->Hash = Hash;
  file->DataRevision = DataRevision;
  file->Version = Version;
  file->ChangeKind = ChangeKind;
  file->OffsetSlotPos = 0;
  file->ContentOffset = 0;
}

void TMyFile::WriteHeader(TStream& stream) {
  WriteString(stream, name_);
  WriteInt32(stream, Version);
  WriteByte(stream, Deleted ? 1 : 0);
  WriteByte(stream, IsLink ? 1 : 0);
  Compressed = StoresCompressed();
  WriteByte(stream, Compressed ? 1 : 0);
  WriteByte(stream, ChangeKind);
  WriteInt32(stream, DataRevision);
  WriteDigest(stream, Hash);
  WriteInt32(stream, static_cast<int32_t>(Attributes));
  WriteRaw8(stream, LastWriteTime);
  WriteRaw8(stream, CreationTime);
  WriteRaw8(stream, LastAccessTime);
  if (IsLink) WriteString(stream, LinkName);
  OffsetSlotPos = stream.Position();
  WriteInt64(stream, 0);
}

void TMyFile::ReadHeader(TStream& stream) {
  SetName(ReadString(stream));
  Version = ReadInt32(stream);
  Deleted = ReadByte(stream) != 0;
  IsLink = ReadByte(stream) != 0;
  Compressed = ReadByte(stream) != 0;
  ChangeKind = ReadByte(stream);
  DataRevision = ReadInt32(stream);
  ReadDigest(stream, Hash);
  Attributes = static_cast<uint32_t>(ReadInt32(stream));
  ReadRaw8(stream, LastWriteTime);
  ReadRaw8(stream, CreationTime);
  ReadRaw8(stream, LastAccessTime);
  if (IsLink)
    LinkName = ReadString(stream);
  else
    LinkName.clear();
  ContentOffset = ReadInt64(stream);
}

bool TMyFile::StoresCompressed() const {
  const TMyContaner* container = Container();
  return Content.Size() > kMaxUncompressedContent &&
         DataRevision == (container ? container->Number : 0);
}

void TMyFile::WriteContent(TStream& stream, TMemoryStream* packed) {
  const TMyContaner* container = Container();
  ContentOffset = stream.Position();
  if (DataRevision != (container ? container->Number : 0)) {
    WriteInt32(stream, 0);
    return;
  }
  CheckContentSize();
  if (!Compressed) {
    WriteBlock(stream, Content);
    return;
  }
  TMemoryStream compressed;
  if (packed == nullptr) {
    CompressMemoryStream(Content, compressed);
    packed = &compressed;
  }
  // Data that does not compress grows a little; it must still fit the length field.
  if (packed->Size() > kMaxContentSize)
    ThrowTooLarge(name_, packed->Size(), "its compressed content");
  WriteBlock(stream, *packed);
}

int64_t TMyFile::ContentBound(int32_t blockLength) {
  return std::min(MaxInflatedSize(blockLength), kMaxContentSize);
}

int32_t TMyFile::SeekBlockBytes(TStream& stream) const {
  CheckContentOffset(*this, stream);
  stream.SetPosition(ContentOffset);
  const int32_t length = ReadInt32(stream);
  if (length <= 0) return 0;
  if (length > stream.Remaining())
    throw Exception(
        Format("the content block of '%s' (%d bytes at offset %lld) runs past the end of the file",
               QuoteName(name_).c_str(), length, static_cast<long long>(ContentOffset)));
  return length;
}

void TMyFile::ThrowBadCompressedData(int32_t blockLength, const EDecompressionError& error) const {
  const std::string name = QuoteName(name_);
  const auto* tooLarge = dynamic_cast<const EDecompressionTooLarge*>(&error);
  if (tooLarge == nullptr)
    throw Exception(Format("the content of '%s' is not valid compressed data", name.c_str()));
  const auto limit = static_cast<long long>(tooLarge->Limit());
  if (tooLarge->Limit() == kMaxContentSize)
    throw Exception(
        Format("the content of '%s' expands to more than %lld bytes, more than a "
               "stored content can hold",
               name.c_str(), limit));
  throw Exception(
      Format("the content of '%s' expands to more than %lld bytes, more than its "
             "%d compressed bytes can hold",
             name.c_str(), limit, blockLength));
}

void TMyFile::ReadContent(TStream& stream) {
  const int32_t length = SeekBlockBytes(stream);
  if (length == 0) return;
  stream.SetPosition(ContentOffset);
  if (!Compressed) {
    ReadBlock(Content, stream);
    return;
  }
  TMemoryStream packed;
  ReadBlock(packed, stream);
  // Expanded no further than the block can justify. A block that could
  // expand to a lot is first expanded without keeping anything, to learn its
  // size: data that expands past what a content can hold is then refused
  // before it takes that memory, and the content is held in exactly its size.
  try {
    int64_t bound = ContentBound(length);
    if (bound > kCountBeforeHolding) {
      int64_t size = 0;
      packed.SetPosition(0);
      InflateToSink(packed, packed.Size(), bound,
                    [&](const uint8_t*, size_t count) { size += static_cast<int64_t>(count); });
      bound = size;
    }
    DecompressMemoryStream(packed, Content, bound);
  } catch (const EDecompressionError& e) {
    ThrowBadCompressedData(length, e);
  }
}

void TMyFile::StreamContent(TStream& stream, const TByteSink& sink) const {
  const int32_t length = SeekBlockBytes(stream);
  if (length == 0) return;
  if (!Compressed) {
    constexpr int64_t kPiece = 256 * 1024;
    std::vector<uint8_t> piece(static_cast<size_t>(std::min<int64_t>(length, kPiece)));
    for (int64_t left = length; left > 0;) {
      const auto n = static_cast<size_t>(std::min<int64_t>(left, kPiece));
      stream.ReadBuffer(piece.data(), n);
      sink(piece.data(), n);
      left -= static_cast<int64_t>(n);
    }
    return;
  }
  try {
    InflateToSink(stream, length, ContentBound(length), sink);
  } catch (const EDecompressionError& e) {
    ThrowBadCompressedData(length, e);
  }
}

// ---- TMyFileList ----

TMyFileList::~TMyFileList() { Clear(); }

int TMyFileList::IndexOf(const TMyFile* entry) const {
  if (entry == nullptr || entry->owner_ != this) return -1;
  const int position = entry->position_;
  if (position < 0 || position >= Count() || Items(position) != entry) return -1;
  return position;
}

TMyFile* TMyFileList::Add() { return Add(std::make_unique<TMyFile>(this)); }

TMyFile* TMyFileList::Add(std::unique_ptr<TMyFile> entry) {
  entry->owner_ = this;
  entry->position_ = Count();
  TMyFile* added = Base::Add(std::move(entry));
  IndexAdd(added);
  return added;
}

TMyFile* TMyFileList::AddCopy(const TMyFile& entry) {
  TMyFile* copy = Add();
  copy->Assign(entry);
  return copy;
}

TMyFile* TMyFileList::AddCopyUnlessPresent(const TMyFile& entry) {
  if (entry.name_.empty()) return FindByName(entry.name_) != nullptr ? nullptr : AddCopy(entry);
  EnsureIndexed();
  const TNameIndex::Place place = index_.Locate(entry.name_);
  if (place.found) return nullptr;
  // Filled before it joins the list, so that naming it leaves the index alone.
  auto copy = std::make_unique<TMyFile>(this);
  copy->Assign(entry);
  copy->position_ = Count();
  TMyFile* added = Base::Add(std::move(copy));
  index_.Fill(place, added);
  return added;
}

int TMyFileList::AddCopiesUnlessPresent(const TMyFileList& source,
                                        const std::function<void(TMyFile&)>& finish) {
  const int first = Count();
  source.EnsureIndexed();
  if (source.index_.Repeats() > 0) {
    // A name twice in source: the copy of the first keeps out the second.
    for (const auto& entry : source) {
      TMyFile* copy = AddCopyUnlessPresent(*entry);
      if (copy != nullptr && finish) finish(*copy);
    }
    return first;
  }
  // Each source entry is read once, to look its name up and to copy it: the
  // index answers as it was before any copy joined (no copy can hold a name
  // that another copy has), and the copies join it when it is next needed.
  EnsureIndexed();
  bool emptyName = FindByName(std::string()) != nullptr;  // empty names are not indexed
  for (const auto& entry : source) {
    if (entry->name_.empty() ? emptyName : index_.Find(entry->name_) != nullptr) continue;
    emptyName = emptyName || entry->name_.empty();
    // Filled before it joins the list, so that naming it leaves the index alone.
    auto copy = std::make_unique<TMyFile>(this);
    copy->Assign(*entry);
    copy->position_ = Count();
    if (finish) finish(*copy);
    Base::Add(std::move(copy));
  }
  indexStale_ = indexStale_ || Count() > first;
  return first;
}

void TMyFileList::EnsureIndexed() const {
  if (!indexStale_) return;
  indexStale_ = false;
  index_.Clear();
  index_.Reserve(static_cast<size_t>(Count()));
  for (const auto& entry : *this) IndexAdd(entry.get());
}

TMyFile* TMyFileList::FindByName(const std::string& name, int* position) const {
  TMyFile* found = nullptr;
  if (name.empty()) {
    for (const auto& entry : *this)
      if (entry->name_.empty()) {
        found = entry.get();
        break;
      }
  } else {
    EnsureIndexed();
    if (const TNameIndex::Slot* slot = index_.Find(name)) found = slot->first;
  }
  if (position) *position = found ? found->position_ : -1;
  return found;
}

TMyFile* TMyFileList::FindOrAdd(const std::string& name) {
  if (TMyFile* found = FindByName(name)) return found;
  TMyFile* added = Add();
  added->SetName(name);
  return added;
}

TMyFile* TMyFileList::FindLink(const std::string& name, bool deleted, int* position) const {
  int remaining = Count();  // entries of this name still to look at
  int start = 0;
  if (!name.empty()) {
    EnsureIndexed();
    const TNameIndex::Slot* slot = index_.Find(name);
    if (slot == nullptr) {
      remaining = 0;
    } else {
      remaining = slot->count;
      start = slot->first->position_;
    }
  }
  TMyFile* found = nullptr;
  for (int i = start; i < Count() && remaining > 0; ++i) {
    TMyFile* entry = Items(i);
    if (!SameNameAscii(entry->name_, name)) continue;
    --remaining;
    if (entry->IsLink && entry->Deleted == deleted) {
      found = entry;
      break;
    }
  }
  if (position) *position = found ? found->position_ : -1;
  return found;
}

void TMyFileList::Delete(int i) { Detach(i).reset(); }

std::unique_ptr<TMyFile> TMyFileList::Detach(int i) {
  IndexRemove(Items(i));
  std::unique_ptr<TMyFile> entry = Base::Detach(i);
  Renumber(i);
  entry->owner_ = nullptr;
  entry->position_ = -1;
  return entry;
}

void TMyFileList::Reserve(int count) {
  if (!indexStale_) index_.Reserve(static_cast<size_t>(std::max(count, 0)));
}

void TMyFileList::Clear() {
  index_.Clear();
  indexStale_ = false;
  Base::Clear();
}

void TMyFileList::SortByName() {
  // The keys side by side in one buffer: comparing them then reads one block
  // of memory instead of chasing every entry's name across the heap, which
  // is what a sort of 100,000 entries would spend most of its time on.
  const int count = Count();
  struct Key {
    size_t offset;    // in keys
    uint32_t length;  // names are far shorter than 4 GiB: a stored string's length is 31 bits
    int position;
  };
  std::vector<Key> order;
  order.reserve(static_cast<size_t>(count));
  std::string keys;
  for (const auto& entry : *this) {  // one pass over the entries
    order.push_back({keys.size(), static_cast<uint32_t>(entry->name_.size()), entry->position_});
    keys += entry->name_;
  }
  for (char& c : keys) c = UpperCaseAscii(c);
  const char* const base = keys.data();
  // Equal names keep their order (the position decides), so the first entry
  // of every name stays the first and the name index stays valid.
  const auto less = [base](const Key& a, const Key& b) {
    const int c = std::memcmp(base + a.offset, base + b.offset, std::min(a.length, b.length));
    if (c != 0) return c < 0;
    if (a.length != b.length) return a.length < b.length;
    return a.position < b.position;
  };
  // A committed revision's list is its few changed entries followed by the
  // carried-over ones, already in order: only the entries before the sorted
  // run at the end are sorted, and then merged into it.
  size_t run = order.empty() ? 0 : order.size() - 1;  // where the sorted run at the end starts
  while (run > 0 && less(order[run - 1], order[run])) --run;
  const auto middle = order.begin() + static_cast<std::ptrdiff_t>(run);
  std::sort(order.begin(), middle, less);
  std::inplace_merge(order.begin(), middle, order.end(), less);

  std::vector<std::unique_ptr<TMyFile>> entries(static_cast<size_t>(count));
  for (int i = count - 1; i >= 0; --i) entries[static_cast<size_t>(i)] = Base::Detach(i);
  for (const Key& key : order) Base::Add(std::move(entries[static_cast<size_t>(key.position)]));
  Renumber(0);
}

void TMyFileList::IndexAdd(TMyFile* entry) const {
  if (indexStale_ || entry->name_.empty()) return;
  TNameIndex::Slot& slot = index_.Add(entry);
  if (entry->position_ < slot.first->position_) slot.first = entry;
}

void TMyFileList::IndexRemove(TMyFile* entry) const {
  if (indexStale_ || entry->name_.empty()) return;
  TNameIndex::Slot* slot = index_.Find(entry->name_);
  if (slot == nullptr) return;
  const bool wasFirst = slot->first == entry;
  if (!index_.Drop(slot) || !wasFirst) return;
  // Names shared by several entries only come from odd input; a scan for the
  // next one in list order is fine there.
  for (int i = entry->position_ + 1; i < Count(); ++i) {
    TMyFile* other = Items(i);
    if (SameNameAscii(other->name_, entry->name_)) {
      slot->first = other;
      return;
    }
  }
}

void TMyFileList::Renumber(int from) {
  for (int i = from; i < Count(); ++i) Items(i)->position_ = i;
}

void TMyFileList::Rename(TMyFile* entry, const std::string& name) {
  IndexRemove(entry);
  entry->name_ = name;
  IndexAdd(entry);
}

// ---- TMyContaner ----

std::string TMyContaner::GetFileName() const {
  if (Number == 0 || owner_ == nullptr || owner_->Engine == nullptr) return "";
  return owner_->Engine->ContainerFileName(Number);
}

void TMyContaner::LoadFromFile(const std::string& path, TLoadParts parts) {
  TBufferedFileReader reader(path);
  LoadFromStream(reader, parts);
}

void TMyContaner::LoadFromStream(TStream& stream, TLoadParts parts) {
  try {
    ReadFrom(stream, parts);
  } catch (const EDamagedContainer&) {
    throw;
  } catch (const Exception& e) {
    RaiseContainerReadFailure(stream.FileName(), e);
  }
}

void TMyContaner::ReadFrom(TStream& stream, TLoadParts parts) {
  Files.Clear();
  Loaded = false;
  RecordsLoaded = false;
  stream.SetPosition(0);
  int32_t count = 0;
  try {
    ReadString(stream);  // the magic; its value is not checked
    FormatVersion = ReadInt32(stream);
    if (FormatVersion < 1) {
      RecordsLoaded = true;
      return;
    }
    Number = ReadInt32(stream);
    PreviousNumber = ReadInt32(stream);
    NextNumber = ReadInt32(stream);
    Author = ReadString(stream);
    Email = ReadString(stream);
    Comment = ReadUtf8String(stream);
    ReadRaw8(stream, Date);
    count = ReadInt32(stream);
  } catch (const Exception& e) {
    if (e.Kind() == ekInputOutput) throw;
    throw Exception(Format("cannot read its header (%s)", e.what()));
  }
  if (count < 0 || count > stream.Remaining() / kMinRecordSize)
    throw Exception(Format("its entry count %d does not fit the file", count));
  Files.Reserve(count);

  for (int32_t i = 0; i < count; ++i) {
    TMyFile* entry = Files.Add();
    try {
      entry->ReadHeader(stream);
    } catch (const Exception& e) {
      if (e.Kind() == ekInputOutput) throw;
      throw Exception(
          Format("cannot read the record of entry %d of %d (%s)", i + 1, count, e.what()));
    }
    CheckContentOffset(*entry, stream);
  }
  RecordsLoaded = true;
  if (parts == lpRecords) return;
  for (const auto& entry : Files) entry->ReadContent(stream);
  Loaded = true;
}

void TMyContaner::Unload() {
  if (!RecordsLoaded && Files.Empty()) return;
  Files.Clear();
  // Assigned anew, not cleared, so that they give back their memory too.
  Author = std::string();
  Email = std::string();
  Comment = std::string();
  Date = 0;
  Loaded = false;
  RecordsLoaded = false;
  NextNumber = 0;
  PreviousNumber = 0;
  FormatVersion = kContainerFormatVersion;
}

void TMyContaner::LoadContentFromFile(const std::string& path, TMyFile& entry) {
  TBufferedFileReader reader(path);
  try {
    entry.ReadContent(reader);
  } catch (const Exception& e) {
    RaiseContainerReadFailure(path, e);
  }
}

void TMyContaner::StreamContentsFromFile(const std::string& path, std::vector<TMyFile*> entries,
                                         const std::function<TByteSink(TMyFile&)>& begin,
                                         const std::function<void(TMyFile&)>& end) {
  // Blocks lie in the file in the order of their offsets: read that way, the
  // reader's look-ahead serves neighbouring blocks without seeking back.
  std::stable_sort(entries.begin(), entries.end(), [](const TMyFile* a, const TMyFile* b) {
    return a->ContentOffset < b->ContentOffset;
  });
  TBufferedFileReader reader(path);
  for (TMyFile* entry : entries) {
    const TByteSink sink = begin(*entry);
    // Only the file's own faults make the container damaged.
    bool inSink = false;
    const TByteSink guarded = [&](const uint8_t* bytes, size_t count) {
      inSink = true;
      sink(bytes, count);
      inSink = false;
    };
    try {
      entry->StreamContent(reader, guarded);
    } catch (const Exception& e) {
      if (inSink) throw;
      RaiseContainerReadFailure(path, e);
    }
    end(*entry);
  }
}

void TMyContaner::SaveToFile(const std::string& path) {
  TMemoryStream image;
  SaveToStream(image);
  WriteFileAtomically(path, [&](TStream& file) {
    file.WriteBuffer(image.Memory(), static_cast<size_t>(image.Size()));
  });
}

void TMyContaner::SaveToStream(TStream& stream, TPackedContents* packed) {
  // Refuse an oversize content before the first byte is written.
  for (const auto& entry : Files)
    if (entry->DataRevision == Number) entry->CheckContentSize();

  WriteString(stream, kContainerMagic);
  WriteInt32(stream, kContainerFormatVersion);
  WriteInt32(stream, Number);
  WriteInt32(stream, PreviousNumber);
  WriteInt32(stream, NextNumber);
  WriteString(stream, Author);
  WriteString(stream, Email);
  WriteUtf8String(stream, Comment);
  WriteRaw8(stream, Date);
  WriteInt32(stream, Files.Count());
  for (const auto& entry : Files) entry->WriteHeader(stream);
  // Each record's offset is patched as soon as its block is written, while
  // the entry is at hand: the same bytes as patching them all afterwards,
  // without walking every entry once more.
  for (int i = 0; i < Files.Count(); ++i) {
    TMyFile* entry = Files[i];
    entry->WriteContent(stream, packed != nullptr ? (*packed)[i].get() : nullptr);
    const int64_t end = stream.Position();
    stream.SetPosition(entry->OffsetSlotPos);
    WriteInt64(stream, entry->ContentOffset);
    stream.SetPosition(end);
  }
}

void TMyContaner::AssignTo(TPersistent& dest) const {
  auto* container = dynamic_cast<TMyContaner*>(&dest);
  if (container == nullptr) {
    TPersistent::AssignTo(dest);
    return;
  }
  if (container == this) return;
  container->Files.Clear();
  container->FormatVersion = FormatVersion;
  for (const auto& entry : Files) {
    TMyFile* copy = container->Files.AddCopy(*entry);
    copy->Content.Assign(entry->Content.Memory(), static_cast<size_t>(entry->Content.Size()));
  }
}

// ---- TMyContanerList ----

TMyContaner* TMyContanerList::Add() {
  return TObjectList<TMyContaner>::Add(std::make_unique<TMyContaner>(this));
}

TMyContaner* TMyContanerList::Adopt(std::unique_ptr<TMyContaner> container) {
  container->owner_ = this;
  return TObjectList<TMyContaner>::Add(std::move(container));
}

TMyContaner* TMyContanerList::FindPrevious(const TMyContaner& container) const {
  if (container.PreviousNumber == 0) return nullptr;
  const int start = std::min(container.Number - 1, Count() - 1);
  for (int i = start; i >= 0; --i)
    if (Items(i)->Number == container.PreviousNumber) return Items(i);
  return nullptr;
}

void TMyContanerList::SortByNumber() {
  Sort([](const TMyContaner& a, const TMyContaner& b) { return a.Number < b.Number; });
}

// ---- TMyFS_Engine ----

std::string TMyFS_Engine::ObjectsFolder() const { return TStoreLayout(RootPath).ObjectsFolder(); }

std::string TMyFS_Engine::ContainerFileName(int32_t number) const {
  return TStoreLayout(RootPath).ContainerFileName(number);
}

TMyContaner* TMyFS_Engine::FindByNumber(int32_t number) const {
  // Sorted by LoadContainers, and each adopted revision's number follows the
  // last one: a run looks bytes up in a history of thousands of containers.
  const auto found = std::lower_bound(
      Containers.begin(), Containers.end(), number,
      [](const auto& container, int32_t wanted) { return container->Number < wanted; });
  return found != Containers.end() && (*found)->Number == number ? found->get() : nullptr;
}

int32_t TMyFS_Engine::NextFreeNumber() const {
  const TMyContaner* last = Containers.Last();
  if (last == nullptr) return 1;
  if (last->Number == std::numeric_limits<int32_t>::max())
    throw Exception(Format("No revision number is left after %d", last->Number));
  return last->Number + 1;
}

int32_t TMyFS_Engine::ReadContainerNumber(const std::string& path) {
  // Runs for every listed container each time a store is loaded, so it reads
  // the four bytes alone (ReadFileAt: open, one read, close).
  uint8_t bytes[4];
  if (ReadFileAt(path, kContainerNumberOffset, bytes, sizeof bytes) < sizeof bytes)
    ThrowDamagedContainer(path, "it is too short to hold a container header");
  TMemoryStream number;
  number.Assign(bytes, sizeof bytes);
  return ReadInt32(number);
}

void TMyFS_Engine::LoadContainers(const TMyHistoryData& history) {
  Containers.Clear();
  const std::string folder = ObjectsFolder();
  for (const auto& item : history.Items) {
    const std::string path = folder + item->FileName;
    if (!FileExists(path)) continue;
    Containers.Add()->Number = ReadContainerNumber(path);
  }
  Containers.SortByNumber();
  if (TMyContaner* last = Containers.Last()) LoadNumbered(*last);
}

void TMyFS_Engine::LoadNumbered(TMyContaner& container, TLoadParts parts) const {
  const int32_t number = container.Number;
  const std::string path = ContainerFileName(number);
  container.LoadFromFile(path, parts);
  // The next Commit patches and numbers files by this Number, and entries
  // fetch their bytes by it.
  if (container.FormatVersion >= 1 && container.Number != number)
    ThrowDamagedContainer(
        path, Format("it holds revision %d where %d was expected", container.Number, number));
}

}  // namespace pellmor
