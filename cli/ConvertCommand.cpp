#include "cli/ConvertCommand.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/ConvertProgress.h"
#include "cli/StopSignals.h"
#include "convert/StoreFolder.h"
#include "foundation/Exception.h"
#include "foundation/Platform.h"
#include "git/uGitWorkingFolder.h"

namespace pellmor {

namespace {

struct TConvertOptions {
  std::string Folder;
  bool Force = false;
};

// The columns of the terminal on standard output, or 80 when it says none.
int TerminalWidth() {
  const int columns = StandardOutputColumns();
  return columns > 0 ? columns : 80;
}

}  // namespace

void RegisterConvertCommand(CLI::App& app) {
  auto options = std::make_shared<TConvertOptions>();
  CLI::App* command = app.add_subcommand(
      "convert",
      "Convert the Git history of FOLDER into the Quarv store FOLDER/.Quarv: every commit "
      "reachable from HEAD and from no tag, oldest first, one revision each");
  command->add_option("FOLDER", options->Folder, "The working folder of the Git repository")
      ->required();
  command->add_flag("--force", options->Force,
                    "Convert even when tracked files hold uncommitted changes, which the "
                    "checkouts overwrite");
  command->callback([options] {
    const bool terminal = StandardOutputIsTerminal();
    const TStopSignals signals;
    const TConversionSummary summary = ConvertFolder(options->Folder, options->Force, std::cout,
                                                     terminal, terminal ? TerminalWidth() : 80,
                                                     [] { return TStopSignals::Received() != 0; });
    if (summary.Stopped) throw CLI::RuntimeError(128 + TStopSignals::Received());
  });
}

TConversionSummary ConvertFolder(const std::string& pathText, bool force, std::ostream& out,
                                 bool terminal, int width,
                                 const std::function<bool()>& stopRequested) {
  const std::string folder = RepositoryFolder(pathText);
  if (!HasGitFolder(folder)) throw Exception(kGitRepositoryNotFound, ekNotFound);
  PrepareStoreFolder(folder);
  TConvertProgress progress(out, folder, terminal, width, force, stopRequested);
  const TConversionSummary summary = RunConversion(folder, progress);
  progress.Finish(summary);
  return summary;
}

}  // namespace pellmor
