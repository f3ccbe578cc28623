#include "app/ufrmMain.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <exception>

#include "app/ErrorBox.h"
#include "app/Gauges.h"
#include "app/uMyDialog.h"
#include "convert/StoreFolder.h"
#include "convert/uConversionRun.h"
#include "foundation/Exception.h"
#include "git/uCommitLine.h"
#include "git/uGitLibrary.h"
#include "git/uGitWorkingFolder.h"

namespace pellmor {

namespace {

// The client area at start, and the margins that the stretching controls
// keep to the right and bottom edges.
constexpr int kClientWidth = 1078;
constexpr int kClientHeight = 484;
constexpr int kRightMargin = 9;
constexpr int kBottomMargin = 11;
constexpr int kTopRow = 8;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 5;
constexpr int kLeft = 16;
constexpr int kPathBoxTop = 40;
constexpr int kPathBoxHeight = 21;
constexpr int kListTop = 64;
constexpr int kListFontPixels = 13;
constexpr int kListItemHeight = 16;

// Shows each commit on one 16-pixel line: the item keeps the message's line
// breaks, the display shows them as blanks.
class TCommitLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  // Replaces what Qt would show: a line break in a list line becomes a line
  // separator there, which the one-line item cuts off with an ellipsis.
  QString displayText(const QVariant& value, const QLocale&) const override {
    QString text = value.toString();
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem single = option;
    initStyleOption(&single, index);
    return {single.fontMetrics.horizontalAdvance(single.text) + 8, kListItemHeight};
  }
};

// Shows a conversion run in the window: the gauge steps, the commit's line is
// selected and the caption counts, all repainted at once; pending events are
// processed after each commit, while the command buttons stay disabled.
class TWindowProgress : public TConversionProgress {
 public:
  TWindowProgress(QWidget* form, TGauge* gauge, QListWidget* list)
      : form_(form), gauge_(gauge), list_(list) {}

  bool ConfirmOverwrite(const std::vector<std::string>& files) override {
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Pellmor"),
        QString::fromStdString("The working folder holds uncommitted changes that converting would "
                               "overwrite:\n\n" +
                               OverwrittenFilesText(files) + "\nConvert anyway?"),
        QMessageBox::Yes | QMessageBox::No, form_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  }

  void CommitBegun(int number) override {
    gauge_->StepProgress(1);
    gauge_->repaint();
    list_->clearSelection();
    // More commits than listed lines: the repository changed since Prepare.
    const int line = number - 1;
    if (line >= list_->count()) throw Exception(Format("List index out of bounds (%d)", line));
    list_->setCurrentRow(line, QItemSelectionModel::ClearAndSelect);
    list_->repaint();
    form_->setWindowTitle(QString::fromStdString(
        Format("Pellmor - Converting... %d from %d", number, gauge_->MaxValue())));
    form_->repaint();
  }

  void CommitDone(int, const TGitCommitInfo&, int) override { QCoreApplication::processEvents(); }

 private:
  QWidget* form_;
  TGauge* gauge_;
  QListWidget* list_;
};

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

// The usual button width, or more when the caption needs it in the desktop's
// font (which is often larger than the font these sizes were made for).
int ButtonWidth(const QPushButton* button) {
  const QStyle* style = button->style();
  const int frame = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                    2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
  return std::max(kButtonWidth, button->fontMetrics().horizontalAdvance(button->text()) + frame);
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Form1"));
  resize(kClientWidth, kClientHeight);
  CreateControls();
  SetTabOrder();
  ConnectEvents();
  FormCreate();
}

void TForm1::CreateControls() {
  Gauge1 = new TGauge(this);
  Gauge1->setObjectName(QStringLiteral("Gauge1"));

  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));

  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  QFont list_font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  list_font.setPixelSize(kListFontPixels);
  ListBox1->setFont(list_font);
  ListBox1->setItemDelegate(new TCommitLineDelegate(ListBox1));
  ListBox1->setUniformItemSizes(true);
  ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);

  btnSelectFolder = MakeButton(this, "btnSelectFolder", "Select Folder");
  btnPrepare = MakeButton(this, "btnPrepare", "Prepare");
  btnConvert = MakeButton(this, "btnConvert", "Convert");
  btnConvert->setEnabled(false);
  PlaceControls();
}

void TForm1::SetTabOrder() {
  setTabOrder(Edit1, ListBox1);
  setTabOrder(ListBox1, btnSelectFolder);
  setTabOrder(btnSelectFolder, btnPrepare);
  setTabOrder(btnPrepare, btnConvert);
}

void TForm1::ConnectEvents() {
  connect(btnSelectFolder, &QPushButton::clicked, this, &TForm1::btnSelectFolderClick);
  connect(btnPrepare, &QPushButton::clicked, this, &TForm1::btnPrepareClick);
  connect(btnConvert, &QPushButton::clicked, this, &TForm1::btnConvertClick);
}

void TForm1::FormCreate() {
  setWindowTitle(QStringLiteral("Pellmor"));
  Edit1->setText(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceControls();
}

void TForm1::PlaceControls() {
  const int right = width() - kRightMargin;
  // The buttons side by side from the left, then the gauge up to the right edge.
  int left = kLeft;
  for (QPushButton* button : {btnSelectFolder, btnPrepare, btnConvert}) {
    button->setGeometry(left, kTopRow, ButtonWidth(button), kButtonHeight);
    left += button->width() + kButtonGap;
  }
  Gauge1->setGeometry(left, kTopRow, std::max(right - left, 0), kButtonHeight);
  Edit1->setGeometry(kLeft, kPathBoxTop, std::max(right - kLeft, 0), kPathBoxHeight);
  ListBox1->setGeometry(kLeft, kListTop, std::max(right - kLeft, 0),
                        std::max(height() - kBottomMargin - kListTop, 0));
}

void TForm1::SetCommandsEnabled(bool selectFolder, bool prepare, bool convert) {
  btnSelectFolder->setEnabled(selectFolder);
  btnPrepare->setEnabled(prepare);
  btnConvert->setEnabled(convert);
}

std::string TForm1::GetRepositoryFolder() const {
  return RepositoryFolder(Edit1->text().toStdString());
}

void TForm1::btnSelectFolderClick() {
  TFileOpenDialog dialog(this);
  dialog.FileNameLabel = QStringLiteral("GIT Project Folder");
  dialog.DefaultFolder = Edit1->text().trimmed();
  dialog.Options = fdoPickFolders;
  if (dialog.Execute()) Edit1->setText(dialog.FileName);
}

void TForm1::btnPrepareClick() {
  SetCommandsEnabled(false, false, false);
  setWindowTitle(QStringLiteral("Pellmor"));
  try {
    const std::string folder = GetRepositoryFolder();
    if (!HasGitFolder(folder)) {
      QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                      QString::fromLatin1(kGitRepositoryNotFound), QMessageBox::Ok, this);
      box.exec();
      SetCommandsEnabled(true, true, false);
      return;
    }
    PrepareStoreFolder(folder);
    ListCommits();
  } catch (const std::exception& e) {
    // Another Prepare must stay possible; Convert needs a complete listing.
    SetCommandsEnabled(true, true, false);
    ShowErrorBox(this, QString::fromStdString(e.what()));
    return;
  }
  SetCommandsEnabled(false, false, true);
}

void TForm1::btnConvertClick() {
  SetCommandsEnabled(false, false, false);
  try {
    Gauge1->SetMaxValue(ListBox1->count());
    Gauge1->SetProgress(0);
    ListBox1->clearSelection();
    TWindowProgress progress(this, Gauge1, ListBox1);
    if (!RunConversion(GetRepositoryFolder(), progress).Cancelled)
      setWindowTitle(QStringLiteral("Pellmor - Done"));
  } catch (const std::exception& e) {
    SetCommandsEnabled(true, true, false);
    ShowErrorBox(this, QString::fromStdString(e.what()));
    return;
  }
  SetCommandsEnabled(true, true, false);
}

void TForm1::ListCommits() {
  ListBox1->clear();
  // The checked folder, not the text as typed: blanks around it would send
  // libgit2 to a folder that does not exist.
  const std::unique_ptr<TCommitWalk> walk = OpenCommitWalk(GetRepositoryFolder());
  git_oid id;
  while (walk->Next(id)) {
    const TGitCommit commit = LookupCommit(walk->Repository(), id);
    ListBox1->addItem(QString::fromStdString(CommitListLine(ReadCommit(commit.get()))));
    // Lets the list repaint and grow while the walk runs.
    QCoreApplication::processEvents();
  }
}

}  // namespace pellmor
