#include "cli/CheckoutCommand.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/ReadingArguments.h"
#include "store/QuarvReader.h"
#include "store/RevisionCheckout.h"

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
  const TCheckoutResult result =
      CheckoutRevision(reader, options.Revision, options.Dest, options.Force);
  out << "Revision " << options.Revision << ": " << result.Written << " files written into "
      << result.Folder << '\n';
  return result.Written;
}

}  // namespace pellmor
