#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "index/normalize.h"

namespace verbalon::index {

// The line of words whose key equals word's key (letter case, "ё" against "е", hyphens, dots
// and blanks do not count), found by halving over the ordered list; none when there is no such
// line. Only the probed lines are compared, each through the collator as it is met, so a look-up
// costs a logarithmic number of comparisons whatever the list's size.
// Lines: any list with size() and operator[] giving text (StringList, a cached line table).
// Requires: words ascending by key.
template <typename Lines>
std::optional<size_t> findWordLine(const Lines& words, std::string_view word) {
  const std::string wanted = sortKeyOf(word);
  std::string probe;
  size_t lo = 0;
  size_t hi = words.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    probe.clear();
    appendSortKey(words[mid], probe);
    const int cmp = compareSortKeys(wanted, probe);
    if (cmp == 0) return mid;
    if (cmp > 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return std::nullopt;
}

}  // namespace verbalon::index
