#include "dialogs/dict_info.h"

#include <QLabel>
#include <QtTest>

#include "qtglue/qt_text.h"

using verbalon::ui::TfDictInfo;

class DictInfoTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // A package's text shows as it stands, markup included, and a click anywhere closes.
  void showsThePackageTextPlainAndAClickCloses() {
    TfDictInfo window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Информация о словаре"));
    window.setInfo(verbalon::ui::fromQString(QStringLiteral("Толковый\r\nсловарь <b>2-е</b>")));
    auto* lbInfo = window.findChild<QLabel*>(QStringLiteral("lbInfo"));
    window.show();
    QCOMPARE(lbInfo->text(), QStringLiteral("Толковый\nсловарь <b>2-е</b>"));
    QCOMPARE(lbInfo->textFormat(), Qt::PlainText);
    QCOMPARE(lbInfo->geometry().bottom(), window.rect().bottom());

    QTest::mouseClick(lbInfo, Qt::LeftButton);
    QVERIFY(!window.isVisible());
  }
};

QTEST_MAIN(DictInfoTest)
#include "dict_info_test.moc"
