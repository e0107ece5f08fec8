#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How near spellings compare words: letter case is ignored and «ё» counts as «е»; hyphens,
// blanks and every other character count like letters. Windows-1251.
namespace verbalon::suggest {

char foldSpelling(char c);
std::string foldSpelling(std::string_view text);

// The Levenshtein distance (insertions, deletions and substitutions of one character each) of
// the folded a and b, or limit + 1 when it is more than limit. The cost grows with
// limit × length, not with the square of the length.
size_t spellingDistance(std::string_view a, std::string_view b, size_t limit);

}  // namespace verbalon::suggest
