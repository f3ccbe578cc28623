// Fuzz target: Ignore.txt. The names read are sorted and unique without
// regard to ASCII case, and every line of the file is ignored.
#include <cstdint>

#include "foundation/AsciiText.h"
#include "foundation/TextLines.h"
#include "fuzz/FuzzCheck.h"
#include "store/uQuarvEngine.h"

using namespace pellmor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream bytes;
  bytes.Assign(data, size);
  TQuarv_IgonreList list;
  list.LoadFromStream(bytes);
  const auto& names = list.Names();
  for (size_t i = 1; i < names.size(); ++i)
    FUZZ_CHECK(CompareNamesAscii(names[i - 1], names[i]) < 0);
  for (const std::string& line : ReadTextLines(bytes)) FUZZ_CHECK(list.IsIgnored(line));
  return 0;
}
