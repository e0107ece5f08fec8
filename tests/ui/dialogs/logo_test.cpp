#include "dialogs/logo.h"

#include <QDesktopServices>
#include <QLabel>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "qtglue/app_icon.h"

using verbalon::ui::TfLogo;

// Stands in for the browser: QDesktopServices hands it the addresses it would open.
class Browser : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public Q_SLOTS:
  void open(const QUrl& url) { opened.append(url); }
};

namespace {

QWidget* part(TfLogo& logo, const char* name) {
  return logo.findChild<QWidget*>(QLatin1String(name));
}

// Runs the about window; during() acts while it is up and must close it. Returns whether it
// did, rather than a watchdog.
bool about(TfLogo& logo, const std::function<void()>& during) {
  bool closedByTest = true;
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, &logo, [&] {
    closedByTest = false;
    logo.reject();
  });
  watchdog.start(5000);
  QTimer::singleShot(0, &logo, during);
  logo.showAbout();
  return closedByTest;
}

}  // namespace

class LogoTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_browser, "open");
    QVERIFY(!verbalon::ui::appIcon().pixmap(16).isNull());
  }
  void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

  void splashShowsLoadingAndAClickClosesIt() {
    TfLogo logo;
    logo.showSplash();
    QVERIFY(logo.isVisible());
    QVERIFY(!logo.isModal());
    QVERIFY(logo.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(logo.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(logo.size(), QSize(298, 236));
    QVERIFY(part(logo, "lb")->isVisible());
    QVERIFY(!part(logo, "pnAbout")->isVisible());
    QCOMPARE(static_cast<QLabel*>(part(logo, "Image1"))->pixmap().size(), QSize(281, 185));

    const QImage look = logo.grab().toImage();
    QCOMPARE(look.pixelColor(0, 0), QColor(Qt::black));
    QCOMPARE(look.pixelColor(1, 120), QColor(Qt::black));
    QCOMPARE(look.pixelColor(297, 235), QColor(Qt::black));
    QCOMPARE(look.pixelColor(4, 4), QColor(Qt::white));

    QTest::mouseClick(part(logo, "Image1"), Qt::LeftButton);
    QVERIFY(!logo.isVisible());
  }

  // The address opens the web site and keeps the window; the picture and the strip close it.
  // The second about looks like the first, and unlike the splash.
  void aboutOpensTheAddressAndLooksTheSameEachTime() {
    TfLogo logo;
    logo.showSplash();
    const QImage splashLook = logo.grab().toImage();
    logo.close();

    QImage firstLook;
    bool stayedOpen = false;
    QVERIFY(about(logo, [&] {
      firstLook = logo.grab().toImage();
      QTest::mouseClick(part(logo, "Label1"), Qt::LeftButton);
      stayedOpen = logo.isVisible();
      QTest::mouseClick(part(logo, "Image1"), Qt::LeftButton);
    }));
    QVERIFY(stayedOpen);
    QCOMPARE(m_browser.opened, QList<QUrl>{QUrl(QLatin1String(verbalon::ui::kMakerAddress))});
    QVERIFY(firstLook != splashLook);

    QImage secondLook;
    QVERIFY(about(logo, [&] {
      secondLook = logo.grab().toImage();
      QVERIFY(logo.isModal());
      QTest::mouseClick(part(logo, "pnAbout"), Qt::LeftButton, {}, QPoint(10, 10));
    }));
    QCOMPARE(secondLook, firstLook);
    QCOMPARE(m_browser.opened.size(), 1);
  }

 private:
  Browser m_browser;
};

QTEST_MAIN(LogoTest)
#include "logo_test.moc"
