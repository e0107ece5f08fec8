#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/packed_lines.h"
#include "common/string_list.h"
#include "index/key_list.h"

// The full word list follows the typing: the row of the first word whose key is not less than
// the typed text's key, by the index's own comparison (index/normalize.h).
namespace verbalon::suggest {

// The sort keys of a copy of `slWord`, searched by halving. The index keeps `slKey` only after
// the first install of a run, so this builds its own: about 0.3 µs a word, a few seconds for
// millions, which is why building needs nothing but the list and touches nothing shared. A
// caller may build one on another thread while the list stays unchanged, then move it over.
// Once built it does not change; const calls may run on several threads at once.
//
// The object does not refer to the list; it answers rows of the list it was built from, and is
// to be rebuilt when the list changes.
class KeySearch {
 public:
  KeySearch() = default;
  explicit KeySearch(const PackedLines& slWord);

  size_t size() const { return m_keys.size(); }

  // The row whose key is the least not less than typedText's key: the top row of the page to
  // show. size() when every key is less (the list then shows its last page). Letter case, «ё»
  // against «е», hyphens, dots and blanks do not count, as in the keys. About 5 µs with five
  // million words, page fill included.
  size_t firstNotLess(std::string_view typedText) const;

  // The row whose key equals word's key, if any.
  std::optional<size_t> find(std::string_view word) const;

  // Whether the list ascended by key. A stored index saved by another comparison may not
  // (until the next install puts it in order); rows are then searched through a sorted
  // permutation, and firstNotLess keeps its meaning.
  bool listInOrder() const { return m_order.empty(); }

  // Bytes held: the keys, their offsets and the permutation.
  size_t memoryBytes() const;

 private:
  // The rank, in key order, of the first key not less than sortKey.
  size_t lowerRank(std::string_view sortKey) const;
  std::string_view keyOfRank(size_t rank) const {
    return m_order.empty() ? m_keys[rank] : m_keys[m_order[rank]];
  }
  size_t rowOfRank(size_t rank) const { return m_order.empty() ? rank : m_order[rank]; }

  index::KeyList m_keys;          // row order
  std::vector<uint32_t> m_order;  // rows by ascending key; empty when the rows ascend already
};

// The same look-up over keys the caller already has (`slKey`, once an install has built it).
// Requires: keys ascending.
size_t firstNotLess(const index::KeyList& keys, std::string_view typedText);

}  // namespace verbalon::suggest
