// Byte strings under ASCII rules, as the program compares names: the letters
// a-z and A-Z without regard to case, every other byte as it is (UTF-8 bytes
// of other letters included); and the trimming of blanks and control bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pellmor {

// c turned into A-Z when it is one of a-z; any other byte unchanged.
inline char UpperCaseAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
// c turned into a-z when it is one of A-Z; any other byte unchanged.
inline char LowerCaseAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// name with a-z turned into A-Z; other bytes unchanged.
std::string UpperCaseAscii(const std::string& name);

// Three-way comparison of the ASCII upper-case forms, byte by byte
// (negative, 0, positive).
int CompareNamesAscii(const std::string& a, const std::string& b);

// Whether two names are equal without regard to ASCII case.
bool SameNameAscii(std::string_view a, std::string_view b);

// A hash of the ASCII upper-case form of a name, computed without building
// that form: names that SameNameAscii calls equal hash alike.
size_t NameHashAscii(std::string_view name);

// text without the bytes at or below the space (blanks and control
// characters) at its start and end.
std::string TrimBlanks(const std::string& text);

}  // namespace pellmor
