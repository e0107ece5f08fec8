#pragma once

#include <cstddef>
#include <string_view>

// An article location, one line of a package's "~index.dat": the stream path of an item stream
// inside the package, ":", and the line of that stream's text that holds the article, counted
// from 0, for example "items\0001.dat:12".
//
// A location becomes the tail of an index entry part as it stands (index/index_entry.h), so its
// rule is the one every reader of entries applies:
//   - no "|" anywhere: one would start a part of another dictionary;
//   - exactly one ":": a second one, inside the stream path, would move the line number;
//   - the line number is 1 to kLocationDigits decimal digits, with no sign and no blank. Leading
//     zeros are allowed: packages are written by other software, and the value stays plain.
// The stream path may be empty; such a location names no stream and fails when it is read.
namespace verbalon::dicts {

// The most digits of a line number, and of the dictionary number of an index entry part: nine
// digits always fit in 32 bits, and no stream or index comes near a billion lines.
inline constexpr size_t kLocationDigits = 9;

struct ArticleLocation {
  std::string_view path;  // points into the text that was read
  size_t line = 0;
};

// Reads text as an article location into location. Returns nullptr when text is one, otherwise
// what is wrong with it, worded to follow "it" in a message: "has a \":\" inside its stream path".
const char* readArticleLocation(std::string_view text, ArticleLocation& location) noexcept;

// Whether text is 1 to kLocationDigits decimal digits; the value in value if so.
bool readDecimal(std::string_view text, size_t& value) noexcept;

}  // namespace verbalon::dicts
