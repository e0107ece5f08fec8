// The ways back to a closed main window: the notification area (and what happens where the
// desktop has none), a second start of the program, and the hot key through the desktop portal
// of a Wayland session (the test runs under dbus-run-session, against the fake portal).

#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTest>

#include "main/detail/tf_main_probe.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"
#include "support/app_folder.h"
#include "ui/fake_portal/fake_portal_process.h"
#include "window_under_test.h"

using namespace verbalon;
using namespace verbalon::ui;
using verbalon::testing::child;
using verbalon::testing::FakePortalProcess;
using verbalon::testing::openWindow;
using verbalon::testing::SampleAppFolder;

namespace {

QStringList g_messages;

// A Wayland session as the hot key sees it, for the life of the object.
class WaylandSession {
 public:
  WaylandSession() { qputenv("WAYLAND_DISPLAY", "wayland-test"); }
  ~WaylandSession() { qunsetenv("WAYLAND_DISPLAY"); }
  WaylandSession(const WaylandSession&) = delete;
  WaylandSession& operator=(const WaylandSession&) = delete;
};

// The window brought back as "Открыть" does it: shown, not minimised, the find box empty and
// holding the focus.
bool isBackWithEmptyFindBox(const TfMain& window) {
  const auto* meFind = child<QLineEdit>(window, "meFind");
  return window.isVisible() && !window.isMinimized() && meFind->text().isEmpty() &&
         window.focusWidget() == meFind;
}

// Types into the find box and closes the window; without a notification area it is minimised.
void fillAndClose(TfMain& window) {
  child<QLineEdit>(window, "meFind")->setText(QStringLiteral("abc"));
  window.close();
  QVERIFY(window.isMinimized());
}

}  // namespace

class NotificationAreaTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    DialogHooks hooks;
    hooks.error = [](const QString& message) { QFAIL(qPrintable(message)); };
    hooks.message = [](const QString& text) { g_messages << text; };
    setDialogHooks(hooks);
  }
  void init() { g_messages.clear(); }

  void withoutNotificationAreaClosingMinimisesAndSaysWhyOnce() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    window->notificationAreaAvailable = [] { return false; };
    auto* tiTray = child<QSystemTrayIcon>(*window, "tiTray");
    QCOMPARE(tiTray->toolTip(), QStringLiteral("Вербалон"));
    QVERIFY(!tiTray->isVisible());

    for (int time = 0; time < 2; ++time) {
      QVERIFY(!window->close());
      QVERIFY(!window->isHidden());
      QVERIFY(window->isMinimized());
      window->showNormal();
    }
    QCOMPARE(g_messages.size(), 1);
    QVERIFY(g_messages.front().contains(QStringLiteral("нет области уведомлений")));
    QVERIFY(g_messages.front().contains(QStringLiteral("Ctrl+Alt+D")));
    QVERIFY(g_messages.front().contains(QStringLiteral("повторным запуском")));
  }

  void notificationAreaAppearingLaterTakesTheClosedWindow() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    bool available = false;
    window->notificationAreaAvailable = [&] { return available; };
    auto* tiTray = child<QSystemTrayIcon>(*window, "tiTray");
    detail::TfMainProbe::watchNotificationArea(*window);
    QVERIFY(!tiTray->isVisible());

    available = true;  // a panel with a notification area has started
    detail::TfMainProbe::watchNotificationArea(*window);
    QVERIFY(tiTray->isVisible());
    QVERIFY(!window->close());
    QVERIFY(window->isHidden());
    QVERIFY(g_messages.isEmpty());
  }

  void secondStartBringsTheWindowBack() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    QStringList installed;
    window->autoAddDict = [&](const std::string& path) { installed << toQString(path); };
    fillAndClose(*window);

    window->secondStart({});
    QVERIFY(isBackWithEmptyFindBox(*window));

    // "/di:" installs, as at start-up, in the window brought back; the find box keeps its text.
    fillAndClose(*window);
    window->secondStart({QStringLiteral(" /DI:Толк.BRD"), QStringLiteral("/di:second")});
    QCOMPARE(installed, QStringList{QStringLiteral("Толк.brd")});
    QVERIFY(!window->isMinimized());
    QCOMPARE(child<QLineEdit>(*window, "meFind")->text(), QStringLiteral("abc"));
  }

  void secondStartLeavesAnOpenDialogInCharge() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    QStringList installed;
    window->autoAddDict = [&](const std::string& path) { installed << toQString(path); };
    child<QLineEdit>(*window, "meFind")->setText(QStringLiteral("abc"));
    QDialog question(window.get());
    question.setModal(true);
    question.show();
    QCOMPARE(QApplication::activeModalWidget(), &question);

    window->secondStart({QStringLiteral("/di:x.brd")});
    window->secondStart({});
    QVERIFY(installed.isEmpty());
    QCOMPARE(child<QLineEdit>(*window, "meFind")->text(), QStringLiteral("abc"));
  }

  void portalHotKeyShowsTheWindowWithAnEmptyFindBox() {
    const WaylandSession wayland;
    FakePortalProcess portal;
    QVERIFY(portal.isReady());
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const QString bound = portal.waitForLine(QStringLiteral("bound "));
    QVERIFY2(bound.contains(QStringLiteral(" CTRL+ALT+d ")), qPrintable(bound));
    fillAndClose(*window);

    portal.press(bound.split(QLatin1Char(' ')).value(1));
    QTRY_VERIFY(isBackWithEmptyFindBox(*window));
  }

  // Debian 12's GNOME: no GlobalShortcuts in the portal. The program starts as usual, and the
  // key pressed in its window still runs "Открыть".
  void withoutPortalShortcutsTheWindowsOwnKeyStillWorks() {
    const WaylandSession wayland;
    FakePortalProcess portal({QStringLiteral("--without-shortcuts")});
    QVERIFY(portal.isReady());
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    QCOMPARE(window->hotKeyIds().size(), size_t{1});
    auto* meFind = child<QLineEdit>(*window, "meFind");
    meFind->setText(QStringLiteral("abc"));
    QTest::keyClick(meFind, Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
    QTRY_VERIFY(isBackWithEmptyFindBox(*window));
  }
};

QTEST_MAIN(NotificationAreaTest)
#include "notification_area_test.moc"
