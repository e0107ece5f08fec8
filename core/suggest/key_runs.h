#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "suggest/word_lines.h"

// The word list, ordered by key, seen as a tree of key prefixes: the words whose keys share a
// prefix lie together, one run per next character, so a prefix's words are found by halving
// instead of a pass over the list. Keys here are folded (spelling_fold.h: case ignored, «ё» as
// «е») with hyphens, dots and blanks left out, as the index's keys leave them out.
namespace verbalon::suggest {

// The folded key of text.
std::string foldedKey(std::string_view text);

// Character depth of word's folded key, if the key is that long.
std::optional<char> keyCharAt(std::string_view word, size_t depth);

// The end of the run of words from start that have c at depth, within [start, hi): a galloping
// search, then halving, so a short run costs few probes however long the range.
// Requires: start < hi and keyCharAt(words[start], depth) == c.
size_t keyRunEnd(const WordLines& words, size_t start, size_t hi, size_t depth, char c);

// The positions [first, last) of the words whose folded key begins with text's; an empty range
// when there are none. Requires: words ascending by key (else words may be missed).
std::pair<size_t, size_t> keyPrefixRange(const WordLines& words, std::string_view text);

}  // namespace verbalon::suggest
