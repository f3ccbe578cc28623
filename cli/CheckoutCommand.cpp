#include "cli/CheckoutCommand.h"

#include <iostream>
#include <memory>

#include "cli/ReadingArguments.h"
#include "foundation/ConfinedFolder.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "store/CheckoutNames.h"
#include "store/QuarvReader.h"
#include "store/uMyFS.h"

namespace pellmor {

void RegisterCheckoutCommand(CLI::App& app) {
  auto options = std::make_shared<TCheckoutOptions>();
  CLI::App* command = AddReadingCommand(
      app, "checkout",
      "Write the files of revision REV of the store in FOLDER into the folder DEST, "
      "with their times, executable bits and symbolic links",
      options->Folder);
  AddRevisionArgument(*command, options->Revision)->required();
  command->add_option("DEST", options->Dest, "Folder to write into (created when missing)")
      ->required();
  command->add_flag("--force", options->Force, "Write into DEST even when it is not empty");
  command->callback([options] { RunCheckout(*options, std::cout); });
}

int RunCheckout(const TCheckoutOptions& options, std::ostream& out) {
  const TQuarvReader reader(options.Folder);
  const std::unique_ptr<TMyContaner> revision = reader.ReadRevision(options.Revision, lpRecords);
  std::vector<TMyFile*> live;
  std::vector<const TMyFile*> names;
  for (const auto& entry : revision->Files) {
    if (entry->Deleted) continue;
    live.push_back(entry.get());
    names.push_back(entry.get());
  }
  const std::vector<TNameProblem> problems = FindUnsafeNames(names);
  if (!problems.empty())
    throw Exception(Format("Refusing to check out revision %d: '%s' cannot be written safely (%s)",
                           options.Revision, problems.front().Name.c_str(),
                           problems.front().Reason.c_str()));

  if (FileExists(options.Dest) && !DirectoryExists(options.Dest))
    throw Exception(Format("Cannot check out into '%s': it is not a folder", options.Dest.c_str()));
  TConfinedFolder dest(options.Dest);
  if (!options.Force && !dest.IsEmpty())
    throw Exception(
        Format("Folder '%s' is not empty (--force writes into it)", options.Dest.c_str()));

  int written = 0;
  reader.ReadContents(*revision, live, [&](const TMyFile& entry, TMemoryStream& bytes) {
    const std::string path = DiskPath("", entry.Name());
    if (entry.Attributes & kAttrReparsePoint)
      dest.WriteSymlink(path,
                        std::string(reinterpret_cast<const char*>(bytes.Memory()), bytes.Size()),
                        entry.LastAccessTime, entry.LastWriteTime);
    else
      dest.WriteFile(path, bytes, (entry.Attributes & kAttrArchive) != 0, entry.LastAccessTime,
                     entry.LastWriteTime);
    ++written;
  });
  out << "Revision " << options.Revision << ": " << written << " files written into " << dest.Path()
      << '\n';
  return written;
}

}  // namespace pellmor
