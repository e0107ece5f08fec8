#include "index/word_filter.h"

#include <limits>

#include "common/cp1251.h"

namespace verbalon::index {

std::string filterQuery(std::string_view text) {
  return cp1251::toLower(cp1251::trimBlanks(text));
}

TFilteredListWord filterWords(const StringList& slWord, std::string_view query) {
  TFilteredListWord result;
  if (query.empty()) return result;
  const size_t limit =
      std::min<size_t>(slWord.size(), static_cast<size_t>(std::numeric_limits<int32_t>::max()));
  for (size_t i = 0; i < limit; ++i) {
    const std::string& word = slWord[i];
    if (word.size() < query.size()) continue;
    bool match = true;
    for (size_t k = 0; k < query.size() && match; ++k) {
      match = cp1251::toLower(word[k]) == query[k];
    }
    if (match) {
      result.Words.push_back(word);
      result.Indexes.push_back(static_cast<int32_t>(i));
    }
  }
  return result;
}

}  // namespace verbalon::index
