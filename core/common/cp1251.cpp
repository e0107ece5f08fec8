#include "common/cp1251.h"

#include <array>
#include <cstdint>

#include "common/utf8.h"

namespace verbalon::cp1251 {
namespace {

// Unicode of the bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr std::array<char16_t, 64> kHighTable = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

constexpr char16_t unicodeOf(uint8_t b) {
  if (b < 0x80) return b;
  if (b >= 0xC0) return static_cast<char16_t>(0x0410 + (b - 0xC0));
  return kHighTable[b - 0x80];
}

// Simple case mapping, enough for every letter the code page has.
constexpr char16_t unicodeUpper(char16_t u) {
  if (u >= u'a' && u <= u'z') return static_cast<char16_t>(u - 0x20);
  if (u >= 0x0430 && u <= 0x044F) return static_cast<char16_t>(u - 0x20);
  if (u >= 0x0450 && u <= 0x045F) return static_cast<char16_t>(u - 0x50);
  if (u == 0x0491) return 0x0490;
  return u;
}

constexpr char16_t unicodeLower(char16_t u) {
  if (u >= u'A' && u <= u'Z') return static_cast<char16_t>(u + 0x20);
  if (u >= 0x0410 && u <= 0x042F) return static_cast<char16_t>(u + 0x20);
  if (u >= 0x0400 && u <= 0x040F) return static_cast<char16_t>(u + 0x50);
  if (u == 0x0490) return 0x0491;
  return u;
}

struct Tables {
  std::array<char, 256> upper{};
  std::array<char, 256> lower{};
  // Byte of each Unicode character below U+0500 and of the punctuation in U+2000..U+21FF;
  // 0 where the code page has none (NUL itself maps to 0 as well).
  std::array<uint8_t, 0x500> fromBasic{};
  std::array<uint8_t, 0x200> fromPunct{};
};

constexpr Tables makeTables() {
  Tables t;
  for (int i = 0; i < 256; ++i) {
    auto b = static_cast<uint8_t>(i);
    char16_t u = unicodeOf(b);
    if (u < 0x500) t.fromBasic[u] = b;
    if (u >= 0x2000 && u < 0x2200) t.fromPunct[u - 0x2000] = b;
  }
  auto byteOf = [&t](char16_t u, uint8_t fallback) -> uint8_t {
    if (u < 0x500 && (t.fromBasic[u] != 0 || u == 0)) return t.fromBasic[u];
    return fallback;
  };
  for (int i = 0; i < 256; ++i) {
    auto b = static_cast<uint8_t>(i);
    t.upper[b] = static_cast<char>(byteOf(unicodeUpper(unicodeOf(b)), b));
    t.lower[b] = static_cast<char>(byteOf(unicodeLower(unicodeOf(b)), b));
  }
  return t;
}

constexpr Tables kTables = makeTables();

// One Windows-1251 byte for a Unicode code point, or '?' when the code page has none.
char byteForCodePoint(char32_t cp) {
  if (cp == 0) return '\0';
  uint8_t b = 0;
  if (cp < 0x500) {
    b = kTables.fromBasic[cp];
  } else if (cp >= 0x2000 && cp < 0x2200) {
    b = kTables.fromPunct[cp - 0x2000];
  }
  return b != 0 ? static_cast<char>(b) : '?';
}

}  // namespace

char toUpper(char c) {
  return kTables.upper[static_cast<uint8_t>(c)];
}
char toLower(char c) {
  return kTables.lower[static_cast<uint8_t>(c)];
}

std::string toUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = toUpper(c);
  return out;
}

std::string toLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = toLower(c);
  return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (toUpper(a[i]) != toUpper(b[i])) return false;
  }
  return true;
}

char16_t toUnicode(char c) {
  return unicodeOf(static_cast<uint8_t>(c));
}

std::u16string toUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text)
    out += toUnicode(c);
  return out;
}

std::string toUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text)
    appendUtf8(out, toUnicode(c));
  return out;
}

std::string fromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    // A surrogate pair is one character, outside the code page.
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      ++i;
      out += '?';
      continue;
    }
    out += byteForCodePoint(u);
  }
  return out;
}

std::string fromUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<uint8_t>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    char32_t cp = length == 1   ? lead
                  : length == 2 ? lead & 0x1F
                  : length == 3 ? lead & 0x0F
                                : lead & 0x07;
    bool valid = length != 0 && lead < 0xF8 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      auto next = static_cast<uint8_t>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid) {
      out += '?';
      ++i;
      continue;
    }
    out += byteForCodePoint(cp);
    i += length;
  }
  return out;
}

std::string toLowerAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return result;
}

std::string_view trimBlanks(std::string_view text) {
  const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

}  // namespace verbalon::cp1251
