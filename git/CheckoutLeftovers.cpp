#include "git/CheckoutLeftovers.h"

#include <cstring>
#include <memory>
#include <optional>

#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "git/uGitLibrary.h"
#include "git/uGitStatus.h"

namespace pellmor {

namespace {

struct TGitIndexFree {
  void operator()(git_index* index) const { git_index_free(index); }
};

// A path's state: absent (nullopt), or a blob with its kind.
struct TBlobState {
  git_oid Id;
  git_filemode_t Mode;  // GIT_FILEMODE_BLOB, _BLOB_EXECUTABLE or _LINK
  bool operator==(const TBlobState& other) const {
    return Mode == other.Mode && git_oid_equal(&Id, &other.Id);
  }
};
using TPathState = std::optional<TBlobState>;

// The kind of an index or tree mode, or nullopt for what is no blob.
std::optional<git_filemode_t> BlobMode(uint32_t mode) {
  switch (mode) {
    case GIT_FILEMODE_BLOB:
    case 0100664:  // group-writable, as old Git versions wrote it
      return GIT_FILEMODE_BLOB;
    case GIT_FILEMODE_BLOB_EXECUTABLE:
    case GIT_FILEMODE_LINK:
      return static_cast<git_filemode_t>(mode);
    default:
      return std::nullopt;
  }
}

class TStateReader {
 public:
  TStateReader(git_repository* repository, const std::vector<git_oid>& known)
      : repository_(repository), workdir_(git_repository_workdir(repository)) {
    for (const git_oid& id : known) {
      git_commit* commit = nullptr;
      if (git_commit_lookup(&commit, repository, &id) != 0) continue;
      const TGitCommit owned(commit);
      git_tree* tree = nullptr;
      if (git_commit_tree(&tree, commit) == 0) trees_.emplace_back(tree);
    }
    git_index* index = nullptr;
    const int result = git_repository_index(&index, repository);
    index_.reset(index);
    if (result != 0) throw Exception(StatusErrorText(repository, result));
  }

  // Whether a known commit holds the path in exactly this state.
  bool Known(const std::string& path, const TPathState& state) const {
    for (const TGitTree& tree : trees_)
      if (TreeState(tree.get(), path) == state) return true;
    return false;
  }

  // Whether the working file at path holds fewer bytes than a known
  // commit's version of it, and those are its first ones: a write cut short.
  bool CutShort(const std::string& path) const {
    const std::string full = workdir_ + path;
    TEntryInfo info;
    if (!ReadEntryInfo(full, info) || info.Type != EntryType::File) return false;
    TMemoryStream content;
    ReadFileContent(full, content);
    const auto size = static_cast<size_t>(content.Size());
    for (const TGitTree& tree : trees_) {
      const TPathState state = TreeState(tree.get(), path);
      git_blob* raw = nullptr;
      if (!state || state->Mode == GIT_FILEMODE_LINK ||
          git_blob_lookup(&raw, repository_, &state->Id) != 0)
        continue;
      const std::unique_ptr<git_blob, decltype(&git_blob_free)> blob(raw, git_blob_free);
      if (size < static_cast<size_t>(git_blob_rawsize(blob.get())) &&
          std::memcmp(content.Memory(), git_blob_rawcontent(blob.get()), size) == 0)
        return true;
    }
    return false;
  }

  // Whether a known commit holds a file at the path.
  bool Held(const std::string& path) const {
    for (const TGitTree& tree : trees_)
      if (TreeState(tree.get(), path)) return true;
    return false;
  }

  TPathState IndexState(const std::string& path) const {
    const git_index_entry* entry = git_index_get_bypath(index_.get(), path.c_str(), 0);
    if (entry == nullptr) return std::nullopt;
    const auto mode = BlobMode(entry->mode);
    if (!mode) return std::nullopt;
    return TBlobState{entry->id, *mode};
  }

  TPathState WorkingState(const std::string& path) const {
    const std::string full = workdir_ + path;
    TEntryInfo info;
    if (!ReadEntryInfo(full, info)) return std::nullopt;
    TBlobState state{};
    if (info.Type == EntryType::Link) {
      TMemoryStream target;
      ReadFileContent(full, target);
      git_odb_hash(&state.Id, target.Memory(), static_cast<size_t>(target.Size()), GIT_OBJECT_BLOB);
      state.Mode = GIT_FILEMODE_LINK;
      return state;
    }
    if (info.Type != EntryType::File) return std::nullopt;
    // With the repository's filters, as Git would stage the file.
    const int result = git_repository_hashfile(&state.Id, repository_, full.c_str(),
                                               GIT_OBJECT_BLOB, path.c_str());
    if (result != 0)
      throw Exception(
          Format("Cannot read file \"%s\". %s", full.c_str(), GitErrorText(result).c_str()));
    state.Mode =
        (info.Attributes & kAttrArchive) ? GIT_FILEMODE_BLOB_EXECUTABLE : GIT_FILEMODE_BLOB;
    return state;
  }

 private:
  static TPathState TreeState(git_tree* tree, const std::string& path) {
    git_tree_entry* raw = nullptr;
    if (git_tree_entry_bypath(&raw, tree, path.c_str()) != 0) return std::nullopt;
    const std::unique_ptr<git_tree_entry, decltype(&git_tree_entry_free)> entry(
        raw, git_tree_entry_free);
    const auto mode = BlobMode(git_tree_entry_filemode(entry.get()));
    if (!mode) return std::nullopt;
    return TBlobState{*git_tree_entry_id(entry.get()), *mode};
  }

  git_repository* repository_;
  std::string workdir_;
  std::vector<TGitTree> trees_;
  std::unique_ptr<git_index, TGitIndexFree> index_;
};

constexpr unsigned kUntracked = GIT_STATUS_WT_NEW | GIT_STATUS_IGNORED;

bool InStoreFolder(const std::string& path) { return path.rfind(".Quarv/", 0) == 0; }

}  // namespace

TSortedChanges SortOutChanges(git_repository* repository, const std::vector<git_oid>& known) {
  git_error_clear();
  const TStateReader states(repository, known);
  git_status_options options;
  int result = git_status_options_init(&options, GIT_STATUS_OPTIONS_VERSION);
  options.show = GIT_STATUS_SHOW_INDEX_AND_WORKDIR;
  options.flags = GIT_STATUS_OPT_INCLUDE_UNTRACKED | GIT_STATUS_OPT_RECURSE_UNTRACKED_DIRS |
                  GIT_STATUS_OPT_INCLUDE_IGNORED | GIT_STATUS_OPT_RECURSE_IGNORED_DIRS |
                  GIT_STATUS_OPT_EXCLUDE_SUBMODULES;
  git_status_list* raw_list = nullptr;
  if (result == 0) result = git_status_list_new(&raw_list, repository, &options);
  const TGitStatusList list(raw_list);
  if (result != 0) throw Exception(StatusErrorText(repository, result));

  TSortedChanges sorted;
  const size_t count = git_status_list_entrycount(list.get());
  for (size_t i = 0; i < count; ++i) {
    const git_status_entry* entry = git_status_byindex(list.get(), i);
    const std::string path = StatusEntryPath(*entry);
    // An untracked file may also be a staged change: a file that HEAD holds
    // and a killed checkout's index does not.
    const bool tracked = (entry->status & kUncommittedStatus) != 0;
    const bool untracked = (entry->status & kUntracked) != 0 && !InStoreFolder(path);
    // Untracked and ignored files are many; only those at a known commit's
    // paths are read.
    if (!tracked && !(untracked && states.Held(path))) continue;
    // A file a checkout removed before writing it again is missing; one it
    // was writing is the first part of the version it was writing.
    const TPathState working = states.WorkingState(path);
    const auto checkedOut = [&] { return states.Known(path, working) || states.CutShort(path); };
    if (tracked && !((!working || checkedOut()) && states.Known(path, states.IndexState(path)))) {
      sorted.Foreign.push_back(path);
      continue;
    }
    if (untracked && working && checkedOut()) sorted.Leftovers.push_back(path);
  }
  return sorted;
}

void RemoveLeftovers(git_repository* repository, const std::vector<std::string>& leftovers) {
  const std::string workdir = git_repository_workdir(repository);
  for (const std::string& path : leftovers) {
    RemoveFile(workdir + path);
    for (std::string::size_type slash = path.rfind('/'); slash != std::string::npos;
         slash = path.rfind('/', slash - 1)) {
      if (slash == 0 || !RemoveEmptyFolder(workdir + path.substr(0, slash))) break;
    }
  }
}

}  // namespace pellmor
