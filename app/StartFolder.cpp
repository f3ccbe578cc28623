#include "app/StartFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace pellmor {

namespace {

const QString kLastPreparedFolderKey = QStringLiteral("LastPreparedFolder");

QSettings UserSettings() { return QSettings(QStringLiteral("Pellmor"), QStringLiteral("pellmor")); }

// folder made absolute against the current folder, cleaned, ending in '/'.
QString AbsoluteFolder(const QString& folder) {
  const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
  return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

}  // namespace

QString StartFolder(const QString& folder) {
  if (!folder.isEmpty()) return AbsoluteFolder(folder);
  const QString last = UserSettings().value(kLastPreparedFolderKey).toString();
  if (!last.isEmpty() && QDir::isAbsolutePath(last) && QFileInfo(last).isDir()) return last;
  return AbsoluteFolder(QCoreApplication::applicationDirPath());
}

void RememberPreparedFolder(const QString& folder) {
  UserSettings().setValue(kLastPreparedFolderKey, AbsoluteFolder(folder));
}

}  // namespace pellmor
