#include "foundation/uMyFileTypes.h"

namespace pellmor {

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

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
    : extensions_{".bat", ".pas", ".dpr", ".dpk", ".dfm", ".cfg", ".dof", ".dproj", ".txt",
                  ".json"} {}

bool TMyFileTypes::IsTextFile(const std::string& name) const {
  const std::string extension = ExtractExtension(name);
  if (extension.empty()) return false;
  for (const std::string& known : extensions_)
    if (SameIgnoringCase(known, extension)) return true;
  return false;
}

}  // namespace pellmor
