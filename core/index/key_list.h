#pragma once

#include <string>
#include <string_view>

#include "common/packed_lines.h"

// `slKey`: the keys of the combined index, one per word, held as their sort keys (see
// normalize.h) packed into one buffer.
namespace verbalon::index {

class KeyList : public PackedLines {
 public:
  // Appends the sort key of a word (normalisation included).
  void pushWord(std::string_view word);
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
