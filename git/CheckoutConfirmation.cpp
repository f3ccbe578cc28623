#include "git/CheckoutConfirmation.h"

#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "git/uGitLibrary.h"

namespace pellmor {

namespace {

enum class TKind { Nothing, File, Executable, Link, Folder, Other };

const char* KindText(TKind kind) {
  switch (kind) {
    case TKind::Nothing:
      return "nothing";
    case TKind::File:
      return "a file";
    case TKind::Executable:
      return "an executable file";
    case TKind::Link:
      return "a symbolic link";
    case TKind::Folder:
      return "a folder";
    case TKind::Other:
      return "a special file";
  }
  return "";
}

// What tree holds at path; none for a submodule, which a checkout does not fill.
std::optional<TKind> TreeKind(const git_tree* tree, const std::string& path,
                              const std::string& shortId) {
  git_tree_entry* raw = nullptr;
  const int result = git_tree_entry_bypath(&raw, tree, path.c_str());
  const std::unique_ptr<git_tree_entry, decltype(&git_tree_entry_free)> entry(raw,
                                                                              git_tree_entry_free);
  if (result == GIT_ENOTFOUND) return TKind::Nothing;
  if (result != 0)
    throw Exception(Format("Cannot read the tree of commit %s. %s", shortId.c_str(),
                           GitErrorText(result).c_str()));
  switch (git_tree_entry_filemode(entry.get())) {
    case GIT_FILEMODE_BLOB_EXECUTABLE:
      return TKind::Executable;
    case GIT_FILEMODE_LINK:
      return TKind::Link;
    case GIT_FILEMODE_TREE:
      return TKind::Folder;
    case GIT_FILEMODE_COMMIT:
      return std::nullopt;
    default:
      return TKind::File;
  }
}

// What the working folder holds at path, reached only through real folders.
// folders: whether each folder path is a real folder, as found.
TKind DiskKind(const std::string& folder, const std::string& path,
               std::unordered_map<std::string, bool>& folders) {
  TEntryInfo info;
  for (std::string::size_type slash = path.find('/'); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    // Without a trailing '/', which would make the look-up follow a link.
    const std::string above = path.substr(0, slash);
    auto [known, added] = folders.try_emplace(above, false);
    if (added)
      known->second = ReadEntryInfo(folder + above, info) && info.Type == EntryType::Folder;
    if (!known->second) return TKind::Nothing;
  }
  if (!ReadEntryInfo(folder + path, info)) return TKind::Nothing;
  switch (info.Type) {
    case EntryType::File:
      return (info.Attributes & kAttrArchive) != 0 ? TKind::Executable : TKind::File;
    case EntryType::Link:
      return TKind::Link;
    case EntryType::Folder:
      return TKind::Folder;
    case EntryType::Special:
      return TKind::Other;
  }
  return TKind::Other;
}

}  // namespace

void RefuseLinksInTheWay(const std::string& folder, const git_tree* tree,
                         const std::vector<std::string>& paths, const std::string& shortId) {
  const std::unordered_set<std::string> replaced(paths.begin(), paths.end());
  std::unordered_set<std::string> checked;  // folders above a path, found harmless
  TEntryInfo info;
  for (const std::string& path : paths) {
    for (std::string::size_type slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      const std::string above = path.substr(0, slash);
      if (!checked.insert(above).second) continue;
      if (replaced.count(above) != 0 || !ReadEntryInfo(folder + above, info) ||
          info.Type != EntryType::Link)
        continue;
      const bool writes = TreeKind(tree, path, shortId) != TKind::Nothing;
      throw Exception(
          Format("Cannot check out commit %s. The working folder holds a symbolic "
                 "link at '%s', through which the checkout would %s '%s'",
                 shortId.c_str(), above.c_str(), writes ? "write" : "remove", path.c_str()));
    }
  }
}

void ConfirmCheckout(const std::string& folder, const git_tree* tree,
                     const std::vector<std::string>& paths, const std::string& shortId) {
  std::unordered_map<std::string, bool> folders;
  for (const std::string& path : paths) {
    const std::optional<TKind> expected = TreeKind(tree, path, shortId);
    if (!expected) continue;
    TKind found = DiskKind(folder, path, folders);
    if (*expected == TKind::Nothing && found == TKind::Folder) found = TKind::Nothing;
    if (found != *expected)
      throw Exception(Format(
          "After checking out commit %s the working folder holds %s at '%s' where the commit "
          "holds %s",
          shortId.c_str(), KindText(found), path.c_str(), KindText(*expected)));
  }
}

}  // namespace pellmor
