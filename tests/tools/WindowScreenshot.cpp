// Takes a picture of the window for the README: opens it on a Git working
// folder, presses Prepare (with --convert, then Convert as well), waits until
// the commands have finished and saves the window as the display shows it.
// Not part of the product and not a test; scripts/screenshot.sh runs it under
// Xvfb. Any message box that a command shows makes it fail with that message.
// With --times it prints how long each press took (bench/convert.sh reads them).
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QtTest>
#include <cstdio>

#include "app/ufrmMain.h"
#include "tests/app/ModalDialogs.h"
#include "tests/app/TestSettings.h"

namespace {

// Clicks the named button of the window. A message box that the command
// opens is closed and its text returned; empty text: none appeared.
QString Press(pellmor::TForm1& form, const char* name) {
  auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
  if (button == nullptr) return QStringLiteral("the window has no button %1").arg(name);
  if (!button->isEnabled()) return QStringLiteral("%1 is disabled").arg(button->text());
  QString message;
  pellmor::test::AnswerModal<QMessageBox>(
      [&](QMessageBox* box) {
        message = box->text();
        box->reject();
      },
      [&] { QTest::mouseClick(button, Qt::LeftButton); });
  return message;
}

int Fail(const QString& message) {
  std::fprintf(stderr, "window_screenshot: %s\n", qPrintable(message));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QCommandLineParser options;
  options.setApplicationDescription(QStringLiteral("Saves a picture of the Pellmor window."));
  options.addHelpOption();
  options.addOption({QStringLiteral("convert"), QStringLiteral("Press Convert after Prepare.")});
  options.addOption({QStringLiteral("times"),
                     QStringLiteral("Print the seconds each press took (\"prepare 1.23\").")});
  options.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("Git working folder."));
  options.addPositionalArgument(QStringLiteral("output"), QStringLiteral("PNG file to write."));
  options.process(application);
  const QStringList arguments = options.positionalArguments();
  if (arguments.size() != 2) options.showHelp(2);

  // Prepare remembers its folder; not in the settings of the one taking the picture.
  pellmor::test::TestSettings settings;
  pellmor::TForm1 form;
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return Fail(QStringLiteral("the window never showed"));
  form.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(arguments[0]);

  const bool times = options.isSet(QStringLiteral("times"));
  const auto timed_press = [&](const char* name, const char* label) {
    QElapsedTimer clock;
    clock.start();
    QString message = Press(form, name);
    if (times && message.isEmpty()) std::printf("%s %.2f\n", label, clock.elapsed() / 1000.0);
    return message;
  };
  QString message = timed_press("btnPrepare", "prepare");
  if (message.isEmpty() && options.isSet(QStringLiteral("convert")))
    message = timed_press("btnConvert", "convert");
  if (!message.isEmpty()) return Fail(message);

  // Let the last repaints reach the display before it is read.
  QTest::qWait(300);
  const QPixmap picture = form.screen()->grabWindow(form.winId());
  if (picture.isNull()) return Fail(QStringLiteral("the display gave no picture of the window"));
  if (!picture.save(arguments[1], "PNG"))
    return Fail(QStringLiteral("cannot write ") + arguments[1]);
  return 0;
}
