// Where the files of a Quarv store lie below its working root (the format of
// each is described in docs/store-format.md):
//
//   <root>/.Quarv/                the store folder
//   <root>/.Quarv/Objects/N.dat   the container of revision N
//   <root>/.Quarv/Index.dat       the staging container
//   <root>/.Quarv/History.txt     the revisions, one "N.dat" line each
//   <root>/.Quarv/Rename.txt      the pending renames
//   <root>/.Quarv/Ignore.txt      the names left out of every revision
//   <root>/.Quarv/Commits.txt     the Git commit each revision was recorded from
//   <root>/.Quarv/Run.txt         the marker of a conversion run under way
//   <root>/.Quarv/Run.lock        locked by the run that writes the store
//
// Every path of the store is built here.
#pragma once

#include <cstdint>
#include <string>

namespace pellmor {

// The store folder's own name inside the working root.
inline constexpr char kStoreFolderName[] = ".Quarv";

class TStoreLayout {
 public:
  // root: the working root, with or without its trailing '/'.
  explicit TStoreLayout(const std::string& root);

  // The working root, ending in '/'.
  const std::string& Root() const { return root_; }
  // root/.Quarv/ and root/.Quarv/Objects/.
  std::string Folder() const;
  std::string ObjectsFolder() const;
  // root/.Quarv/Objects/N.dat.
  std::string ContainerFileName(int32_t number) const;
  std::string IndexFileName() const;
  std::string HistoryFileName() const;
  std::string RenameFileName() const;
  std::string IgnoreFileName() const;
  std::string CommitRecordFileName() const;
  std::string RunMarkerFileName() const;
  std::string RunLockFileName() const;

  // "N.dat": the name of revision N's container file, as History.txt lists it.
  static std::string ContainerLeafName(int32_t number);

 private:
  std::string root_;
};

}  // namespace pellmor
