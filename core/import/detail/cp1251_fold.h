#pragma once

#include <optional>
#include <string>
#include <string_view>

// Unicode text into the Windows-1251 of a package, two ways.
namespace verbalon::import::detail {

// Article text: what the code page holds as its byte, every other character as an HTML numeric
// character reference ("&#601;"). Requires: valid UTF-8.
std::string toCp1251WithReferences(std::string_view utf8);

// A headword: the Windows-1251 text itself when the code page holds all of it; otherwise the
// characters it cannot hold folded to the nearest it can (é -> e, ß -> ss; what has no Latin
// form at all, such as a lone combining accent, is dropped) and folded is set; none when a
// character folds to one the code page lacks, or nothing but blanks is left. Requires: valid
// UTF-8.
std::optional<std::string> foldToCp1251(std::string_view utf8, bool& folded);

}  // namespace verbalon::import::detail
