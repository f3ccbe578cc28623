// The folder in the path box when the window opens, and the user setting
// that remembers the last folder Prepare prepared (QSettings, organisation
// "Pellmor", application "pellmor": ~/.config/Pellmor/pellmor.conf).
#pragma once

#include <QString>

namespace pellmor {

// The path box's first text, absolute and ending in '/': `folder` (FOLDER of
// the command line, relative to the current folder) when it is not empty;
// else the last folder prepared while it is still a folder; else the folder
// of the program's own executable.
QString StartFolder(const QString& folder);

// Remembers folder (made absolute) as the last one prepared, for the next start.
void RememberPreparedFolder(const QString& folder);

}  // namespace pellmor
