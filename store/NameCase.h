// How the store compares relative names: ASCII letters a-z and A-Z without
// regard to case, every other byte as it is.
#pragma once

#include <string>

namespace pellmor {

// name with a-z turned into A-Z; other bytes unchanged.
std::string UpperCaseAscii(const std::string& name);

// Three-way comparison of the ASCII upper-case forms, byte by byte
// (negative, 0, positive).
int CompareNamesAscii(const std::string& a, const std::string& b);

}  // namespace pellmor
