// The names of a revision as paths below a checkout folder: which of them
// can be written there safely. Names come from
// container files that anyone may have edited, so a name must never lead a
// write outside the folder: not by being absolute, not through "..", and not
// through a symbolic link or a file that the same checkout writes.
#pragma once

#include <string>
#include <vector>

namespace pellmor {

class TMyFile;

// One name that cannot be checked out, and why ("its name is empty", ...).
struct TNameProblem {
  std::string Name;
  std::string Reason;
  bool Duplicate = false;  // the reason is that the name occurs twice
};

// The problems of the names of entries that a checkout would write together
// (the live files of one revision): first each name's own faults, in entry
// order, then the conflicts between names. '\' and '/' both
// separate folders. A name is refused when it is empty, starts with a
// separator (absolute), has an empty, "." or ".." component or one longer
// than a file name may be (255 bytes), holds a NUL
// byte, has a ".git" component (which would plant a Git repository's
// configuration or hooks), occurs twice (ASCII case ignored, as the store
// compares names), or lies below another entry's name (a symbolic link or a
// file of the same checkout would be passed through). Empty when all is well.
std::vector<TNameProblem> FindUnsafeNames(const std::vector<const TMyFile*>& entries);

}  // namespace pellmor
