// quarv: converts a Git history into a Quarv store without a display, and reads the store back.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "cli/CatCommand.h"
#include "cli/CheckoutCommand.h"
#include "cli/ConvertCommand.h"
#include "cli/LogCommand.h"
#include "cli/LsCommand.h"
#include "cli/VerifyCommand.h"

int main(int argc, char** argv) {
  CLI::App app{"quarv: convert a Git history into a Quarv store and read the store back", "quarv"};
  app.set_version_flag("--version", "quarv " PELLMOR_VERSION);
  app.require_subcommand(1);
  pellmor::RegisterConvertCommand(app);
  pellmor::RegisterLogCommand(app);
  pellmor::RegisterLsCommand(app);
  pellmor::RegisterCatCommand(app);
  pellmor::RegisterCheckoutCommand(app);
  pellmor::RegisterVerifyCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const std::exception& e) {
    // A command's failure: its message alone, and a status that says so.
    std::cerr << e.what() << '\n';
    return 1;
  }
  return 0;
}
