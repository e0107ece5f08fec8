#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/packed_lines.h"
#include "common/string_list.h"

// Words of the index spelled nearly like the query: within one edit for a query of 3 to 5
// letters, two for a longer one (spelling_fold.h: case ignored, «ё» = «е»).
namespace verbalon::suggest {

inline constexpr size_t kNearSpellingLimit = 20;
// Longer queries are not typing mistakes worth a search.
inline constexpr size_t kLongestNearSpellingQuery = 64;

// The most edits a query of that many characters allows; 0 means no near spellings (fewer than
// 3 characters, where one edit reaches half the dictionary).
size_t allowedEdits(size_t queryLength);

// What the suggestions ask of a source of near spellings, whichever way it finds them.
class NearSpellingFinder {
 public:
  struct Match {
    size_t position;  // in slWord
    size_t distance;
  };

  virtual ~NearSpellingFinder() = default;

  // Up to limit words within allowedEdits(query's length), nearest first, then in index order.
  // A word equal to query up to case and «ё» comes with distance 0. query is Windows-1251 as
  // typed, without blanks at its ends; one longer than kLongestNearSpellingQuery has none.
  virtual std::vector<Match> find(std::string_view query,
                                  size_t limit = kNearSpellingLimit) const = 0;

 protected:
  NearSpellingFinder() = default;
  NearSpellingFinder(const NearSpellingFinder&) = default;
  NearSpellingFinder& operator=(const NearSpellingFinder&) = default;
};

// Sorts matches found in ascending position nearest first, index order kept among equals, and
// keeps the first limit.
void keepNearest(std::vector<NearSpellingFinder::Match>& found, size_t limit);

// An inverted index of the letter pairs of every word (the folded word with a start and an end
// mark, each distinct pair once), so that a query counts shared pairs instead of comparing
// itself with every word. One edit changes at most two of the query's length + 1 pairs, so a
// word within k edits shares all but 2k of them; only words that can, and whose length is in
// reach, are compared in full. Lists hold word numbers as variable-length gaps, about 1.3 bytes
// a pair.
//
// Building reads slWord twice (about a second for a million words); a caller builds it when a
// query first needs it. It refers to slWord, which must outlive it and stay unchanged: rebuild
// after the index changes. Queries are const and may run on several threads at once.
//
// A window that answers many queries builds one; a caller with one query takes
// SortedNearSpellings, which builds nothing.
class NearSpellings : public NearSpellingFinder {
 public:
  explicit NearSpellings(const PackedLines& slWord);

  std::vector<Match> find(std::string_view query, size_t limit = kNearSpellingLimit) const override;

  // Bytes held by the lists and their offsets.
  size_t memoryBytes() const;

 private:
  const PackedLines& m_words;
  std::vector<uint8_t> m_postings;  // per pair: word numbers ascending, as varint gaps
  std::vector<uint64_t> m_offset;   // per pair: start in m_postings; one more at the end
};

}  // namespace verbalon::suggest
