// What a folder holds, as one comparable value: for tests that hold a
// checkout against what it should have written.
#pragma once

#include <map>
#include <string>

namespace pellmor::test {

// Every file and symbolic link below folder (links never followed), by its
// path relative to folder with '/' between folders: a file's bytes, with "*"
// appended when its owner may execute it; a link's target after "-> ".
// Folders themselves are not listed.
std::map<std::string, std::string> FolderImage(const std::string& folder);

}  // namespace pellmor::test
