// Which files count as text, decided by the name's extension alone.
#pragma once

#include <string>
#include <vector>

namespace pellmor {

class TMyFileTypes {
 public:
  TMyFileTypes();
  // Whether the extension of name (from the last dot, when no backslash or
  // colon follows it) is one of the text extensions, ignoring case.
  bool IsTextFile(const std::string& name) const;

 private:
  std::vector<std::string> extensions_;
};

// The program's one file-type table.
extern const TMyFileTypes FileTypes;

}  // namespace pellmor
