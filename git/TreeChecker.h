// The check that a commit's tree can be checked out without harm, made
// before anything of it is written: the names a checkout would write are
// checked as Git's fsck checks trees, so that no history, however it was
// built, makes a checkout write outside the working folder, into Git's own
// folder or into the store's.
#pragma once

#include <git2.h>

#include <string>
#include <unordered_set>

namespace pellmor {

class TTreeChecker {
 public:
  // repository is borrowed and must outlive the checker. reservedTopName:
  // a name that no entry at the top of a tree may have, in any ASCII letter
  // case (the store's folder, which the checkout would overwrite).
  TTreeChecker(git_repository* repository, std::string reservedTopName);

  // Checks every entry of the commit's tree at any depth. Raises
  // "Cannot check out commit <short id>. Its tree is unsafe: <path and
  // reason>" for the first entry that is
  //  - named "", ".", ".." or with a '/' in its name;
  //  - a name of Git's own folder: ".git" in any letter case, or a spelling
  //    that a Windows or macOS file system takes for it (trailing dots and
  //    spaces, "git~1", an alternate data stream, code points HFS+ ignores);
  //  - a symbolic link named (in any such spelling) ".gitmodules", which Git
  //    reads as the submodules' configuration;
  //  - in the same folder as an entry of the same name (fsck's
  //    duplicateEntries: a symbolic link and a folder of one name make the
  //    folder's files be written through the link), or of a name that
  //    differs only in ASCII case when one of the two is a symbolic link (a
  //    file system that ignores case would write through it);
  //  - at the top, reservedTopName in any letter case ("'<name>' is the
  //    store's own folder, which the checkout would overwrite").
  // Raises "Cannot read the tree of commit <short id>. <libgit2 text>" when a
  // tree cannot be read. A subtree found sound is remembered by its id and
  // not read again, so a history is checked at the cost of its distinct trees.
  void Check(const git_commit* commit);

 private:
  // The first problem of the tree and of the subtrees not known to be sound,
  // as "<path and reason>", or "".
  std::string FindProblem(const git_tree* root, const std::string& shortId);

  git_repository* repository_;
  std::string reservedTopName_;
  std::unordered_set<std::string> sound_;  // raw ids of trees found sound
};

// Whether a single entry name is one a file system could take for ".git"
// (Git's is_hfs_dotgit and is_ntfs_dotgit).
bool IsDotGitName(const std::string& name);
// Whether a single entry name is one a file system could take for
// ".gitmodules" (Git's is_hfs_dotgitmodules and is_ntfs_dotgitmodules).
bool IsDotGitmodulesName(const std::string& name);

}  // namespace pellmor
