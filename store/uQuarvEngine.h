// The entry point of a Quarv store: finds the store folder .Quarv under a
// working root, loads its ignore names, history, newest revision, rename log
// and index, and records the index as the next revision (Commit). The files
// of the store are described in docs/store-format.md.
//
// An engine is created on a root folder and loaded once. After a Commit it
// holds the store as a new Load would read it (the revision just recorded as
// the newest, read in full, the older containers known by number only, an
// empty index), so that one engine can record a run of revisions without
// reading the store again: the cost of a revision then does not grow with the
// store. The ignore list and rename log stay as loaded and as Commit left
// them. A store must not be written by two engines at the same time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/ContentCache.h"
#include "store/ContentPacking.h"
#include "store/uMyFS.h"
#include "store/uMyHistory.h"
#include "store/uMyRename.h"

namespace pellmor {

class TRecordBatch;

// The names left out of every revision (.Quarv/Ignore.txt): relative names
// as the scan produces them, kept sorted without regard to ASCII case, a name
// equal (ignoring case) to one present not added again.
class TQuarv_IgonreList {
 public:
  // Adds the name unless an equal one (ignoring case) is present; returns
  // whether it was added.
  bool Add(const std::string& name);
  // Position of the name (ignoring case) in Names(), or -1.
  int IndexOf(const std::string& name) const;
  // Whether a file of this relative name is left out of revisions.
  bool IsIgnored(const std::string& relativeName) const { return IndexOf(relativeName) >= 0; }
  int Count() const { return static_cast<int>(names_.size()); }
  const std::vector<std::string>& Names() const { return names_; }

  // Adds every line of a file (stream) as it is (no trimming, no wildcards).
  void LoadFromFile(const std::string& path);
  void LoadFromStream(TStream& stream);

 private:
  std::vector<std::string> names_;
};

class TQuarv_Engine {
 public:
  // The default author and author e-mail of a revision that names none.
  static constexpr char kDefaultAuthor[] = "Kestovar";
  static constexpr char kDefaultEmail[] = "kestovar@quarv.invalid";
  // The bytes of recent revisions kept for the comparisons that follow.
  static constexpr size_t kRecentContentBudget = size_t{64} << 20;

  // Opens the engine on a working root folder (with or without a trailing
  // '/'). When root has no .Quarv but its parent folder has, the parent's
  // store is used (one level up only). Reads nothing but those two checks.
  explicit TQuarv_Engine(const std::string& root);
  TQuarv_Engine(const TQuarv_Engine&) = delete;
  TQuarv_Engine& operator=(const TQuarv_Engine&) = delete;

  // Whether folder (ending in '/') holds a .Quarv folder.
  static bool StoreExists(const std::string& folder);

  // LoadIgnoreList, LoadHistory, LoadRenames, LoadIndex. Missing files count
  // as empty; damaged ones raise errors that name them.
  void Load();
  void LoadIgnoreList();
  // Reads History.txt when present, then the container list with the newest
  // revision in full (TMyFS_Engine::LoadContainers).
  void LoadHistory();
  void LoadRenames();
  void LoadIndex();

  std::string GetIndexFileName() const;
  // Sorts Index and writes it to Index.dat (atomically), creating the store
  // folder when needed.
  void SaveIndex();
  // Deletes Index.dat; a missing file is no error.
  void DeleteIndexFile();

  // Fills entry.Content (position 0) from the container numbered
  // entry.DataRevision when that is older than the container holding the
  // entry. Bytes this engine recorded lately come from memory (a bounded
  // set of the newest, each handed out once); otherwise that container's
  // records are read on first use and stay, and of its content blocks only
  // the entry's own is read (all of them are at hand when it was loaded in
  // full). Does nothing when the container or the entry in it cannot be
  // found.
  void LoadContent(TMyFile& entry);

  // For each source entry: appends a copy (with content) when target has no
  // entry of that name and the bytes are the source's own; replaces target's
  // entry (Assign plus content) when its DataRevision is older. Then sorts target.
  void MergeEntries(TMyContaner& target, TMyContaner& source);
  // target := the newest revision merged with the index (MergeEntries from
  // each), Number 0, newest's Comment. target is the caller's.
  void MergeContainers(TMyContaner& target, TMyContaner& newest, TMyContaner& index);

  // Records Index as the next revision N and leaves a new empty Index; an
  // empty Index records nothing and touches no file. date is a local
  // date-time value (days since 1899-12-30), 0 for now. An empty author is
  // stored as kDefaultAuthor, an empty e-mail as kDefaultEmail.
  //
  // Raises "Rename item for '%s' not found", "Index '%s' is corrupted!" and
  // "File '%s' is too large to store: ..." before any file is written (the
  // engine's state is then partly changed: discard the engine). Writes, in
  // this order: the previous container's NextNumber (4 bytes patched in
  // place), Objects/N.dat and History.txt.tmp, all synced to the disk; then
  // deletes Index.dat and renames History.txt.tmp over History.txt, synced
  // too; then Rename.txt (rewritten, or deleted when empty) when rename
  // records were consumed. Every whole file is replaced atomically and every
  // name is given only to bytes already on the disk, so a process killed at
  // any instant, or a power loss, leaves every recorded revision intact.
  // With a Batch, History.txt is not written and nothing is synced: the
  // revision is added to the batch, and recorded by its Flush.
  void Commit(const std::string& message, const std::string& author, double date,
              const std::string& email);
  // The same with the revision time given as a UTC FILETIME, stored as it is.
  void CommitUtc(const std::string& message, const std::string& author, uint64_t utcDate,
                 const std::string& email);
  // CommitUtc in two steps, so that the caller can work on (check the next
  // commit out) while another thread compresses the new contents:
  // BeginCommitUtc makes every check and raises every error that CommitUtc
  // raises before its first write, and returns whether a revision is
  // pending (false for an empty Index); FinishCommit compresses the contents
  // the other thread has not taken yet, waits for the rest and writes the
  // pending revision as CommitUtc does (nothing when none is pending). In
  // between, nothing of the engine may be used but CommitPending and
  // FinishCommit. A pending revision that is never
  // finished is not recorded; the engine waits for its compression when
  // destroyed.
  bool BeginCommitUtc(const std::string& message, const std::string& author, uint64_t utcDate,
                      const std::string& email);
  void FinishCommit();
  bool CommitPending() const { return pending_.has_value(); }

  // Fields in the order they are created; all owned by the engine.
  std::unique_ptr<TMyFS_Engine> FileSystem;
  TQuarv_IgonreList IgnoreList;
  std::string RootPath;  // ends in '/'
  std::string IgnoreFileName;
  std::string HistoryFileName;
  std::string RenameFileName;
  std::unique_ptr<TMyContaner> Index;  // the staging container (Owner() is nullptr)
  TMyHistoryData History;
  TMyRenameData Renames;
  // When set (before Load): the batch this engine records into. Load takes
  // the batch's revisions as listed after History.txt's, and Commit leaves
  // History.txt and the syncs to the batch's Flush (store/RecordBatch.h).
  // Borrowed.
  TRecordBatch* Batch = nullptr;

 private:
  void LocateStore();
  // The steps of CommitUtc, in order. Numbers and hashes the staged entries
  // and takes the rename records their new names consume; returns whether
  // any were taken.
  bool TakeStagedEntries(int32_t number);
  // The staged entries' versions from the previous revision, then a copy
  // (ChangeKind ckUnchanged) of each of its entries that the index lacks.
  void CarryOverFrom(TMyContaner& previous);
  // The first revision: every entry version 1, added.
  void MarkEveryEntryAdded();
  void FillRevisionHeader(int32_t number, TMyContaner* previous, const std::string& message,
                          const std::string& author, const std::string& email, uint64_t utcDate);
  // The files, in the order and with the syncs that Commit describes.
  void WriteRevision(int32_t number, const TMemoryStream& image, const TMyContaner* previous,
                     bool consumedRenames);
  // After WriteRevision: the containers as LoadContainers would now read
  // them. The revision recorded (Index, written as image) becomes the
  // newest, held in full; every other container is known by its number
  // only, so that what the engine holds stays bounded by one revision (and
  // the recent contents' budget), not the history. Index becomes a new
  // empty one.
  void TakeRecordedRevision();
  // Moves the bytes a loaded container holds of its own into recentContents_.
  void KeepRecentContents(TMyContaner& container);
  // BeginCommitUtc; background: the compression starts on another thread
  // at once, else FinishCommit does it all.
  bool StageRevision(const std::string& message, const std::string& author, uint64_t utcDate,
                     const std::string& email, bool background);

  // A revision staged and numbered, its contents being compressed.
  struct TPendingRevision {
    int32_t Number = 0;
    TMyContaner* Previous = nullptr;
    bool ConsumedRenames = false;
    std::unique_ptr<TContentPacking> Packing;  // reads Index until finished
  };
  // Of revisions recorded by this engine, before the newest.
  TContentCache recentContents_{kRecentContentBudget};
  // The older containers whose records LoadContent read since the last commit.
  std::vector<TMyContaner*> olderRecords_;
  // Declared after Index: destroyed first, waiting for the compression.
  std::optional<TPendingRevision> pending_;
};

}  // namespace pellmor
