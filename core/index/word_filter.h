#pragma once

#include <cstdint>
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

// Every word of slWord that begins with query, letter case ignored. An empty query matches
// nothing. Requires: query made by filterQuery.
TFilteredListWord filterWords(const StringList& slWord, std::string_view query);

}  // namespace verbalon::index
