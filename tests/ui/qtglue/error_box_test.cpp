// The application's error box: what it says about the core's errors, and that it is wide enough
// for its title.
#include "qtglue/error_box.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <exception>
#include <string>
#include <utility>

#include "common/packed_lines.h"
#include "dicts/dict_package.h"
#include "index/index_error.h"
#include "storage/compound_file.h"
#include "storage/storage.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

namespace {

using verbalon::dicts::EDictError;
using verbalon::index::EIndexError;
namespace storage = verbalon::storage;

struct Shown {
  static inline QStringList errors;
};

// What guarded() would show for what body throws.
template <typename Body>
QString shownFor(Body&& body) {
  Shown::errors.clear();
  verbalon::ui::guarded(nullptr, std::forward<Body>(body));
  return Shown::errors.value(0);
}

}  // namespace

class ErrorBoxTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init() {
    verbalon::ui::setDialogHooks({[](const QString& m) { Shown::errors << m; }});
  }
  void cleanup() { verbalon::ui::setDialogHooks({}); }

  void namesTheFileAndTheFaultOfStorageErrorsInRussian() {
    verbalon::testing::TempFolder folder;
    const auto package = folder.path() / "words.brd";
    verbalon::testing::writePackage(package, {{"~dict.ini", "Title=x"}});
    {
      const storage::CompoundFile held = storage::CompoundFile::open(package);
      QCOMPARE(shownFor([&] { storage::CompoundFile::open(package); }),
               QStringLiteral("Файл words.brd занят другой программой."));
      QCOMPARE(shownFor([&] {
                 storage::MemoryStream buffer;
                 storage::ReadStream(held, "articles\\a.dat", buffer, storage::kPackageMode, true);
               }),
               QStringLiteral("Файл повреждён: words.brd — в нём нет раздела «articles»."));
      storage::WriteStream(held, "~dict.ini", "not compressed", false);
      QCOMPARE(
          shownFor([&] {
            storage::MemoryStream buffer;
            storage::ReadStream(held, "~dict.ini", buffer, storage::kPackageMode, true);
          }),
          QStringLiteral("Файл повреждён: words.brd — раздел «~dict.ini» не распаковывается."));
    }
    QCOMPARE(shownFor([&] { storage::CompoundFile::open(folder.path() / "none.brd"); }),
             QStringLiteral("Файл none.brd не найден."));
  }

  void translatesByClassNotByText() {
    QCOMPARE(
        shownFor([] {
          throw EDictError(EDictError::Fault::kDamaged, "a.brd", "\"~items.dat\" has 2 lines");
        }),
        QStringLiteral("Файл повреждён: a.brd — его список слов не согласован со списком статей."));
    QCOMPARE(shownFor([] { throw EIndexError(EIndexError::Fault::kBusy, "still running"); }),
             QStringLiteral("Дождитесь окончания установки или удаления словаря."));
    // Lists grown past their offsets' reach say so as the index's own limit does.
    QCOMPARE(shownFor([] { throw verbalon::ELinesTooLarge("the lines exceed 4 GiB"); }),
             shownFor([] { throw EIndexError(EIndexError::Fault::kTooLarge, "too large"); }));
    // A dictionary that did not load at start-up says why, in Russian too.
    QCOMPARE(shownFor([] {
               try {
                 throw storage::EStorageError(storage::hresult::kShareViolation, "a.brd", "busy");
               } catch (const std::exception&) {
                 std::throw_with_nested(EIndexError(EIndexError::Fault::kNotLoaded, "a.brd: busy"));
               }
             }),
             QStringLiteral("Установленный словарь не загрузился. Файл a.brd занят другой "
                            "программой."));
    // The window's own messages stand as they are; what is no exception at all is unknown.
    QCOMPARE(shownFor([] { throw verbalon::Error("Выберите словарь в списке"); }),
             QStringLiteral("Выберите словарь в списке"));
    QCOMPARE(shownFor([] { throw 42; }), QStringLiteral("Неизвестная ошибка."));
  }

  // The window manager draws the title; a box sized to a short message would cut it.
  void theBoxIsWideEnoughForItsTitle() {
    verbalon::ui::setDialogHooks({});
    const QString title = verbalon::ui::applicationTitle();
    QVERIFY(verbalon::ui::titledBoxMinimumWidth() >
            QFontMetrics(QApplication::font()).horizontalAdvance(title));
    int width = 0;
    QString shownTitle;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box != nullptr) {
        width = box->width();
        shownTitle = box->windowTitle();
        box->accept();
      }
    });
    verbalon::ui::showErrorBox(nullptr, QStringLiteral("Нет"));
    QCOMPARE(shownTitle, title);
    QVERIFY2(width >= verbalon::ui::titledBoxMinimumWidth(), qPrintable(QString::number(width)));
  }
};

QTEST_MAIN(ErrorBoxTest)
#include "error_box_test.moc"
