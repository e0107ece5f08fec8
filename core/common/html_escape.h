#pragma once

#include <string>
#include <string_view>

namespace verbalon {

// text with & < > and " as character entities, so that it shows as it stands in a page. Works
// on Windows-1251 and UTF-8 alike: only ASCII bytes change.
std::string escapeHtml(std::string_view text);

}  // namespace verbalon
