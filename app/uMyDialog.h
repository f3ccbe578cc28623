// TFileOpenDialog: a modal choice of one file or folder, over Qt's own
// (non-native) file dialog so that it looks and behaves the same on every
// desktop and tests can drive it.
//
// Set the properties, call Execute, read FileName. The dialog window exists
// only during Execute; this object is owned by its Qt parent or its creator.
#pragma once

#include <QFlags>
#include <QObject>
#include <QString>

namespace pellmor {

enum TFileDialogOption {
  fdoPickFolders = 0x1,  // choose a folder instead of a file
};
Q_DECLARE_FLAGS(TFileDialogOptions, TFileDialogOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFileDialogOptions)

class TFileOpenDialog : public QObject {
  Q_OBJECT

 public:
  explicit TFileOpenDialog(QObject* owner = nullptr);

  // The label beside the dialog's name box; empty: the dialog's own.
  QString FileNameLabel;
  // The folder shown first when it exists; otherwise the dialog starts in its
  // usual place.
  QString DefaultFolder;
  TFileDialogOptions Options;
  // After Execute returned true: the chosen file-system path.
  QString FileName;

  // Shows the dialog modally over the active window (else the owner's window)
  // and returns true when the user confirmed a choice, which is then in FileName.
  // A cancelled dialog returns false and leaves FileName as it was.
  bool Execute();
};

}  // namespace pellmor
