#include "foundation/uMyFileTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pellmor {
namespace {

TEST(FileTypesTest, ExtensionRules) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"Unit1.PAS", true},
      {"data.Json", true},
      {"build.bat", true},
      {"Project.DPROJ", true},
      {"form.dfm", true},
      {"app.exe", false},
      {"image.png", false},
      {"README", false},
      {"archive.txt.bak", false},   // only the last extension counts
      {"notes.txt.", false},        // extension "."
      {"old.src\\notes.txt", true},
      {"old.src\\README", false},   // the dot lies before the last backslash
      {"old.src/README", false},    // '/' is no delimiter: the extension is ".src/README"
      {"old.src/notes.txt", true},
      {"C:\\work\\main.pas", true},
      {"C:name", false},            // a colon ends the search too
      {"dir.txt:stream", false},
      {".json", true},
      {".Txt", true},
      {"", false},
      {".", false},
      {"file.tx", false},           // a prefix of an extension is not a match
      {"file.txts", false},
  };
  for (const auto& [name, text] : cases)
    EXPECT_EQ(FileTypes.IsTextFile(name), text) << '"' << name << '"';
}

}  // namespace
}  // namespace pellmor
