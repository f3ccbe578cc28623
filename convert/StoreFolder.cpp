#include "convert/StoreFolder.h"

#include "foundation/Platform.h"
#include "git/uGitWorkingFolder.h"
#include "store/StoreLayout.h"

namespace pellmor {

void PrepareStoreFolder(const std::string& folder) {
  ExcludeFromGit(folder, kStoreFolderName);
  ForceDirectories(TStoreLayout(folder).Folder());
}

}  // namespace pellmor
