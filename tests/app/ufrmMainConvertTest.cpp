// The window's Convert command on real repositories: what the caption, the
// gauge and the list show at each commit (also when the history changed since
// Prepare), the marks of converted commits and a run that converts only what
// is new, the button states however the run ends, the error box, the
// question before overwriting uncommitted work, the question on closing the
// window during a run, the revisions that reach the store, and that only the
// folder Prepare prepared is ever converted.
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/Gauges.h"
#include "app/ufrmMain.h"
#include "tests/app/FormControls.h"
#include "tests/app/ModalDialogs.h"
#include "tests/app/TestSettings.h"
#include "tests/support/GitRepoBuilder.h"
#include "tests/support/StoreRevisions.h"
#include "tests/support/TempDir.h"

using pellmor::TForm1;
using pellmor::TGauge;
using pellmor::test::AnswerModal;
using pellmor::test::GitRepoBuilder;
using pellmor::test::ReadStoreRevisions;
using pellmor::test::TempDir;

namespace {

// What the window shows when its caption changes.
struct Moment {
  QString caption;
  int percent;
  QList<int> selected;
  bool operator==(const Moment&) const = default;
};

QDebug operator<<(QDebug debug, const Moment& m) {
  return debug << "(" << m.caption << m.percent << m.selected << ")";
}

// A history of `count` commits, each adding one file.
void AddCommits(GitRepoBuilder& repo, int count) {
  static int serial = 0;
  for (int i = 0; i < count; ++i) {
    ++serial;
    repo.WriteFile("f" + std::to_string(serial) + ".txt", "file " + std::to_string(serial));
    repo.Commit("Commit " + std::to_string(serial) + "\n");
  }
}

}  // namespace

class TForm1ConvertTest : public QObject {
  Q_OBJECT

 private:
  pellmor::test::TestSettings settings_;
  std::unique_ptr<TForm1> form_;
  QList<Moment> moments_;

  template <typename T>
  T* Control(const char* name) {
    return pellmor::test::FindControl<T>(form_.get(), name);
  }
  QListWidget* List() { return Control<QListWidget>("ListBox1"); }
  TGauge* Gauge() { return Control<TGauge>("Gauge1"); }
  QLineEdit* PathBox() { return Control<QLineEdit>("Edit1"); }

  QStringList Lines() {
    QStringList lines;
    for (int i = 0; i < List()->count(); ++i) lines << List()->item(i)->text();
    return lines;
  }

  QString Buttons() { return pellmor::test::ButtonStates(form_.get()); }

  void Prepare(const std::string& folder) {
    PathBox()->setText(QString::fromStdString(folder));
    QTest::mouseClick(Control<QPushButton>("btnPrepare"), Qt::LeftButton);
  }

  // Presses Convert; answers a message box, if one shows, with `answer` and
  // returns its text.
  QString Convert(QMessageBox::StandardButton answer = QMessageBox::Ok,
                  QMessageBox::StandardButton* defaultButton = nullptr) {
    moments_.clear();
    QString text;
    AnswerModal<QMessageBox>(
        [&](QMessageBox* box) {
          text = box->text();
          if (defaultButton != nullptr) *defaultButton = box->standardButton(box->defaultButton());
          box->button(answer)->click();
        },
        [&] { QTest::mouseClick(Control<QPushButton>("btnConvert"), Qt::LeftButton); });
    return text;
  }

  static Moment At(const char* caption, int percent, QList<int> selected) {
    return {QString::fromLatin1(caption), percent, selected};
  }

 private slots:
  void init() {
    settings_.Clear();
    form_ = std::make_unique<TForm1>();
    connect(form_.get(), &QWidget::windowTitleChanged, this, [this](const QString& caption) {
      QList<int> rows;
      for (const QModelIndex& index : List()->selectionModel()->selectedRows()) rows << index.row();
      moments_ << Moment{caption, Gauge()->PercentComplete(), rows};
    });
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() { form_.reset(); }

  void convertsThreeCommitsShowingEachInTurn() {
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    AddCommits(repo, 3);
    Prepare(repo.Folder());
    QCOMPARE(Buttons(), QStringLiteral("001"));
    List()->item(1)->setSelected(true);  // a selection of the user's is cleared

    QCOMPARE(Convert(), QString());
    QCOMPARE(moments_, (QList<Moment>{At("Pellmor - Converting... 1 from 3", 33, {0}),
                                      At("Pellmor - Converting... 2 from 3", 66, {1}),
                                      At("Pellmor - Converting... 3 from 3", 100, {2}),
                                      At("Pellmor - Done", 100, {2})}));
    QCOMPARE(Buttons(), QStringLiteral("110"));
    QCOMPARE(List()->count(), 3);
    const auto revisions = ReadStoreRevisions(repo.Folder());
    QCOMPARE(revisions.size(), size_t{3});
    QCOMPARE(revisions[2].Number, 3);
    QCOMPARE(revisions[2].Files.size(), size_t{3});
    QCOMPARE(QString::fromStdString(revisions[0].Comment), QStringLiteral("Commit 1\r\n"));
  }

  // More commits than the list shows at once: the list follows the run to
  // the last line, and takes user scrolling (autoScroll) again afterwards.
  void theListFollowsTheRunPastWhatItShows() {
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    AddCommits(repo, 80);
    Prepare(repo.Folder());
    List()->scrollToTop();
    QVERIFY(!List()->viewport()->rect().intersects(List()->visualItemRect(List()->item(79))));
    QCOMPARE(Convert(), QString());
    QCOMPARE(List()->currentRow(), 79);
    QVERIFY(List()->viewport()->rect().contains(List()->visualItemRect(List()->item(79))));
    QVERIFY(List()->hasAutoScroll());
  }

  void aWalkThatYieldsNothingIsDoneAtOnce() {
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    Prepare(repo.Folder());
    QCOMPARE(Convert(), QString());
    QCOMPARE(moments_, QList<Moment>{At("Pellmor - Done", 0, {})});
    QCOMPARE(Gauge()->Progress(), 0);
    QCOMPARE(Buttons(), QStringLiteral("110"));
    QVERIFY(ReadStoreRevisions(repo.Folder()).empty());
  }

  // The revision each line is marked with, -1 for a line not converted.
  QList<int> Marks() {
    QList<int> marks;
    for (int i = 0; i < List()->count(); ++i) {
      const QVariant revision = List()->item(i)->data(TForm1::kRevisionRole);
      marks << (revision.isValid() ? revision.toInt() : -1);
    }
    return marks;
  }

  void prepareMarksTheCommitsTheStoreHoldsAndConvertConvertsTheRest() {
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    AddCommits(repo, 2);
    repo.Commit("Nothing changed\n");  // records no revision
    Prepare(repo.Folder());
    QCOMPARE(Marks(), (QList<int>{-1, -1, -1}));
    Convert();
    QCOMPARE(Marks(), (QList<int>{1, 2, 0}));  // marked as the run goes

    AddCommits(repo, 1);
    Prepare(repo.Folder());
    QCOMPARE(Marks(), (QList<int>{1, 2, 0, -1}));
    const QBrush grey = List()->palette().brush(QPalette::Disabled, QPalette::Text);
    QCOMPARE(List()->item(0)->foreground(), grey);
    QVERIFY2(List()->item(1)->toolTip().contains(QStringLiteral("Converted: revision 2")),
             qPrintable(List()->item(1)->toolTip()));
    QVERIFY(List()->item(2)->toolTip().contains(QStringLiteral("Converted: no change to record")));
    QVERIFY(List()->item(3)->foreground() != grey);
    QVERIFY(!List()->item(3)->toolTip().contains(QStringLiteral("Converted")));

    // The gauge and the caption count the new commit alone; its line is the fourth.
    Convert();
    QCOMPARE(moments_, (QList<Moment>{At("Pellmor - Converting... 1 from 1", 100, {3}),
                                      At("Pellmor - Done", 100, {3})}));
    QCOMPARE(Marks(), (QList<int>{1, 2, 0, 3}));
    const auto revisions = ReadStoreRevisions(repo.Folder());
    QCOMPARE(revisions.size(), size_t{3});
    QCOMPARE(revisions[2].Files.size(), size_t{3});

    // Up to date: nothing is converted, nothing recorded.
    Prepare(repo.Folder());
    Convert();
    QCOMPARE(moments_, QList<Moment>{At("Pellmor - Done", 0, {})});
    QCOMPARE(ReadStoreRevisions(repo.Folder()).size(), size_t{3});
    QCOMPARE(repo.Git({"status", "--porcelain"}), std::string());
  }

  void closingTheWindowDuringARunAsksWhetherToStop_data() {
    QTest::addColumn<bool>("stop");
    QTest::newRow("yes: the run stops, then the window closes") << true;
    QTest::newRow("no: the run goes on, the window stays") << false;
  }
  void closingTheWindowDuringARunAsksWhetherToStop() {
    QFETCH(bool, stop);
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    AddCommits(repo, 4);
    Prepare(repo.Folder());
    // The user closes the window as the second commit begins.
    bool closed = false;
    const QMetaObject::Connection closer =
        connect(form_.get(), &QWidget::windowTitleChanged, this, [&](const QString& caption) {
          if (closed || caption != QStringLiteral("Pellmor - Converting... 2 from 4")) return;
          closed = true;
          form_->close();
        });
    const QString question = Convert(stop ? QMessageBox::Yes : QMessageBox::No);
    disconnect(closer);
    QVERIFY2(question.startsWith(QStringLiteral("A conversion is running. Stop it")),
             qPrintable(question));
    QCOMPARE(repo.Git({"status", "--porcelain"}), std::string());
    if (!stop) {
      QVERIFY(form_->isVisible());
      QCOMPARE(form_->windowTitle(), QStringLiteral("Pellmor - Done"));
      QCOMPARE(ReadStoreRevisions(repo.Folder()).size(), size_t{4});
      return;
    }
    QVERIFY(!form_->isVisible());
    QCOMPARE(moments_.last(), At("Pellmor - Stopped", 50, {1}));
    QCOMPARE(ReadStoreRevisions(repo.Folder()).size(), size_t{2});

    // The next window goes on where the run stopped.
    init();
    Prepare(repo.Folder());
    QCOMPARE(Marks(), (QList<int>{1, 2, -1, -1}));
    Convert();
    QCOMPARE(moments_.first(), At("Pellmor - Converting... 1 from 2", 50, {2}));
    QCOMPARE(moments_.last(), At("Pellmor - Done", 100, {3}));
    QCOMPARE(ReadStoreRevisions(repo.Folder()).size(), size_t{4});
  }

  void aFailureInACommitEndsInTheErrorBoxKeepingEarlierRevisions() {
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    AddCommits(repo, 2);
    // The blob that only the second commit has goes missing.
    std::string added = repo.Git({"diff-tree", "--no-commit-id", "--name-only", "-r", "HEAD"});
    added.resize(added.find('\n'));
    std::string blob = repo.Git({"rev-parse", "HEAD:" + added});
    blob.resize(40);
    std::filesystem::remove(repo.Folder() + ".git/objects/" + blob.substr(0, 2) + "/" +
                            blob.substr(2));
    Prepare(repo.Folder());
    const QString error = Convert();
    const QString expected =
        QString::fromStdString("Cannot check out commit " + repo.RevParse("HEAD").substr(0, 9));
    QVERIFY2(error.startsWith(expected + ". "), qPrintable(error));
    QCOMPARE(Buttons(), QStringLiteral("110"));
    // The commit that failed is the last one shown.
    QCOMPARE(form_->windowTitle(), QStringLiteral("Pellmor - Converting... 2 from 2"));
    QCOMPARE(ReadStoreRevisions(repo.Folder()).size(), size_t{1});
  }

  // Commits made, undone or rewritten between Prepare and Convert: the run
  // converts the history as it is then, and the list shows it from the
  // run's start, as a new Prepare would list it.
  void theListFollowsAHistoryThatChangedSincePrepare_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("a commit more") << "commit" << QStringList{"1 from 3", "2 from 3", "3 from 3"};
    QTest::newRow("a commit less") << "reset" << QStringList{"1 from 2", "2 from 2"};
    QTest::newRow("last commit replaced") << "replace" << QStringList{"1 from 2", "2 from 2"};
  }
  void theListFollowsAHistoryThatChangedSincePrepare() {
    QFETCH(QString, change);
    QFETCH(QStringList, captions);
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    AddCommits(repo, change == "reset" ? 3 : 2);
    Prepare(repo.Folder());
    if (change == "commit") AddCommits(repo, 1);
    if (change != "commit") repo.Git({"reset", "-q", "--hard", "HEAD~1"});
    if (change == "replace") AddCommits(repo, 1);

    QCOMPARE(Convert(), QString());
    QList<Moment> expected;
    for (int i = 0; i < captions.size(); ++i) {
      const int percent = (i + 1) * 100 / captions[i].section(' ', -1).toInt();
      expected << Moment{"Pellmor - Converting... " + captions[i], percent, {i}};
    }
    expected << Moment{QStringLiteral("Pellmor - Done"), 100, {int(captions.size()) - 1}};
    QCOMPARE(moments_, expected);
    QCOMPARE(Gauge()->PercentComplete(), 100);
    QCOMPARE(ReadStoreRevisions(repo.Folder()).size(), size_t(captions.size()));
    const QStringList shown = Lines();
    QCOMPARE(shown.size(), captions.size());
    Prepare(repo.Folder());
    QCOMPARE(shown, Lines());
  }

  // Convert works on the folder that Prepare prepared: once the path box
  // names another folder, Convert waits for a Prepare of that one (also
  // when the path box is set back), and is not run by a direct call either.
  void namingAnotherFolderAfterPrepareTakesThePreparationBack() {
    TempDir dir;
    GitRepoBuilder prepared(dir / "prepared");
    AddCommits(prepared, 2);
    GitRepoBuilder other(dir / "other");
    AddCommits(other, 2);
    Prepare(prepared.Folder());

    PathBox()->setText(QString::fromStdString(" " + prepared.Folder() + " "));
    QCOMPARE(Buttons(), QStringLiteral("001"));  // the same folder
    PathBox()->setText(QString::fromStdString(other.Folder()));
    QCOMPARE(Buttons(), QStringLiteral("110"));
    PathBox()->setText(QString::fromStdString(prepared.Folder()));
    QCOMPARE(Buttons(), QStringLiteral("110"));
    form_->btnConvertClick();
    QCOMPARE(form_->windowTitle(), QStringLiteral("Pellmor"));
    QVERIFY(ReadStoreRevisions(prepared.Folder()).empty());
    QVERIFY(!std::filesystem::exists(other.Folder() + ".Quarv"));
    QVERIFY(!std::filesystem::exists(other.Folder() + ".git/info/exclude") ||
            pellmor::test::ReadFile(other.Folder() + ".git/info/exclude").find(".Quarv") ==
                std::string::npos);

    Prepare(other.Folder());
    QCOMPARE(Convert(), QString());
    QCOMPARE(ReadStoreRevisions(other.Folder()).size(), size_t{2});
    QVERIFY(ReadStoreRevisions(prepared.Folder()).empty());
  }

  // The path box changed while Prepare was listing: the listing finishes,
  // but Convert is not enabled for a folder the path box no longer names.
  void namingAnotherFolderWhilePrepareListsLeavesConvertDisabled() {
    TempDir dir;
    GitRepoBuilder prepared(dir / "prepared");
    AddCommits(prepared, 2);
    const QString other = QString::fromStdString(dir / "other/");
    const QMetaObject::Connection edit = connect(List()->model(), &QAbstractItemModel::rowsInserted,
                                                 this, [&] { PathBox()->setText(other); });
    Prepare(prepared.Folder());
    disconnect(edit);
    QCOMPARE(List()->count(), 2);
    QCOMPARE(PathBox()->text(), other);
    QCOMPARE(Buttons(), QStringLiteral("110"));
    form_->btnConvertClick();
    QVERIFY(ReadStoreRevisions(prepared.Folder()).empty());
  }

  // A run keeps to the prepared folder whatever the path box says meanwhile
  // (here while the run asks about uncommitted changes).
  void aRunConvertsThePreparedFolderWhateverThePathBoxSaysMeanwhile() {
    TempDir dir;
    GitRepoBuilder prepared(dir / "prepared");
    AddCommits(prepared, 2);
    prepared.WriteFile(prepared.Git({"ls-files"}).substr(0, 6), "unsaved");
    GitRepoBuilder other(dir / "other");
    AddCommits(other, 1);
    Prepare(prepared.Folder());

    AnswerModal<QMessageBox>(
        [&](QMessageBox* box) {
          PathBox()->setText(QString::fromStdString(other.Folder()));
          box->button(QMessageBox::Yes)->click();
        },
        [&] { QTest::mouseClick(Control<QPushButton>("btnConvert"), Qt::LeftButton); });
    QCOMPARE(form_->windowTitle(), QStringLiteral("Pellmor - Done"));
    QCOMPARE(ReadStoreRevisions(prepared.Folder()).size(), size_t{2});
    QVERIFY(!std::filesystem::exists(other.Folder() + ".Quarv"));
    QCOMPARE(Buttons(), QStringLiteral("110"));
  }

  void asksBeforeOverwritingUncommittedChanges() {
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    AddCommits(repo, 2);
    std::string tracked = repo.Git({"ls-files"});
    tracked.resize(tracked.find('\n'));
    repo.WriteFile(tracked, "my unsaved work");
    Prepare(repo.Folder());

    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
    const QString question = Convert(QMessageBox::No, &default_button);
    QVERIFY2(question.contains(QString::fromStdString("\n  " + tracked + "\n")),
             qPrintable(question));
    QCOMPARE(default_button, QMessageBox::No);
    QCOMPARE(Buttons(), QStringLiteral("110"));
    QCOMPARE(form_->windowTitle(), QStringLiteral("Pellmor"));
    QCOMPARE(pellmor::test::ReadFile(repo.Folder() + tracked), std::string("my unsaved work"));
    QVERIFY(ReadStoreRevisions(repo.Folder()).empty());

    Prepare(repo.Folder());
    Convert(QMessageBox::Yes);
    QCOMPARE(form_->windowTitle(), QStringLiteral("Pellmor - Done"));
    QCOMPARE(ReadStoreRevisions(repo.Folder()).size(), size_t{2});
  }
};

QTEST_MAIN(TForm1ConvertTest)
#include "ufrmMainConvertTest.moc"
