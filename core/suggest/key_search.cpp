#include "suggest/key_search.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <string>

#include "index/normalize.h"

namespace verbalon::suggest {
namespace {

// Halving over ranks 0..count: the first rank whose key is not less than sortKey, so among
// equal keys the first one.
template <typename KeyAt>
size_t lowerBound(size_t count, std::string_view sortKey, const KeyAt& keyAt) {
  size_t lo = 0;
  size_t hi = count;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (index::compareSortKeys(keyAt(mid), sortKey) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace

KeySearch::KeySearch(const PackedLines& slWord) {
  assert(slWord.size() <= std::numeric_limits<uint32_t>::max());
  size_t bytes = 0;
  for (const std::string_view word : slWord) {
    bytes += word.size();
  }
  // Secondary-strength keys of these words run a little longer than the words; the guess is
  // generous, and the keys are copied into exactly their size afterwards, since a list of
  // millions would otherwise keep tens of megabytes of spare room for the whole run.
  index::KeyList built;
  built.reserve(slWord.size(), bytes * 2 + slWord.size());
  std::string key;
  bool ascending = true;
  std::string previous;
  for (const std::string_view word : slWord) {
    key.clear();
    index::appendSortKey(word, key);
    if (ascending && !built.empty() && index::compareSortKeys(previous, key) > 0) {
      ascending = false;
    }
    built.push_back(key);
    previous.swap(key);
  }
  m_keys.reserve(built.size(), built.byteSize());
  for (size_t i = 0; i < built.size(); ++i) {
    m_keys.push_back(built[i]);
  }
  built = index::KeyList();  // its spare room goes back before the sort below needs memory
  if (ascending) return;
  m_order.resize(slWord.size());
  for (size_t i = 0; i < m_order.size(); ++i) {
    m_order[i] = static_cast<uint32_t>(i);
  }
  // Stable, so among equal keys the earlier row comes first.
  std::stable_sort(m_order.begin(), m_order.end(), [this](uint32_t a, uint32_t b) {
    return index::compareSortKeys(m_keys[a], m_keys[b]) < 0;
  });
}

size_t KeySearch::lowerRank(std::string_view sortKey) const {
  return lowerBound(m_keys.size(), sortKey, [this](size_t rank) { return keyOfRank(rank); });
}

size_t KeySearch::firstNotLess(std::string_view typedText) const {
  const size_t rank = lowerRank(index::sortKeyOf(typedText));
  return rank == m_keys.size() ? rank : rowOfRank(rank);
}

std::optional<size_t> KeySearch::find(std::string_view word) const {
  const std::string sortKey = index::sortKeyOf(word);
  const size_t rank = lowerRank(sortKey);
  if (rank == m_keys.size() || index::compareSortKeys(keyOfRank(rank), sortKey) != 0) {
    return std::nullopt;
  }
  return rowOfRank(rank);
}

size_t KeySearch::memoryBytes() const {
  return m_keys.byteSize() + m_keys.size() * sizeof(uint32_t) + m_order.size() * sizeof(uint32_t);
}

size_t firstNotLess(const index::KeyList& keys, std::string_view typedText) {
  return lowerBound(keys.size(), index::sortKeyOf(typedText),
                    [&keys](size_t rank) { return keys[rank]; });
}

}  // namespace verbalon::suggest
