#include "app/StartArguments.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace pellmor {

TStartArguments ReadStartArguments(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Moves the history of a Git repository into a Quarv store: name the "
                     "repository's working folder, press Prepare, then Convert."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  parser.addPositionalArgument(
      QStringLiteral("FOLDER"),
      QStringLiteral("The working folder to show in the path box (default: the last folder "
                     "prepared, while it exists, else the program's own folder)."),
      QStringLiteral("[FOLDER]"));

  const QString name = QCoreApplication::applicationName();
  if (!parser.parse(arguments))
    return {saRefuse, {}, name + QStringLiteral(": ") + parser.errorText() + QLatin1Char('\n')};
  if (parser.isSet(help)) return {saPrint, {}, parser.helpText()};
  if (parser.isSet(version))
    return {saPrint, {}, name + QLatin1Char(' ') + QCoreApplication::applicationVersion() + '\n'};
  const QStringList folders = parser.positionalArguments();
  if (folders.size() > 1)
    return {
        saRefuse, {}, name + QStringLiteral(": one FOLDER at most, not %1\n").arg(folders.size())};
  return {saOpenWindow, folders.value(0), {}};
}

}  // namespace pellmor
