#include "cli/ReadingArguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <limits>

#include "foundation/Exception.h"
#include "foundation/ShownText.h"

namespace pellmor {

namespace {

constexpr int32_t kLargestRevision = std::numeric_limits<int32_t>::max();

// "" when text is a revision number: decimal digits only, 1 to 2^31-1;
// otherwise a message a person can act on.
std::string RevisionNumberFault(const std::string& text) {
  int64_t value = 0;
  bool digits = !text.empty();
  for (const char c : text) {
    if (c < '0' || c > '9') {
      digits = false;
      break;
    }
    value = std::min<int64_t>(value * 10 + (c - '0'), int64_t{kLargestRevision} + 1);
  }
  if (digits && value >= 1 && value <= kLargestRevision) return "";
  return Format("'%s' is not a revision number (a whole number from 1 to %d)",
                QuoteName(text).c_str(), kLargestRevision);
}

}  // namespace

CLI::App* AddReadingCommand(CLI::App& app, const std::string& name, const std::string& description,
                            std::string& folder) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("FOLDER", folder, "Working folder that holds .Quarv")->required();
  return command;
}

CLI::Option* AddRevisionArgument(CLI::App& command, int32_t& revision) {
  const CLI::Validator number([](std::string& text) { return RevisionNumberFault(text); },
                              "1.." + std::to_string(kLargestRevision), "revision number");
  return command.add_option("REV", revision, "Revision number")->check(number);
}

}  // namespace pellmor
