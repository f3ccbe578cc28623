// Where the window starts: the command line `pellmor [FOLDER]` (help,
// version, refusals), and the folder in the path box: FOLDER, else the last
// folder prepared while it exists, else the program's own folder.
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "app/StartArguments.h"
#include "app/StartFolder.h"
#include "app/ufrmMain.h"
#include "tests/app/FormControls.h"
#include "tests/app/ModalDialogs.h"
#include "tests/app/TestSettings.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"

using pellmor::ReadStartArguments;
using pellmor::StartFolder;
using pellmor::TForm1;
using pellmor::TStartAction;
using pellmor::test::GitRepoBuilder;
using pellmor::test::TempDir;

Q_DECLARE_METATYPE(TStartAction)

class StartTest : public QObject {
  Q_OBJECT

 private:
  pellmor::test::TestSettings settings_;

  static QString ProgramFolder() { return QCoreApplication::applicationDirPath() + '/'; }

  // The path box of a new window made with this FOLDER.
  static QString PathBoxOfNewWindow(const QString& folder) {
    TForm1 form(folder);
    return pellmor::test::FindControl<QLineEdit>(&form, "Edit1")->text();
  }

  // Prepares folder in a window of its own, answering any message box.
  static void PrepareInWindow(const std::string& folder) {
    TForm1 form;
    pellmor::test::FindControl<QLineEdit>(&form, "Edit1")->setText(QString::fromStdString(folder));
    pellmor::test::AnswerModal<QMessageBox>(
        [](QMessageBox* box) { box->accept(); },
        [&] { pellmor::test::FindControl<QPushButton>(&form, "btnPrepare")->click(); });
  }

 private slots:
  void initTestCase() {
    QCoreApplication::setApplicationName(QStringLiteral("pellmor"));
    QCoreApplication::setApplicationVersion(QStringLiteral("7.3.1"));
  }
  void init() { settings_.Clear(); }

  void readsTheCommandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<TStartAction>("action");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("text");  // Text, or for help a part of it
    QTest::newRow("nothing") << QStringList{} << pellmor::saOpenWindow << ""
                             << "";
    QTest::newRow("a folder") << QStringList{"/work/shop"} << pellmor::saOpenWindow << "/work/shop"
                              << "";
    QTest::newRow("a folder that looks like an option")
        << QStringList{"--", "-shop"} << pellmor::saOpenWindow << "-shop"
        << "";
    QTest::newRow("--version") << QStringList{"--version"} << pellmor::saPrint << ""
                               << "pellmor 7.3.1\n";
    QTest::newRow("-v beside a folder") << QStringList{"shop", "-v"} << pellmor::saPrint << ""
                                        << "pellmor 7.3.1\n";
    QTest::newRow("--help") << QStringList{"--help"} << pellmor::saPrint << ""
                            << "[FOLDER]";
    QTest::newRow("two folders") << QStringList{"a", "b"} << pellmor::saRefuse << ""
                                 << "pellmor: one FOLDER at most, not 2\n";
    QTest::newRow("unknown option") << QStringList{"--fast"} << pellmor::saRefuse << ""
                                    << "pellmor: Unknown option 'fast'.\n";
  }
  void readsTheCommandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(TStartAction, action);
    QFETCH(QString, folder);
    QFETCH(QString, text);
    const pellmor::TStartArguments read =
        ReadStartArguments(QStringList{QStringLiteral("pellmor")} + arguments);
    QCOMPARE(read.Action, action);
    QCOMPARE(read.Folder, folder);
    if (arguments == QStringList{"--help"}) {
      QVERIFY2(read.Text.contains(text) && read.Text.contains("--version"), qPrintable(read.Text));
    } else {
      QCOMPARE(read.Text, text);
    }
  }

  // FOLDER is shown absolute and clean, whether or not it exists, and takes
  // precedence over the folder remembered.
  void startsInTheFolderOfTheCommandLine_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("shown");
    const QString current = QDir::currentPath();
    QTest::newRow("absolute") << "/srv/repos/shop"
                              << "/srv/repos/shop/";
    QTest::newRow("absolute with '/'") << "/srv/repos/shop/"
                                       << "/srv/repos/shop/";
    QTest::newRow("relative") << "shop" << current + "/shop/";
    QTest::newRow("with . and ..") << "./a/../shop/." << current + "/shop/";
    QTest::newRow("the root") << "/"
                              << "/";
  }
  void startsInTheFolderOfTheCommandLine() {
    QFETCH(QString, folder);
    QFETCH(QString, shown);
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    PrepareInWindow(repo.Folder());
    QCOMPARE(PathBoxOfNewWindow(QString()), QString::fromStdString(repo.Folder()));
    QCOMPARE(PathBoxOfNewWindow(folder), shown);
  }

  void startsInTheLastFolderPreparedWhileItExists() {
    QCOMPARE(PathBoxOfNewWindow(QString()), ProgramFolder());
    TempDir dir;
    GitRepoBuilder first(dir / "first");
    GitRepoBuilder second(dir / "second");
    PrepareInWindow(first.Folder());
    PrepareInWindow(" " + second.Folder().substr(0, second.Folder().size() - 1) + " ");
    QCOMPARE(PathBoxOfNewWindow(QString()), QString::fromStdString(second.Folder()));
    // A folder that Prepare refuses is not remembered.
    std::filesystem::create_directories(dir / "plain");
    PrepareInWindow(dir / "plain/");
    QCOMPARE(PathBoxOfNewWindow(QString()), QString::fromStdString(second.Folder()));

    std::filesystem::remove_all(second.Folder());
    QCOMPARE(PathBoxOfNewWindow(QString()), ProgramFolder());
    pellmor::test::WriteFile(dir / "second", "now a file");
    QCOMPARE(PathBoxOfNewWindow(QString()), ProgramFolder());
  }

  // A folder typed relative to the current folder is remembered absolute.
  void remembersAFolderTypedRelativeAsAbsolute() {
    TempDir dir;
    GitRepoBuilder repo(dir / "work");
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QString::fromStdString(dir.Path())));
    PrepareInWindow("work");
    QVERIFY(QDir::setCurrent(previous));
    QCOMPARE(StartFolder(QString()), QString::fromStdString(repo.Folder()));
  }
};

QTEST_MAIN(StartTest)
#include "StartTest.moc"
