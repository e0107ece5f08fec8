#pragma once

#include <random>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "common/string_list.h"
#include "dicts/tdict.h"

namespace verbalon::index::testing {

// Windows-1251 from a UTF-8 literal.
inline std::string w(const char* utf8) {
  return cp1251::fromUtf8(utf8);
}

inline StringList ws(std::initializer_list<const char*> utf8) {
  StringList out;
  for (const char* s : utf8)
    out.push_back(w(s));
  return out;
}

inline std::string u(std::string_view text) {
  return cp1251::toUtf8(text);
}

// UTF-8 copies of a list's lines (a StringList or the index's packed lists).
template <typename Lines>
StringList us(const Lines& lines) {
  StringList out;
  for (const std::string_view s : lines)
    out.push_back(u(s));
  return out;
}

// A loaded slot without a package behind it: enough for merging and removing.
inline dicts::TDict makeDict(const std::string& fileName, const StringList& items,
                             StringList locations = {}) {
  dicts::TDict d;
  d.FileName = fileName;
  d.ShortTitle = "T-" + fileName;
  d.ItemList = dicts::TextLines(items);
  if (locations.empty()) {
    for (size_t i = 0; i < items.size(); ++i)
      locations.push_back("s:" + std::to_string(i));
  }
  d.IndexList = dicts::TextLines(locations);
  return d;
}

// Words that stress the key: Cyrillic and Latin, ё/Ё/е, hyphens, dots, spaces, case variants.
class WordMaker {
 public:
  explicit WordMaker(unsigned seed) : m_rng(seed) {}

  std::string base() {
    static const std::vector<std::string> syllables = {
        w("ка"), w("ло"), w("ми"), w("ёж"), w("ре"), w("ст"), w("на"), w("ел"), w("ЁЛ"),
        w("ща"), w("ю"),  w("ъе"), "ab",    "Ce",    "x",     "-",     ".",     " ",
        "1",     w("у"),  w("Ш"),  w("ё"),  w("е"),  "'",     w("Я")};
    std::uniform_int_distribution<size_t> len(1, 4);
    std::uniform_int_distribution<size_t> pick(0, syllables.size() - 1);
    std::string word;
    const size_t n = len(m_rng);
    for (size_t i = 0; i < n; ++i)
      word += syllables[pick(m_rng)];
    return word;
  }

  // Another spelling of the same word: case changed, ё/е swapped, a hyphen, dot or space added.
  std::string variant(const std::string& word) {
    std::string out = word;
    std::uniform_int_distribution<int> kind(0, 5);
    switch (kind(m_rng)) {
      case 0:
        out = cp1251::toUpper(out);
        break;
      case 1:
        out = cp1251::toLower(out);
        break;
      case 2:
        for (char& c : out) {
          if (c == '\xE5') c = '\xB8';
        }
        break;
      case 3:
        out.insert(out.size() / 2, 1, "-. "[m_rng() % 3]);
        break;
      default:
        break;
    }
    return out;
  }

  std::mt19937& rng() { return m_rng; }

 private:
  std::mt19937 m_rng;
};

}  // namespace verbalon::index::testing
