// TGauge: the window's progress gauge, a horizontal bar painted by the
// program (black on white) with its percentage centred on it.
//
// MinValue <= Progress <= MaxValue always holds. Changes repaint through the
// event loop (update()); a caller that must see the bar at once calls repaint().
#pragma once

#include <QWidget>

namespace pellmor {

class TGauge : public QWidget {
  Q_OBJECT

 public:
  explicit TGauge(QWidget* parent = nullptr);

  int MinValue() const { return min_value_; }
  // Refuses a value above MaxValue with "Value must be between %d and %d"
  // (the smallest 32-bit integer and MaxValue - 1); raises Progress to it.
  void SetMinValue(int value);

  int MaxValue() const { return max_value_; }
  // Refuses a value below MinValue with "Value must be between %d and %d"
  // (MinValue + 1 and the largest 32-bit integer); lowers Progress to it.
  void SetMaxValue(int value);

  int Progress() const { return progress_; }
  // Stores value clamped to [MinValue, MaxValue]; repaints only when
  // PercentComplete changed.
  void SetProgress(int value);
  // Progress + n, clamped as SetProgress; always repaints.
  void StepProgress(int n);

  // (Progress - MinValue) * 100 / (MaxValue - MinValue), truncated toward
  // zero (1 of 3 is 33); 0 when MaxValue equals MinValue.
  int PercentComplete() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Stores a progress already within range; repaints when the percentage changed.
  void StoreProgress(int value);

  int min_value_ = 0;
  int max_value_ = 100;
  int progress_ = 0;
};

}  // namespace pellmor
