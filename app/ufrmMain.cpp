#include "app/ufrmMain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <utility>

#include "app/ErrorBox.h"
#include "app/Gauges.h"
#include "app/StartFolder.h"
#include "app/uMyDialog.h"
#include "convert/ConversionPlan.h"
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
// At the smallest size: the gauge's width and the list's lines.
constexpr int kMinGaugeWidth = 60;
constexpr int kMinListLines = 3;
// Room for the window manager's frame around the first size, which the
// window cannot know before it is shown.
constexpr QSize kFrameAllowance(16, 48);

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

// The whole line as the list item's tooltip: the list shows one line per
// commit, cut where the window ends. Rich text only to keep the message's
// line breaks; the line itself is escaped, so a message is never markup.
QString CommitLineToolTip(QString line) {
  line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return QStringLiteral("<p style=\"white-space:pre-wrap\">") + line.trimmed().toHtmlEscaped() +
         QStringLiteral("</p>");
}

// A commit's line: its text, the whole text as tooltip, and, for a commit
// the store holds, greyed with the revision it was converted into.
void ShowCommit(QListWidgetItem* item, const TPlannedCommit& commit) {
  const QString line = QString::fromStdString(CommitListLine(commit.Info));
  item->setText(line);
  QString tip = CommitLineToolTip(line);
  if (!commit.Converted()) {
    item->setData(TForm1::kRevisionRole, QVariant());
    item->setData(Qt::ForegroundRole, QVariant());
  } else {
    item->setData(TForm1::kRevisionRole, commit.Revision);
    item->setForeground(item->listWidget()->palette().brush(QPalette::Disabled, QPalette::Text));
    tip += commit.Revision > 0
               ? QStringLiteral("<p>Converted: revision %1</p>").arg(commit.Revision)
               : QStringLiteral("<p>Converted: no change to record</p>");
  }
  item->setToolTip(tip);
}

// How often a long task (listing the commits, converting them) lets the
// window repaint and handle events.
constexpr auto kRefreshInterval = std::chrono::milliseconds(100);

// Makes the list show the plan's commits, one line each in walk order.
// processEvents: let the list repaint and grow while it fills, as often as
// the eye can follow.
void ShowPlan(QListWidget* list, const TConversionPlan& plan, bool processEvents) {
  const int count = plan.CommitCount();
  std::optional<std::chrono::steady_clock::time_point> refreshed;
  for (int i = 0; i < count; ++i) {
    QListWidgetItem* item = i < list->count() ? list->item(i) : new QListWidgetItem(list);
    ShowCommit(item, plan.Commits[static_cast<size_t>(i)]);
    if (!processEvents) continue;
    const auto now = std::chrono::steady_clock::now();
    if (refreshed && now - *refreshed < kRefreshInterval) continue;
    refreshed = now;
    QCoreApplication::processEvents();
  }
  while (list->count() > count) delete list->item(list->count() - 1);
}

// Shows a conversion run in the window: the gauge steps, the commit's line is
// selected and the caption counts at every commit. What changed is painted,
// and pending events are processed (the command buttons stay disabled), at
// the first commit and then at most every kRefreshInterval: a run of many
// fast commits must not spend its time painting what no one can see.
class TWindowProgress : public TConversionProgress {
 public:
  TWindowProgress(QWidget* form, TGauge* gauge, QListWidget* list, const bool& stop)
      : form_(form), gauge_(gauge), list_(list), stop_(stop), autoScroll_(list->hasAutoScroll()) {
    // The list scrolls to the commit's line when it is painted, not at
    // every commit: scrolling moves the whole view each time.
    list_->setAutoScroll(false);
  }
  TWindowProgress(const TWindowProgress&) = delete;
  TWindowProgress& operator=(const TWindowProgress&) = delete;
  ~TWindowProgress() override {
    list_->setAutoScroll(autoScroll_);
    if (QListWidgetItem* current = list_->currentItem()) list_->scrollToItem(current);
  }

  void Planned(const TConversionPlan& plan) override {
    // The list follows the walk: the repository may have gained or rewritten
    // commits since Prepare listed them.
    plan_ = &plan;
    ShowPlan(list_, plan, false);
    gauge_->SetMaxValue(plan.ToConvert());
    gauge_->SetProgress(0);
    for (const std::string& warning : plan.Warnings())
      QMessageBox(QMessageBox::Warning, QStringLiteral("Pellmor"), QString::fromStdString(warning),
                  QMessageBox::Ok, form_)
          .exec();
  }

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

  void CommitBegun(int number, int position, const TGitCommitInfo&) override {
    line_ = position;
    gauge_->StepProgress(1);
    // The user's own selection goes too (ClearAndSelect).
    list_->setCurrentRow(line_, QItemSelectionModel::ClearAndSelect);
    form_->setWindowTitle(QString::fromStdString(
        Format("Pellmor - Converting... %d from %d", number, gauge_->MaxValue())));
    const auto now = std::chrono::steady_clock::now();
    if (refreshed_ && now - *refreshed_ < kRefreshInterval) return;
    refreshed_ = now;
    list_->scrollToItem(list_->item(line_));
    // Only what changed since the last refresh is painted (the gauge, the
    // lines whose selection moved, the scroll bar): a repaint of the whole
    // window cost the run more than its checkouts.
    QCoreApplication::processEvents();
  }

  void CommitDone(int, const TGitCommitInfo&, int) override {
    // The plan holds the commit's revision now.
    ShowCommit(list_->item(line_), plan_->Commits[static_cast<size_t>(line_)]);
  }

  bool StopRequested() override { return stop_; }

 private:
  QWidget* form_;
  TGauge* gauge_;
  QListWidget* list_;
  const bool& stop_;
  const bool autoScroll_;                  // the list's own, given back at the end
  const TConversionPlan* plan_ = nullptr;  // the run's, while it runs
  int line_ = 0;
  std::optional<std::chrono::steady_clock::time_point> refreshed_;  // none before the first
};

// caption: with '&' before the letter of the button's accelerator (Alt+letter).
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
  const int caption = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width();
  return std::max(kButtonWidth, caption + frame);
}

}  // namespace

TForm1::TForm1(const QString& folder, QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Form1"));
  CreateControls();
  setMinimumSize(MinimumClientSize());
  resize(FirstClientSize());
  SetTabOrder();
  ConnectEvents();
  FormCreate(folder);
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

  btnSelectFolder = MakeButton(this, "btnSelectFolder", "&Select Folder");
  btnPrepare = MakeButton(this, "btnPrepare", "&Prepare");
  btnConvert = MakeButton(this, "btnConvert", "&Convert");
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
  // click() does nothing while Prepare is disabled.
  connect(Edit1, &QLineEdit::returnPressed, btnPrepare, &QPushButton::click);
  connect(Edit1, &QLineEdit::textChanged, this, &TForm1::Edit1Change);
}

void TForm1::FormCreate(const QString& folder) {
  setWindowTitle(QStringLiteral("Pellmor"));
  Edit1->setText(StartFolder(folder));
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

QSize TForm1::MinimumClientSize() const {
  const int gauge_left = btnConvert->geometry().right() + 1 + kButtonGap;
  const int list_height = 2 * ListBox1->frameWidth() + kMinListLines * kListItemHeight +
                          style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ListBox1);
  return {gauge_left + kMinGaugeWidth + kRightMargin, kListTop + list_height + kBottomMargin};
}

QSize TForm1::FirstClientSize() const {
  const QSize available = screen()->availableGeometry().size() - kFrameAllowance;
  return QSize(kClientWidth, kClientHeight).boundedTo(available).expandedTo(minimumSize());
}

void TForm1::Edit1Change() {
  if (prepared_folder_.empty() || GetRepositoryFolder() == prepared_folder_) return;
  prepared_folder_.clear();
  SetCommandsEnabled(true, true, false);
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
  prepared_folder_.clear();
  setWindowTitle(QStringLiteral("Pellmor"));
  const std::string folder = GetRepositoryFolder();
  try {
    if (!HasGitFolder(folder)) {
      QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                      QString::fromLatin1(kGitRepositoryNotFound), QMessageBox::Ok, this);
      box.exec();
      SetCommandsEnabled(true, true, false);
      return;
    }
    PrepareStoreFolder(folder);
    ListCommits(folder);
  } catch (const std::exception& e) {
    // Another Prepare must stay possible; Convert needs a complete listing.
    SetCommandsEnabled(true, true, false);
    ShowErrorBox(this, QString::fromStdString(e.what()));
    return;
  }
  RememberPreparedFolder(QString::fromStdString(folder));
  // The path box may have been changed while the commits were listed.
  if (GetRepositoryFolder() != folder) {
    SetCommandsEnabled(true, true, false);
    return;
  }
  prepared_folder_ = folder;
  SetCommandsEnabled(false, false, true);
}

void TForm1::btnConvertClick() {
  if (prepared_folder_.empty()) return;
  const std::string folder = std::exchange(prepared_folder_, std::string());
  SetCommandsEnabled(false, false, false);
  running_ = true;
  stopRequested_ = false;
  QString error;
  try {
    Gauge1->SetProgress(0);
    ListBox1->clearSelection();
    TWindowProgress progress(this, Gauge1, ListBox1, stopRequested_);
    const TConversionSummary summary = RunConversion(folder, progress);
    if (summary.Stopped)
      setWindowTitle(QStringLiteral("Pellmor - Stopped"));
    else if (!summary.Cancelled)
      setWindowTitle(QStringLiteral("Pellmor - Done"));
  } catch (const std::exception& e) {
    error = QString::fromStdString(e.what());
  }
  running_ = false;
  SetCommandsEnabled(true, true, false);
  if (!error.isEmpty()) ShowErrorBox(this, error);
  if (closeAfterRun_) {
    closeAfterRun_ = false;
    close();
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!running_) {
    QWidget::closeEvent(event);
    return;
  }
  event->ignore();
  if (stopRequested_) return;  // asked already: the run is stopping
  QMessageBox box(QMessageBox::Question, QStringLiteral("Pellmor"),
                  QStringLiteral("A conversion is running. Stop it after the commit under way?\n\n"
                                 "The commits converted so far stay in the store, the working "
                                 "folder goes back to HEAD, and the next Convert goes on from "
                                 "there."),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  if (box.exec() != QMessageBox::Yes) return;
  stopRequested_ = true;
  closeAfterRun_ = true;
}

void TForm1::ListCommits(const std::string& folder) {
  // The checked folder, not the text as typed: blanks around it would send
  // libgit2 to a folder that does not exist.
  ListBox1->clear();
  ShowPlan(ListBox1, TConversionPlan(folder), true);
}

}  // namespace pellmor
