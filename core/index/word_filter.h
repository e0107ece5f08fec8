#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "common/string_list.h"

// The prefix filter over the display forms of `slWord`: what the find box lists for a query.
// It works on the words as spelled, not on the keys: "ё" and "е" differ, and hyphens, dots and
// blanks count like letters; only letter case is ignored.
namespace verbalon::index {

// The result of one filter run: the matching words as spelled in `slWord`, in its order, and
// for each its position in `slWord`.
struct TFilteredListWord {
  StringList Words;
  std::vector<int32_t> Indexes;
};

// The query of a typed text: characters of code 32 or below removed at both ends, then lower
// case (Windows-1251 rules, capital Ё included).
std::string filterQuery(std::string_view text);

// Whether word begins with query, letter case ignored. Requires: query made by filterQuery.
bool beginsWithQuery(std::string_view word, std::string_view query);

// Every word of slWord that begins with query, letter case ignored. An empty query matches
// nothing. Lines: any list with size() and operator[] giving text (StringList, a cached line
// table). Requires: query made by filterQuery.
template <typename Lines>
TFilteredListWord filterWords(const Lines& slWord, std::string_view query) {
  TFilteredListWord result;
  if (query.empty()) return result;
  const size_t limit =
      std::min<size_t>(slWord.size(), static_cast<size_t>(std::numeric_limits<int32_t>::max()));
  for (size_t i = 0; i < limit; ++i) {
    const std::string_view word = slWord[i];
    if (beginsWithQuery(word, query)) {
      result.Words.emplace_back(word);
      result.Indexes.push_back(static_cast<int32_t>(i));
    }
  }
  return result;
}

}  // namespace verbalon::index
