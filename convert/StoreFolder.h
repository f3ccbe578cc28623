// The store folder of a Git working folder as Prepare readies it: Git is made
// to ignore it, and it is created. Shared by the window and the quarv tool.
#pragma once

#include <string>

namespace pellmor {

// Readies a working folder (ending in '/') for the store: Git is made to
// ignore the store folder (ExcludeFromGit), then the store folder is created
// unless it exists. Nothing is created when the exclude file cannot be written.
void PrepareStoreFolder(const std::string& folder);

}  // namespace pellmor
