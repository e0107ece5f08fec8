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

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    const auto put = [&out](uint32_t v) { out.push_back(static_cast<char>(v)); };
    if (cp < 0x80) {
      put(cp);
    } else if (cp < 0x800) {
      put(0xC0 | (cp >> 6));
      put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      put(0xE0 | (cp >> 12));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
    } else {
      put(0xF0 | (cp >> 18));
      put(0x80 | ((cp >> 12) & 0x3F));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace verbalon::storage::detail
