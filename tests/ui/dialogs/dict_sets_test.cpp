#include "dialogs/dict_sets.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"
#include "storage/storage.h"

using namespace verbalon;
using ui::fromQString;

namespace {

QString g_error;

// A resource package whose storage "sets" holds one stream per name (a Windows-1251 name made
// from the QString), or no "sets" at all.
storage::CompoundFile resources(const QTemporaryDir& folder, std::optional<QStringList> sets) {
  storage::CompoundFile file =
      storage::CompoundFile::create(ui::pathFromQString(folder.filePath(QStringLiteral("r.pde"))));
  storage::WriteStream(file, "history.dat", "", true);
  if (sets) {
    file.root().createStorage(u"sets");
    storage::WriteStream(file, "history.dat", "", true);  // commits the new storage
    for (const QString& name : *sets) {
      storage::WriteStream(file, "sets\\" + fromQString(name), "", true);
    }
  }
  return file;
}

}  // namespace

class DictSetsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init() {
    g_error.clear();
    ui::setDialogHooks({[](const QString& message) { g_error = message; }, nullptr, nullptr});
  }

  // The storage's order puts shorter names first, unlike an alphabetical sort.
  void listsSetNamesInStorageOrder() {
    QTemporaryDir folder;
    const auto file = resources(folder, QStringList{QStringLiteral("Английские"),
                                                    QStringLiteral("Общие"), QStringLiteral("Ru")});
    QCOMPARE(ui::listSetNames(file), (QStringList{QStringLiteral("Ru"), QStringLiteral("Общие"),
                                                  QStringLiteral("Английские")}));
    QCOMPARE(ui::ListSets(file).at(1), fromQString(QStringLiteral("Общие")));

    QTemporaryDir emptyFolder;
    QCOMPARE(ui::ListSets(resources(emptyFolder, QStringList{})), StringList{});
  }

  void packageWithoutSetsRaisesTheStorageError() {
    QTemporaryDir folder;
    try {
      ui::ListSets(resources(folder, std::nullopt));
      QFAIL("no error");
    } catch (const storage::EStorageError& e) {
      QCOMPARE(e.code(), storage::hresult::kFileNotFound);
    }
  }

  // Every showing reads the package again and takes the main window's selection.
  void setDialogShowsTheSetsWithTheMainSelection() {
    QTemporaryDir folder;
    const auto file = resources(folder, QStringList{QStringLiteral("Все"), QStringLiteral("Мои")});
    int mainSelection = 1;
    ui::TfSet dialog([&] { return ui::listSetNames(file); }, [&] { return mainSelection; });
    auto* cbSet = dialog.findChild<QComboBox*>(QStringLiteral("cbSet"));
    QVERIFY(cbSet);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Наборы словарей"));

    dialog.show();
    QCOMPARE(cbSet->count(), 2);
    QCOMPARE(cbSet->currentText(), QStringLiteral("Мои"));
    dialog.hide();

    storage::WriteStream(file, "sets\\" + fromQString(QStringLiteral("Новый")), "", true);
    mainSelection = -1;
    dialog.show();
    QCOMPARE(cbSet->count(), 3);
    QCOMPARE(cbSet->currentIndex(), -1);
    QVERIFY(cbSet->currentText().isEmpty());
    QVERIFY(g_error.isEmpty());
  }

  void failedReadingReportsAndLeavesNoOldNames() {
    QTemporaryDir folder;
    std::optional<storage::CompoundFile> file = resources(folder, QStringList{QStringLiteral("A")});
    ui::TfSet dialog([&] { return ui::listSetNames(*file); }, [] { return 0; });
    dialog.show();
    dialog.hide();

    QTemporaryDir otherFolder;
    file = resources(otherFolder, std::nullopt);
    dialog.show();
    QVERIFY2(g_error.contains(QStringLiteral("r.pde — в нём нет раздела «sets»")),
             qPrintable(g_error));
    QCOMPARE(dialog.findChild<QComboBox*>(QStringLiteral("cbSet"))->count(), 0);
  }
};

QTEST_MAIN(DictSetsTest)
#include "dict_sets_test.moc"
