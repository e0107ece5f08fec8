#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verbalon {

// The ordered list of single-byte lines that every stored text is made of: it keeps its order
// and accepts duplicates.
using StringList = std::vector<std::string>;

// Splits text into lines at CR LF, a lone CR or a lone LF. A line break at the very end adds no
// empty line, so "" gives no lines and "\r\n" gives one empty line.
StringList splitLines(std::string_view text);

// Where one line lies in a text: its first byte and its length, line break excluded.
struct LineSpan {
  uint32_t begin = 0;
  uint32_t length = 0;
};

// The lines of text as splitLines finds them, as spans into text instead of copies. Raises
// Error for a text of 4 GiB or more, which spans cannot address.
std::vector<LineSpan> lineSpans(std::string_view text);

// How many lines splitLines would give, without making them.
size_t countLines(std::string_view text);

// The stored form of a list: every line followed by CR LF, the last one too.
std::string joinLines(const StringList& lines);

// The value of a settings line "name=value": the text after the first "=" of the first line
// whose text before its first "=" equals key, letter case ignored (Windows-1251 rules).
// Nothing is trimmed; a missing key gives an empty value.
std::string settingValue(const StringList& lines, std::string_view key);

}  // namespace verbalon
