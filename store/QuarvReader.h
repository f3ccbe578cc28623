// Read-only access to the Quarv store of a working folder, for the quarv
// tool's reading commands (log, ls, cat, checkout, verify): the history, a
// revision's container (header and entry records alone, or whole), and the
// bytes of a revision's files fetched from the containers that hold them.
//
// Nothing is written and nothing is cached between calls: each call opens
// the files it needs for the duration of its read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/StoreLayout.h"
#include "store/uMyFS.h"
#include "store/uMyHistory.h"

namespace pellmor {

class TQuarvReader {
 public:
  // folder: a working folder holding ".Quarv" (with or without a trailing
  // '/'). Reads History.txt; a store without it has no revision. Raises
  // "No Quarv store in '<folder>'" when the folder holds no ".Quarv", and an
  // error naming History.txt when that file cannot be read.
  explicit TQuarvReader(const std::string& folder);

  // The working folder, ending in '/'.
  const std::string& RootPath() const { return layout_.Root(); }
  // Where the store's files are.
  const TStoreLayout& Layout() const { return layout_; }
  std::string HistoryFileName() const { return layout_.HistoryFileName(); }
  std::string ContainerFileName(int32_t number) const { return layout_.ContainerFileName(number); }

  // The revision numbers History.txt lists, in its order.
  const std::vector<int32_t>& Revisions() const { return revisions_; }
  // The same numbers in ascending order, each once.
  std::vector<int32_t> SortedRevisions() const;
  // The lines of History.txt that name revisions, in its order.
  const std::vector<TMyHistoryItem>& HistoryItems() const { return history_; }
  // The lines of History.txt that name no revision, which readers pass over.
  const std::vector<std::string>& PassedOverHistoryLines() const { return passedOver_; }
  bool HasRevision(int32_t number) const;
  // The highest listed number. Raises "The store in '<folder>' holds no
  // revision" for an empty history.
  int32_t Newest() const;

  // Reads revision `number` from its container file: the header and entry
  // records (lpRecords), or everything (lpEverything, each content block
  // decompressed once). Raises "Revision %d does not exist in the store
  // '<folder>'" when the history does not list it, the file layer's error
  // naming a missing file, and EDamagedContainer naming the file when it is
  // damaged or holds another revision. The container belongs to no list.
  std::unique_ptr<TMyContaner> ReadRevision(int32_t number, TLoadParts parts) const;

  // Streams the bytes of some entries of `revision` (read with lpRecords by
  // ReadRevision), grouped by the container that holds them (ascending
  // DataRevision): each holding container is opened once and each needed
  // block expanded once; no other block is read. For each entry, begin(entry)
  // returns the sink that receives its bytes piece by piece as they are
  // expanded (no file's bytes are held whole, whatever a block claims), then
  // end(entry, matches) says whether they matched the entry's Hash. When they
  // did not, "The bytes of '%s' in revision %d do not match its digest
  // (container '%s')" is raised once end has returned.
  //
  // Raises, naming the entry and the container file, when the bytes are
  // nowhere (DataRevision outside 1..revision's Number, not listed in the
  // history, or the holding container has no entry of that name that holds
  // bytes of its own), and as ReadRevision when a holding container cannot
  // be read; what begin, end and the sinks raise passes through.
  void StreamContents(TMyContaner& revision, const std::vector<TMyFile*>& entries,
                      const std::function<TByteSink(const TMyFile&)>& begin,
                      const std::function<void(const TMyFile&, bool matches)>& end) const;

  // How an entry's bytes are stored: the length of its content block in the
  // container that holds it, and whether that block is zlib data.
  struct TStoredSize {
    int64_t Size = 0;
    bool Compressed = false;
  };
  // The stored size of each entry (in entries' order), read from the holding
  // containers' entry records and the 4-byte length field of each block;
  // no content byte is read. Raises as StreamContents does.
  std::vector<TStoredSize> ReadStoredSizes(TMyContaner& revision,
                                           const std::vector<TMyFile*>& entries) const;

 private:
  // One stored entry of a holding container and the entries of the revision
  // whose bytes it holds (more than one only in a damaged revision that
  // lists a name twice).
  struct THeldEntry {
    TMyFile* Stored;
    std::vector<TMyFile*> Askers;
  };
  using THolderVisit = std::function<void(TMyContaner& holder, const std::string& path,
                                          std::vector<THeldEntry>& held)>;
  // Groups entries by the container that holds their bytes and calls visit
  // once per holding container, in ascending number, with the holder's
  // records read; raises as StreamContents for bytes that are nowhere.
  void VisitHolders(TMyContaner& revision, const std::vector<TMyFile*>& entries,
                    const THolderVisit& visit) const;

  TStoreLayout layout_;
  TMyFS_Engine files_;
  std::vector<TMyHistoryItem> history_;
  std::vector<int32_t> revisions_;
  std::vector<std::string> passedOver_;
};

}  // namespace pellmor
