#include "article/detail/stream_lines.h"

namespace verbalon::article::detail {
namespace {

// Where the line that starts at start ends, and where the next one starts.
size_t lineEnd(std::string_view text, size_t start, size_t& next) {
  size_t end = start;
  while (end < text.size() && text[end] != '\r' && text[end] != '\n') {
    ++end;
  }
  next = end + 1;
  if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++next;
  return end;
}

}  // namespace

std::optional<std::string_view> nthLine(std::string_view text, size_t n) {
  size_t start = 0;
  for (size_t i = 0; start < text.size(); ++i) {
    size_t next = 0;
    const size_t end = lineEnd(text, start, next);
    if (i == n) return text.substr(start, end - start);
    start = next;
  }
  return std::nullopt;
}

}  // namespace verbalon::article::detail
