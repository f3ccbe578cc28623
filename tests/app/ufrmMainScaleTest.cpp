// The window's sizes at a scale factor of 2 on a 1,280 x 900 screen (the
// screen of 640 x 450 device-independent pixels that Qt then lays out on):
// the first size and the smallest one fit on it.
#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include "app/ufrmMain.h"
#include "tests/app/TestSettings.h"

class TForm1ScaleTest : public QObject {
  Q_OBJECT

 private slots:
  void theScreenIsTheOneAskedFor() {
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 640, 450));
  }

  void firstAndSmallestSizeFitTheScreen() {
    pellmor::TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QRect available = form.screen()->availableGeometry();
    QVERIFY2(form.width() < available.width() && form.height() < available.height(),
             qPrintable(QStringLiteral("%1 x %2").arg(form.width()).arg(form.height())));
    QVERIFY(form.width() >= form.minimumWidth() && form.height() >= form.minimumHeight());
    form.resize(10, 10);
    QCOMPARE(form.size(), form.minimumSize());
    QVERIFY(form.minimumWidth() < available.width() && form.minimumHeight() < available.height());
  }
};

int main(int argc, char** argv) {
  // The offscreen platform reads its screens from a file named in its options.
  QTemporaryDir folder;
  const QString screens = folder.filePath(QStringLiteral("screens.json"));
  QFile file(screens);
  if (!folder.isValid() || !file.open(QIODevice::WriteOnly))
    qFatal("cannot write %s", qPrintable(screens));
  file.write(R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1280, "height": 900,
                 "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
  file.close();
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.toLocal8Bit());
  qputenv("QT_SCALE_FACTOR", "2");

  QApplication application(argc, argv);
  pellmor::test::TestSettings settings;
  TForm1ScaleTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ufrmMainScaleTest.moc"
