// The store's containers: one file per revision (.Quarv/Objects/N.dat) and the
// staging index (.Quarv/Index.dat), both in the container format described in
// docs/store-format.md. A container lists every file of its revision and
// carries the bytes of the files written in that revision; an entry whose
// bytes were written earlier names the revision that holds them
// (DataRevision).
//
// Ownership: TMyFS_Engine owns its TMyContanerList, the list owns its
// containers, a container owns its TMyFileList, the list owns its entries,
// an entry owns its Content. Every back pointer (Owner, Engine) is borrowed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/AsciiText.h"
#include "foundation/Exception.h"
#include "foundation/Streams.h"
#include "foundation/uMyClasses.h"
#include "foundation/uMyHash.h"
#include "foundation/uMyStreamUtils.h"
#include "store/NameIndex.h"

namespace pellmor {

class TMyContaner;
class TMyContanerList;
class TMyFileList;
class TMyFS_Engine;
class TMyHistoryData;

// Compressed content blocks of a container's entries, made ahead of saving it
// (TContentPacking), in the order of its Files.
using TPackedContents = std::vector<std::unique_ptr<TMemoryStream>>;

// Constants of the container format (docs/store-format.md).
inline constexpr char kContainerMagic[] = "Quarv";
inline constexpr int32_t kContainerFormatVersion = 1;
inline constexpr int64_t kContainerNumberOffset = 13;      // Number, 4 bytes
inline constexpr int64_t kContainerNextNumberOffset = 21;  // NextNumber, 4 bytes
// Contents up to this many bytes are stored as they are, larger ones compressed.
inline constexpr int64_t kMaxUncompressedContent = 255;
// The largest content (and compressed content) a 4-byte block length can hold.
inline constexpr int64_t kMaxContentSize = 2147483647;

// ChangeKind values the program writes.
inline constexpr uint8_t ckNone = 0;  // only marked deleted
inline constexpr uint8_t ckModified = 1;
inline constexpr uint8_t ckAdded = 2;
inline constexpr uint8_t ckUnchanged = 3;  // carried over from the previous revision
// Values the program never writes, which Commit reads as ckModified all the
// same: a change to a file that the previous revision holds.
inline constexpr uint8_t ckReadAsModified4 = 4;
inline constexpr uint8_t ckReadAsModified5 = 5;

// Whether a staged entry's ChangeKind says it changes a file that the
// previous revision holds (ckModified and the two read as it).
inline bool IsModificationKind(uint8_t kind) {
  return kind == ckModified || kind == ckReadAsModified4 || kind == ckReadAsModified5;
}

// A container file (or stream) that cannot be read as a container: cut
// short, offsets or lengths outside the file, bad compressed data. The
// message names the file: "Container '<path>' is damaged: <reason>". Its
// kind is ekDamaged. A failure of the system to read the file is not
// damage: it is raised as the file layer's own error (ekInputOutput).
class EDamagedContainer : public Exception {
 public:
  explicit EDamagedContainer(const std::string& message) : Exception(message, ekDamaged) {}
};

// Raises EDamagedContainer "Container '<path>' is damaged: <reason>".
[[noreturn]] void ThrowDamagedContainer(const std::string& path, const std::string& reason);
// For a failure met while reading the container at path; call it inside the
// handler that caught failure. The system's failure to read (ekInputOutput)
// is raised again as it is, since the file may well be whole; any other
// failure is raised as the container's damage (ThrowDamagedContainer).
[[noreturn]] void RaiseContainerReadFailure(const std::string& path, const Exception& failure);

// What LoadFromFile / LoadFromStream read.
enum TLoadParts {
  lpRecords,     // header and entry records; every Content stays empty
  lpEverything,  // header, entry records and content blocks
};

// One stored-file entry of a container. Created by its TMyFileList (Add,
// AddCopy, FindOrAdd), which owns it; Owner() is that list.
class TMyFile : public TPersistent {
 public:
  explicit TMyFile(TMyFileList* owner) : owner_(owner) {}
  const char* ClassName() const override { return "TMyFile"; }

  // Relative name with '\' between folders, letter case as recorded.
  const std::string& Name() const { return name_; }
  // Name with ASCII a-z upper-cased: the key of every lookup and of the
  // sort. Made from Name when asked for, so that an entry holds its name once.
  std::string UpperName() const { return UpperCaseAscii(name_); }
  // Sets Name (and with it UpperName); the owning list's name index follows.
  void SetName(const std::string& name);

  TMyFileList* Owner() const { return owner_; }
  // The container whose list holds this entry, or nullptr.
  TMyContaner* Container() const;

  // Content := the whole of stream, positioned at 0.
  void SetContent(TStream& stream);
  // Whether Name carries a text extension (FileTypes.IsTextFile).
  bool IsText() const;
  // Hash := the content digest of Content (all zeros when empty).
  void ComputeHash();
  // Raises "File '<Name>' is too large to store: ..." when Content holds more
  // than kMaxContentSize bytes, the most a content block can carry.
  void CheckContentSize() const;

  // The entry record. WriteHeader decides and stores Compressed, remembers
  // OffsetSlotPos and writes a placeholder ContentOffset.
  void WriteHeader(TStream& stream);
  void ReadHeader(TStream& stream);
  // Whether WriteHeader will mark the bytes compressed: they are this
  // container's own (DataRevision is its Number) and longer than
  // kMaxUncompressedContent.
  bool StoresCompressed() const;
  // The content block: remembers ContentOffset, then writes the bytes when
  // DataRevision is the owning container's Number (compressed when
  // Compressed; packed, when given, is Content compressed already), else a
  // length of 0. Raises "File '%s' is too large to store..." for a block
  // that a 4-byte length cannot hold.
  void WriteContent(TStream& stream, TMemoryStream* packed = nullptr);
  // Reads the block at ContentOffset into Content (decompressed when
  // Compressed); a length of 0 or below leaves Content as it is. Never reads
  // outside the stream: a block that does not fit, bad compressed data, or
  // data that expands beyond ContentBound raises an Exception whose message
  // says which entry and what was wrong, and takes no more memory than the
  // content really has (a block that could expand to more than 64 MiB is
  // measured, piece by piece, before it is expanded into Content).
  void ReadContent(TStream& stream);
  // The same bytes handed to sink piece by piece as they are expanded, never
  // held whole (Content is left alone); nothing is handed on for an empty
  // block. Raises as ReadContent does; what sink raises passes through.
  void StreamContent(TStream& stream, const TByteSink& sink) const;
  // The most bytes a compressed block of blockLength bytes may expand to:
  // what deflate can code in that many bytes (MaxInflatedSize), and never
  // more than a content can hold (kMaxContentSize).
  static int64_t ContentBound(int32_t blockLength);

  uint64_t LastWriteTime = 0;   // FILETIME, UTC
  uint64_t CreationTime = 0;    // FILETIME, UTC
  uint64_t LastAccessTime = 0;  // FILETIME, UTC
  uint32_t Attributes = 0;      // Windows attribute bits (foundation/Platform.h)
  TMemoryStream Content;        // the file's bytes, uncompressed
  bool Untouched = true;        // working state of the change staging
  int64_t OffsetSlotPos = 0;    // while saving: where ContentOffset is written
  int64_t ContentOffset = 0;    // position of the content block in the file
  bool Seen = false;            // working state of the change loader
  bool Deleted = false;         // the file does not exist in this revision
  int32_t DataRevision = 0;     // the container that holds the bytes; 0 while staged
  TContentDigest Hash{};        // SHA-256 of Content, all zeros when empty
  int32_t Version = 0;          // 1 when first recorded, +1 at every recorded change
  uint8_t ChangeKind = ckNone;  // what happened in this revision (ck* values)
  std::string LinkName;         // the other side of a rename pair (only when IsLink)
  bool IsLink = false;          // one side of a rename pair
  bool Compressed = false;      // the content block in this file is zlib data

 protected:
  // Copies Name, the times, Deleted, Untouched, Seen, Attributes, Hash,
  // DataRevision, Version and ChangeKind into another TMyFile and zeroes its
  // offsets; not IsLink, LinkName, Compressed nor Content.
  void AssignTo(TPersistent& dest) const override;

 private:
  friend class TMyFileList;

  // Checks the block at ContentOffset and leaves stream after its length;
  // returns the count of its bytes (0 for none).
  int32_t SeekBlockBytes(TStream& stream) const;
  // Says what was wrong with a compressed block of blockLength bytes.
  [[noreturn]] void ThrowBadCompressedData(int32_t blockLength,
                                           const EDecompressionError& error) const;

  TMyFileList* owner_;
  int position_ = -1;  // position in owner_, kept by the list
  std::string name_;
};

// The entries of one container, in insertion order until sorted. Built on
// TObjectList; only the operations below change it, so that the name index
// (upper-case name -> first entry in list order) stays in step and lookups by
// name take constant time. An entry's SetName updates the index too.
class TMyFileList : private TObjectList<TMyFile> {
  using Base = TObjectList<TMyFile>;

 public:
  // owner may be nullptr for a list that belongs to no container.
  explicit TMyFileList(TMyContaner* owner) : owner_(owner) {}
  ~TMyFileList() override;

  TMyContaner* Owner() const { return owner_; }

  using Base::begin;
  using Base::Count;
  using Base::Empty;
  using Base::end;
  using Base::First;
  using Base::Items;
  using Base::Last;
  using Base::operator[];
  // Position of this entry in the list, or -1. Constant time.
  int IndexOf(const TMyFile* entry) const;

  // Appends a new empty entry owned by this list.
  TMyFile* Add();
  // Appends an entry taken from another list (Detach); it becomes this list's.
  TMyFile* Add(std::unique_ptr<TMyFile> entry);
  // Add(), then Assign(entry) into it (no content, no rename link).
  TMyFile* AddCopy(const TMyFile& entry);
  // AddCopy(entry) unless FindByName(entry.Name()) finds an entry, with one
  // search of the name index for both. Returns the copy, or nullptr.
  TMyFile* AddCopyUnlessPresent(const TMyFile& entry);
  // AddCopyUnlessPresent for every entry of source (another list), in source
  // order, each copy handed to finish (when given) as it is made; returns the
  // position of the first copy (the copies fill the list from there).
  // The copies join the name index when it is next needed, so that a list
  // that is only sorted, written and dropped afterwards (a revision being
  // recorded) never spends the time to index them.
  int AddCopiesUnlessPresent(const TMyFileList& source,
                             const std::function<void(TMyFile&)>& finish = nullptr);
  // The first entry, in list order, whose UpperName equals the upper case of
  // name; nullptr when none. position (when given) receives its position or -1.
  TMyFile* FindByName(const std::string& name, int* position = nullptr) const;
  // FindByName, or a new entry with that name appended.
  TMyFile* FindOrAdd(const std::string& name);
  // The first entry, in list order, with IsLink set, Deleted equal to deleted
  // and the name (compared as FindByName does); nullptr when none.
  TMyFile* FindLink(const std::string& name, bool deleted, int* position = nullptr) const;

  // Removes and frees the entry at position i.
  void Delete(int i);
  // Removes the entry at position i and hands it to the caller (Owner() becomes nullptr).
  std::unique_ptr<TMyFile> Detach(int i);
  void Clear();
  // Makes room in the name index for count entries in all, so that adding
  // them does not rebuild it as it grows.
  void Reserve(int count);
  // Ascending ordinal order of UpperName; entries with equal names keep their order.
  void SortByName();

 private:
  friend class TMyFile;

  // Brings the index up to date after AddCopiesUnlessPresent left it stale.
  void EnsureIndexed() const;
  // Do nothing while the index is stale: its rebuild will see the change.
  void IndexAdd(TMyFile* entry) const;
  void IndexRemove(TMyFile* entry) const;
  void Renumber(int from);
  void Rename(TMyFile* entry, const std::string& name);

  TMyContaner* owner_;
  // Entries with an empty name are not indexed; they are found by a scan.
  // Lookups may rebuild a stale index, hence mutable.
  mutable TNameIndex index_;
  mutable bool indexStale_ = false;
};

// One container: a revision's header and its entries, or the index.
class TMyContaner : public TPersistent {
 public:
  // owner: the list that holds the container, or nullptr for a container
  // owned elsewhere (the engine's index, a merged view).
  explicit TMyContaner(TMyContanerList* owner = nullptr) : Files(this), owner_(owner) {}
  const char* ClassName() const override { return "TMyContaner"; }

  TMyContanerList* Owner() const { return owner_; }

  // The path of this revision's file (RootPath/.Quarv/Objects/<Number>.dat)
  // when Number is not 0 and the container belongs to a TMyContanerList with
  // an engine; otherwise "".
  std::string GetFileName() const;

  // Reads the container from a file. Files is cleared first (entries obtained
  // earlier are freed). A FormatVersion below 1 leaves the container empty.
  // Loaded is set once everything was read (lpEverything). Raises the file
  // layer's open and read errors as they are, or EDamagedContainer naming
  // path when the bytes are not a whole container; never reads outside the
  // file, and allocates no more than the file's size for a length the file
  // claims.
  void LoadFromFile(const std::string& path, TLoadParts parts = lpEverything);
  void LoadFromStream(TStream& stream, TLoadParts parts = lpEverything);
  // Reads one entry's content block from this container's file (entry's
  // ContentOffset and Compressed as its record gave them), for readers that
  // loaded lpRecords. Raises as LoadFromFile does.
  void LoadContentFromFile(const std::string& path, TMyFile& entry);
  // Streams the content blocks of several entries through one open file, in
  // ascending ContentOffset: each entry's bytes go, piece by piece as they
  // are expanded (TMyFile::StreamContent), to the sink that begin(entry)
  // returns, and end(entry) follows its last piece. No content is held whole.
  // Raises as LoadFromFile does for the file's faults; what the sinks, begin
  // and end raise passes through unchanged.
  void StreamContentsFromFile(const std::string& path, std::vector<TMyFile*> entries,
                              const std::function<TByteSink(TMyFile&)>& begin,
                              const std::function<void(TMyFile&)>& end);

  // Writes the container: header, entry records, content blocks, then the
  // offsets patched into the records. SaveToFile builds the image in memory
  // and replaces the file atomically (WriteFileAtomically), so a failure
  // (such as a content too large to store) leaves the file as it was.
  void SaveToFile(const std::string& path);
  // packed, when given, holds what TContentPacking made of these entries.
  void SaveToStream(TStream& stream, TPackedContents* packed = nullptr);

  // Back to what a container list holds of a revision it has not read: its
  // Number only (no entries, no header fields, not loaded).
  void Unload();

  // Files in ascending ordinal order of UpperName.
  void SortFiles() { Files.SortByName(); }

  uint64_t Date = 0;   // FILETIME of the revision, UTC
  int32_t Number = 0;  // revision number; 0 for the index
  TMyFileList Files;
  std::string Author;
  std::string Email;
  std::string Comment;  // stored as UTF-8
  bool Loaded = false;  // read in full from a file or stream
  // The header and entry records are read (by either load); Contents may be empty.
  bool RecordsLoaded = false;
  int32_t NextNumber = 0;
  int32_t PreviousNumber = 0;
  int32_t FormatVersion = kContainerFormatVersion;

 protected:
  // Into another TMyContaner: clears its Files, copies FormatVersion and
  // appends a copy (AddCopy plus content) of every entry. Header fields are
  // not copied.
  void AssignTo(TPersistent& dest) const override;

 private:
  friend class TMyContanerList;

  void ReadFrom(TStream& stream, TLoadParts parts);

  TMyContanerList* owner_;
};

// The known containers of a store, sorted by Number after LoadContainers.
class TMyContanerList : public TObjectList<TMyContaner> {
 public:
  explicit TMyContanerList(TMyFS_Engine* engine) : Engine(engine) {}

  // Appends a new empty container owned by this list.
  TMyContaner* Add();
  // Appends a container made elsewhere (the engine's index once recorded),
  // owned by this list from now on.
  TMyContaner* Adopt(std::unique_ptr<TMyContaner> container);
  // The container numbered container.PreviousNumber, searched from position
  // Number - 1 (or the last) down to 0; nullptr when PreviousNumber is 0 or
  // no container matches.
  TMyContaner* FindPrevious(const TMyContaner& container) const;
  // Ascending Number.
  void SortByNumber();

  TMyFS_Engine* Engine;  // borrowed
};

// The containers of the store under RootPath.
class TMyFS_Engine {
 public:
  // rootPath: the working root folder, ending in '/'.
  explicit TMyFS_Engine(std::string rootPath) : RootPath(std::move(rootPath)), Containers(this) {}

  // RootPath/.Quarv/Objects/ and RootPath/.Quarv/Objects/<number>.dat.
  std::string ObjectsFolder() const;
  std::string ContainerFileName(int32_t number) const;

  // The first container with this Number, or nullptr.
  TMyContaner* FindByNumber(int32_t number) const;
  // The newest container's Number + 1, or 1 for an empty store.
  int32_t NextFreeNumber() const;
  // The Number in a container file's header, reading nothing else. Raises the
  // file layer's open error, or EDamagedContainer when the file is too short.
  static int32_t ReadContainerNumber(const std::string& path);
  // Rebuilds Containers from the history: one container (Number only) per
  // history line whose file exists, sorted by Number; the newest is then read
  // in full from ContainerFileName(its Number).
  void LoadContainers(const TMyHistoryData& history);
  // Reads a container (in full, or its records only) from
  // ContainerFileName(its Number). Raises as LoadFromFile does, and
  // EDamagedContainer when the file holds another revision: a revision is
  // never mistaken for another.
  void LoadNumbered(TMyContaner& container, TLoadParts parts = lpEverything) const;

  std::string RootPath;
  TMyContanerList Containers;
};

}  // namespace pellmor
