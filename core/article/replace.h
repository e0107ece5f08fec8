#pragma once

#include <string>
#include <string_view>

namespace verbalon::article {

// Replaces every occurrence of pattern in text by value, the one rule by which article pages
// fill their placeholders and turn delimiters into line breaks. Matching ignores letter case by
// the Windows-1251 upper-case mapping (Cyrillic included). The scan runs left to right and goes
// on behind each replaced occurrence, so inserted text is never searched again. An empty
// pattern replaces nothing. value goes in as it stands: nothing is escaped for HTML.
std::string replaceAll(std::string_view text, std::string_view pattern, std::string_view value);

}  // namespace verbalon::article
