#include "tests/support/FolderImage.h"

#include <filesystem>

#include "tests/support/TempDir.h"

namespace pellmor::test {

std::map<std::string, std::string> FolderImage(const std::string& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> image;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_directory() && !item.is_symlink()) continue;
    // Lexically: fs::relative would resolve the links it is asked about.
    const std::string name = item.path().lexically_relative(folder).string();
    if (item.is_symlink()) {
      image[name] = "-> " + fs::read_symlink(item.path()).string();
      continue;
    }
    const bool executable =
        (fs::symlink_status(item.path()).permissions() & fs::perms::owner_exec) != fs::perms::none;
    image[name] = ReadFile(item.path()) + (executable ? "*" : "");
  }
  return image;
}

}  // namespace pellmor::test
