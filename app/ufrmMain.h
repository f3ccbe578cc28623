// TForm1: the program's one window. The user names a Git working folder in
// the path box, Prepare checks it, readies it for the store and lists the
// commits that will be migrated (oldest first), and Convert migrates them.
//
// The window owns its controls (as Qt children). Commands run on the window's
// thread and keep it responsive by processing pending events while they
// work, with the command buttons disabled meanwhile. Failures end a command
// in the error box (ErrorBox.h) with Select Folder and Prepare enabled again.
#pragma once

#include <QWidget>
#include <string>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace pellmor {

class TGauge;

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);

  // The path box text without leading and trailing blanks, with '/' at its
  // end: the working folder that the commands use.
  std::string GetRepositoryFolder() const;

 public slots:
  // Lets the user pick the working folder; the path box changes only when
  // the choice is confirmed.
  void btnSelectFolderClick();
  // Checks for a ".git" folder, makes Git ignore the store folder, creates
  // it, and lists the commits; then Convert is enabled.
  void btnPrepareClick();
  // Converts every listed commit, oldest first, into the store: the gauge,
  // the caption and the selected line follow the run. Asks before
  // overwriting uncommitted changes of tracked files (No by default); a
  // failure ends the run in the error box, with the revisions recorded
  // before it kept. Select Folder and Prepare are enabled at the end however
  // the run ends; Convert waits for the next Prepare.
  void btnConvertClick();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateControls();
  void SetTabOrder();
  void ConnectEvents();
  void FormCreate();
  // Keeps the controls at their places, stretched with the window.
  void PlaceControls();
  void SetCommandsEnabled(bool selectFolder, bool prepare, bool convert);
  // Fills the list from the commit walk of the working folder.
  void ListCommits();

  TGauge* Gauge1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QListWidget* ListBox1 = nullptr;
  QPushButton* btnSelectFolder = nullptr;
  QPushButton* btnPrepare = nullptr;
  QPushButton* btnConvert = nullptr;
};

}  // namespace pellmor
