#include "suggest/spelling_fold.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "common/cp1251.h"

namespace verbalon::suggest {
namespace {

const std::array<char, 256>& foldTable() {
  static const std::array<char, 256> table = [] {
    std::array<char, 256> t{};
    for (size_t b = 0; b < t.size(); ++b) {
      t[b] = cp1251::toLower(static_cast<char>(static_cast<uint8_t>(b)));
    }
    t[0xA8] = '\xE5';  // Ё
    t[0xB8] = '\xE5';  // ё
    return t;
  }();
  return table;
}

}  // namespace

char foldSpelling(char c) {
  return foldTable()[static_cast<uint8_t>(c)];
}

std::string foldSpelling(std::string_view text) {
  const std::array<char, 256>& table = foldTable();
  std::string out(text);
  for (char& c : out) {
    c = table[static_cast<uint8_t>(c)];
  }
  return out;
}

size_t spellingDistance(std::string_view a, std::string_view b, size_t limit) {
  const size_t over = limit + 1;
  if (a.size() > b.size()) std::swap(a, b);
  if (b.size() - a.size() > limit) return over;
  const std::array<char, 256>& table = foldTable();
  // One row of the distance matrix over b, computed only inside the band |i - j| <= limit: a
  // cell outside it is more than limit anyway. Values are capped at over, so they stay small.
  // Candidate words are short; the stack row serves them without an allocation each.
  std::array<size_t, 128> small{};
  std::vector<size_t> large;
  size_t* row = small.data();
  if (b.size() + 1 > small.size()) {
    large.resize(b.size() + 1);
    row = large.data();
  }
  for (size_t j = 0; j <= b.size(); ++j) {
    row[j] = std::min(j, over);
  }
  for (size_t i = 1; i <= a.size(); ++i) {
    const size_t from = i > limit ? i - limit : 1;
    const size_t to = std::min(b.size(), i + limit);
    // row[from - 1] still holds the previous row's value (the diagonal of cell `from`).
    size_t diagonal = row[from - 1];
    row[from - 1] = from - 1 == 0 ? std::min(i, over) : over;
    size_t best = row[from - 1];
    const char ca = table[static_cast<uint8_t>(a[i - 1])];
    for (size_t j = from; j <= to; ++j) {
      const size_t up = row[j];
      const size_t cost = ca == table[static_cast<uint8_t>(b[j - 1])] ? 0 : 1;
      size_t value = std::min({diagonal + cost, up + 1, row[j - 1] + 1});
      value = std::min(value, over);
      diagonal = up;
      row[j] = value;
      best = std::min(best, value);
    }
    if (to < b.size()) row[to + 1] = over;
    if (best > limit) return over;
  }
  return std::min(row[b.size()], over);
}

}  // namespace verbalon::suggest
