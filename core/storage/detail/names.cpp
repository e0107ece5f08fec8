#include "storage/detail/names.h"

namespace verbalon::storage::detail {

char16_t upcaseUnit(char16_t c) {
  const auto up = [](unsigned v) { return static_cast<char16_t>(v); };
  const unsigned u = c;
  if (u < 0x80) return (u >= 'a' && u <= 'z') ? up(u - 0x20) : c;
  if (u < 0x100) {
    // "ß" has no one-unit upper case and stays; sibling order in files Excel wrote depends on it.
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return up(u - 0x20);
    if (u == 0xFF) return u'\u0178';
    return c;
  }
  if (u < 0x180) {
    // Latin Extended-A pairs upper/lower case as even/odd units, except in two runs where the
    // pairs are odd/even, and a few singletons.
    if (u == 0x131) return u'I';
    if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) {
      return (u % 2 == 0) ? up(u - 1) : c;
    }
    if (u == 0x138 || u == 0x149 || u == 0x17F) return c;
    return (u % 2 == 1) ? up(u - 1) : c;
  }
  if (u >= 0x3B1 && u <= 0x3CB && u != 0x3C2) return up(u - 0x20);
  if (u == 0x3C2) return u'\u03A3';
  if (u == 0x3AC) return u'\u0386';
  if (u >= 0x3AD && u <= 0x3AF) return up(u - 0x25);
  if (u == 0x3CC) return u'\u038C';
  if (u == 0x3CD || u == 0x3CE) return up(u - 0x3F);
  if (u >= 0x430 && u <= 0x44F) return up(u - 0x20);  // а..я
  if (u >= 0x450 && u <= 0x45F) return up(u - 0x50);  // ѐ..џ, ё among them
  if ((u >= 0x460 && u <= 0x481) || (u >= 0x48A && u <= 0x4BF) || (u >= 0x4D0 && u <= 0x52F)) {
    return (u % 2 == 1) ? up(u - 1) : c;
  }
  if (u >= 0x4C1 && u <= 0x4CE) return (u % 2 == 0) ? up(u - 1) : c;
  if (u == 0x4CF) return u'\u04C0';
  if (u >= 0xFF41 && u <= 0xFF5A) return up(u - 0x20);  // fullwidth a..z
  return c;
}

int compareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    const char16_t x = upcaseUnit(a[i]);
    const char16_t y = upcaseUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool isValidName(std::u16string_view name) {
  if (name.empty() || name.size() > 31) return false;
  for (char16_t c : name) {
    if (c == u'/' || c == u'\\' || c == u':' || c == u'!' || c == 0) return false;
  }
  return true;
}

}  // namespace verbalon::storage::detail
