#include "store/StoreLayout.h"

#include "foundation/Platform.h"

namespace pellmor {

TStoreLayout::TStoreLayout(const std::string& root) : root_(IncludeTrailingDelimiter(root)) {}

std::string TStoreLayout::Folder() const { return root_ + kStoreFolderName + '/'; }

std::string TStoreLayout::ObjectsFolder() const { return Folder() + "Objects/"; }

std::string TStoreLayout::ContainerFileName(int32_t number) const {
  return ObjectsFolder() + ContainerLeafName(number);
}

std::string TStoreLayout::IndexFileName() const { return Folder() + "Index.dat"; }

std::string TStoreLayout::HistoryFileName() const { return Folder() + "History.txt"; }

std::string TStoreLayout::RenameFileName() const { return Folder() + "Rename.txt"; }

std::string TStoreLayout::IgnoreFileName() const { return Folder() + "Ignore.txt"; }

std::string TStoreLayout::CommitRecordFileName() const { return Folder() + "Commits.txt"; }

std::string TStoreLayout::RunMarkerFileName() const { return Folder() + "Run.txt"; }

std::string TStoreLayout::RunLockFileName() const { return Folder() + "Run.lock"; }

std::string TStoreLayout::ContainerLeafName(int32_t number) {
  return std::to_string(number) + ".dat";
}

}  // namespace pellmor
