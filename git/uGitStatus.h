// The state of a working folder against its Git repository: which tracked
// files hold changes that a forced checkout would overwrite.
#pragma once

#include <git2.h>

#include <memory>
#include <string>
#include <vector>

namespace pellmor {

// The status bits of a tracked file that a forced checkout would overwrite:
// changed in the working folder, or staged differently from HEAD.
inline constexpr unsigned kUncommittedStatus =
    GIT_STATUS_INDEX_NEW | GIT_STATUS_INDEX_MODIFIED | GIT_STATUS_INDEX_DELETED |
    GIT_STATUS_INDEX_RENAMED | GIT_STATUS_INDEX_TYPECHANGE | GIT_STATUS_WT_MODIFIED |
    GIT_STATUS_WT_DELETED | GIT_STATUS_WT_TYPECHANGE | GIT_STATUS_WT_RENAMED |
    GIT_STATUS_CONFLICTED;

struct TGitStatusListFree {
  void operator()(git_status_list* list) const { git_status_list_free(list); }
};
using TGitStatusList = std::unique_ptr<git_status_list, TGitStatusListFree>;

// The path of a status entry, relative to the working folder ('/' between folders).
std::string StatusEntryPath(const git_status_entry& entry);

// "Cannot read the status of Git repository "<working folder>". <libgit2 text>".
std::string StatusErrorText(git_repository* repository, int result);

// The tracked files of the repository's working folder that are modified,
// deleted or changed in type there, or whose staged state differs from HEAD
// (added, modified, deleted, renamed), as paths relative to the working
// folder with '/' between folders, in libgit2's order (by path). Untracked
// and ignored files do not count. Raises "Cannot read the status of Git
// repository "<working folder>". <libgit2 text>".
std::vector<std::string> UncommittedChanges(git_repository* repository);

}  // namespace pellmor
