#include "foundation/AsciiText.h"

#include <cstdint>

namespace pellmor {

namespace {

unsigned char UpperByte(char c) { return static_cast<unsigned char>(UpperCaseAscii(c)); }

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

bool SameNameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && UpperByte(a[i]) != UpperByte(b[i])) return false;
  return true;
}

size_t NameHashAscii(std::string_view name) {
  // FNV-1a over the upper-case bytes.
  uint64_t hash = 14695981039346656037ULL;
  for (char c : name) {
    hash ^= UpperByte(c);
    hash *= 1099511628211ULL;
  }
  return static_cast<size_t>(hash);
}

std::string TrimBlanks(const std::string& text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t first = 0;
  size_t last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

}  // namespace pellmor
