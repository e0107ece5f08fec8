#include "index/key_list.h"

#include <cstddef>

#include "index/normalize.h"

namespace verbalon::index {

void KeyList::pushWord(std::string_view word) {
  pushWritten([word](std::string& bytes) { appendSortKey(word, bytes); });
}

FindKeyResult findSortKey(std::string_view sortKey, const KeyList& keys) {
  FindKeyResult result;
  if (keys.empty()) return result;
  // Signed bounds, as the halving is written: hi may fall to -1.
  auto lo = static_cast<std::ptrdiff_t>(0);
  auto hi = static_cast<std::ptrdiff_t>(keys.size()) - 1;
  while (lo <= hi) {
    const std::ptrdiff_t mid = (lo + hi) / 2;
    const int cmp = compareSortKeys(sortKey, keys[static_cast<size_t>(mid)]);
    if (cmp > 0) {
      lo = mid + 1;
    } else if (cmp < 0) {
      hi = mid - 1;
    } else {
      result.found = true;
      result.position = static_cast<size_t>(mid);
      return result;
    }
  }
  result.position = static_cast<size_t>(lo);
  return result;
}

FindKeyResult FindKey(std::string_view word, const KeyList& keys) {
  FindKeyResult result = findSortKey(sortKeyOf(word), keys);
  result.key = NormalizeWord(word);
  return result;
}

}  // namespace verbalon::index
