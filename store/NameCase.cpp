#include "store/NameCase.h"

namespace pellmor {

namespace {

unsigned char UpperByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

}  // namespace

std::string UpperCaseAscii(const std::string& name) {
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(UpperByte(c));
  return upper;
}

int CompareNamesAscii(const std::string& a, const std::string& b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const unsigned char x = UpperByte(a[i]);
    const unsigned char y = UpperByte(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace pellmor
