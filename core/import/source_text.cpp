#include "import/source_text.h"

#include "common/html_escape.h"
#include "common/utf8.h"

namespace verbalon::import {
namespace {

// The length of the valid UTF-8 sequence at text[pos], or 0 when none starts there (overlong
// forms, surrogates and code points past U+10FFFF included).
size_t validSequenceLength(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = validSequenceLength(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string repairUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = validSequenceLength(text, pos);
    if (length == 0) {
      appendUtf8(out, 0xFFFD);
      ++pos;
    } else {
      out.append(text.substr(pos, length));
      pos += length;
    }
  }
  return out;
}

std::string_view stripUtf8Bom(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return text;
}

std::string utf8FromLatin1(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    appendUtf8(out, static_cast<unsigned char>(c));
  }
  return out;
}

std::string utf8FromUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    units[i] = bigEndian ? static_cast<char16_t>(first << 8 | second)
                         : static_cast<char16_t>(second << 8 | first);
  }
  return utf16ToUtf8(units);
}

char32_t nextCodePoint(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  size_t length = 1;
  char32_t c = lead;
  if (lead >= 0xF0) {
    length = 4;
    c = lead & 0x07u;
  } else if (lead >= 0xE0) {
    length = 3;
    c = lead & 0x0Fu;
  } else if (lead >= 0xC0) {
    length = 2;
    c = lead & 0x1Fu;
  }
  for (size_t i = 1; i < length && pos + i < text.size(); ++i) {
    c = c << 6 | (static_cast<unsigned char>(text[pos + i]) & 0x3Fu);
  }
  pos += length;
  return c;
}

std::string plainTextToHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  bool lineStart = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += '\n';
      lineStart = true;
      continue;
    }
    if (lineStart && (c == ' ' || c == '\t')) {
      // U+00A0, which the code page holds as one byte: the pages of long articles are made of
      // these, and a character reference would be six.
      out += c == '\t' ? "\u00A0\u00A0\u00A0\u00A0" : "\u00A0";
      continue;
    }
    lineStart = false;
    out += escapeHtml(std::string_view(&c, 1));
  }
  return out;
}

std::string lookupLink(std::string_view word, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "<a class=\"ref\" href=\"";
  out += kLookupScheme;
  for (char c : word) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') || c == '.' || c == '_' || c == '~' || c == '-';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  out += "\">";
  out += text;
  out += "</a>";
  return out;
}

}  // namespace verbalon::import
