#pragma once

#include <QString>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

// The one place where text crosses between the system (Windows-1251 bytes in std::string) and
// Qt (UTF-16 QString). File names cross between Qt and the file system's own encoding.
namespace verbalon::ui {

QString toQString(std::string_view cp1251);
// Characters that Windows-1251 cannot hold become '?'.
std::string fromQString(const QString& text);

// The message of an error: the core writes its messages in UTF-8.
QString errorText(const std::exception& error);

QString pathToQString(const std::filesystem::path& path);
std::filesystem::path pathFromQString(const QString& path);

}  // namespace verbalon::ui
