// What `pellmor [FOLDER]` is asked on its command line: open the window (on
// FOLDER, when one is given), or print a text instead (--help, --version, or
// what is wrong with the arguments).
#pragma once

#include <QString>
#include <QStringList>

namespace pellmor {

enum TStartAction {
  saOpenWindow,  // open the window; Folder is FOLDER as given, or empty
  saPrint,       // print Text on standard output and end with status 0
  saRefuse,      // print Text on standard error and end with status 1
};

struct TStartArguments {
  TStartAction Action = saOpenWindow;
  QString Folder;
  QString Text;
};

// Reads the program's arguments (the program's own name first, Qt's options
// already taken out). The help and version texts use the application's
// name and version as QCoreApplication holds them.
TStartArguments ReadStartArguments(const QStringList& arguments);

}  // namespace pellmor
