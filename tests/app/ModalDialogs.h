// Drives modal dialogs from Qt tests: a dialog opened by the code under test
// blocks in its own event loop, so the test's answer has to arrive from there.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace pellmor::test {

// Runs action, which is expected to open a modal dialog of type Dialog, and
// calls respond with that dialog once it is showing; respond must close it.
// Returns whether a dialog was answered.
template <typename Dialog>
bool AnswerModal(const std::function<void(Dialog*)>& respond, const std::function<void()>& action) {
  bool answered = false;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    poll.stop();
    answered = true;
    respond(dialog);
  });
  poll.start();
  action();
  poll.stop();
  return answered;
}

// Confirms path in Qt's own file dialog as a user would: types it into the
// name box and accepts. (QFileDialog::selectFile leaves the name box alone
// once the box has keyboard focus, which it gets at some moment after the
// dialog shows, so a test cannot rely on it.)
inline void ConfirmInFileDialog(QFileDialog* dialog, const QString& path) {
  auto* name_box = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (name_box == nullptr) qFatal("the file dialog has no name box");
  name_box->setText(path);
  QMetaObject::invokeMethod(dialog, "accept");
}

}  // namespace pellmor::test
