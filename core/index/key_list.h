#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// `slKey`: the keys of the combined index, one per word, held as their sort keys (see
// normalize.h) packed into one buffer. A million keys cost their bytes plus four bytes each,
// where a list of strings would cost 32 bytes each and a heap block for most of them.
namespace verbalon::index {

// A key to insert before line `position` of a KeyList.
struct KeyInsertion {
  size_t position = 0;
  std::string_view sortKey;
};

class KeyList {
 public:
  size_t size() const { return m_ends.size(); }
  bool empty() const { return m_ends.empty(); }
  std::string_view operator[](size_t i) const {
    const uint32_t begin = i == 0 ? 0 : m_ends[i - 1];
    return std::string_view(m_bytes).substr(begin, m_ends[i] - begin);
  }

  void clear();
  void reserve(size_t keys, size_t bytes);
  void push_back(std::string_view sortKey);
  // Appends the sort key of a word (normalisation included).
  void pushWord(std::string_view word);
  // Appends the keys of other, in order.
  void append(const KeyList& other);

  // Makes room for `keys` more keys of `bytes` bytes in all (with some to spare), so that an
  // insertSorted of them allocates nothing and cannot fail.
  void reserveMore(size_t keys, size_t bytes);
  // Inserts every key before its position in one pass from the back, growing in place.
  // Requires: insertions in ascending position (equal positions keep their order), and no
  // sortKey pointing into this list.
  void insertSorted(const std::vector<KeyInsertion>& insertions);

  // Keeps the keys whose flag is true, in order, in one pass. Requires: keep.size() == size().
  void compact(const std::vector<bool>& keep) noexcept;

  size_t byteSize() const { return m_bytes.size(); }

 private:
  void checkRoom(size_t more) const;

  std::string m_bytes;
  std::vector<uint32_t> m_ends;  // end offset of each key in m_bytes
};

struct FindKeyResult {
  bool found = false;
  std::string key;      // NormalizeWord of the word, whatever the outcome
  size_t position = 0;  // the equal line, or where the key would have to be inserted
};

// Searches keys (in use: `slKey`) for the key of word by halving: lo := 0, hi := count - 1,
// mid := (lo + hi) / 2 rounded down, until a line compares equal or lo > hi.
// Requires: keys ascending with no two equal.
FindKeyResult FindKey(std::string_view word, const KeyList& keys);

// The same search for a sort key that the caller already has.
FindKeyResult findSortKey(std::string_view sortKey, const KeyList& keys);

}  // namespace verbalon::index
