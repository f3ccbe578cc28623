#include "app/uMyDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

namespace pellmor {

TFileOpenDialog::TFileOpenDialog(QObject* owner) : QObject(owner) {}

bool TFileOpenDialog::Execute() {
  QWidget* owner = QApplication::activeWindow();
  if (owner == nullptr) {
    if (auto* widget = qobject_cast<QWidget*>(parent())) owner = widget->window();
  }
  QFileDialog dialog(owner);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (Options.testFlag(fdoPickFolders)) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
  } else {
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (!FileNameLabel.isEmpty()) dialog.setLabelText(QFileDialog::FileName, FileNameLabel);
  if (!DefaultFolder.isEmpty() && QFileInfo(DefaultFolder).isDir())
    dialog.setDirectory(DefaultFolder);
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  FileName = chosen.first();
  return true;
}

}  // namespace pellmor
