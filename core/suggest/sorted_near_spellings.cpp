#include "suggest/sorted_near_spellings.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "suggest/key_runs.h"
#include "suggest/spelling_fold.h"

namespace verbalon::suggest {
namespace {

// One query's walk. rows[d] is the last row of the edit distance between the query's key and
// the current prefix of length d, each cell capped at edits + 1 so that it fits a byte.
class Walk {
 public:
  Walk(const WordLines& words, std::string_view query, size_t edits)
      : m_words(words),
        m_query(query),
        m_key(foldedKey(query)),
        m_edits(static_cast<uint8_t>(edits)),
        m_rows(1, std::vector<uint8_t>(m_key.size() + 1)) {
    for (size_t j = 0; j <= m_key.size(); ++j) {
      m_rows[0][j] = cap(j);
    }
  }

  std::vector<NearSpellingFinder::Match> run() {
    visit(0, m_words.size(), 0);
    return std::move(m_found);
  }

 private:
  uint8_t cap(size_t value) const {
    return static_cast<uint8_t>(std::min<size_t>(value, m_edits + 1U));
  }

  // Every word of [lo, hi) shares the prefix of length depth, whose row is m_rows[depth]. The
  // words whose key is that prefix come first, then one run per next character, in list order,
  // so the words are met in ascending position.
  void visit(size_t lo, size_t hi, size_t depth) {
    size_t start = lo;
    while (start < hi) {
      const std::string_view word = m_words[start];
      const std::optional<char> next = keyCharAt(word, depth);
      if (!next) {
        if (m_rows[depth].back() <= m_edits) measure(start, word);
        ++start;
        continue;
      }
      const size_t end = keyRunEnd(m_words, start, hi, depth, *next);
      if (descend(depth, *next)) visit(start, end, depth + 1);
      start = end;
    }
  }

  // Makes the row of the prefix extended by c; whether a word below it can still be in reach.
  bool descend(size_t depth, char c) {
    if (m_rows.size() <= depth + 1) m_rows.emplace_back(m_key.size() + 1);
    const std::vector<uint8_t>& above = m_rows[depth];
    std::vector<uint8_t>& row = m_rows[depth + 1];
    row[0] = cap(depth + 1);
    uint8_t best = row[0];
    for (size_t j = 1; j <= m_key.size(); ++j) {
      const size_t substitute = above[j - 1] + (m_key[j - 1] == c ? 0U : 1U);
      const size_t insert = static_cast<size_t>(above[j]) + 1;
      const size_t remove = static_cast<size_t>(row[j - 1]) + 1;
      row[j] = cap(std::min({substitute, insert, remove}));
      best = std::min(best, row[j]);
    }
    return best <= m_edits;
  }

  // The word's key is in reach; what counts is the word as spelled.
  void measure(size_t position, std::string_view word) {
    const size_t distance = spellingDistance(m_query, word, m_edits);
    if (distance <= m_edits) m_found.push_back({position, distance});
  }

  const WordLines& m_words;
  std::string_view m_query;
  std::string m_key;
  uint8_t m_edits;
  std::vector<std::vector<uint8_t>> m_rows;
  std::vector<NearSpellingFinder::Match> m_found;
};

}  // namespace

std::vector<NearSpellingFinder::Match> SortedNearSpellings::find(std::string_view query,
                                                                 size_t limit) const {
  const size_t edits = allowedEdits(query.size());
  if (edits == 0 || query.size() > kLongestNearSpellingQuery || limit == 0) return {};
  std::vector<Match> found = Walk(m_words, query, edits).run();
  keepNearest(found, limit);
  return found;
}

}  // namespace verbalon::suggest
