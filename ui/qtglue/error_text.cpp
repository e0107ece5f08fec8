#include "qtglue/error_text.h"

#include <new>

#include "article/article_page.h"
#include "common/packed_lines.h"
#include "dicts/dict_package.h"
#include "dirscan/dirscan_error.h"
#include "import/import_error.h"
#include "index/index_error.h"
#include "session/app_location.h"
#include "storage/storage_error.h"
#include "storage/zlib_buffer.h"

namespace verbalon::ui {
namespace {

namespace hresult = storage::hresult;

// «файл words.brd», or «файл» when the error knows no name.
QString fileWord(const std::string& file) {
  return file.empty() ? QStringLiteral("файл")
                      : QStringLiteral("файл ") + QString::fromStdString(file);
}

QString damaged(const std::string& file, const QString& what) {
  QString text = QStringLiteral("Файл повреждён: ") + QString::fromStdString(file);
  if (!what.isEmpty()) {
    text += QStringLiteral(" — ") + what;
  }
  return text + QLatin1Char('.');
}

QString storageText(const storage::EStorageError& e) {
  const QString file = fileWord(e.file());
  const QString name = QString::fromStdString(e.file());
  switch (e.code()) {
    case hresult::kShareViolation:
    case hresult::kLockViolation:
      return QStringLiteral("Файл %1 занят другой программой.").arg(name);
    case hresult::kAccessDenied:
      return QStringLiteral("Нет доступа к файлу %1.").arg(name);
    case hresult::kFileNotFound:
      if (!e.element().empty()) {
        return damaged(
            e.file(),
            QStringLiteral("в нём нет раздела «%1»").arg(QString::fromStdString(e.element())));
      }
      return QStringLiteral("Файл %1 не найден.").arg(name);
    case hresult::kPathNotFound:
      return QStringLiteral("Не найдена папка, в которой должен лежать файл %1.").arg(name);
    case hresult::kDocFileCorrupt:
    case hresult::kInvalidHeader:
      return damaged(e.file(), {});
    case hresult::kFileAlreadyExists:
      // What opening a file that is no compound file reports, as Windows does.
      return QStringLiteral("Файл %1 не является файлом словаря или уже существует.").arg(name);
    case hresult::kReadFault:
      return QStringLiteral("Не удалось прочитать %1.").arg(file);
    case hresult::kWriteFault:
      return QStringLiteral("Не удалось записать %1.").arg(file);
    case hresult::kMediumFull:
      return QStringLiteral("Не хватает места на диске, чтобы записать %1.").arg(file);
    case hresult::kInsufficientMemory:
      return QStringLiteral("Не хватает памяти, чтобы прочитать %1.").arg(file);
    case hresult::kTooManyOpenFiles:
      return QStringLiteral("Открыто слишком много файлов: %1 не открыть.").arg(file);
    default:
      break;
  }
  return QStringLiteral("Ошибка при работе с %1 (%2).")
      .arg(e.file().empty() ? QStringLiteral("файлом") : QStringLiteral("файлом ") + name,
           QString::fromStdString(hresult::name(e.code())));
}

QString decompressionText(const storage::EDecompressionError& e) {
  if (e.file().empty()) {
    return QStringLiteral("Сжатые данные повреждены.");
  }
  return damaged(
      e.file(),
      QStringLiteral("раздел «%1» не распаковывается").arg(QString::fromStdString(e.stream())));
}

QString dictText(const dicts::EDictError& e) {
  const QString name = QString::fromStdString(e.file());
  switch (e.fault()) {
    case dicts::EDictError::Fault::kDamaged:
      return damaged(e.file(), QStringLiteral("его список слов не согласован со списком статей"));
    case dicts::EDictError::Fault::kAmbiguousName:
      return QStringLiteral(
                 "Словарь %1 нельзя открыть: в его папке несколько файлов с этим именем, "
                 "различающихся только регистром букв.")
          .arg(name);
    case dicts::EDictError::Fault::kMissing:
      return QStringLiteral("Файл словаря %1 не найден.").arg(name);
    case dicts::EDictError::Fault::kUnstorableName:
      return QStringLiteral(
                 "Имя файла %1 содержит знаки, которых нет в кодировке Windows-1251, поэтому "
                 "словарь нельзя установить.")
          .arg(name);
  }
  return QString::fromUtf8(e.what());
}

QString indexTooLargeText() {
  return QStringLiteral(
      "Словарный индекс стал бы слишком большим, чтобы его можно было сохранить и "
      "прочитать снова; изменение не выполнено.");
}

QString indexText(const index::EIndexError& e) {
  switch (e.fault()) {
    case index::EIndexError::Fault::kDamaged:
      return QStringLiteral("Словарный индекс повреждён.");
    case index::EIndexError::Fault::kNotLoaded:
      if (const auto* nested = dynamic_cast<const std::nested_exception*>(&e)) {
        return QStringLiteral("Установленный словарь не загрузился. ") +
               errorText(nested->nested_ptr());
      }
      return QStringLiteral("Установленный словарь не загрузился.");
    case index::EIndexError::Fault::kBusy:
      return QStringLiteral("Дождитесь окончания установки или удаления словаря.");
    case index::EIndexError::Fault::kRefused:
      return QStringLiteral(
          "Установка и удаление словарей отключены до перезапуска программы, потому что "
          "словарный индекс не загрузился.");
    case index::EIndexError::Fault::kTooLarge:
      return indexTooLargeText();
    case index::EIndexError::Fault::kInternal:
      break;
  }
  return QStringLiteral("Внутренняя ошибка словарного индекса: ") + QString::fromUtf8(e.what());
}

}  // namespace

QString errorText(const std::exception& error) {
  if (const auto* e = dynamic_cast<const storage::EStorageError*>(&error)) {
    return storageText(*e);
  }
  if (const auto* e = dynamic_cast<const storage::EDecompressionError*>(&error)) {
    return decompressionText(*e);
  }
  if (dynamic_cast<const storage::ECompressionError*>(&error) != nullptr) {
    return QStringLiteral("Не удалось сжать данные: не хватает памяти.");
  }
  if (const auto* e = dynamic_cast<const dicts::EDictError*>(&error)) {
    return dictText(*e);
  }
  if (const auto* e = dynamic_cast<const index::EIndexError*>(&error)) {
    return indexText(*e);
  }
  // The word list or the index entries would pass the 4 GiB their line offsets address.
  if (dynamic_cast<const ELinesTooLarge*>(&error) != nullptr) {
    return indexTooLargeText();
  }
  if (dynamic_cast<const article::EArticleError*>(&error) != nullptr) {
    return QStringLiteral("В словаре нет статьи, на которую указывает словарный индекс.");
  }
  // The readers name the file and the line; what is wrong there stays in their words.
  if (dynamic_cast<const import::EImportError*>(&error) != nullptr) {
    return QStringLiteral("Источник словаря не читается: ") + QString::fromUtf8(error.what());
  }
  if (dynamic_cast<const dirscan::EDirScanError*>(&error) != nullptr) {
    return QStringLiteral("Не удалось просмотреть папку словарей: ") +
           QString::fromUtf8(error.what());
  }
  if (dynamic_cast<const session::ELocationError*>(&error) != nullptr) {
    return QStringLiteral("Не удалось найти или подготовить папку программы: ") +
           QString::fromUtf8(error.what());
  }
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    return QStringLiteral("Не хватает памяти.");
  }
  if (dynamic_cast<const Error*>(&error) != nullptr) {
    return QString::fromUtf8(error.what());
  }
  return QStringLiteral("Внутренняя ошибка программы: ") + QString::fromUtf8(error.what());
}

QString errorText(const std::exception_ptr& ptr) {
  try {
    if (ptr) {
      std::rethrow_exception(ptr);
    }
  } catch (const std::exception& e) {
    return errorText(e);
  } catch (...) {
  }
  return QStringLiteral("Неизвестная ошибка.");
}

}  // namespace verbalon::ui
