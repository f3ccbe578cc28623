#include "app/ErrorBox.h"

#include <QMessageBox>

namespace pellmor {

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar('.')) return message + '.';
  return message;
}

void ShowErrorBox(QWidget* owner, const QString& message) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Pellmor"), ErrorBoxText(message),
                  QMessageBox::Ok, owner);
  // File names and Git's texts may hold '<' and '&': never read them as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace pellmor
