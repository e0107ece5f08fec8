#include "qtglue/qt_text.h"

#include "common/cp1251.h"
#include "common/cp1251_fold.h"

namespace verbalon::ui {

QString toQString(std::string_view cp1251) {
  const std::u16string text = cp1251::toUtf16(cp1251);
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fromQString(const QString& text) {
  return cp1251::fromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                               static_cast<size_t>(text.size())));
}

std::string typedFromQString(const QString& text) {
  return cp1251::foldFromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                   static_cast<size_t>(text.size())));
}

QString pathToQString(const std::filesystem::path& path) {
  return QString::fromStdString(path.native());
}

std::filesystem::path pathFromQString(const QString& path) {
  return path.toStdString();
}

}  // namespace verbalon::ui
