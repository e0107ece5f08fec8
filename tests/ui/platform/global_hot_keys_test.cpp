#include "platform/global_hot_keys.h"

#include <QtTest>

using verbalon::ui::GlobalHotKeys;

// On the offscreen platform, as under Wayland, nothing can be grabbed; the program must still
// start and keep its ids.
class GlobalHotKeysTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void withoutX11RegistrationFailsQuietly() {
    GlobalHotKeys keys;
    QVERIFY(!keys.isAvailable());
    const int32_t id = keys.AddAtom(QStringLiteral("VRBX_0"));
    QCOMPARE(keys.AddAtom(QStringLiteral("VRBX_0")), id);
    QVERIFY(keys.AddAtom(QStringLiteral("VRBX_1")) != id);
    QVERIFY(id >= 0xC000);

    QVERIFY(!keys.Register(id, Qt::ControlModifier | Qt::AltModifier, Qt::Key_D));
    QVERIFY(!keys.isRegistered(id));
    keys.Unregister(id);
  }
};

QTEST_MAIN(GlobalHotKeysTest)
#include "global_hot_keys_test.moc"
