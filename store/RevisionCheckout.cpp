#include "store/RevisionCheckout.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "foundation/ConfinedFolder.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "foundation/ShownText.h"
#include "store/CheckoutNames.h"
#include "store/QuarvReader.h"
#include "store/uMyFS.h"

namespace pellmor {

namespace {

bool IsSymlink(const TMyFile& entry) { return (entry.Attributes & kAttrReparsePoint) != 0; }

}  // namespace

TCheckoutResult CheckoutRevision(const TQuarvReader& reader, int32_t revision,
                                 const std::string& dest, bool force) {
  const std::unique_ptr<TMyContaner> container = reader.ReadRevision(revision, lpRecords);
  std::vector<TMyFile*> live;
  std::vector<const TMyFile*> names;
  for (const auto& entry : container->Files) {
    if (entry->Deleted) continue;
    live.push_back(entry.get());
    names.push_back(entry.get());
  }
  const std::vector<TNameProblem> problems = FindUnsafeNames(names);
  if (!problems.empty())
    throw Exception(Format("Refusing to check out revision %d: '%s' cannot be written safely (%s)",
                           revision, QuoteName(problems.front().Name).c_str(),
                           problems.front().Reason.c_str()));

  if (FileExists(dest) && !DirectoryExists(dest))
    throw Exception(Format("Cannot check out into '%s': it is not a folder", dest.c_str()));
  TConfinedFolder folder(dest);
  if (!force && !folder.IsEmpty())
    throw Exception(Format("Folder '%s' is not empty (--force writes into it)", dest.c_str()));

  // Each file's bytes go to the disk as they are expanded, never held whole;
  // a file whose bytes fail their digest is removed again. Of a link's target
  // one byte more than a target may hold is kept: enough to refuse it.
  TCheckoutResult result;
  result.Folder = folder.Path();
  std::unique_ptr<TConfinedFolder::TFileWriter> file;
  std::string target;
  reader.StreamContents(
      *container, live,
      [&](const TMyFile& entry) -> TByteSink {
        if (IsSymlink(entry)) {
          target.clear();
          return [&](const uint8_t* bytes, size_t count) {
            const size_t room = static_cast<size_t>(kMaxLinkTarget + 1) - target.size();
            target.append(reinterpret_cast<const char*>(bytes), std::min(count, room));
          };
        }
        file =
            folder.CreateFile(DiskPath("", entry.Name()), (entry.Attributes & kAttrArchive) != 0);
        return [&](const uint8_t* bytes, size_t count) { file->Write(bytes, count); };
      },
      [&](const TMyFile& entry, bool matches) {
        if (!matches) {
          file.reset();
          return;
        }
        if (IsSymlink(entry)) {
          folder.WriteSymlink(DiskPath("", entry.Name()), target, entry.LastAccessTime,
                              entry.LastWriteTime);
        } else {
          file->Finish(entry.LastAccessTime, entry.LastWriteTime);
          file.reset();
        }
        ++result.Written;
      });
  return result;
}

}  // namespace pellmor
