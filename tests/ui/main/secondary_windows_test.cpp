// The main window's tray menu, its actions and hot key, and the secondary windows it creates:
// the splash and about window, the set chooser.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <memory>
#include <string>

#include "dialogs/logo.h"
#include "main/detail/tf_main_probe.h"
#include "main/main_window.h"
#include "qtglue/error_box.h"
#include "storage/compound_file.h"
#include "storage/storage.h"
#include "support/app_folder.h"

using namespace verbalon::ui;
using verbalon::testing::SampleAppFolder;

namespace {

// A control or window of the main window, found by its object name.
template <typename T>
T* child(const QObject& parent, const char* name) {
  T* found = parent.findChild<T*>(QString::fromLatin1(name));
  if (!found) qFatal("no object named %s", name);
  return found;
}

}  // namespace

class SecondaryWindowsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    DialogHooks hooks;
    hooks.error = [](const QString& message) { QFAIL(qPrintable(message)); };
    setDialogHooks(hooks);
  }

  // Tests and tools find the controls by the names the handlers know them by.
  void everyControlAndWindowCarriesItsName() {
    SampleAppFolder folder({"tolk.brd"});
    TfMain window(folder.path(), {});
    QVERIFY(window.FormCreate());
    window.createSecondaryWindows();
    for (const char* name : {"me",
                             "tb",
                             "cbSet",
                             "meFind",
                             "btFind",
                             "pcList",
                             "tsFull",
                             "tsFiltered",
                             "tsHistory",
                             "lbWord",
                             "sbWord",
                             "lbFiltered",
                             "lbHistory",
                             "Button1",
                             "Button2",
                             "Splitter1",
                             "statusPanels0",
                             "statusPanels1",
                             "statusPanels2",
                             "statusPanels3",
                             "tmShow",
                             "acAddDicts",
                             "acAbout",
                             "acFilter",
                             "acShowMainForm",
                             "acExit",
                             "acSets",
                             "tiTray",
                             "pmTray",
                             "fLogo",
                             "fSet",
                             "fDicts",
                             "fAddDicts",
                             "fDictInfo"}) {
      QVERIFY2(window.findChild<QObject*>(QString::fromLatin1(name)) != nullptr, name);
    }
    // The history's buttons are the ones under its tab, whatever the dialogs call theirs.
    auto* tsHistory = child<QWidget>(window, "tsHistory");
    QCOMPARE(child<QPushButton>(*tsHistory, "Button1")->text(), QStringLiteral("Удалить"));
    QCOMPARE(child<QPushButton>(*tsHistory, "Button2")->text(), QStringLiteral("Очистить"));
    QVERIFY(child<QSplitter>(window, "Splitter1")->widget(1) == child<QWidget>(window, "me"));
  }

  void trayMenuAndActionsCarryTheirTextsAndKeys() {
    SampleAppFolder folder({"tolk.brd"});
    TfMain window(folder.path(), {});
    QVERIFY(window.FormCreate());
    const QList<QAction*> items = child<QMenu>(window, "pmTray")->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->text(), QStringLiteral("Открыть"));
    QCOMPARE(items[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));
    QVERIFY(items[1]->isSeparator());
    QCOMPARE(items[2]->text(), QStringLiteral("Выход"));
    QCOMPARE(child<QAction>(window, "acAbout")->text(), QStringLiteral("О программе..."));
    QVERIFY(!window.windowIcon().isNull());
    // One registration, whether or not the key could be grabbed here.
    QCOMPARE(window.hotKeyIds().size(), size_t{1});
  }

  void showingFromTheHotKeyEmptiesTheFindBox() {
    SampleAppFolder folder({"tolk.brd"});
    TfMain window(folder.path(), {});
    QVERIFY(window.FormCreate());
    auto* meFind = child<QLineEdit>(window, "meFind");
    meFind->setText(QStringLiteral("кот"));

    // A double-click on the icon shows the window and keeps the text.
    Q_EMIT child<QSystemTrayIcon>(window, "tiTray")->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(window.isVisible());
    QCOMPARE(meFind->text(), QStringLiteral("кот"));

    window.hide();
    detail::TfMainProbe::WMHotKey(window, window.hotKeyIds().front() + 1);  // not ours
    QVERIFY(!window.isVisible());
    detail::TfMainProbe::WMHotKey(window, window.hotKeyIds().front());
    QVERIFY(window.isVisible());
    QCOMPARE(meFind->text(), QString());
    QTRY_VERIFY(meFind->hasFocus());
  }

  void splashClosesAtFirstShowAndAboutOpensFromTheToolBar() {
    SampleAppFolder folder({"tolk.brd"});
    TfMain window(folder.path(), {});
    QVERIFY(window.FormCreate());
    window.createSecondaryWindows();
    auto* fLogo = child<TfLogo>(window, "fLogo");
    auto* cbSet = child<QComboBox>(window, "cbSet");
    auto* acSets = child<QAction>(window, "acSets");
    QVERIFY(fLogo->isVisible());
    window.show();
    QTRY_VERIFY(!fLogo->isVisible());
    QVERIFY(child<QListWidget>(window, "lbWord")->count() > 0);

    // The set chooser is filled but stays out of sight.
    QCOMPARE(cbSet->count(), 2);
    QCOMPARE(cbSet->currentIndex(), 0);
    QVERIFY(!cbSet->isVisible());
    QVERIFY(!acSets->isVisible());

    bool modal = false;
    QTimer::singleShot(50, fLogo, [&] {
      modal = fLogo->isVisible() && fLogo->isModal();
      fLogo->close();
    });
    child<QAction>(window, "acAbout")->trigger();
    QVERIFY(modal);
  }

  // The splash window stays on top of everything: an error or a question of the start-up shown
  // beneath it could not be read, nor answered.
  void splashClosesBeforeAnErrorOrAQuestionOfTheStartUp() {
    static TfLogo* splash = nullptr;
    static bool splashShownWithTheBox = true;
    static QString error;
    for (const bool damagedList : {false, true}) {
      SampleAppFolder folder({"tolk.brd"});
      if (damagedList) {
        verbalon::storage::WriteStream(
            verbalon::storage::CompoundFile::open(folder.path() / "vrbx.pde"), "addeddicts.dat",
            std::string("not zlib"), false);
      } else {
        std::filesystem::remove(folder.dataDir() / "tolk.brd");
      }
      TfMain window(folder.path(), {});
      QVERIFY(window.FormCreate());
      window.createSecondaryWindows();
      window.addDictsDialog = [] {};
      splash = child<TfLogo>(window, "fLogo");
      splashShownWithTheBox = true;
      error.clear();
      DialogHooks hooks;
      hooks.error = [](const QString& message) {
        error = message;
        splashShownWithTheBox = splash->isVisible();
      };
      setDialogHooks(hooks);
      bool asked = false;
      QTimer poll;
      connect(&poll, &QTimer::timeout, [&asked] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr || box->objectName() != QStringLiteral("unopenedPackageBox")) return;
        asked = true;
        splashShownWithTheBox = splash->isVisible();
        child<QPushButton>(*box, "btKeepDict")->click();
      });
      poll.start(10);
      window.show();
      if (damagedList) {
        QTRY_VERIFY(!error.isEmpty());
        QVERIFY(error.contains(QStringLiteral("addeddicts.dat")));
      } else {
        QTRY_VERIFY(asked);
        QVERIFY(error.isEmpty());
      }
      initTestCase();
      QVERIFY(!splashShownWithTheBox);
    }
  }

  // The tool bar shows the caption whole, and the find button and the tray icon say what they
  // are.
  void captionsAndTooltips() {
    SampleAppFolder folder;
    TfMain window(folder.path(), {});
    QVERIFY(window.FormCreate());
    QCOMPARE(child<QAction>(window, "acAbout")->iconText(), QStringLiteral("О программе..."));
    QVERIFY(!child<QToolButton>(window, "btFind")->toolTip().isEmpty());
    QCOMPARE(child<QSystemTrayIcon>(window, "tiTray")->toolTip(), QStringLiteral("Вербалон"));
  }
};

QTEST_MAIN(SecondaryWindowsTest)
#include "secondary_windows_test.moc"
