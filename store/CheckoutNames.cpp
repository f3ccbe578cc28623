#include "store/CheckoutNames.h"

#include <unordered_map>

#include "foundation/AsciiText.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "foundation/ShownText.h"
#include "store/uMyFS.h"

namespace pellmor {

namespace {

// The longest name a folder entry may have (NAME_MAX), in bytes.
constexpr size_t kMaxNameComponent = 255;

// Why a name on its own cannot be a path below the folder, or "".
std::string NameFault(const std::string& name) {
  if (name.empty()) return "its name is empty";
  if (name.find('\0') != std::string::npos) return "its name holds a NUL byte";
  if (name.front() == '\\' || name.front() == '/') return "its name is absolute";
  std::string::size_type start = 0;
  while (true) {
    const std::string::size_type end = name.find_first_of("\\/", start);
    const std::string part = name.substr(start, end - start);
    if (part.empty()) return "its name has an empty folder component";
    if (part == "..") return "its name holds a '..' component";
    if (part == ".") return "its name holds a '.' component";
    if (UpperCaseAscii(part) == ".GIT") return "its name holds a '.git' component";
    if (part.size() > kMaxNameComponent)
      return Format("its name has a component of %zu bytes, more than a file name may have (%zu)",
                    part.size(), kMaxNameComponent);
    if (end == std::string::npos) return "";
    start = end + 1;
  }
}

// The name as the key it has on disk: '/' between folders, ASCII upper case.
std::string PathKey(const std::string& name) { return UpperCaseAscii(DiskPath("", name)); }

}  // namespace

std::vector<TNameProblem> FindUnsafeNames(const std::vector<const TMyFile*>& entries) {
  std::vector<TNameProblem> problems;
  // Every sound name by its key; the first entry of a key wins.
  std::unordered_map<std::string, const TMyFile*> byKey;
  std::vector<const TMyFile*> sound;
  for (const TMyFile* entry : entries) {
    const std::string fault = NameFault(entry->Name());
    if (!fault.empty()) {
      problems.push_back({entry->Name(), fault});
      continue;
    }
    if (!byKey.emplace(PathKey(entry->Name()), entry).second) {
      problems.push_back({entry->Name(), "its name occurs twice in the revision", true});
      continue;
    }
    sound.push_back(entry);
  }
  // Whatever the order of writing, a name below another entry's name would
  // be written through that entry: refuse it whichever comes first.
  for (const TMyFile* entry : sound) {
    const std::string key = PathKey(entry->Name());
    for (std::string::size_type slash = key.find('/'); slash != std::string::npos;
         slash = key.find('/', slash + 1)) {
      const auto above = byKey.find(key.substr(0, slash));
      if (above == byKey.end()) continue;
      const bool link = (above->second->Attributes & kAttrReparsePoint) != 0;
      problems.push_back({entry->Name(), std::string("it would pass through the ") +
                                             (link ? "symbolic link" : "file") + " '" +
                                             QuoteName(above->second->Name()) + "'"});
      break;
    }
  }
  return problems;
}

}  // namespace pellmor
