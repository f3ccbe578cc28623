// `quarv convert FOLDER [--force]`: what the window's Prepare and Convert do
// together, without a display. Checks FOLDER for a ".git" folder, makes Git
// ignore the store folder, creates it, and converts every commit of the walk
// that the store does not hold yet (convert/uConversionRun.h). Ctrl-C or
// SIGTERM stop the run at the next commit boundary (cli/StopSignals.h); the
// tool then exits with 128 + the signal's number (130, 143).
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "convert/uConversionRun.h"

namespace CLI {
class App;
}

namespace pellmor {

// Adds the "convert" command to the tool.
void RegisterConvertCommand(CLI::App& app);

// Runs the command on the folder as typed. Progress goes to out: a live bar
// when terminal is set (width columns), else a line per commit; a summary
// ends it. stopRequested is asked at each commit boundary. Raises the run's
// errors, and refuses uncommitted changes of tracked files unless force is set.
TConversionSummary ConvertFolder(const std::string& pathText, bool force, std::ostream& out,
                                 bool terminal, int width,
                                 const std::function<bool()>& stopRequested);

}  // namespace pellmor
