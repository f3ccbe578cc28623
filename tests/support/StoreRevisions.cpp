#include "tests/support/StoreRevisions.h"

#include <algorithm>

#include "store/uQuarvEngine.h"

namespace pellmor::test {

std::vector<StoredRevision> ReadStoreRevisions(const std::string& folder) {
  TQuarv_Engine engine(folder);
  engine.Load();
  std::vector<StoredRevision> revisions;
  for (const auto& container : engine.FileSystem->Containers) {
    if (!container->Loaded) container->LoadFromFile(container->GetFileName());
    StoredRevision revision;
    revision.Number = container->Number;
    revision.Comment = container->Comment;
    revision.Author = container->Author;
    revision.Email = container->Email;
    revision.Date = container->Date;
    for (const auto& entry : container->Files) {
      if (entry->Deleted) continue;
      engine.LoadContent(*entry);
      std::string name = entry->Name();
      std::replace(name.begin(), name.end(), '\\', '/');
      const TMemoryStream& content = entry->Content;
      revision.Files[name] = {
          std::string(reinterpret_cast<const char*>(content.Memory()),
                      static_cast<size_t>(content.Size())),
          entry->Attributes};
    }
    revisions.push_back(std::move(revision));
  }
  return revisions;
}

}  // namespace pellmor::test
