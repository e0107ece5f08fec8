#include "suggest/layout_swap.h"

#include <array>
#include <cstdint>

#include "common/cp1251.h"

namespace verbalon::suggest {
namespace {

// The two tables of one key map: byte → the other layout's character on the same key, 0 where
// the key has none. The QWERTY row is written beside the ЙЦУКЕН row, shifted characters last.
struct LayoutTables {
  std::array<char, 256> toCyrillic{};
  std::array<char, 256> toLatin{};
};

const LayoutTables& tables() {
  static const LayoutTables instance = [] {
    LayoutTables t;
    const std::string latin = "`qwertyuiop[]asdfghjkl;'zxcvbnm,.~QWERTYUIOP{}ASDFGHJKL:\"ZXCVBNM<>";
    const std::string cyrillic =
        cp1251::fromUtf8("ёйцукенгшщзхъфывапролджэячсмитьбюЁЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮ");
    for (size_t i = 0; i < latin.size() && i < cyrillic.size(); ++i) {
      t.toCyrillic[static_cast<uint8_t>(latin[i])] = cyrillic[i];
      t.toLatin[static_cast<uint8_t>(cyrillic[i])] = latin[i];
    }
    return t;
  }();
  return instance;
}

bool isLatinLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string layoutSwap(std::string_view text) {
  const LayoutTables& t = tables();
  size_t cyrillic = 0;
  size_t latin = 0;
  for (char c : text) {
    // Every Cyrillic letter of the code page that a Russian key carries has a QWERTY character.
    if (t.toLatin[static_cast<uint8_t>(c)] != 0) ++cyrillic;
    if (isLatinLetter(c)) ++latin;
  }
  const std::array<char, 256>& map = cyrillic > latin ? t.toLatin : t.toCyrillic;
  std::string out(text);
  for (char& c : out) {
    const char other = map[static_cast<uint8_t>(c)];
    if (other != 0) c = other;
  }
  return out;
}

}  // namespace verbalon::suggest
