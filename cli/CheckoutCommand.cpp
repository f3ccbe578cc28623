#include "cli/CheckoutCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/ReadingArguments.h"
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
                           options.Revision, QuoteName(problems.front().Name).c_str(),
                           problems.front().Reason.c_str()));

  if (FileExists(options.Dest) && !DirectoryExists(options.Dest))
    throw Exception(Format("Cannot check out into '%s': it is not a folder", options.Dest.c_str()));
  TConfinedFolder dest(options.Dest);
  if (!options.Force && !dest.IsEmpty())
    throw Exception(
        Format("Folder '%s' is not empty (--force writes into it)", options.Dest.c_str()));

  // Each file's bytes go to the disk as they are expanded, never held whole;
  // a file whose bytes fail their digest is removed again. Of a link's target
  // one byte more than a target may hold is kept: enough to refuse it.
  int written = 0;
  std::unique_ptr<TConfinedFolder::TFileWriter> file;
  std::string target;
  reader.StreamContents(
      *revision, live,
      [&](const TMyFile& entry) -> TByteSink {
        if (IsSymlink(entry)) {
          target.clear();
          return [&](const uint8_t* bytes, size_t count) {
            const size_t room = static_cast<size_t>(kMaxLinkTarget + 1) - target.size();
            target.append(reinterpret_cast<const char*>(bytes), std::min(count, room));
          };
        }
        file = dest.CreateFile(DiskPath("", entry.Name()), (entry.Attributes & kAttrArchive) != 0);
        return [&](const uint8_t* bytes, size_t count) { file->Write(bytes, count); };
      },
      [&](const TMyFile& entry, bool matches) {
        if (!matches) {
          file.reset();
          return;
        }
        if (IsSymlink(entry)) {
          dest.WriteSymlink(DiskPath("", entry.Name()), target, entry.LastAccessTime,
                            entry.LastWriteTime);
        } else {
          file->Finish(entry.LastAccessTime, entry.LastWriteTime);
          file.reset();
        }
        ++written;
      });
  out << "Revision " << options.Revision << ": " << written << " files written into " << dest.Path()
      << '\n';
  return written;
}

}  // namespace pellmor
