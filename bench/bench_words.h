#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <unordered_set>

#include "common/cp1251.h"
#include "common/string_list.h"
#include "index/normalize.h"

// Russian-like headwords for the benchmarks: syllables drawn with rough Russian letter
// frequencies, some compounds with a hyphen, some capitalised, an occasional "ё".
namespace verbalon::bench {

class RussianWords {
 public:
  explicit RussianWords(uint32_t seed) : m_rng(seed) {
    for (const char* s : {"б", "в", "г", "д", "ж", "з", "к", "л",  "м",  "н",  "п",  "р",  "с",
                          "т", "ф", "х", "ц", "ч", "ш", "щ", "ст", "пр", "кр", "тр", "зв", "сл"}) {
      m_consonants.push_back(cp1251::fromUtf8(s));
    }
    for (const char* s : {"а", "о", "е", "и", "у", "ы", "я", "ю", "ё", "о", "а", "е", "и"}) {
      m_vowels.push_back(cp1251::fromUtf8(s));
    }
    for (const char* s : {"", "", "", "ть", "ка", "ний", "ость", "ик", "ный", "ция", "ец"}) {
      m_endings.push_back(cp1251::fromUtf8(s));
    }
  }

  std::string next() {
    std::string word;
    const int syllables = 2 + static_cast<int>(m_rng() % 3);
    for (int i = 0; i < syllables; ++i) {
      word += m_consonants[m_rng() % m_consonants.size()];
      word += m_vowels[m_rng() % m_vowels.size()];
    }
    word += m_endings[m_rng() % m_endings.size()];
    const auto r = m_rng() % 100;
    if (r < 3) word += "-" + m_consonants[m_rng() % m_consonants.size()] + m_vowels[0];
    if (r >= 3 && r < 8) word[0] = cp1251::toUpper(word[0]);
    return word;
  }

  // count words of which no two are spellings of one word (by case, "ё" or hyphen).
  StringList unique(size_t count) {
    std::unordered_set<std::string> seen;
    StringList out;
    out.reserve(count);
    while (out.size() < count) {
      std::string word = next();
      if (seen.insert(index::NormalizeWord(cp1251::toLower(word))).second) {
        out.push_back(std::move(word));
      }
    }
    return out;
  }

  // Article locations as a package lays them out: a stream per letter block, line numbers.
  StringList locations(size_t count) {
    StringList out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      out.push_back("items\\" + std::to_string(i / 2000) + ":" + std::to_string(i % 2000));
    }
    return out;
  }

 private:
  std::mt19937 m_rng;
  std::vector<std::string> m_consonants;
  std::vector<std::string> m_vowels;
  std::vector<std::string> m_endings;
};

}  // namespace verbalon::bench
