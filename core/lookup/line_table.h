#pragma once

#include <cstddef>
#include <cstring>
#include <span>
#include <string_view>

#include "common/string_list.h"

namespace verbalon::lookup {

// A read-only list of lines held as a text and the spans of its lines, both in memory that the
// owner keeps (a mapped cache file, or a text read from the package). Nothing in it is trusted:
// every span is checked against the text when its line is read.
class LineTable {
 public:
  LineTable() = default;
  // spans: count records of two 32-bit numbers (LineSpan), in any alignment. origin names the
  // memory in messages and must outlive the table.
  LineTable(std::string_view text, std::span<const std::byte> spans, size_t count,
            std::string_view origin)
      : m_text(text), m_spans(spans.data()), m_count(count), m_origin(origin) {}

  size_t size() const { return m_count; }
  bool empty() const { return m_count == 0; }
  // Line i; raises ELookupCacheError when its span lies outside the text.
  // Requires: i < size().
  std::string_view operator[](size_t i) const {
    LineSpan span;
    std::memcpy(&span, m_spans + i * sizeof(LineSpan), sizeof(LineSpan));
    if (span.begin > m_text.size() || span.length > m_text.size() - span.begin) damaged(i);
    return m_text.substr(span.begin, span.length);
  }
  StringList toStringList() const;

 private:
  [[noreturn]] void damaged(size_t i) const;

  std::string_view m_text;
  const std::byte* m_spans = nullptr;
  size_t m_count = 0;
  std::string_view m_origin;
};

}  // namespace verbalon::lookup
