#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

#include "common/string_list.h"

// What the packed line lists (the index's lists, a dictionary's item lists) share: they hold
// their lines in one buffer and give line i by operator[] as a view into it.
namespace verbalon {

// A forward iterator over such a list: the list and a line number.
template <typename Lines>
class LineIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = std::string_view;
  using difference_type = std::ptrdiff_t;
  LineIterator() = default;
  LineIterator(const Lines* lines, size_t i) : m_lines(lines), m_i(i) {}
  std::string_view operator*() const { return (*m_lines)[m_i]; }
  LineIterator& operator++() {
    ++m_i;
    return *this;
  }
  LineIterator operator++(int) {
    LineIterator before = *this;
    ++m_i;
    return before;
  }
  bool operator==(const LineIterator& other) const { return m_i == other.m_i; }

 private:
  const Lines* m_lines = nullptr;
  size_t m_i = 0;
};

// The lines copied into strings of their own.
template <typename Lines>
StringList copyLines(const Lines& lines) {
  StringList out;
  out.reserve(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    out.emplace_back(lines[i]);
  }
  return out;
}

// Whether the lines are those of b, in order.
template <typename Lines>
bool sameLines(const Lines& a, const StringList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < b.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace verbalon
