// The change loader: compares the working folder with the store's index, its
// newest revision and its rename log, describes every difference as a change
// item, and stages chosen changes in the index so that the engine's Commit
// records the folder as it stands.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "scan/WorkingDigestCache.h"
#include "scan/WorkingFileReader.h"
#include "scan/uListBoxData.h"
#include "scan/uMyFileUtils.h"
#include "store/uMyFS.h"
#include "store/uQuarvEngine.h"

namespace pellmor {

// A plain list of references to change items, as ApplyChanges takes it.
using TChangeRefList = std::vector<TListItemData*>;

// One compare-and-stage pass over a loaded store engine. Use:
//   TQuarvEngine_Loader loader(engine);  // engine.Load() done
//   loader.Prepare(false);
//   loader.IgnoreList.AddPattern(".git");
//   loader.Compare();
//   TChangeRefList all = loader.ChangeRefs();
//   loader.ApplyChanges(all);
//   engine.Commit(...);
//
// Every failure raises an Exception with the system's message; nothing is
// caught or rolled back. The loader borrows the engine and its containers,
// which must outlive it; it owns its scan tree, its two lists and, in
// compare-with-previous mode, the merged target container.
class TQuarvEngine_Loader {
 public:
  // Create: engine must be loaded already; lists empty, no target, no base.
  // With a digest cache (the caller's, kept across the loaders of one run), a
  // working file that is not staged and whose stamp is the one its kept
  // digest was read under is not read when that digest equals its base
  // entry's; every file Compare reads through its look-ahead is recorded in
  // the cache. Without one every file is read. With listings (also kept
  // across the run), the scan lists only the folders that changed since the
  // last loader's.
  explicit TQuarvEngine_Loader(TQuarv_Engine& engine, TWorkingDigestCache* digests = nullptr,
                               TWatchedListings* listings = nullptr);
  TQuarvEngine_Loader(const TQuarvEngine_Loader&) = delete;
  TQuarvEngine_Loader& operator=(const TQuarvEngine_Loader&) = delete;
  ~TQuarvEngine_Loader();

  // Empties everything, chooses Target and Base, and leaves ".Quarv" as the
  // only ignore pattern (add further patterns after it). Flag clear: Target is
  // the engine's Index, Base the newest revision (or none). Flag set: Base
  // becomes the revision before the newest (none when the newest is the
  // first) and Target a container owned by the loader holding the newest
  // revision merged with the index.
  void Prepare(bool compareWithPrevious);

  // Scans the working folder (with IgnoreList) and fills Changes and Staged,
  // both sorted ordinally by Name. Raises the rename messages, an error
  // naming two entries of one folder whose names differ only in ASCII case or
  // an entry whose name holds a backslash (before the index is touched), and
  // the file errors of a working file that cannot be read.
  void Compare();

  // Stages the given items, which must be items of Changes, into Target and
  // moves them to Staged (pending changes are merged into their staged item
  // and freed). Returns how many changes were applied, a rename pair counting
  // once. items is the caller's; a rename pair's second member standing after
  // the first is taken out of it. Raises "File '%s' not founded in the
  // source", "... in the index", "... in the list" and "File '%s' not
  // founded"; items applied before a failure stay applied.
  int ApplyChanges(TChangeRefList& items);

  // The references in Changes, in their order.
  TChangeRefList ChangeRefs() const;

  TFolderObject* Root() const { return root_.get(); }  // the last scan, or none
  TQuarv_Engine& Engine() const { return engine_; }
  TMyContaner* Target() const { return target_; }
  TMyContaner* Base() const { return base_; }
  TMyContaner* Previous() const { return previous_; }

  TQuarvDataList Staged;
  TQuarvDataList Changes;
  TFileIgnoreList IgnoreList;

 private:
  struct TApplyPass;  // the bookkeeping of one ApplyChanges

  void Reset();

  // Compare, step by step.
  // The rename pairs staged in the index, then those of the rename log.
  void CollectRenames();
  // One staged item per rename pair of the index (its live link entry and
  // the deleted one of its old name).
  void CollectStagedRenames();
  // A record of the rename log: a change item when its pair is staged and
  // the working file changed since, else a new pair of change items.
  // Returns whether an index entry was renamed to the new name.
  bool CollectLoggedRename(const std::string& oldName, const std::string& newName);
  void ReportChangeOfStagedRename(TListItemData& stagedNew);
  bool AddLoggedRename(const std::string& oldName, const std::string& newName);
  // The entry whose bytes a logged rename starts from: the index's entry of
  // the old name (renamed to the new name, renamedInIndex set), else the
  // index's entry of the new name, else the base's entry of the old name
  // (its bytes loaded). Raises "Error: File was renambed but not found in
  // base: ..." when there is none.
  TMyFile& RenameSource(const std::string& oldName, const std::string& newName,
                        bool& renamedInIndex);
  // Every working file of the scan against the target and the base, read
  // ahead by a TWorkingFileReader.
  void CompareWorkingFiles();
  // prefix: the folder's relative path with a trailing '\' ("" for Root).
  void CompareFolder(TFolderObject& folder, const std::string& prefix);
  // A working file that is neither staged nor renamed, against its base
  // entry; knownUnchanged: its kept digest is the entry's.
  void CompareWithBase(const std::string& rel, TFileObject& file, TMyFile& recorded,
                       bool knownUnchanged);
  // A working file that neither the target nor the base holds.
  void AddNewFile(const std::string& rel, TFileObject& file);
  // A working file with a plain entry in the target, staged: against the
  // entry of container (the base, or the target itself) when it has one (a
  // staged modification), else against the staged bytes (a staged addition).
  void CompareStagedFile(const std::string& rel, TMyFile& staged, TListItemData& item,
                         TMyContaner& container);
  void CompareStagedModification(const std::string& rel, TMyFile& staged, TMyFile& recorded,
                                 TMyContaner& container, TListItemData& item);
  void CompareStagedAddition(const std::string& rel, TMyFile& staged, TListItemData& item);
  // The base's live entries that no working file matched.
  void CollectDeletions();

  // ApplyChanges, step by step: the item at position of the pass's list.
  void ApplyChange(TApplyPass& pass, size_t position);
  // A pending change merged into the staged item and the target entry of its name.
  void MergeIntoStagedFile(TListItemData& change);
  void MergeIntoStagedRename(TListItemData& change);
  // Both members of a rename pair, whichever of them the list names.
  void StageRenamePair(TApplyPass& pass, TListItemData& member, size_t position);
  // Writes one item into the target's entries: a deletion, the new-name side
  // of a rename (with the old name's deleted entry), or a file's bytes,
  // times and attributes. An entry already written in this engine's life
  // (Untouched cleared) is left as it is.
  void ApplyItem(TListItemData& item);
  void StageDeletion(const TListItemData& item);
  void StageRename(TListItemData& newSide);
  void StageFile(TListItemData& item);
  // Takes the items in taken out of Changes in one pass; those in
  // movedToStaged are appended to Staged in that order, the rest are freed.
  void TakeFromChanges(const std::unordered_set<const TListItemData*>& taken,
                       const TChangeRefList& movedToStaged);

  // Reads the working file of a relative name into working_ (one buffer,
  // read once) and hashes it in place; during CompareFolder the file comes
  // from the reader, which read it ahead.
  void ReadWorkingFile(const std::string& rel, TContentDigest& digest);
  // Whether a rename record names this as its new name.
  bool IsRenamedTo(const std::string& name) const;
  // Whether CompareFolder passes over a file that is not staged: a name of
  // the store's ignore list or the new name of a rename.
  bool IsLeftOut(const std::string& rel) const;
  // The disk paths of the working files CompareFolder will read, in the
  // order it reads them; with a digest cache, their stamps too (in
  // plannedStamps_); and for every working file, in the walk's order, what
  // CompareFolder is to do with it (in plannedFiles_).
  void PlanWorkingReads(const TFolderObject& folder, const std::string& prefix,
                        std::vector<std::string>& paths);

  TListItemData* AddChange(std::unique_ptr<TListItemData> item, const std::string& name);
  TListItemData* AddStaged(std::unique_ptr<TListItemData> item, const std::string& name);
  static TListItemData* FindItem(const TQuarvDataList& list, const std::string& name);
  static void SortByName(TQuarvDataList& list);

  std::unique_ptr<TFolderObject> root_;
  TQuarv_Engine& engine_;
  TMyContaner* target_ = nullptr;
  std::unique_ptr<TMyContaner> ownedTarget_;  // set when Prepare built the target
  TMyContaner* base_ = nullptr;
  TMyContaner* previous_ = nullptr;
  TMemoryStream working_;                         // the working file being compared
  TWorkingFileReader* reader_ = nullptr;          // during CompareFolder only
  std::unordered_set<std::string> renamedNames_;  // upper-case new names of the rename log
  TWorkingDigestCache* digests_;                  // borrowed, or none
  TWatchedListings* listings_;                    // borrowed, or none
  // During CompareFolder, with a digest cache: the stamp of each planned
  // read and the watch's Refresh it comes after (TWorkingDigestCache::Record;
  // none for a staged file, which is not recorded), and the next one to take.
  struct TPlannedStamp {
    TFileStamp Stamp;
    uint64_t ReadAfter = kNotWatched;
  };
  std::vector<std::optional<TPlannedStamp>> plannedStamps_;
  size_t stampsTaken_ = 0;
  // A working file as PlanWorkingReads found it, so that CompareFolder looks
  // nothing up again: its plain target entry (staged), else whether the
  // store leaves it out, its base entry and whether its kept digest (read
  // under the stamp it still has) is that entry's, mode bits included.
  struct TPlannedFile {
    TMyFile* Staged = nullptr;
    bool LeftOut = false;
    TMyFile* Recorded = nullptr;
    bool KnownUnchanged = false;
  };
  std::vector<TPlannedFile> plannedFiles_;  // in the walk's order
  size_t filesTaken_ = 0;
};

}  // namespace pellmor
