#pragma once

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "suggest/near_spellings.h"
#include "suggest/word_lines.h"

// Near spellings straight from the ordered word list, with nothing built beforehand: for a
// caller that answers one query and goes, such as the tool.
namespace verbalon::suggest {

// The list, ordered by key, is walked as a tree of key prefixes (case ignored, «ё» as «е»,
// hyphens, dots and blanks left out, as in the keys): the words that share a prefix lie
// together, and the rows of the edit distance between the query and a prefix tell when no word
// below it can come within reach, so that subtree is skipped. The rows and the halving searches
// that find where each prefix's words end make the cost grow with the query and the words near
// it, not with the list: a query reads a few thousand lines of any list.
//
// It answers what NearSpellings answers for the same list, as long as the list ascends by the
// index's comparison: leaving characters out of both words only lowers their distance, so the
// keys' walk misses no word, and each word found is measured again as spelled. Words out of
// order (an index saved by another comparison) may be missed, never offered wrongly.
class SortedNearSpellings : public NearSpellingFinder {
 public:
  // words must outlive this object and stay unchanged.
  explicit SortedNearSpellings(WordLines words) : m_words(std::move(words)) {}

  std::vector<Match> find(std::string_view query, size_t limit = kNearSpellingLimit) const override;

 private:
  WordLines m_words;
};

}  // namespace verbalon::suggest
