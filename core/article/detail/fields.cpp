#include "article/detail/fields.h"

namespace verbalon::article::detail {

std::vector<std::string_view> splitFields(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (start < text.size()) {
    const size_t found = text.find(separator, start);
    if (found == std::string_view::npos) {
      fields.push_back(text.substr(start));
      break;
    }
    fields.push_back(text.substr(start, found - start));
    start = found + 1;
  }
  return fields;
}

}  // namespace verbalon::article::detail
