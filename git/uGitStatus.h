// The state of a working folder against its Git repository: which tracked
// files hold changes that a forced checkout would overwrite.
#pragma once

#include <git2.h>

#include <string>
#include <vector>

namespace pellmor {

// The tracked files of the repository's working folder that are modified,
// deleted or changed in type there, or whose staged state differs from HEAD
// (added, modified, deleted, renamed), as paths relative to the working
// folder with '/' between folders, in libgit2's order (by path). Untracked
// and ignored files do not count. Raises "Cannot read the status of Git
// repository "<working folder>". <libgit2 text>".
std::vector<std::string> UncommittedChanges(git_repository* repository);

}  // namespace pellmor
