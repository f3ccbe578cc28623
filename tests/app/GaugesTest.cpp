// The progress gauge: its percentages, the limits it keeps, when it repaints,
// and what it paints.
#include <QImage>
#include <QtTest>
#include <climits>

#include "app/Gauges.h"
#include "foundation/Exception.h"

using pellmor::TGauge;

namespace {

// Counts the paint events that a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

QString ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const pellmor::Exception& e) {
    return QString::fromUtf8(e.what());
  }
  return QString();
}

QImage Render(TGauge& gauge) {
  QImage image(gauge.size(), QImage::Format_RGB32);
  image.fill(Qt::red);
  gauge.render(&image);
  return image;
}

}  // namespace

class TGaugeTest : public QObject {
  Q_OBJECT

 private slots:
  void percentCompleteIsTruncated_data() {
    QTest::addColumn<int>("minValue");
    QTest::addColumn<int>("maxValue");
    QTest::addColumn<int>("progress");
    QTest::addColumn<int>("percent");
    QTest::newRow("1 of 3") << 0 << 3 << 1 << 33;
    QTest::newRow("2 of 3") << 0 << 3 << 2 << 66;
    QTest::newRow("3 of 3") << 0 << 3 << 3 << 100;
    QTest::newRow("above the maximum is clamped") << 0 << 3 << 7 << 100;
    QTest::newRow("below the minimum is clamped") << 10 << 20 << -5 << 0;
    QTest::newRow("maximum equals minimum") << 0 << 0 << 0 << 0;
    QTest::newRow("negative range") << -10 << -4 << -8 << 33;
    QTest::newRow("whole 32-bit range") << INT_MIN << INT_MAX << 0 << 50;
  }
  void percentCompleteIsTruncated() {
    QFETCH(int, minValue);
    QFETCH(int, maxValue);
    QFETCH(int, progress);
    QFETCH(int, percent);
    TGauge gauge;
    if (minValue < 0) gauge.SetMinValue(minValue);
    gauge.SetMaxValue(maxValue);
    gauge.SetMinValue(minValue);
    gauge.SetProgress(progress);
    QCOMPARE(gauge.PercentComplete(), percent);
    QVERIFY(gauge.MinValue() <= gauge.Progress() && gauge.Progress() <= gauge.MaxValue());
  }

  void stepsStopAtTheMaximum() {
    TGauge gauge;
    gauge.SetMaxValue(3);
    QList<int> seen;
    for (int i = 0; i < 4; ++i) {
      gauge.StepProgress(1);
      seen << gauge.PercentComplete();
    }
    QCOMPARE(seen, (QList<int>{33, 66, 100, 100}));
    gauge.StepProgress(INT_MAX);
    QCOMPARE(gauge.Progress(), 3);
    gauge.StepProgress(INT_MIN);
    QCOMPARE(gauge.Progress(), 0);
  }

  void limitsRefuseAnInvertedRangeAndPullProgressAlong() {
    TGauge gauge;
    gauge.SetMaxValue(10);
    gauge.SetProgress(8);
    gauge.SetMaxValue(5);
    QCOMPARE(gauge.Progress(), 5);
    gauge.SetMinValue(2);
    gauge.SetProgress(3);
    QCOMPARE(ErrorOf([&] { gauge.SetMaxValue(1); }),
             QStringLiteral("Value must be between 3 and 2147483647"));
    QCOMPARE(ErrorOf([&] { gauge.SetMinValue(6); }),
             QStringLiteral("Value must be between -2147483648 and 4"));
    QCOMPARE(gauge.MaxValue(), 5);
    QCOMPARE(gauge.MinValue(), 2);
    gauge.SetMaxValue(2);  // an empty range is allowed
    QCOMPARE(gauge.Progress(), 2);
    QCOMPARE(gauge.PercentComplete(), 0);
    gauge.SetMaxValue(20);
    gauge.SetMinValue(4);
    QCOMPARE(gauge.Progress(), 4);
  }

  void repaintsWhenThePercentageChangesOrOnAStep() {
    TGauge gauge;
    gauge.resize(200, 25);
    gauge.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gauge));
    gauge.SetMaxValue(1000);
    QCoreApplication::processEvents();
    PaintCounter paints(&gauge);
    const auto paintsAfter = [&](const std::function<void()>& change) {
      paints.count = 0;
      change();
      QCoreApplication::processEvents();
      return paints.count;
    };
    QCOMPARE(paintsAfter([&] { gauge.SetProgress(5); }), 0);  // still 0%
    QCOMPARE(paintsAfter([&] { gauge.SetProgress(10); }), 1);  // 1%
    QCOMPARE(paintsAfter([&] { gauge.SetProgress(11); }), 0);
    QCOMPARE(paintsAfter([&] { gauge.StepProgress(1); }), 1);
    QCOMPARE(paintsAfter([&] { gauge.StepProgress(0); }), 1);
    QCOMPARE(paintsAfter([&] { gauge.SetMaxValue(500); }), 1);
  }

  void paintsTheBarFromTheLeftWithItsPercentageInverted() {
    TGauge gauge;
    gauge.resize(202, 25);  // a painting area of 200 x 23 inside the border
    gauge.SetMaxValue(4);
    gauge.SetProgress(2);
    QImage image = Render(gauge);
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    QCOMPARE(image.pixel(0, 12), black);    // border
    QCOMPARE(image.pixel(20, 12), black);   // on the bar
    QCOMPARE(image.pixel(100, 2), black);   // the bar's last column
    QCOMPARE(image.pixel(101, 2), white);   // just past it
    QCOMPARE(image.pixel(180, 12), white);  // off the bar
    // The text "50%" straddles the bar's edge: white where it lies on the
    // bar, black where it lies on the background.
    bool white_on_bar = false, black_off_bar = false;
    for (int y = 4; y < 21; ++y) {
      for (int x = 70; x <= 100; ++x) white_on_bar |= image.pixel(x, y) == white;
      for (int x = 101; x < 132; ++x) black_off_bar |= image.pixel(x, y) == black;
    }
    QVERIFY(white_on_bar);
    QVERIFY(black_off_bar);

    gauge.SetMaxValue(0);  // 0%: no bar at all
    image = Render(gauge);
    QCOMPARE(gauge.PercentComplete(), 0);
    QCOMPARE(image.pixel(1, 12), white);
    QCOMPARE(image.pixel(20, 12), white);
  }
};

QTEST_MAIN(TGaugeTest)
#include "GaugesTest.moc"
