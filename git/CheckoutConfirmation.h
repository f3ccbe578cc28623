// The working folder held against a commit's tree around its checkout:
// before it, that no symbolic link the checkout leaves in place lies on the
// way to a path it writes or removes (libgit2 would write or delete through
// it, outside the folder); after it, that the folder holds what the commit holds at every
// path the checkout was to write or remove, so that a path libgit2 passed
// over, or wrote somewhere else, ends the run instead of going unnoticed
// into a revision.
#pragma once

#include <git2.h>

#include <string>
#include <vector>

namespace pellmor {

// Before a checkout of tree that is to write or remove paths ('/' between
// folders, relative to folder, which ends in '/'): raises "Cannot check out
// commit <short id>. The working folder holds a symbolic link at '<link>',
// through which the checkout would write|remove '<path>'" when a folder
// above one of paths is a symbolic link on disk that is not itself one of
// paths (one the checkout replaces is removed before anything is written
// below it); a link of the user's, which Git does not track, is one. Raises
// "Cannot read the tree of commit <short id>. <libgit2 text>".
void RefuseLinksInTheWay(const std::string& folder, const git_tree* tree,
                         const std::vector<std::string>& paths, const std::string& shortId);

// Confirms, for each of paths ('/' between folders, relative to folder,
// which ends in '/'), that folder holds there what tree holds: a file with
// the owner's execute bit exactly when the entry is executable, a symbolic
// link, a folder, or nothing (a folder there counts as nothing, since it
// holds no file of its own). A path counts as holding nothing when one of
// the folders above it is not a folder on disk (a symbolic link is never
// passed through). Submodule entries are not asked about. Raises "After
// checking out commit <short id> the working folder holds <what> at
// '<path>' where the commit holds <what>" for the first path that differs,
// and "Cannot read the tree of commit <short id>. <libgit2 text>".
void ConfirmCheckout(const std::string& folder, const git_tree* tree,
                     const std::vector<std::string>& paths, const std::string& shortId);

}  // namespace pellmor
