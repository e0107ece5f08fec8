#include "common/string_list.h"

#include <limits>

#include "common/cp1251.h"
#include "common/detail/line_breaks.h"
#include "common/error.h"
#include "common/huge_pages.h"

namespace verbalon {

size_t countLines(std::string_view text) {
  size_t breaks = 0;
  const char* data = text.data();
  const size_t size = text.size();
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' || (data[i] == '\r' && (i + 1 == size || data[i + 1] != '\n'))) ++breaks;
  }
  // A last line without a line break counts too.
  if (size > 0 && data[size - 1] != '\n' && data[size - 1] != '\r') ++breaks;
  return breaks;
}

std::vector<LineSpan> lineSpans(std::string_view text) {
  if (text.size() > std::numeric_limits<uint32_t>::max()) {
    throw Error("a text of 4 GiB or more cannot be split into lines");
  }
  std::vector<LineSpan> spans;
  // Sized once: a stored index has millions of lines, and a list grown by doubling touches
  // twice the memory it ends up with.
  reserveWithHugePages(spans, countLines(text));
  detail::forEachLine(text, [&spans](size_t begin, size_t length) {
    spans.push_back({static_cast<uint32_t>(begin), static_cast<uint32_t>(length)});
  });
  return spans;
}

StringList splitLines(std::string_view text) {
  StringList lines;
  reserveWithHugePages(lines, countLines(text));
  detail::forEachLine(
      text, [&](size_t begin, size_t length) { lines.emplace_back(text.substr(begin, length)); });
  return lines;
}

std::string joinLines(const StringList& lines) {
  size_t size = 0;
  for (const std::string& line : lines) {
    size += line.size() + 2;
  }
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::string settingValue(const StringList& lines, std::string_view key) {
  for (const std::string& line : lines) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (cp1251::equalsIgnoreCase(std::string_view(line).substr(0, eq), key)) {
      return line.substr(eq + 1);
    }
  }
  return {};
}

}  // namespace verbalon
