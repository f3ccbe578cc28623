#include "app/Gauges.h"

#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "foundation/Exception.h"

namespace pellmor {

namespace {

// The bar and the text on the background, and the text on the bar.
constexpr Qt::GlobalColor kForeColor = Qt::black;
constexpr Qt::GlobalColor kBackColor = Qt::white;

[[noreturn]] void RaiseOutOfRange(int64_t lowest, int64_t highest) {
  throw Exception(Format("Value must be between %lld and %lld", static_cast<long long>(lowest),
                         static_cast<long long>(highest)));
}

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {}

void TGauge::SetMinValue(int value) {
  if (value == min_value_) return;
  if (value > max_value_) RaiseOutOfRange(INT_MIN, int64_t{max_value_} - 1);
  min_value_ = value;
  progress_ = std::max(progress_, value);
  update();
}

void TGauge::SetMaxValue(int value) {
  if (value == max_value_) return;
  if (value < min_value_) RaiseOutOfRange(int64_t{min_value_} + 1, INT_MAX);
  max_value_ = value;
  progress_ = std::min(progress_, value);
  update();
}

void TGauge::SetProgress(int value) { StoreProgress(std::clamp(value, min_value_, max_value_)); }

void TGauge::StepProgress(int n) {
  const int64_t target = std::clamp<int64_t>(int64_t{progress_} + n, min_value_, max_value_);
  StoreProgress(static_cast<int>(target));
  update();
}

void TGauge::StoreProgress(int value) {
  const int before = PercentComplete();
  progress_ = value;
  if (PercentComplete() != before) update();
}

int TGauge::PercentComplete() const {
  if (max_value_ == min_value_) return 0;
  const double done = static_cast<double>(int64_t{progress_} - min_value_);
  const double range = static_cast<double>(int64_t{max_value_} - min_value_);
  return static_cast<int>(std::trunc(done * 100 / range));
}

void TGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Qt::black);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  const QRect area = rect().adjusted(1, 1, -1, -1);
  painter.fillRect(area, kBackColor);
  const int percent = PercentComplete();
  const int bar_width =
      static_cast<int>(std::min<double>(area.width(), std::trunc(area.width() * percent * 0.01)));
  const QRect bar(area.left(), area.top(), std::max(bar_width, 0), area.height());
  if (bar_width >= 1) painter.fillRect(bar, kForeColor);
  // The text takes the other colour on each side of the bar's edge, so that
  // it reads on the bar and on the background alike.
  const QString text = QString::asprintf("%d%%", percent);
  painter.setClipRegion(QRegion(area).subtracted(bar));
  painter.setPen(kForeColor);
  painter.drawText(area, Qt::AlignCenter, text);
  if (bar_width >= 1) {
    painter.setClipRect(bar);
    painter.setPen(kBackColor);
    painter.drawText(area, Qt::AlignCenter, text);
  }
}

}  // namespace pellmor
