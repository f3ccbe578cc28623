#include "git/uGitWorkingFolder.h"

#include <vector>

#include "foundation/AsciiText.h"
#include "foundation/Platform.h"
#include "foundation/Streams.h"
#include "foundation/TextLines.h"

namespace pellmor {

std::string RepositoryFolder(const std::string& pathText) {
  return IncludeTrailingDelimiter(TrimBlanks(pathText));
}

bool HasGitFolder(const std::string& folder) { return DirectoryExists(folder + ".git"); }

void ExcludeFromGit(const std::string& folder, const std::string& name) {
  const std::string path = folder + ".git/info/exclude";
  // Opened as a file, not read as an entry, and rewritten in place: a linked
  // exclude file is read and written through its link.
  std::vector<std::string> lines;
  if (FileExists(path)) lines = ReadTextFile(path);
  bool listed = false;
  for (const std::string& line : lines)
    if (SameNameAscii(line, name)) listed = true;
  if (!listed) lines.push_back(name);
  TFileStream file(path, TFileStream::Mode::Create);
  WriteTextLines(file, lines);
}

}  // namespace pellmor
