#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/line_iterator.h"
#include "common/string_list.h"

namespace verbalon::dicts {

// A read-only ordered list of strings kept as the text it was split from, plus where each line
// lies in it: 8 bytes a line where a list of strings costs 32 and often a heap block. The item
// and index lists of a dictionary are read once and never changed, and an installation holds a
// million of their lines.
class TextLines {
 public:
  TextLines() = default;
  // Splits text into lines at CR LF, a lone CR or a lone LF, as stored texts are read; a line
  // break at the very end adds no empty line.
  explicit TextLines(std::string text);
  // The given lines, which hold no line break.
  explicit TextLines(const StringList& lines);

  size_t size() const { return m_spans.size(); }
  bool empty() const { return m_spans.empty(); }
  std::string_view operator[](size_t i) const {
    return std::string_view(m_text).substr(m_spans[i].begin, m_spans[i].length);
  }
  StringList toStringList() const { return copyLines(*this); }
  // Heap bytes held.
  size_t memoryBytes() const { return m_text.capacity() + m_spans.capacity() * sizeof(LineSpan); }

  using Iterator = LineIterator<TextLines>;
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, size()); }

  friend bool operator==(const TextLines& a, const StringList& b) { return sameLines(a, b); }

 private:
  std::string m_text;
  std::vector<LineSpan> m_spans;
};

}  // namespace verbalon::dicts
