// The folder dialog, driven by the test: where it opens, what it shows, and
// what it gives back on confirmation and on cancel.
#include <QFileDialog>
#include <QtTest>
#include <filesystem>

#include "app/uMyDialog.h"
#include "tests/app/ModalDialogs.h"
#include "tests/support/TempDir.h"

using pellmor::fdoPickFolders;
using pellmor::TFileOpenDialog;
using pellmor::test::AnswerModal;
using pellmor::test::ConfirmInFileDialog;
using pellmor::test::TempDir;

class TFileOpenDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void confirmedFolderBecomesFileName() {
    TempDir dir;
    std::filesystem::create_directories(dir / "start/inner");
    TFileOpenDialog dialog;
    dialog.FileNameLabel = QStringLiteral("GIT Project Folder");
    dialog.DefaultFolder = QString::fromStdString(dir / "start");
    dialog.Options = fdoPickFolders;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QString directory, label;
    bool native = true;
    bool executed = false;
    QVERIFY(AnswerModal<QFileDialog>(
        [&](QFileDialog* shown) {
          mode = shown->fileMode();
          native = !shown->testOption(QFileDialog::DontUseNativeDialog);
          directory = shown->directory().absolutePath();
          label = shown->labelText(QFileDialog::FileName);
          ConfirmInFileDialog(shown, QString::fromStdString(dir / "start/inner"));
        },
        [&] { executed = dialog.Execute(); }));
    QVERIFY(executed);
    QCOMPARE(mode, QFileDialog::Directory);
    QVERIFY(!native);
    QCOMPARE(directory, QString::fromStdString(dir / "start"));
    QCOMPARE(label, QStringLiteral("GIT Project Folder"));
    QCOMPARE(dialog.FileName, QString::fromStdString(dir / "start/inner"));
  }

  void cancelLeavesFileNameAndAMissingFolderOpensTheUsualPlace() {
    TempDir dir;
    TFileOpenDialog dialog;
    dialog.DefaultFolder = QString::fromStdString(dir / "does-not-exist");
    dialog.Options = fdoPickFolders;
    dialog.FileName = QStringLiteral("unchanged");
    QString directory;
    bool executed = true;
    QVERIFY(AnswerModal<QFileDialog>(
        [&](QFileDialog* shown) {
          directory = shown->directory().absolutePath();
          shown->reject();
        },
        [&] { executed = dialog.Execute(); }));
    QVERIFY(!executed);
    QCOMPARE(dialog.FileName, QStringLiteral("unchanged"));
    QCOMPARE(directory, QDir::currentPath());
  }
};

QTEST_MAIN(TFileOpenDialogTest)
#include "uMyDialogTest.moc"
