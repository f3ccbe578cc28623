// The program's entry: `pellmor [FOLDER]` opens the one window (on FOLDER)
// and runs until it closes; --help and --version answer without a display.
#include <QApplication>
#include <cstdio>

#include "app/StartArguments.h"
#include "app/ufrmMain.h"

namespace {

int Answer(const pellmor::TStartArguments& arguments) {
  const bool refused = arguments.Action == pellmor::saRefuse;
  std::fputs(arguments.Text.toLocal8Bit().constData(), refused ? stderr : stdout);
  return refused ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName(QStringLiteral("pellmor"));
  QCoreApplication::setApplicationVersion(QStringLiteral(PELLMOR_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("pellmor"));
  {
    // Help and version before the window's framework, which needs a display.
    // What this reading refuses may be Qt's own options (-platform, -style),
    // which only QApplication takes out.
    QCoreApplication core(argc, argv);
    const pellmor::TStartArguments arguments = pellmor::ReadStartArguments(core.arguments());
    if (arguments.Action == pellmor::saPrint) return Answer(arguments);
  }
  QApplication application(argc, argv);
  const pellmor::TStartArguments arguments =
      pellmor::ReadStartArguments(QCoreApplication::arguments());
  if (arguments.Action != pellmor::saOpenWindow) return Answer(arguments);
  pellmor::TForm1 form(arguments.Folder);
  form.show();
  return application.exec();
}
