#pragma once

#include <span>
#include <string>
#include <string_view>

#include "common/utf8.h"
// Element names as the tool shows them and turns them into file names, and back.
//
// A compound file stores names in UTF-16. In a package they are Windows-1251 text (the core
// converts them), so the tool shows them as that text in UTF-8, and a character outside the code
// page shows as "?". With --raw, any compound file: names go from UTF-16 straight to UTF-8.
//
// A character that cannot stand in a terminal line or a file name is written as "[N]", N its
// decimal code, as 7-Zip does: control characters everywhere, and "/" in file names.
namespace verbalon::cli {

enum class NameMode { Package, Raw };

// UTF-16 to UTF-8 (common/utf8.h) and back. Unpaired surrogates and invalid UTF-8 become U+FFFD.
using ::verbalon::utf16ToUtf8;
std::u16string utf8ToUtf16(std::string_view text);

// The name for a terminal line, in UTF-8.
std::string shownName(std::u16string_view name, NameMode mode);

// The name as a file name, in UTF-8; never empty, ".", ".." or containing "/" (an empty name
// gives "[]", and the dots of "." and ".." are written as "[46]").
std::string fileNameFor(std::u16string_view name, NameMode mode);

// A path of names, joined with "\" as shownName gives each.
std::string shownPath(std::span<const std::u16string> names, NameMode mode);

// True when every character of name has a Windows-1251 form, so that the core can address it.
bool fitsWindows1251(std::u16string_view name);

// The storage path (Windows-1251, "\" between names) of names that fit Windows-1251.
std::string packagePath(std::span<const std::u16string> names);

// The Windows-1251 text of a UTF-8 name given by the user or the file system. Throws EToolError
// naming what (e.g. "file name") when a character has no Windows-1251 form.
std::string toPackageText(std::string_view utf8, std::string_view what);

}  // namespace verbalon::cli
