#include "index/detail/progress_texts.h"

#include "common/cp1251.h"

namespace verbalon::index::detail {

const std::string& textPreparingInstall() {
  static const std::string text = cp1251::fromUtf8("Подготовка к установке...");
  return text;
}

const std::string& textInstalling() {
  static const std::string text = cp1251::fromUtf8("Установка словаря: ");
  return text;
}

const std::string& textOf() {
  static const std::string text = cp1251::fromUtf8(" из ");
  return text;
}

const std::string& textPreparingRemoval() {
  static const std::string text = cp1251::fromUtf8("Подготовка к удалению...");
  return text;
}

const std::string& textRemoving() {
  static const std::string text = cp1251::fromUtf8("Удаление словаря: ");
  return text;
}

const std::string& textSaving() {
  static const std::string text = cp1251::fromUtf8("Сохранение результатов...");
  return text;
}

}  // namespace verbalon::index::detail
