#include "foundation/uMyFileTypes.h"

#include "foundation/AsciiText.h"

namespace pellmor {

namespace {

// From the last dot to the end, unless a backslash or colon comes after it.
// A forward slash is deliberately not a delimiter: store names use '\'.
std::string ExtractExtension(const std::string& name) {
  const size_t last = name.find_last_of(".\\:");
  if (last == std::string::npos || name[last] != '.') return {};
  return name.substr(last);
}

}  // namespace

const TMyFileTypes FileTypes;

TMyFileTypes::TMyFileTypes()
    : extensions_{".bat", ".pas", ".dpr",   ".dpk", ".dfm",
                  ".cfg", ".dof", ".dproj", ".txt", ".json"} {}

bool TMyFileTypes::IsTextFile(const std::string& name) const {
  const std::string extension = ExtractExtension(name);
  if (extension.empty()) return false;
  for (const std::string& known : extensions_)
    if (SameNameAscii(known, extension)) return true;
  return false;
}

}  // namespace pellmor
