#pragma once

#include <string>

// The Russian texts that installing, removing and saving show, in Windows-1251. Written here in
// UTF-8 and converted once, so the sources stay readable.
namespace verbalon::index::detail {

const std::string& textPreparingInstall();  // "Подготовка к установке..."
const std::string& textInstalling();        // "Установка словаря: "
const std::string& textOf();                // " из "
const std::string& textPreparingRemoval();  // "Подготовка к удалению..."
const std::string& textRemoving();          // "Удаление словаря: "
const std::string& textSaving();            // "Сохранение результатов..."

}  // namespace verbalon::index::detail
