#include "dicts/text_lines.h"

#include <cstring>
#include <limits>
#include <utility>

#include "common/error.h"

namespace verbalon::dicts {

TextLines::TextLines(std::string text) : m_text(std::move(text)) {
  // Spans count in 32 bits; no stored stream of a package comes near 4 GiB.
  if (m_text.size() > std::numeric_limits<uint32_t>::max()) {
    throw Error("a text of more than 4 GiB cannot be split into lines");
  }
  const char* data = m_text.data();
  const size_t size = m_text.size();
  size_t breaks = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' || (data[i] == '\r' && (i + 1 == size || data[i + 1] != '\n'))) ++breaks;
  }
  m_spans.reserve(breaks + 1);
  size_t start = 0;
  while (start < size) {
    size_t end = start;
    while (end < size && data[end] != '\r' && data[end] != '\n')
      ++end;
    m_spans.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(end - start)});
    if (end == size) break;
    start = end + 1;
    if (data[end] == '\r' && start < size && data[start] == '\n') ++start;
  }
}

TextLines::TextLines(const StringList& lines) : TextLines(joinLines(lines)) {}

StringList TextLines::toStringList() const {
  StringList lines;
  lines.reserve(size());
  for (std::string_view line : *this)
    lines.emplace_back(line);
  return lines;
}

bool operator==(const TextLines& a, const StringList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < b.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace verbalon::dicts
