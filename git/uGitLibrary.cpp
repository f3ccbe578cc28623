#include "git/uGitLibrary.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/DateTime.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "git/CheckoutConfirmation.h"
#include "git/uCommitMessage.h"

namespace pellmor {

namespace {

constexpr int kFullIdLength = GIT_OID_HEXSZ;

// Why a repository did not open. libgit2 refuses a repository that another
// user owns unless Git's safe.directory setting allows it; some versions
// report that refusal only as the failed look-up of that setting.
std::string OpenErrorText(int result) {
  const git_error* error = git_error_last();
  const bool owner_refused =
      result == GIT_EOWNER ||
      (error != nullptr && error->klass == GIT_ERROR_CONFIG && error->message != nullptr &&
       std::strstr(error->message, "safe.directory") != nullptr);
  if (owner_refused)
    return "The repository belongs to another user; Git's safe.directory setting can allow it";
  return GitErrorText(result);
}

// Whether a path names an attribute file, which changes how files are written.
bool IsAttributesPath(const std::string& path) {
  constexpr std::string_view kName = ".gitattributes";
  return path.size() >= kName.size() &&
         path.compare(path.size() - kName.size(), kName.size(), kName) == 0 &&
         (path.size() == kName.size() || path[path.size() - kName.size() - 1] == '/');
}

// The paths whose entries differ between two trees, each once.
template <typename Fail>
std::vector<std::string> ChangedPaths(git_repository* repository, git_tree* from, git_tree* to,
                                      const Fail& fail) {
  git_diff* raw_diff = nullptr;
  const int result = git_diff_tree_to_tree(&raw_diff, repository, from, to, nullptr);
  const std::unique_ptr<git_diff, decltype(&git_diff_free)> diff(raw_diff, git_diff_free);
  if (result != 0) throw fail(result);
  std::vector<std::string> paths;
  const size_t count = git_diff_num_deltas(diff.get());
  for (size_t i = 0; i < count; ++i) {
    const git_diff_delta* delta = git_diff_get_delta(diff.get(), i);
    paths.emplace_back(delta->old_file.path);
    if (std::strcmp(delta->old_file.path, delta->new_file.path) != 0)
      paths.emplace_back(delta->new_file.path);
  }
  return paths;
}

// What a full checkout of tree over index is to write or remove: every file
// of the tree and every path of the index, each once.
template <typename Fail>
std::vector<std::string> EveryPath(const git_tree* tree, git_index* index, const Fail& fail) {
  std::vector<std::string> paths;
  const auto visit = [](const char* root, const git_tree_entry* entry, void* payload) -> int {
    if (git_tree_entry_type(entry) != GIT_OBJECT_TREE)
      static_cast<std::vector<std::string>*>(payload)->push_back(std::string(root) +
                                                                 git_tree_entry_name(entry));
    return 0;
  };
  const int result = git_tree_walk(tree, GIT_TREEWALK_PRE, visit, &paths);
  if (result != 0) throw fail(result);
  const size_t count = git_index_entrycount(index);
  for (size_t i = 0; i < count; ++i) paths.emplace_back(git_index_get_byindex(index, i)->path);
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  return paths;
}

// Removes the working files at paths (relative to the working folder) that
// the checkout is to write again as files, so that it writes a new file in
// their place instead of truncating the old one where it is: a reader of the
// old file (a "git status" beside the run hashes files through a memory map)
// must never see it shrink under it, which ends that reader with SIGBUS and
// leaves Git's index lock behind for good. Git's own checkout replaces files
// the same way. Those are the tree's files that the baseline index does not
// hold, or holds as a file of the same kind (executable or not) with other
// content. Links, folders, a change of kind and paths that the tree does not
// hold are left to the checkout, which handles a missing file of those
// differently.
void RemoveBeforeRewriting(git_repository* repository, git_index* baseline, const git_tree* tree,
                           const std::vector<std::string>& paths) {
  const std::string folder = git_repository_workdir(repository);
  const auto isFileMode = [](uint32_t mode) {
    return mode == GIT_FILEMODE_BLOB || mode == GIT_FILEMODE_BLOB_EXECUTABLE;
  };
  for (const std::string& path : paths) {
    const git_index_entry* staged = git_index_get_bypath(baseline, path.c_str(), 0);
    if (staged != nullptr && !isFileMode(staged->mode)) continue;
    git_tree_entry* raw_entry = nullptr;
    if (git_tree_entry_bypath(&raw_entry, tree, path.c_str()) != 0) continue;
    const std::unique_ptr<git_tree_entry, decltype(&git_tree_entry_free)> entry(
        raw_entry, git_tree_entry_free);
    const uint32_t mode = git_tree_entry_filemode(entry.get());
    if (!isFileMode(mode)) continue;
    if (staged != nullptr &&
        (staged->mode != mode || git_oid_equal(git_tree_entry_id(entry.get()), &staged->id)))
      continue;
    TEntryInfo info;
    if (ReadEntryInfo(folder + path, info) && info.Type == EntryType::File)
      RemoveFile(folder + path);
  }
}

// attempt() (which writes the index), with the error state cleared before
// each try, done again while another Git process holds the index lock, until
// lockWait has passed. Raises the lock's error
// once the wait is over; returns other results.
int WaitingForIndexLock(git_repository* repository, std::chrono::milliseconds lockWait,
                        const std::string& shortId, const std::function<int()>& attempt) {
  const auto deadline = std::chrono::steady_clock::now() + lockWait;
  for (;;) {
    git_error_clear();
    const int result = attempt();
    if (result != GIT_ELOCKED) return result;
    if (std::chrono::steady_clock::now() >= deadline)
      throw Exception(Format(
          "Cannot check out commit %s. The Git index is locked: another Git process holds '%s' "
          "(waited %g s). When no Git process runs in the repository any more, delete that file.",
          shortId.c_str(), IndexLockFileName(repository).c_str(),
          std::chrono::duration<double>(lockWait).count()));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// git_checkout_tree of the paths (after RemoveBeforeRewriting), done again
// while another Git process holds the index lock. The index is written,
// under its lock, once the files are: a checkout that found it locked only
// has to be repeated.
int CheckoutTreeWaiting(git_repository* repository, const git_tree* tree,
                        const git_checkout_options& options, const std::vector<std::string>& paths,
                        std::chrono::milliseconds lockWait, const std::string& shortId) {
  return WaitingForIndexLock(repository, lockWait, shortId, [&] {
    // Again before each try: a try that found the index locked has written
    // the files without recording them there.
    RemoveBeforeRewriting(repository, options.baseline_index, tree, paths);
    return git_checkout_tree(repository, reinterpret_cast<const git_object*>(tree), &options);
  });
}

}  // namespace

void LoadGitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    git_libgit2_init();
    // A run looks the same trees up again and again (each commit's checkout,
    // its confirmation, the next commit's comparison): libgit2 keeps only
    // trees of up to 4 KiB by default, so a folder of a few hundred entries
    // was read from the pack and hashed anew each time. Trees of any usual
    // size are kept, within a cache of bounded size.
    git_libgit2_opts(GIT_OPT_SET_CACHE_OBJECT_LIMIT, GIT_OBJECT_TREE, size_t{1} << 20);
    git_libgit2_opts(GIT_OPT_SET_CACHE_MAX_SIZE, ssize_t{64} << 20);
  });
}

std::string GitErrorText(int result) {
  const git_error* error = git_error_last();
  if (error != nullptr && error->message != nullptr && *error->message != '\0')
    return error->message;
  return Format("libgit2 error %d", result);
}

TCommitWalk::TCommitWalk(TGitRepository repository, TGitRevwalk walk)
    : repository_(std::move(repository)), walk_(std::move(walk)) {}

bool TCommitWalk::Next(git_oid& id) { return git_revwalk_next(&id, walk_.get()) == 0; }

std::unique_ptr<TCommitWalk> OpenCommitWalk(const std::string& path) {
  LoadGitLibrary();
  // A stale message from an earlier call must not be reported for this one.
  git_error_clear();
  git_repository* raw_repository = nullptr;
  int result = git_repository_open_ext(&raw_repository, path.c_str(), 0, nullptr);
  TGitRepository repository(raw_repository);
  if (result != 0)
    throw Exception(Format("Cannot open Git repository \"%s\". %s", path.c_str(),
                           OpenErrorText(result).c_str()));
  git_revwalk* raw_walk = nullptr;
  result = git_revwalk_new(&raw_walk, repository.get());
  TGitRevwalk walk(raw_walk);
  if (result != 0)
    throw Exception(Format("Cannot walk the commits of Git repository \"%s\". %s", path.c_str(),
                           GitErrorText(result).c_str()));
  // Results below are deliberately not consulted: a HEAD that names no
  // commit (an empty repository) simply gives an empty walk.
  git_revwalk_sorting(walk.get(), GIT_SORT_TOPOLOGICAL | GIT_SORT_REVERSE);
  git_revwalk_push_head(walk.get());
  git_revwalk_hide_glob(walk.get(), "tags/*");
  return std::make_unique<TCommitWalk>(std::move(repository), std::move(walk));
}

TGitCommit LookupCommit(git_repository* repository, const git_oid& id) {
  git_error_clear();
  git_object* object = nullptr;
  const int result =
      git_object_lookup_prefix(&object, repository, &id, kFullIdLength, GIT_OBJECT_COMMIT);
  TGitCommit commit(reinterpret_cast<git_commit*>(object));
  if (result != 0)
    throw Exception(Format("Cannot read commit %s. %s", OidToText(id, kFullIdLength).c_str(),
                           GitErrorText(result).c_str()));
  return commit;
}

std::string OidToText(const git_oid& id, int n) {
  char text[GIT_OID_HEXSZ];
  git_oid_fmt(text, &id);
  return std::string(text, static_cast<size_t>(std::clamp(n, 0, kFullIdLength)));
}

double GitTimeToDateTime(int64_t seconds, int offsetMinutes) {
  constexpr double kMinutesPerDay = 1440;
  double value = static_cast<double>(seconds) / kSecondsPerDay + kUnixEpochAsDateTime;
  if (offsetMinutes != 0) value = (value * kMinutesPerDay + offsetMinutes) / kMinutesPerDay;
  return value;
}

double CommitDateTime(const git_commit* commit) {
  return GitTimeToDateTime(git_commit_time(commit), git_commit_time_offset(commit));
}

TGitCommitInfo ReadCommit(const git_commit* commit) {
  TGitCommitInfo info;
  info.ShortId = OidToText(*git_commit_id(commit), kShortIdLength);
  const char* message = git_commit_message(commit);
  info.Message =
      DecodeCommitMessage(message != nullptr ? message : "", git_commit_message_encoding(commit));
  info.DateTime = CommitDateTime(commit);
  info.CommitTime = git_commit_time(commit);
  info.CommitTimeOffset = git_commit_time_offset(commit);
  if (const git_signature* author = git_commit_author(commit)) {
    info.AuthorName = author->name != nullptr ? author->name : "";
    info.AuthorEmail = author->email != nullptr ? author->email : "";
  }
  return info;
}

std::string IndexLockFileName(git_repository* repository) {
  return std::string(git_repository_path(repository)) + "index.lock";
}

void CheckoutCommit(git_repository* repository, const git_commit* commit,
                    const git_commit* previous, std::chrono::milliseconds lockWait,
                    IndexWrite indexWrite) {
  git_error_clear();
  const std::string shortId = OidToText(*git_commit_id(commit), kShortIdLength);
  const auto fail = [&shortId](int result) {
    return Exception(
        Format("Cannot check out commit %s. %s", shortId.c_str(), GitErrorText(result).c_str()));
  };
  git_checkout_options options{};
  int result = git_checkout_init_options(&options, GIT_CHECKOUT_OPTIONS_VERSION);
  if (result != 0) throw fail(result);
  git_tree* raw_tree = nullptr;
  result = git_commit_tree(&raw_tree, commit);
  TGitTree tree(raw_tree);
  if (result != 0) throw fail(result);
  const unsigned int keepIndex =
      indexWrite == IndexWrite::kInMemory ? GIT_CHECKOUT_DONT_WRITE_INDEX : 0;
  options.checkout_strategy = GIT_CHECKOUT_FORCE | keepIndex;
  options.progress_cb = [](const char*, size_t, size_t, void*) { CrashPoint("file checked out"); };
  // What is checked out now is what the index records (the previous checkout
  // updated it), not HEAD: with that baseline only the files that differ
  // from the index are written, where HEAD would make every file that HEAD
  // holds in another version look changed and get rewritten.
  git_index* raw_index = nullptr;
  result = git_repository_index(&raw_index, repository);
  const std::unique_ptr<git_index, decltype(&git_index_free)> index(raw_index, git_index_free);
  if (result != 0) throw fail(result);
  options.baseline_index = index.get();
  // The paths the checkout is to write or remove, confirmed afterwards.
  std::vector<std::string> paths;
  std::vector<char*> pathList;
  if (previous != nullptr) {
    git_tree* raw_previous = nullptr;
    result = git_commit_tree(&raw_previous, previous);
    const TGitTree previousTree(raw_previous);
    if (result != 0) throw fail(result);
    paths = ChangedPaths(repository, previousTree.get(), tree.get(), fail);
    if (paths.empty()) {
      // Nothing to write but the index, which earlier checkouts may have
      // kept in memory.
      if (indexWrite == IndexWrite::kWrite) {
        result = WaitingForIndexLock(repository, lockWait, shortId,
                                     [&] { return git_index_write(index.get()); });
        if (result != 0) throw fail(result);
      }
      return;
    }
    // Only the paths that differ from the previous commit, as plain names:
    // the rest of the folder already holds this tree, so checking it would
    // only cost a stat of every file. libgit2 reads a backslash in such a
    // name as an escape and would pass the path over: then all are checked.
    if (std::none_of(paths.begin(), paths.end(), [](const std::string& path) {
          return path.find('\\') != std::string::npos;
        })) {
      for (std::string& path : paths) pathList.push_back(path.data());
      options.paths.strings = pathList.data();
      options.paths.count = pathList.size();
      options.checkout_strategy |= GIT_CHECKOUT_DISABLE_PATHSPEC_MATCH;
    }
  } else {
    paths = EveryPath(tree.get(), index.get(), fail);
  }
  const std::string folder = git_repository_workdir(repository);
  RefuseLinksInTheWay(folder, tree.get(), paths, shortId);
  result = CheckoutTreeWaiting(repository, tree.get(), options, paths, lockWait, shortId);
  if (result != 0) throw fail(result);
  // A checkout writes each file as the attribute files (.gitattributes) it
  // finds in the folder and the index ask, which may still be those of the
  // commit before (or, on the first, of the folder as the user left it),
  // and passes over a file whose blob it already holds, whatever attributes
  // wrote it. When the commit's attribute files differ from those, every
  // file is written once more under the commit's own, now in place: with an
  // empty index as its baseline, the checkout takes none of them as written.
  if (previous == nullptr || std::any_of(paths.begin(), paths.end(), IsAttributesPath)) {
    git_index* raw_empty = nullptr;
    result = git_index_new(&raw_empty);
    const std::unique_ptr<git_index, decltype(&git_index_free)> empty(raw_empty, git_index_free);
    if (result != 0) throw fail(result);
    options.baseline_index = empty.get();
    options.paths = {};
    options.checkout_strategy = GIT_CHECKOUT_FORCE | keepIndex;
    result = CheckoutTreeWaiting(repository, tree.get(), options, paths, lockWait, shortId);
    if (result != 0) throw fail(result);
  }
  ConfirmCheckout(folder, tree.get(), paths, shortId);
}

}  // namespace pellmor
