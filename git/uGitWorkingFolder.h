// The working folder of a Git repository as Prepare finds it: the folder
// named by the path box, the test for its ".git" folder, and the lines of
// ".git/info/exclude" that keep Git from seeing entries of the folder.
// Shared by the window and the command-line tool.
#pragma once

#include <string>

namespace pellmor {

// The message for a folder without a ".git" folder.
inline constexpr char kGitRepositoryNotFound[] = "Git repository is not founded.";

// The working folder named by a path text: leading and trailing blanks and
// control characters removed, a '/' added at the end when it lacks one.
std::string RepositoryFolder(const std::string& pathText);

// Whether folder (ending in '/') holds a ".git" folder. A ".git" file (a
// linked work tree or a submodule) does not count, nor does a subfolder of a
// working tree.
bool HasGitFolder(const std::string& folder);

// Makes Git ignore the entry `name` of the working folder: reads
// folder/.git/info/exclude when it exists (lines end at CR, LF or CR LF),
// appends name as a line unless a line equals it without regard to letter
// case, and writes every line back followed by CR LF. The file is written in
// every case and created when missing. Raises the file layer's errors, e.g.
// "Cannot create file "<exclude file>". <reason>" when ".git/info" is missing.
void ExcludeFromGit(const std::string& folder, const std::string& name);

}  // namespace pellmor
