#include "index/word_filter.h"

#include "common/cp1251.h"

namespace verbalon::index {

std::string filterQuery(std::string_view text) {
  return cp1251::toLower(cp1251::trimBlanks(text));
}

bool beginsWithQuery(std::string_view word, std::string_view query) {
  if (word.size() < query.size()) return false;
  for (size_t k = 0; k < query.size(); ++k) {
    if (cp1251::toLower(word[k]) != query[k]) return false;
  }
  return true;
}

}  // namespace verbalon::index
