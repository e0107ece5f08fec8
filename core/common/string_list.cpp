#include "common/string_list.h"

#include "common/cp1251.h"
#include "common/huge_pages.h"

namespace verbalon {

StringList splitLines(std::string_view text) {
  // Sized once: a stored index has a million lines, and a list grown by doubling touches twice
  // the memory it ends up with, which costs more than counting the line breaks first.
  StringList lines;
  reserveWithHugePages(lines, countLines(text));
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

size_t countLines(std::string_view text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    // Every line break ends a line; CR LF is one break.
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
      ++count;
    }
  }
  const char last = text.empty() ? '\n' : text.back();
  return count + (last == '\n' || last == '\r' ? 0 : 1);
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
