#include "git/uGitWorkingFolder.h"

#include <vector>

#include "foundation/Platform.h"
#include "foundation/Streams.h"

namespace pellmor {

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

bool SameTextIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::string::size_type i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::string ReadWholeFile(const std::string& path) {
  // Opened as a file, not read as an entry: a linked exclude file is read
  // (and later written) through its link.
  TFileStream file(path, TFileStream::Mode::OpenRead);
  std::string text;
  char buffer[4096];
  while (const size_t n = file.Read(buffer, sizeof buffer)) text.append(buffer, n);
  return text;
}

}  // namespace

std::string RepositoryFolder(const std::string& pathText) {
  std::string::size_type first = 0;
  std::string::size_type last = pathText.size();
  while (first < last && static_cast<unsigned char>(pathText[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(pathText[last - 1]) <= ' ') --last;
  return IncludeTrailingDelimiter(pathText.substr(first, last - first));
}

bool HasGitFolder(const std::string& folder) { return DirectoryExists(folder + ".git"); }

void ExcludeFromGit(const std::string& folder, const std::string& name) {
  const std::string path = folder + ".git/info/exclude";
  std::vector<std::string> lines;
  if (FileExists(path)) lines = SplitLines(ReadWholeFile(path));
  bool listed = false;
  for (const std::string& line : lines)
    if (SameTextIgnoringAsciiCase(line, name)) listed = true;
  if (!listed) lines.push_back(name);
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  TFileStream file(path, TFileStream::Mode::Create);
  file.WriteBuffer(text.data(), text.size());
}

}  // namespace pellmor
