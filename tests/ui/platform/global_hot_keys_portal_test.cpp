// The hot key in a Wayland session, through the desktop portal: against the fake portal on a
// private session bus (the test runs under dbus-run-session), against one without the
// GlobalShortcuts interface and against none at all.

#include <QSignalSpy>
#include <QtTest>

#include "platform/global_hot_keys.h"
#include "ui/fake_portal/fake_portal_process.h"

using verbalon::testing::FakePortalProcess;
using verbalon::ui::GlobalHotKeys;

namespace {

constexpr Qt::KeyboardModifiers kCtrlAlt = Qt::ControlModifier | Qt::AltModifier;

}  // namespace

class GlobalHotKeysPortalTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    // A Wayland session as far as the program can tell; the offscreen platform grabs nothing.
    qputenv("WAYLAND_DISPLAY", "wayland-test");
    QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"), "run under dbus-run-session");
  }

  void portalBindsTheKeyAndReportsItsPresses() {
    FakePortalProcess portal;
    QVERIFY(portal.isReady());
    GlobalHotKeys keys;
    QVERIFY(keys.usesPortal());
    const int32_t id = keys.AddAtom(QStringLiteral("VRBX_0"));
    QSignalSpy pressed(&keys, &GlobalHotKeys::activated);
    QVERIFY(keys.Register(id, kCtrlAlt, Qt::Key_D, QStringLiteral("Открыть окно")));
    QVERIFY(keys.isRegistered(id));
    // A second id cannot ask for the same key.
    QVERIFY(!keys.Register(keys.AddAtom(QStringLiteral("VRBX_1")), kCtrlAlt, Qt::Key_D));

    const QString bound = portal.waitForLine(QStringLiteral("bound "));
    QVERIFY2(!bound.isEmpty(), qPrintable(portal.seen().join(QLatin1Char('|'))));
    const QStringList parts = bound.split(QLatin1Char(' '));
    QCOMPARE(parts.value(2), QStringLiteral("CTRL+ALT+d"));
    QCOMPARE(parts.mid(3).join(QLatin1Char(' ')), QStringLiteral("Открыть окно"));
    const QString shortcut = parts.value(1);

    // Presses of other shortcuts, or of other sessions, are not ours.
    portal.press(QStringLiteral("someone-else"));
    portal.press(shortcut);
    QTRY_COMPARE(pressed.size(), 1);
    QCOMPARE(pressed.front().front().value<int32_t>(), id);
    portal.press(shortcut);
    QTRY_COMPARE(pressed.size(), 2);

    // Released, the session is closed and presses no longer reach us.
    keys.Unregister(id);
    QVERIFY(!keys.isRegistered(id));
    QVERIFY(!portal.waitForLine(QStringLiteral("closed ")).isEmpty());
    portal.press(shortcut);
    QTest::qWait(200);
    QCOMPARE(pressed.size(), 2);
  }

  void keysWithoutATriggerNameAreRefused() {
    FakePortalProcess portal;
    GlobalHotKeys keys;
    const int32_t id = keys.AddAtom(QStringLiteral("VRBX_0"));
    QVERIFY(!keys.Register(id, kCtrlAlt, Qt::Key_F1));
    QVERIFY(!keys.Register(id, Qt::KeypadModifier, Qt::Key_D));
    QVERIFY(keys.Register(id, Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_7));
    const QString bound = portal.waitForLine(QStringLiteral("bound "));
    QCOMPARE(bound.split(QLatin1Char(' ')).value(2), QStringLiteral("SHIFT+LOGO+7"));
  }

  // Debian 12's GNOME portal: the name is there, the interface is not. Nothing is bound,
  // nothing is reported, and the program goes on.
  void portalWithoutTheInterfaceFailsQuietly() {
    FakePortalProcess portal({QStringLiteral("--without-shortcuts")});
    QVERIFY(portal.isReady());
    GlobalHotKeys keys;
    const int32_t id = keys.AddAtom(QStringLiteral("VRBX_0"));
    QSignalSpy pressed(&keys, &GlobalHotKeys::activated);
    QElapsedTimer clock;
    clock.start();
    keys.Register(id, kCtrlAlt, Qt::Key_D);
    QVERIFY(portal.waitForLine(QStringLiteral("session "), 500).isEmpty());
    QVERIFY(clock.elapsed() < 2000);  // nothing waited for the portal
    QCOMPARE(pressed.size(), 0);
  }

  void noPortalAtAllFailsQuietly() {
    GlobalHotKeys keys;
    const int32_t id = keys.AddAtom(QStringLiteral("VRBX_0"));
    QSignalSpy pressed(&keys, &GlobalHotKeys::activated);
    keys.Register(id, kCtrlAlt, Qt::Key_D);
    QTest::qWait(300);
    keys.Unregister(id);
    QCOMPARE(pressed.size(), 0);
  }
};

QTEST_MAIN(GlobalHotKeysPortalTest)
#include "global_hot_keys_portal_test.moc"
