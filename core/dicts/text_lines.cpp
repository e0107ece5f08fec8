#include "dicts/text_lines.h"

#include <utility>

namespace verbalon::dicts {

TextLines::TextLines(std::string text) : m_text(std::move(text)), m_spans(lineSpans(m_text)) {}

TextLines::TextLines(const StringList& lines) : TextLines(joinLines(lines)) {}

StringList TextLines::toStringList() const {
  StringList lines;
  lines.reserve(size());
  for (std::string_view line : *this) {
    lines.emplace_back(line);
  }
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
