#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

// The word list as the suggestions read it, whatever holds it: `slWord` itself, or the tool's
// look-up cache (a mapped line table), which is never copied into strings for one query.
namespace verbalon::suggest {

class WordLines {
 public:
  // A view of lines: any list with size() and operator[] giving text. lines must outlive the
  // view and stay unchanged while it is used.
  template <typename Lines>
  explicit WordLines(const Lines& lines)
      : m_size(lines.size()), m_line([&lines](size_t i) -> std::string_view { return lines[i]; }) {}

  size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  // Requires: i < size().
  std::string_view operator[](size_t i) const { return m_line(i); }

 private:
  size_t m_size;
  std::function<std::string_view(size_t)> m_line;
};

}  // namespace verbalon::suggest
