// A fresh temporary folder for one test, removed with everything in it when
// the test ends, plus small helpers to lay files out in it.
#pragma once

#include <string>

namespace pellmor::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, ending in '/'.
  const std::string& Path() const { return path_; }
  // Path() + relative (with '/' between folders).
  std::string operator/(const std::string& relative) const { return path_ + relative; }

 private:
  std::string path_;
};

// Writes bytes to path, creating missing parent folders.
void WriteFile(const std::string& path, const std::string& bytes);
// The bytes of a file; fails the test when it cannot be read.
std::string ReadFile(const std::string& path);
// Runs a shell command and returns its exit status.
int Run(const std::string& command);

}  // namespace pellmor::test
