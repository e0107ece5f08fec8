#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

// The one place where text crosses between the system (Windows-1251 bytes in std::string) and
// Qt (UTF-16 QString). File names cross between Qt and the file system's own encoding.
namespace verbalon::ui {

QString toQString(std::string_view cp1251);
// Characters that Windows-1251 cannot hold become '?'.
std::string fromQString(const QString& text);
// Text the user typed: characters that Windows-1251 cannot hold are folded to the nearest
// letters it holds ("é" -> "e", "ß" -> "ss"; cp1251::foldFromUtf16), so a query finds what was
// meant. Not for file names, which folding would turn into the names of other files.
std::string typedFromQString(const QString& text);

QString pathToQString(const std::filesystem::path& path);
std::filesystem::path pathFromQString(const QString& path);

}  // namespace verbalon::ui
