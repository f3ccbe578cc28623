// What checkouts that were cut short leave in a working folder, told apart
// from the user's own changes. A checkout killed half way has written some
// files of the commit it was checking out and not yet updated the index, so
// that Git sees changed tracked files and new untracked ones. Every such
// file holds exactly the version of its path in one of the commits involved
// (the one checked out before, the one being checked out, HEAD); a change
// that none of them explains is the user's.
#pragma once

#include <git2.h>

#include <string>
#include <vector>

namespace pellmor {

struct TSortedChanges {
  // Tracked files whose working or staged state no known commit explains:
  // the user's own changes, as UncommittedChanges lists them.
  std::vector<std::string> Foreign;
  // Files Git does not track (untracked or ignored) that hold exactly the
  // version of their path in a known commit: left by a checkout.
  std::vector<std::string> Leftovers;
};

// Sorts the differences of the repository's working folder from its index
// and HEAD (paths relative to the working folder, '/' between folders, in
// libgit2's order). A tracked file is explained when its staged state
// (content, link or executable bit, or absence) equals its state in one of
// the known commits, and its working file does too, or is missing (a
// checkout removes a file before it writes it again), or holds the first
// bytes of a known commit's version (a write cut short). Files below the
// working folder's ".Quarv" are never leftovers. Known ids that name no
// commit are skipped.
// Raises "Cannot read the status of Git repository "<working folder>".
// <libgit2 text>" and the errors of reading a working file.
TSortedChanges SortOutChanges(git_repository* repository, const std::vector<git_oid>& known);

// Deletes the leftover files (paths as SortOutChanges gives them), then each
// folder above them that this left empty, up to the working folder.
void RemoveLeftovers(git_repository* repository, const std::vector<std::string>& leftovers);

}  // namespace pellmor
