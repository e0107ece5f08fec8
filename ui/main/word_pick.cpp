#include "main/word_pick.h"

#include <QString>
#include <string_view>

#include "qtglue/qt_text.h"

namespace verbalon::ui {

bool isPickDelimiter(char c) {
  static constexpr std::string_view kDelimiters(",.;:!? \t\r\n\"()[]{}<>");
  return kDelimiters.find(c) != std::string_view::npos;
}

namespace {

// The character at position as one Windows-1251 byte, or false where the walk must end: outside
// the text, or at a delimiter.
bool wordCharAt(const CharAt& charAt, int position, char& out) {
  QChar ch;
  if (!charAt(position, ch)) {
    return false;
  }
  const std::string bytes = fromQString(QString(ch));
  out = bytes.empty() ? '?' : bytes.front();
  return !isPickDelimiter(out);
}

}  // namespace

std::string pickWord(int position, const CharAt& charAt) {
  std::string word;
  char c = 0;
  // The walks stop at the text's ends, and -1 is outside it, so a point over no text gives "".
  for (int p = position; p >= 0 && wordCharAt(charAt, p, c); --p) {
    word.insert(word.begin(), c);
  }
  if (position < 0) {
    return word;
  }
  for (int q = position + 1; wordCharAt(charAt, q, c); ++q) {
    word.push_back(c);
  }
  return word;
}

}  // namespace verbalon::ui
