#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/packed_lines.h"
#include "suggest/word_lines.h"

// Whole-word patterns typed into the find box: "*" stands for any run of characters (none too),
// "?" for exactly one. Letter case is ignored (Windows-1251 rules, «Ё» included); «ё» and «е»
// differ, as in the prefix filter.
namespace verbalon::suggest {

inline constexpr size_t kWildcardLimit = 10000;

// Whether text holds "*" or "?", which makes it a pattern.
bool hasWildcard(std::string_view text);

// A pattern taken apart once for matching many words: the runs between the stars. Each run is
// placed at the leftmost spot where it fits, which is always right for "*" patterns, so nothing
// is retried: a word costs at most its length times the pattern's, whatever the stars.
class WildcardPattern {
 public:
  explicit WildcardPattern(std::string_view pattern);
  bool matches(std::string_view word) const;

 private:
  std::vector<std::string> m_runs;  // lower-cased; "?" kept as is
  bool m_starFirst = false;
  bool m_starLast = false;
};

struct WildcardMatches {
  std::vector<size_t> positions;  // in slWord, ascending
  bool cut = false;               // more words matched than the limit
};

// The positions of the words of slWord that match pattern as a whole, in index order, at most
// limit of them.
WildcardMatches matchWildcard(std::string_view pattern, const WordLines& words,
                              size_t limit = kWildcardLimit);
inline WildcardMatches matchWildcard(std::string_view pattern, const PackedLines& slWord,
                                     size_t limit = kWildcardLimit) {
  return matchWildcard(pattern, WordLines(slWord), limit);
}

}  // namespace verbalon::suggest
