// `quarv convert FOLDER [--force]`: what the window's Prepare and Convert do
// together, without a display. Checks FOLDER for a ".git" folder, makes Git
// ignore the store folder, creates it, counts the commits of the walk and
// converts every one of them (convert/uConversionRun.h).
#pragma once

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace pellmor {

// Adds the "convert" command to the tool.
void RegisterConvertCommand(CLI::App& app);

// Runs the command on the folder as typed. Progress goes to out: a live bar
// when terminal is set (width columns), else a line per commit; a summary
// line ends it. Raises the run's errors, and refuses uncommitted changes of
// tracked files unless force is set.
void ConvertFolder(const std::string& pathText, bool force, std::ostream& out, bool terminal,
                   int width);

}  // namespace pellmor
