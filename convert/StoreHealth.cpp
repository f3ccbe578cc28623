#include "convert/StoreHealth.h"

#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "store/QuarvReader.h"
#include "store/StoreVerifier.h"

namespace pellmor {

void RefuseDamagedStore(const std::string& folder) {
  const TStoreLayout layout(folder);
  if (!DirectoryExists(layout.Folder())) return;
  std::string first;
  int problems = 0;
  try {
    const TQuarvReader reader(folder);
    TStoreVerifier verifier(
        reader,
        [&](const std::string& file, const std::string& text) {
          if (first.empty()) first = file + ": " + text;
        },
        lpRecords);
    verifier.Run();
    problems = verifier.Problems();
  } catch (const Exception& e) {
    first = e.what();
    problems = 1;
  }
  if (problems == 0) return;
  std::string root = layout.Root();
  if (root.size() > 1) root.pop_back();
  throw Exception(Format(
      "The store '%s' is damaged, so nothing is added to it: %s%s. 'quarv verify %s' lists every "
      "problem.",
      layout.Folder().c_str(), first.c_str(),
      problems > 1
          ? Format(" (and %d more problem%s)", problems - 1, problems > 2 ? "s" : "").c_str()
          : "",
      root.c_str()));
}

}  // namespace pellmor
