#pragma once

#include <string_view>
#include <vector>

namespace verbalon::article::detail {

// The fields of text split at every separator. The empty text after a last separator is no
// field, as when the split runs through a list of lines: "a;;b;" gives "a", "", "b", and ""
// gives none.
std::vector<std::string_view> splitFields(std::string_view text, char separator);

}  // namespace verbalon::article::detail
