// Writes Quarv stores for tests through the store engine alone, staging the
// index as the change loader would (no working folder, no Git): files added
// or modified with chosen bytes, attributes and times, deletions and renames.
// Also keeps what each revision holds, to hold readers against.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pellmor::test {

struct SampleFile {
  std::string Bytes;
  uint32_t Attributes = 0x80;  // normal
  uint64_t LastWriteTime = 133000000000000000ULL;
  uint64_t LastAccessTime = 133000000000000000ULL;
};

// The files of one revision by store name ('\' between folders).
using SampleTree = std::map<std::string, SampleFile>;

struct SampleChanges {
  SampleTree Written = {};                          // added or modified
  std::vector<std::string> Deleted = {};            // names to mark deleted
  std::map<std::string, std::string> Renamed = {};  // old name -> new name, bytes kept
};

class StoreWriter {
 public:
  // folder: the working folder (ending in '/') whose .Quarv is written.
  explicit StoreWriter(std::string folder) : folder_(std::move(folder)) {}

  // Records the next revision with these changes; returns its number.
  int Record(const SampleChanges& changes, const std::string& message = "message",
             uint64_t date = 133100000000000000ULL, const std::string& author = "Ann Author",
             const std::string& email = "ann@example.com");

  // The live files of each revision recorded so far (index 0: revision 1).
  const std::vector<SampleTree>& Trees() const { return trees_; }

 private:
  std::string folder_;
  std::vector<SampleTree> trees_;
};

// n bytes that compress well but not to nothing.
std::string PatternBytes(size_t n);

// Records the sample history that the reading commands' tests share:
//   1: a.txt, data.bin (300 bytes, stored compressed), run.sh (executable,
//      written 1500000000.25 s after 1970), link (a symbolic link to a.txt),
//      sub\b.txt; message "first", an empty line, "second line", each
//      ended by CR LF
//   2: a.txt modified, sub\b.txt deleted; author Bo <bo@example.com>
//   3: c.txt added, run.sh renamed to tools\run.sh
// dated 2023-11-14 22:13:20 UTC and one and two hours later.
void RecordSampleHistory(StoreWriter& writer);

}  // namespace pellmor::test
