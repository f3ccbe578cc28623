// Fuzz target: History.txt. Every revision read names itself by its line,
// and the history writes back into a file that reads as the same history.
#include <cstdint>

#include "foundation/Exception.h"
#include "fuzz/FuzzCheck.h"
#include "store/uMyHistory.h"

using namespace pellmor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream bytes;
  bytes.Assign(data, size);
  TMyHistoryData history;
  try {
    history.LoadFromStream(bytes);
  } catch (const Exception&) {
    return 0;  // "Invalid revision number 0"
  }
  for (const auto& item : history.Items) {
    FUZZ_CHECK(item->Revision >= 1);
    FUZZ_CHECK(HistoryLineNumber(item->FileName) == item->Revision);
    FUZZ_CHECK(item->FileName.find_first_of("\r\n") == std::string::npos);
  }
  TMemoryStream image;
  history.SaveToStream(image);
  TMyHistoryData again;
  again.LoadFromStream(image);
  FUZZ_CHECK(again.Items.Count() == history.Items.Count());
  for (int i = 0; i < history.Items.Count(); ++i) {
    FUZZ_CHECK(again.Items[i]->FileName == history.Items[i]->FileName);
    FUZZ_CHECK(again.Items[i]->Revision == history.Items[i]->Revision);
  }
  return 0;
}
