#include "cli/CatCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/ReadingArguments.h"
#include "foundation/Exception.h"
#include "foundation/ShownText.h"
#include "store/QuarvReader.h"
#include "store/uMyFS.h"

namespace pellmor {

void RegisterCatCommand(CLI::App& app) {
  auto options = std::make_shared<TCatOptions>();
  CLI::App* command = AddReadingCommand(
      app, "cat",
      "Write the bytes of file NAME of revision REV of the store in FOLDER to standard "
      "output",
      options->Folder);
  AddRevisionArgument(*command, options->Revision)->required();
  command->add_option("NAME", options->Name, "File name relative to the folder (src/main.c)")
      ->required();
  command->callback([options] {
    RunCat(*options, std::cout);
    std::cout.flush();
  });
}

void RunCat(const TCatOptions& options, std::ostream& out) {
  const TQuarvReader reader(options.Folder);
  const std::unique_ptr<TMyContaner> revision = reader.ReadRevision(options.Revision, lpRecords);
  std::string name = options.Name;
  std::replace(name.begin(), name.end(), '/', '\\');
  TMyFile* entry = revision->Files.FindByName(name);
  if (entry == nullptr)
    throw Exception(
        Format("No file '%s' in revision %d", QuoteName(options.Name).c_str(), options.Revision),
        ekNotFound);
  if (entry->Deleted)
    throw Exception(Format("File '%s' is deleted in revision %d", QuoteName(entry->Name()).c_str(),
                           options.Revision),
                    ekNotFound);
  // Two passes over the bytes, each expanding them piece by piece: the first
  // checks them against the digest, the second writes them. So no byte that
  // fails its digest is written, and no file is held in memory whole.
  const auto nothing = [](const TMyFile&) { return TByteSink(); };
  const auto done = [](const TMyFile&, bool) {};
  reader.StreamContents(*revision, {entry}, nothing, done);
  reader.StreamContents(
      *revision, {entry},
      [&](const TMyFile&) -> TByteSink {
        return [&](const uint8_t* bytes, size_t count) {
          out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
        };
      },
      done);
}

}  // namespace pellmor
