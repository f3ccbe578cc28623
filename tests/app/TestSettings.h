// Keeps the window's user settings (the last folder prepared, StartFolder.h)
// in a temporary folder for one test program, away from the user's own:
// create one before the first window, Clear() between tests.
#pragma once

#include <QSettings>
#include <QTemporaryDir>

namespace pellmor::test {

class TestSettings {
 public:
  TestSettings() {
    if (!folder_.isValid()) qFatal("cannot create a folder for the test's settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder_.path());
  }

  // Forgets everything the program remembered.
  void Clear() { QSettings(QStringLiteral("Pellmor"), QStringLiteral("pellmor")).clear(); }

 private:
  QTemporaryDir folder_;
};

}  // namespace pellmor::test
