// The checks of `quarv verify` on a store: every revision the history lists
// is read once (each content block expanded once, piece by piece, into its
// digest), and each problem found is reported with the file it was found in.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>

#include "foundation/uMyHash.h"
#include "store/uMyFS.h"

namespace pellmor {

class TQuarvReader;

// Receives one problem: the file it was found in and what is wrong.
using TProblemSink = std::function<void(const std::string& file, const std::string& text)>;

class TStoreVerifier {
 public:
  // reader is borrowed and must outlive the verifier; problems go to sink,
  // which the verifier keeps a copy of. parts: lpEverything checks every
  // file's bytes against its digest; lpRecords reads only the headers and
  // entry records and decompresses nothing: the checks of the store's
  // structure (links between revisions, names, where every file's bytes
  // are), quick enough to run before every append.
  TStoreVerifier(const TQuarvReader& reader, TProblemSink sink, TLoadParts parts = lpEverything);

  // Called with each revision that was read, its own bytes in its entries'
  // Content, once its checks are done; in ascending number. Without a hook
  // no content is held whole.
  using TRevisionHook = std::function<void(TMyContaner& revision)>;

  // Checks History.txt (each of its lines names N.dat, for revisions 1, 2,
  // 3, ... without gaps or repeats), then each listed revision in ascending number:
  // the container exists and loads, its number and its PreviousNumber and
  // NextNumber agree with the history, its names are unique (ASCII case
  // ignored) and safe to check out and its symbolic links' targets can be
  // written, as checkout judges them, every entry's bytes are found (in its
  // own container or the one its DataRevision names, under its name) and
  // match its digest; then that every container file N.dat in the objects
  // folder is listed in the history, that Index.dat, when present, loads,
  // and that the commit record, when present, is well formed and agrees
  // with the history (TCommitRecord::Problems). What an interrupted
  // recording leaves is no problem (docs/store-format.md): the newest
  // revision's NextNumber naming the number after it, and container files
  // of the numbers after the newest that the history does not list (an
  // interrupted batch leaves several). With lpRecords, the
  // bytes of the files and the targets of symbolic links are not read.
  // Returns the number of revisions that could be read.
  int Run(const TRevisionHook& hook = nullptr);

  // How many problems were reported so far.
  int Problems() const { return problems_; }

 private:
  // What verify keeps of the bytes a revision holds: their digest, and why a
  // symbolic link could not hold them ("" when it could).
  struct THeldBytes {
    TContentDigest Digest{};
    std::string LinkFault;
  };
  // The bytes that the entries of revision hold in its own container, read
  // piece by piece from its file (own is empty for those with Content), or
  // from Content when it was read whole. Raises when the file is damaged.
  std::unordered_map<const TMyFile*, THeldBytes> ReadOwnBytes(TMyContaner& revision,
                                                              bool wholeRead) const;
  void CheckHistory();
  void CheckRevision(TMyContaner& revision,
                     const std::unordered_map<const TMyFile*, THeldBytes>& own, int32_t previous,
                     int32_t next);
  void CheckUnlisted();
  void CheckIndex();
  void CheckCommitRecord();
  void Report(const std::string& file, const std::string& text);

  const TQuarvReader& reader_;
  TProblemSink sink_;
  TLoadParts parts_;
  int problems_ = 0;
  // For each revision read: the bytes it holds, by upper-case name.
  std::map<int32_t, std::unordered_map<std::string, THeldBytes>> held_;
};

}  // namespace pellmor
