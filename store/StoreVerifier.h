// The checks of `quarv verify` on a store: every revision the history lists
// is read whole once (each content block decompressed once), and each
// problem found is reported with the file it was found in.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>

#include "foundation/uMyHash.h"

namespace pellmor {

class TMyContaner;
class TQuarvReader;

// Receives one problem: the file it was found in and what is wrong.
using TProblemSink = std::function<void(const std::string& file, const std::string& text)>;

class TStoreVerifier {
 public:
  // Both are borrowed and must outlive the verifier.
  TStoreVerifier(const TQuarvReader& reader, TProblemSink sink);

  // Called with each revision that was read, its own bytes in its entries'
  // Content, once its checks are done; in ascending number.
  using TRevisionHook = std::function<void(TMyContaner& revision)>;

  // Checks History.txt (its lines name N.dat for revisions 1, 2, 3, ...
  // without gaps or repeats), then each listed revision in ascending number:
  // the container exists and loads, its number and its PreviousNumber and
  // NextNumber agree with the history, its names are unique (ASCII case
  // ignored) and safe to check out, every entry's bytes are found (in its
  // own container or the one its DataRevision names, under its name) and
  // match its digest; then that every container file N.dat in the objects
  // folder is listed in the history, and that Index.dat, when present,
  // loads. Returns the number of revisions that could be read.
  int Run(const TRevisionHook& hook = nullptr);

  // How many problems were reported so far.
  int Problems() const { return problems_; }

 private:
  void CheckHistory();
  void CheckRevision(TMyContaner& revision, int32_t previous, int32_t next);
  void CheckUnlisted();
  void CheckIndex();
  void Report(const std::string& file, const std::string& text);

  const TQuarvReader& reader_;
  TProblemSink sink_;
  int problems_ = 0;
  // For each revision read: the digest of the bytes it holds, by upper-case name.
  std::map<int32_t, std::unordered_map<std::string, TContentDigest>> held_;
};

}  // namespace pellmor
