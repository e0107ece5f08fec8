#include "dialogs/installed_dicts.h"

#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <algorithm>

#include "qtglue/qt_text.h"

using namespace verbalon;

namespace {

dicts::TDict slot(const QString& fileName, const QString& title) {
  dicts::TDict dict;
  dict.FileName = ui::fromQString(fileName);
  dict.Title = ui::fromQString(title);
  return dict;
}

QStringList lines(const QListWidget& list) {
  QStringList result;
  for (int i = 0; i < list.count(); ++i)
    result.append(list.item(i)->text());
  return result;
}

}  // namespace

class InstalledDictsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // A hole loaded at start-up has no title; a slot emptied in this run keeps its former one.
  void listsEveryTitleInSlotOrderAtEachShowing() {
    dicts::TDicts Dicts{slot(QStringLiteral("enru.brd"), QStringLiteral("Англо-русский")),
                        slot({}, {}), slot({}, QStringLiteral("Удалённый"))};
    ui::TfDicts dialog(Dicts);
    auto* lbDicts = dialog.findChild<QListWidget*>(QStringLiteral("lbDicts"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Установленные словари"));
    QCOMPARE(lbDicts->selectionMode(), QAbstractItemView::ExtendedSelection);

    dialog.show();
    QCOMPARE(lines(*lbDicts), (QStringList{QStringLiteral("Англо-русский"), QString(),
                                           QStringLiteral("Удалённый")}));
    dialog.hide();

    Dicts.push_back(slot(QStringLiteral("de.brd"), QStringLiteral("Немецкий")));
    dialog.show();
    QCOMPARE(lbDicts->count(), 4);
    QCOMPARE(lbDicts->item(3)->text(), QStringLiteral("Немецкий"));
  }

  void buttonsRunLeftToRightAndEnterChooses() {
    dicts::TDicts Dicts;
    ui::TfDicts dialog(Dicts);
    dialog.show();
    QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(),
              [](const QPushButton* a, const QPushButton* b) { return a->x() < b->x(); });
    QStringList captions;
    for (const QPushButton* button : buttons)
      captions.append(button->text());
    QCOMPARE(captions,
             (QStringList{QStringLiteral("Выделить всё"), QStringLiteral("Другие словари"),
                          QStringLiteral("Выбрать"), QStringLiteral("Отмена")}));

    QTest::keyClick(dialog.findChild<QListWidget*>(QStringLiteral("lbDicts")), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    dialog.show();
    QTest::mouseClick(buttons.at(3), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
  }
};

QTEST_MAIN(InstalledDictsTest)
#include "installed_dicts_test.moc"
