// TForm1: the program's one window. The user names a Git working folder in
// the path box, Prepare checks it, readies it for the store and lists the
// commits (oldest first), marking those the store holds already, and Convert
// migrates the rest: always the folder that Prepare prepared. Naming another folder in the path
// box after Prepare takes the preparation back (Convert waits for a new
// Prepare); Enter in the path box runs Prepare when it is enabled.
//
// The window owns its controls (as Qt children). Commands run on the window's
// thread and keep it responsive by processing pending events while they
// work, with the command buttons disabled meanwhile. Failures end a command
// in the error box (ErrorBox.h) with Select Folder and Prepare enabled again.
#pragma once

#include <QWidget>
#include <string>

class QCloseEvent;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace pellmor {

class TGauge;

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // The item data role of a commit line that holds the revision the commit
  // was converted into (0: it recorded nothing); unset while it is not converted.
  static constexpr int kRevisionRole = Qt::UserRole;

  // folder: FOLDER of the command line, or empty; the path box starts with
  // StartFolder(folder) (StartFolder.h).
  explicit TForm1(const QString& folder = QString(), QWidget* parent = nullptr);

  // The path box text without leading and trailing blanks, with '/' at its
  // end: the working folder that the commands use.
  std::string GetRepositoryFolder() const;

 public slots:
  // Lets the user pick the working folder; the path box changes only when
  // the choice is confirmed.
  void btnSelectFolderClick();
  // Checks for a ".git" folder, makes Git ignore the store folder, creates
  // it, and lists the commits, the converted ones greyed with their revision
  // (kRevisionRole, tool tip); then Convert is enabled for that folder, which
  // is remembered for the next start (RememberPreparedFolder).
  void btnPrepareClick();
  // Converts the prepared folder's commits that its store does not hold yet,
  // oldest first: the gauge and the caption count this run's commits, the
  // selected line is the commit's, and each converted line is marked. The
  // list follows the walk: when the run begins, it shows the commits the run
  // found (lines of commits the repository gained or changed since Prepare
  // added or changed, lines beyond the last commit removed). Asks before
  // overwriting uncommitted changes of tracked files (No by default); warns
  // when converted commits left the history. A failure ends the run in the
  // error box, with the revisions recorded before it kept and the working
  // folder back at HEAD. Select Folder and Prepare are enabled at the end
  // however the run ends; Convert waits for the next Prepare. Does nothing
  // while no folder is prepared.
  void btnConvertClick();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // During a run: asks whether to stop it. Yes stops the run at the next
  // commit boundary (the folder goes back to HEAD), and the window closes
  // once it has stopped; No keeps it running and the window open.
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void SetTabOrder();
  void ConnectEvents();
  void FormCreate(const QString& folder);
  // Keeps the controls at their places, stretched with the window.
  void PlaceControls();
  void SetCommandsEnabled(bool selectFolder, bool prepare, bool convert);
  // The smallest size at which every control is usable, and the first size:
  // the size the window was drawn for, within the screen's free area.
  QSize MinimumClientSize() const;
  QSize FirstClientSize() const;
  // Takes the preparation back when the path box no longer names the
  // prepared folder.
  void Edit1Change();
  // Fills the list from the commit walk of folder.
  void ListCommits(const std::string& folder);

  TGauge* Gauge1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QListWidget* ListBox1 = nullptr;
  QPushButton* btnSelectFolder = nullptr;
  QPushButton* btnPrepare = nullptr;
  QPushButton* btnConvert = nullptr;
  // The folder that Prepare prepared and Convert is enabled for; empty
  // while Convert waits for a Prepare.
  std::string prepared_folder_;
  bool running_ = false;        // a conversion run is under way
  bool stopRequested_ = false;  // the user asked the run to stop
  bool closeAfterRun_ = false;  // ... and the window to close then
};

}  // namespace pellmor
