// The main window's tray menu, its actions and hot key, and the secondary windows it creates:
// the splash and about window, the set chooser.

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <memory>

#include "dialogs/logo.h"
#include "main/main_window.h"
#include "qtglue/error_box.h"
#include "support/app_folder.h"

using namespace verbalon::ui;
using verbalon::testing::SampleAppFolder;

class SecondaryWindowsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    DialogHooks hooks;
    hooks.error = [](const QString& message) { QFAIL(qPrintable(message)); };
    setDialogHooks(hooks);
  }

  void trayMenuAndActionsCarryTheirTextsAndKeys() {
    SampleAppFolder folder({"tolk.brd"});
    TfMain window(folder.path(), {});
    QVERIFY(window.FormCreate());
    const QList<QAction*> items = window.pmTray->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->text(), QStringLiteral("Открыть"));
    QCOMPARE(items[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));
    QVERIFY(items[1]->isSeparator());
    QCOMPARE(items[2]->text(), QStringLiteral("Выход"));
    QCOMPARE(window.acAbout->text(), QStringLiteral("О программе..."));
    QVERIFY(!window.windowIcon().isNull());
    // One registration, whether or not the key could be grabbed here.
    QCOMPARE(window.hotKeyIds().size(), size_t{1});
  }

  void showingFromTheHotKeyEmptiesTheFindBox() {
    SampleAppFolder folder({"tolk.brd"});
    TfMain window(folder.path(), {});
    QVERIFY(window.FormCreate());
    window.meFind->setText(QStringLiteral("кот"));

    // A double-click on the icon shows the window and keeps the text.
    window.TIoDblClick();
    QVERIFY(window.isVisible());
    QCOMPARE(window.meFind->text(), QStringLiteral("кот"));

    window.hide();
    window.WMHotKey(window.hotKeyIds().front() + 1);  // not ours
    QVERIFY(!window.isVisible());
    window.WMHotKey(window.hotKeyIds().front());
    QVERIFY(window.isVisible());
    QCOMPARE(window.meFind->text(), QString());
    QTRY_VERIFY(window.meFind->hasFocus());
  }

  void splashClosesAtFirstShowAndAboutOpensFromTheToolBar() {
    SampleAppFolder folder({"tolk.brd"});
    TfMain window(folder.path(), {});
    QVERIFY(window.FormCreate());
    window.createSecondaryWindows();
    QVERIFY(window.fLogo->isVisible());
    window.show();
    QTRY_VERIFY(!window.fLogo->isVisible());
    QVERIFY(window.lbWord->count() > 0);

    // The set chooser is filled but stays out of sight.
    QCOMPARE(window.cbSet->count(), 2);
    QCOMPARE(window.cbSet->currentIndex(), 0);
    QVERIFY(!window.cbSet->isVisible());
    QVERIFY(!window.acSets->isVisible());

    bool modal = false;
    QTimer::singleShot(50, window.fLogo, [&] {
      modal = window.fLogo->isVisible() && window.fLogo->isModal();
      window.fLogo->close();
    });
    window.acAbout->trigger();
    QVERIFY(modal);
  }
};

QTEST_MAIN(SecondaryWindowsTest)
#include "secondary_windows_test.moc"
