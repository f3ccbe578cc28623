#include "cli/ReadingArguments.h"

namespace pellmor {

CLI::App* AddReadingCommand(CLI::App& app, const std::string& name, const std::string& description,
                            std::string& folder) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("FOLDER", folder, "Working folder that holds .Quarv")->required();
  return command;
}

CLI::Option* AddRevisionArgument(CLI::App& command, int32_t& revision) {
  return command.add_option("REV", revision, "Revision number")->check(CLI::PositiveNumber);
}

}  // namespace pellmor
