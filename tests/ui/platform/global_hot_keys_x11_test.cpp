#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <xcb/xcb.h>

#include "platform/detail/x11_keys.h"
#include "platform/global_hot_keys.h"

// Runs under a real X server (Xvfb): real grabs, real key presses through xdotool, and a second
// X client that competes for the key.
namespace x11 = verbalon::ui::x11;
using verbalon::ui::GlobalHotKeys;

namespace {

constexpr auto kCtrlAlt = Qt::ControlModifier | Qt::AltModifier;
constexpr uint16_t kXCtrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr xcb_keysym_t kKeysymD = 0x64;  // XK_d

// Another program on the same display, with its own connection.
class OtherClient {
 public:
  OtherClient() : m_connection(xcb_connect(nullptr, nullptr)) {}
  ~OtherClient() { xcb_disconnect(m_connection); }
  OtherClient(const OtherClient&) = delete;
  OtherClient& operator=(const OtherClient&) = delete;

  bool grabD(uint16_t modifiers) {
    return x11::grabKey(m_connection, x11::rootWindows(m_connection).front(), modifiers,
                        x11::keycodeOf(m_connection, kKeysymD));
  }
  uint16_t numLock() { return x11::numLockMask(m_connection); }

 private:
  xcb_connection_t* m_connection;
};

void xdotool(const QStringList& keys) {
  QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), QStringList{QStringLiteral("key")} + keys),
           0);
}

}  // namespace

class GlobalHotKeysX11Test : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    if (!GlobalHotKeys().isAvailable()) QSKIP("no X11 connection (run under xvfb-run)");
  }

  // Caps Lock and Num Lock count as modifiers in X11, so each of their states needs its own
  // grab; the key must work in all of them and be free for others once released.
  void pressReachesTheSignalWhateverTheLocks() {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
      QSKIP("xdotool is not installed");
    }
    GlobalHotKeys keys;
    const int32_t id = keys.AddAtom(QStringLiteral("VRBX_0"));
    QVERIFY(keys.Register(id, kCtrlAlt, Qt::Key_D));
    QSignalSpy spy(&keys, &GlobalHotKeys::activated);

    xdotool({QStringLiteral("ctrl+alt+d")});
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.takeFirst().at(0).toInt(), id);

    for (const QString& lock : {QStringLiteral("Caps_Lock"), QStringLiteral("Num_Lock")}) {
      xdotool({lock, QStringLiteral("ctrl+alt+d"), lock});
      QVERIFY2(spy.wait(5000), qPrintable(lock));
      QCOMPARE(spy.takeFirst().at(0).toInt(), id);
    }

    OtherClient other;
    for (uint16_t locks : x11::lockCombinations(other.numLock())) {
      QVERIFY(!other.grabD(kXCtrlAlt | locks));
    }
    keys.Unregister(id);
    QVERIFY(!keys.isRegistered(id));
    for (uint16_t locks : x11::lockCombinations(other.numLock())) {
      QVERIFY(other.grabD(kXCtrlAlt | locks));
    }
  }

  void keyHeldByAnotherProgramFailsRegistration() {
    OtherClient other;
    QVERIFY(other.grabD(kXCtrlAlt));
    GlobalHotKeys keys;
    const int32_t id = keys.AddAtom(QStringLiteral("VRBX_0"));
    QVERIFY(!keys.Register(id, kCtrlAlt, Qt::Key_D));
    QVERIFY(!keys.isRegistered(id));
  }

  // Held only with Num Lock on, the key fails as a whole: the grabs made before the refusal
  // must not stay behind.
  void partlyHeldKeyLeavesNothingGrabbed() {
    OtherClient other;
    QVERIFY(other.numLock() != 0);
    QVERIFY(other.grabD(kXCtrlAlt | other.numLock()));
    GlobalHotKeys keys;
    QVERIFY(!keys.Register(keys.AddAtom(QStringLiteral("VRBX_0")), kCtrlAlt, Qt::Key_D));

    OtherClient third;
    QVERIFY(third.grabD(kXCtrlAlt));
    QVERIFY(third.grabD(kXCtrlAlt | XCB_MOD_MASK_LOCK));
  }

  void twoIdsCannotShareOneKey() {
    GlobalHotKeys keys;
    const int32_t first = keys.AddAtom(QStringLiteral("VRBX_0"));
    const int32_t second = keys.AddAtom(QStringLiteral("VRBX_1"));
    QVERIFY(first != second);
    QVERIFY(keys.Register(first, kCtrlAlt, Qt::Key_D));
    QVERIFY(!keys.Register(second, kCtrlAlt, Qt::Key_D));
    QVERIFY(keys.isRegistered(first));
  }
};

QTEST_MAIN(GlobalHotKeysX11Test)
#include "global_hot_keys_x11_test.moc"
