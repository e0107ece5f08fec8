#pragma once

#include <cstring>
#include <string_view>

namespace verbalon::detail {

// Calls visit(begin, length) for every line of text, in order, as splitLines finds them.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
  const char* data = text.data();
  const size_t size = text.size();
  size_t start = 0;
  while (start < size) {
    // Most lines end in LF and a lone CR is rare, so the search looks for LF first and then
    // for a CR only before it.
    const auto* lf = static_cast<const char*>(std::memchr(data + start, '\n', size - start));
    const size_t limit = lf == nullptr ? size : static_cast<size_t>(lf - data);
    const auto* cr = static_cast<const char*>(std::memchr(data + start, '\r', limit - start));
    const size_t end = cr == nullptr ? limit : static_cast<size_t>(cr - data);
    visit(start, end - start);
    if (end == size) break;
    start = end + 1;
    if (data[end] == '\r' && start < size && data[start] == '\n') ++start;
  }
}

}  // namespace verbalon::detail
