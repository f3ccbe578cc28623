// The arguments that the store-reading commands (log, ls, cat, checkout,
// verify) share: the working folder and a revision number.
#pragma once

#include <cstdint>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace pellmor {

// Adds the command `name` with its required FOLDER argument (the working
// folder that holds .Quarv) bound to folder.
CLI::App* AddReadingCommand(CLI::App& app, const std::string& name, const std::string& description,
                            std::string& folder);

// Adds the REV argument (a revision number, 1 or more) bound to revision.
// Anything else is refused with a plain message: "REV: '0' is not a revision
// number (a whole number from 1 to 2147483647)".
CLI::Option* AddRevisionArgument(CLI::App& command, int32_t& revision);

}  // namespace pellmor
