// Fuzz target: Rename.txt. Every record read holds one line's names, and
// the records write back into a file that reads as the same records, as a
// Commit that consumed others rewrites it.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "store/uMyRename.h"

using namespace pellmor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream bytes;
  bytes.Assign(data, size);
  TMyRenameData renames;
  renames.LoadFromStream(bytes);
  for (const auto& item : renames.Items) {
    FUZZ_CHECK(item->OldName.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(item->NewName.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(item->OldName.find("\"->\"") == std::string::npos);
  }
  TMemoryStream image;
  renames.SaveToStream(image);
  TMyRenameData again;
  again.LoadFromStream(image);
  FUZZ_CHECK(again.Count() == renames.Count());
  for (int i = 0; i < renames.Count(); ++i) {
    // A line that did not start with a quote may have had an old name that,
    // written after one, starts the separator ("->" itself, or "->"...):
    // the separator cannot be escaped.
    const std::string& oldName = renames.Items[i]->OldName;
    if (('"' + oldName + "\"->\"").find("\"->\"") != oldName.size() + 1) continue;
    FUZZ_CHECK(again.Items[i]->OldName == renames.Items[i]->OldName);
    FUZZ_CHECK(again.Items[i]->NewName == renames.Items[i]->NewName);
  }
  return 0;
}
