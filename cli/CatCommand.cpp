#include "cli/CatCommand.h"

#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/ReadingArguments.h"
#include "foundation/Exception.h"
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
    throw Exception(Format("No file '%s' in revision %d", options.Name.c_str(), options.Revision));
  if (entry->Deleted)
    throw Exception(
        Format("File '%s' is deleted in revision %d", entry->Name().c_str(), options.Revision));
  reader.ReadContents(*revision, {entry}, [&](const TMyFile&, TMemoryStream& bytes) {
    out.write(reinterpret_cast<const char*>(bytes.Memory()), bytes.Size());
  });
}

}  // namespace pellmor
