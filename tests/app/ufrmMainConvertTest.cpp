// The window's Convert command on real repositories: what the caption, the
// gauge and the list show at each commit, the button states however the run
// ends, the error box, the question before overwriting uncommitted work, and
// the revisions that reach the store.
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
  std::unique_ptr<TForm1> form_;
  QList<Moment> moments_;

  template <typename T>
  T* Control(const char* name) {
    return pellmor::test::FindControl<T>(form_.get(), name);
  }
  QListWidget* List() { return Control<QListWidget>("ListBox1"); }
  TGauge* Gauge() { return Control<TGauge>("Gauge1"); }

  QString Buttons() { return pellmor::test::ButtonStates(form_.get()); }

  void Prepare(const std::string& folder) {
    Control<QLineEdit>("Edit1")->setText(QString::fromStdString(folder));
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

  void aSecondRunAfterPrepareStartsAtZeroAndRecordsFurtherRevisions() {
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    AddCommits(repo, 2);
    Prepare(repo.Folder());
    Convert();
    Prepare(repo.Folder());
    QCOMPARE(Buttons(), QStringLiteral("001"));
    Convert();
    QCOMPARE(moments_.first(), At("Pellmor - Converting... 1 from 2", 50, {0}));
    QCOMPARE(moments_.last(), At("Pellmor - Done", 100, {1}));
    QCOMPARE(ReadStoreRevisions(repo.Folder()).size(), size_t{4});
  }

  void aFailureInACommitEndsInTheErrorBoxKeepingEarlierRevisions_data() {
    QTest::addColumn<QString>("fault");
    QTest::newRow("checkout fails") << "checkout";
    QTest::newRow("more commits than listed lines") << "unlisted";
  }
  void aFailureInACommitEndsInTheErrorBoxKeepingEarlierRevisions() {
    QFETCH(QString, fault);
    TempDir dir;
    GitRepoBuilder repo(dir.Path());
    AddCommits(repo, 2);
    QString expected;
    if (fault == "checkout") {
      // The blob that only the second commit has goes missing.
      std::string blob =
          repo.Git({"rev-parse",
                    "HEAD:" + repo.Git({"diff-tree", "--no-commit-id", "--name-only", "-r", "HEAD"})
                                  .substr(0, 6)});
      blob.resize(40);
      std::filesystem::remove(repo.Folder() + ".git/objects/" + blob.substr(0, 2) + "/" +
                              blob.substr(2));
      expected = QString::fromStdString("Cannot check out commit " +
                                        repo.RevParse("HEAD").substr(0, 9) + ". ");
      Prepare(repo.Folder());
    } else {
      Prepare(repo.Folder());
      AddCommits(repo, 1);
      expected = QStringLiteral("List index out of bounds (2)");
    }
    const QString error = Convert();
    QVERIFY2(error.startsWith(expected), qPrintable(error));
    QCOMPARE(Buttons(), QStringLiteral("110"));
    // The commit that failed is the last one shown (an unlisted one never is).
    QCOMPARE(form_->windowTitle(), QStringLiteral("Pellmor - Converting... 2 from 2"));
    QCOMPARE(ReadStoreRevisions(repo.Folder()).size(), size_t{fault == "checkout" ? 1u : 2u});
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
