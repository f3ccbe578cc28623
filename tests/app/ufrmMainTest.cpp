// The main window, driven as a user would: its start state, size and
// keyboard use, Prepare on real repositories (listing, exclude file, store
// folder, failures, tooltips) and Select Folder.
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QToolTip>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/Gauges.h"
#include "app/ufrmMain.h"
#include "tests/app/FormControls.h"
#include "tests/app/ModalDialogs.h"
#include "tests/app/TestSettings.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/TempDir.h"

using pellmor::TForm1;
using pellmor::TGauge;
using pellmor::test::AnswerModal;
using pellmor::test::CommitOptions;
using pellmor::test::ConfirmInFileDialog;
using pellmor::test::GitRepoBuilder;
using pellmor::test::TempDir;

namespace {

struct MessageSeen {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

}  // namespace

class TForm1Test : public QObject {
  Q_OBJECT

 private:
  pellmor::test::TestSettings settings_;
  std::unique_ptr<TForm1> form_;
  QFont desktop_font_;

  void ShowNewForm() {
    form_ = std::make_unique<TForm1>();
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }

  // Replaces the window with one made under a desktop font of this size (the
  // desktop's own font is restored after the test).
  void UseDesktopFontOfPixelSize(int pixels) {
    QFont font = desktop_font_;
    font.setPixelSize(pixels);
    QApplication::setFont(font);
    ShowNewForm();
  }

  template <typename T>
  T* Control(const char* name) {
    return pellmor::test::FindControl<T>(form_.get(), name);
  }
  QLineEdit* PathBox() { return Control<QLineEdit>("Edit1"); }
  QListWidget* List() { return Control<QListWidget>("ListBox1"); }

  QString Buttons() { return pellmor::test::ButtonStates(form_.get()); }

  QStringList Lines() {
    QStringList lines;
    for (int i = 0; i < List()->count(); ++i) lines << List()->item(i)->text();
    return lines;
  }

  // Presses Prepare and answers the message box that it shows, if any.
  MessageSeen Prepare(const QString& pathText) {
    PathBox()->setText(pathText);
    MessageSeen seen;
    AnswerModal<QMessageBox>(
        [&](QMessageBox* box) {
          seen = {box->windowTitle(), box->text(), box->icon()};
          box->accept();
        },
        [&] { QTest::mouseClick(Control<QPushButton>("btnPrepare"), Qt::LeftButton); });
    return seen;
  }

 private slots:
  void initTestCase() { desktop_font_ = QApplication::font(); }
  void init() {
    settings_.Clear();
    ShowNewForm();
  }
  void cleanup() {
    form_.reset();
    QApplication::setFont(desktop_font_);
  }

  void startsWithCaptionPathBoxAndButtonStates() {
    QCOMPARE(form_->windowTitle(), QStringLiteral("Pellmor"));
    QCOMPARE(PathBox()->text(), QCoreApplication::applicationDirPath() + '/');
    QCOMPARE(Buttons(), QStringLiteral("110"));
    QCOMPARE(Control<TGauge>("Gauge1")->Progress(), 0);
    QCOMPARE(List()->count(), 0);
  }

  // With a desktop font in which every caption fits, the controls stand
  // where the window was drawn, and stretch with the window.
  void placesControlsAndStretchesThemWithTheWindow() {
    UseDesktopFontOfPixelSize(10);
    form_->resize(1078, 484);  // drawn for this size, larger than the test's screen allows
    QCOMPARE(Control<QPushButton>("btnSelectFolder")->geometry(), QRect(16, 8, 75, 25));
    QCOMPARE(Control<QPushButton>("btnPrepare")->geometry(), QRect(96, 8, 75, 25));
    QCOMPARE(Control<QPushButton>("btnConvert")->geometry(), QRect(176, 8, 75, 25));
    QCOMPARE(Control<TGauge>("Gauge1")->geometry(), QRect(256, 8, 813, 25));
    QCOMPARE(PathBox()->geometry().top(), 40);
    QCOMPARE(List()->geometry(), QRect(16, 64, 1053, 409));
    form_->resize(form_->width() + 200, form_->height() + 100);
    QCOMPARE(Control<TGauge>("Gauge1")->geometry(), QRect(256, 8, 1013, 25));
    QCOMPARE(PathBox()->width(), 1253);
    QCOMPARE(List()->geometry(), QRect(16, 64, 1253, 509));
    QCOMPARE(Control<QPushButton>("btnConvert")->geometry(), QRect(176, 8, 75, 25));
  }

  // A large desktop font widens a button whose caption would be cut; the
  // buttons keep their gaps and the gauge takes the rest of the row.
  void buttonsGrowToFitTheirCaptionsInALargeFont() {
    UseDesktopFontOfPixelSize(20);
    int left = 16;
    for (const char* name : {"btnSelectFolder", "btnPrepare", "btnConvert"}) {
      const QPushButton* button = Control<QPushButton>(name);
      QCOMPARE(button->pos(), QPoint(left, 8));
      QCOMPARE(button->height(), 25);
      const int caption = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width();
      QVERIFY2(button->width() >= 75 && button->width() > caption, name);
      left += button->width() + 5;
    }
    QVERIFY(Control<QPushButton>("btnSelectFolder")->width() > 75);
    QCOMPARE(Control<TGauge>("Gauge1")->geometry(), QRect(left, 8, form_->width() - 9 - left, 25));
  }

  // At the smallest size every control stays whole, apart from the others
  // and large enough to use, in small and large desktop fonts alike.
  void shrinksNoFurtherThanEveryControlIsUsable_data() {
    QTest::addColumn<int>("fontPixels");
    QTest::newRow("10 px") << 10;
    QTest::newRow("13 px") << 13;
    QTest::newRow("24 px") << 24;
  }
  void shrinksNoFurtherThanEveryControlIsUsable() {
    QFETCH(int, fontPixels);
    UseDesktopFontOfPixelSize(fontPixels);
    List()->addItem(QString(400, QLatin1Char('x')));  // brings the horizontal scroll bar
    form_->resize(100, 60);
    QCOMPARE(form_->size(), form_->minimumSize());
    const QRect client = form_->rect();
    QRect left_neighbour;
    for (const char* name : {"btnSelectFolder", "btnPrepare", "btnConvert"}) {
      const QPushButton* button = Control<QPushButton>(name);
      QVERIFY2(client.contains(button->geometry()), name);
      QVERIFY2(!button->geometry().intersects(left_neighbour), name);
      QVERIFY2(button->width() >
                   button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width(),
               name);
      left_neighbour = button->geometry();
    }
    const QRect gauge = Control<TGauge>("Gauge1")->geometry();
    QVERIFY(client.contains(gauge) && !gauge.intersects(left_neighbour));
    QVERIFY2(gauge.width() >= 50, qPrintable(QString::number(gauge.width())));
    QVERIFY(client.contains(PathBox()->geometry()));
    QVERIFY2(PathBox()->width() >= 250, qPrintable(QString::number(PathBox()->width())));
    QVERIFY(client.contains(List()->geometry()));
    QTRY_VERIFY(List()->horizontalScrollBar()->isVisible());
    QVERIFY2(List()->viewport()->height() >= 3 * 16,
             qPrintable(QString::number(List()->viewport()->height())));
  }

  // The test's screen (the offscreen platform's 800 x 600) is narrower than
  // the window was drawn for, not lower.
  void firstSizeIsTheDrawnOneWithinTheScreen() {
    const QRect available = form_->screen()->availableGeometry();
    QVERIFY(available.width() < 1078 && available.height() > 484 + 48);
    QCOMPARE(form_->height(), 484);
    QVERIFY2(form_->width() < available.width() && form_->width() > available.width() - 50,
             qPrintable(QString::number(form_->width())));
  }

  void enterInThePathBoxRunsPrepareWhenItIsEnabled_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
  }
  void enterInThePathBoxRunsPrepareWhenItIsEnabled() {
    QFETCH(int, key);
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    repo.Commit("one\n");
    PathBox()->setText(QString::fromStdString(repo.Folder()));
    PathBox()->setFocus();
    QTest::keyClick(PathBox(), Qt::Key(key));
    QCOMPARE(List()->count(), 1);
    QCOMPARE(Buttons(), QStringLiteral("001"));
    // Prepare is disabled now: Enter lists nothing again.
    List()->addItem(QStringLiteral("added by the test"));
    QTest::keyClick(PathBox(), Qt::Key(key));
    QCOMPARE(List()->count(), 2);
    QCOMPARE(Buttons(), QStringLiteral("001"));
  }

  // Alt and the underlined letter press Select Folder, Prepare and Convert,
  // also from the path box, which gains no letter.
  void altAndTheUnderlinedLetterPressTheButtons() {
    QCOMPARE(Control<QPushButton>("btnSelectFolder")->text(), QStringLiteral("&Select Folder"));
    QCOMPARE(Control<QPushButton>("btnPrepare")->text(), QStringLiteral("&Prepare"));
    QCOMPARE(Control<QPushButton>("btnConvert")->text(), QStringLiteral("&Convert"));
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    repo.WriteFile("a.txt", "a");
    repo.Commit("one\n");
    const QString folder = QString::fromStdString(repo.Folder());
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    PathBox()->setText(folder);
    PathBox()->setFocus();

    // A button pressed by its accelerator shows itself pressed for a moment
    // first (QAbstractButton::animateClick), so each command is awaited.
    bool dialog_shown = false;
    QVERIFY(AnswerModal<QFileDialog>(
        [&](QFileDialog* dialog) {
          dialog_shown = true;
          dialog->reject();
        },
        [&] {
          QTest::keyClick(PathBox(), Qt::Key_S, Qt::AltModifier);
          QVERIFY(QTest::qWaitFor([&] { return dialog_shown; }));
        }));
    // A window manager activates the window again; the offscreen platform does not.
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyClick(PathBox(), Qt::Key_P, Qt::AltModifier);
    QTRY_COMPARE(Buttons(), QStringLiteral("001"));
    QCOMPARE(List()->count(), 1);
    QTest::keyClick(PathBox(), Qt::Key_C, Qt::AltModifier);
    QTRY_COMPARE(form_->windowTitle(), QStringLiteral("Pellmor - Done"));
    QCOMPARE(PathBox()->text(), folder);
  }

  void tabOrderRunsPathBoxListThenButtons() {
    const QList<QWidget*> expected = {PathBox(), List(), Control<QPushButton>("btnSelectFolder"),
                                      Control<QPushButton>("btnPrepare"),
                                      Control<QPushButton>("btnConvert")};
    QList<QWidget*> order;
    QWidget* widget = PathBox();
    do {
      if (expected.contains(widget) && !order.contains(widget)) order << widget;
      widget = widget->nextInFocusChain();
    } while (widget != PathBox());
    QCOMPARE(order, expected);
  }

  void listUsesFixedPitchThirteenPixelFontSixteenPixelItemsAndMultiSelection() {
    const QFontMetrics metrics(List()->font());
    QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'));
    QCOMPARE(List()->font().pixelSize(), 13);
    QCOMPARE(List()->selectionMode(), QAbstractItemView::ExtendedSelection);
    List()->addItem(QStringLiteral("one line\r\nwith a break\n"));
    QCOMPARE(List()->visualItemRect(List()->item(0)).height(), 16);
    // Shown on its one line with blanks for the breaks, not cut at the first break.
    const auto* delegate = qobject_cast<QStyledItemDelegate*>(List()->itemDelegate());
    QVERIFY(delegate != nullptr);
    QCOMPARE(delegate->displayText(List()->item(0)->text(), QLocale()),
             QStringLiteral("one line  with a break "));
  }

  void prepareListsCommitsOldestFirstAndReadiesTheFolder() {
    TempDir dir;
    GitRepoBuilder repo(dir / "work");
    repo.WriteFile("a.txt", "tagged");
    repo.Commit("Before the tag\n");
    repo.Tag("v1");
    repo.WriteFile("a.txt", "one");
    CommitOptions midnight;  // 2014-03-05 00:00:00 at +02:00
    midnight.Author.Seconds = 1393970400;
    midnight.Author.OffsetMinutes = 120;
    const std::string first = repo.Commit("First\n", midnight);
    repo.WriteFile("b.txt", "two");
    CommitOptions afternoon;  // 2014-03-05 14:07:09 UTC
    afternoon.Author = {"Zoë Writer", "zoe@example.org", 1394028429, 0};
    const std::string second = repo.Commit("Subject\n\nBody line\n", afternoon);

    // Blanks around the folder are no obstacle.
    const MessageSeen seen = Prepare(QString::fromStdString("  " + repo.Folder() + " "));
    QCOMPARE(seen.text, QString());
    QCOMPARE(Lines(), (QStringList{QString::fromStdString(first.substr(0, 9)) +
                                       "  2014-03-05  Ann Author (ann@example.com)  First\n",
                                   QString::fromStdString(second.substr(0, 9)) +
                                       "  2014-03-05 14:07:09  Zoë Writer (zoe@example.org)  "
                                       "Subject\n\nBody line\n"}));
    QCOMPARE(Buttons(), QStringLiteral("001"));
    QVERIFY(std::filesystem::is_directory(repo.Folder() + ".Quarv"));
    const std::string exclude = pellmor::test::ReadFile(repo.Folder() + ".git/info/exclude");
    QVERIFY2(exclude.size() >= 8 && exclude.compare(exclude.size() - 8, 8, ".Quarv\r\n") == 0,
             exclude.c_str());
  }

  // A line shows one line of text, cut at the window's edge; its tooltip
  // holds all of it, line breaks kept and markup shown as typed.
  void eachLineShowsItsWholeTextAsItsTooltip() {
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    const std::string subject = "Use <b>bold</b> & <i>more</i> for the " + std::string(300, 'x');
    repo.Commit(subject + "\r\n\r\nBody line one\nBody line two\n");
    QCOMPARE(Prepare(QString::fromStdString(repo.Folder())).text, QString());
    const QListWidgetItem* item = List()->item(0);
    QTextDocument shown;
    shown.setHtml(item->toolTip());
    QString expected = item->text().trimmed();
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QCOMPARE(shown.toPlainText(), expected);
    QVERIFY(expected.endsWith(QStringLiteral("\n\nBody line one\nBody line two")));

    // Resting the mouse on the line shows it.
    const QPoint at = List()->visualItemRect(item).center();
    QHelpEvent hover(QEvent::ToolTip, at, List()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(List()->viewport(), &hover);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), item->toolTip());
    QToolTip::hideText();
  }

  void prepareOfAnEmptyRepositoryListsNothingAndEnablesConvert() {
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    List()->addItem(QStringLiteral("left from before"));
    QCOMPARE(Prepare(QString::fromStdString(repo.Folder())).text, QString());
    QCOMPARE(List()->count(), 0);
    QCOMPARE(Buttons(), QStringLiteral("001"));
  }

  void prepareRejectsFoldersWithoutAGitFolder_data() {
    QTest::addColumn<QString>("layout");
    QTest::newRow("plain folder") << "plain";
    QTest::newRow("subfolder of a working tree") << "subfolder";
    QTest::newRow(".git is a file") << "gitfile";
  }
  void prepareRejectsFoldersWithoutAGitFolder() {
    QFETCH(QString, layout);
    TempDir dir;
    GitRepoBuilder repo(dir / "work");
    std::string folder = dir / "plain/";
    pellmor::test::WriteFile(folder + "x.txt", "x");
    if (layout == "subfolder") {
      folder = repo.Folder() + "sub/";
      repo.WriteFile("sub/x.txt", "x");
      repo.Commit("one");
    } else if (layout == "gitfile") {
      folder = dir / "linked/";
      pellmor::test::WriteFile(folder + ".git", "gitdir: " + repo.Folder() + ".git\n");
    }
    List()->addItem(QStringLiteral("left from before"));
    const MessageSeen seen = Prepare(QString::fromStdString(folder));
    QCOMPARE(seen.title, QStringLiteral("Error"));
    QCOMPARE(seen.text, QStringLiteral("Git repository is not founded."));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(Lines(), QStringList{"left from before"});
    QCOMPARE(Buttons(), QStringLiteral("110"));
    QVERIFY(!std::filesystem::exists(folder + ".Quarv"));
  }

  void prepareReportsAnExcludeFileThatCannotBeWritten() {
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    repo.Commit("one");
    std::filesystem::remove_all(repo.Folder() + ".git/info");
    List()->addItem(QStringLiteral("left from before"));
    const MessageSeen seen = Prepare(QString::fromStdString(repo.Folder()));
    QCOMPARE(seen.title, QStringLiteral("Pellmor"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.text, QString::fromStdString("Cannot create file \"" + repo.Folder() +
                                               ".git/info/exclude\". No such file or directory."));
    QCOMPARE(Lines(), QStringList{"left from before"});
    QCOMPARE(Buttons(), QStringLiteral("110"));
    QVERIFY(!std::filesystem::exists(repo.Folder() + ".Quarv"));
  }

  void prepareReportsARepositoryThatLibgit2CannotOpen() {
    TempDir dir;
    std::filesystem::create_directories(dir / "broken/.git/info");
    const MessageSeen seen = Prepare(QString::fromStdString(dir / "broken/"));
    QCOMPARE(seen.title, QStringLiteral("Pellmor"));
    QVERIFY2(seen.text.startsWith(
                 QString::fromStdString("Cannot open Git repository \"" + dir / "broken/\". ")),
             qPrintable(seen.text));
    QVERIFY2(seen.text.size() > 40 + int(dir.Path().size()), "libgit2's reason is missing");
    QCOMPARE(List()->count(), 0);
    QCOMPARE(Buttons(), QStringLiteral("110"));
  }

  void selectFolderOpensInThePathBoxFolderAndChangesItOnlyOnConfirmation() {
    TempDir dir;
    std::filesystem::create_directories(dir / "start");
    std::filesystem::create_directories(dir / "chosen");
    const QString start_text = QString::fromStdString(" " + dir / "start" + " ");
    PathBox()->setText(start_text);
    auto* select = Control<QPushButton>("btnSelectFolder");

    QString directory, label;
    QVERIFY(AnswerModal<QFileDialog>(
        [&](QFileDialog* dialog) {
          directory = dialog->directory().absolutePath();
          label = dialog->labelText(QFileDialog::FileName);
          dialog->reject();
        },
        [&] { QTest::mouseClick(select, Qt::LeftButton); }));
    QCOMPARE(directory, QString::fromStdString(dir / "start"));
    QCOMPARE(label, QStringLiteral("GIT Project Folder"));
    QCOMPARE(PathBox()->text(), start_text);

    QVERIFY(AnswerModal<QFileDialog>(
        [&](QFileDialog* dialog) {
          ConfirmInFileDialog(dialog, QString::fromStdString(dir / "chosen"));
        },
        [&] { QTest::mouseClick(select, Qt::LeftButton); }));
    QCOMPARE(PathBox()->text(), QString::fromStdString(dir / "chosen"));
  }
};

QTEST_MAIN(TForm1Test)
#include "ufrmMainTest.moc"
