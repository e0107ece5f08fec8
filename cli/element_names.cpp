#include "cli/element_names.h"

#include "cli/command.h"
#include "common/cp1251.h"
#include "common/utf8.h"

namespace verbalon::cli {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Walks UTF-16 by code points; an unpaired surrogate comes out as itself, for the caller to
// escape or replace.
template <typename Visit>
void forEachCodePoint(std::u16string_view text, Visit visit) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      visit(0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
      ++i;
    } else {
      visit(char32_t{c});
    }
  }
}

std::string escaped(std::u16string_view name, NameMode mode, bool forFile) {
  const std::u16string visible =
      mode == NameMode::Package ? cp1251::toUtf16(cp1251::fromUtf16(name)) : std::u16string(name);
  std::string out;
  forEachCodePoint(visible, [&](char32_t c) {
    const bool control = c < 0x20 || c == 0x7F;
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    if (control || surrogate || (forFile && c == U'/')) {
      out += "[" + std::to_string(static_cast<uint32_t>(c)) + "]";
    } else {
      appendUtf8(out, c);
    }
  });
  return out;
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view text) {
  std::u16string out;
  size_t i = 0;
  auto at = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < text.size()) {
    const unsigned char lead = at(i);
    size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      length = 1;
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      c = lead & 0x1Fu;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      c = lead & 0x0Fu;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      c = lead & 0x07u;
      minimum = 0x10000;
    }
    bool valid = length != 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      if ((at(i + k) & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (at(i + k) & 0x3Fu);
    }
    valid = valid && c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
    if (!valid) {
      out.push_back(static_cast<char16_t>(kReplacement));
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += length;
  }
  return out;
}

std::string shownName(std::u16string_view name, NameMode mode) {
  return escaped(name, mode, false);
}

std::string fileNameFor(std::u16string_view name, NameMode mode) {
  std::string file = escaped(name, mode, true);
  if (file.empty()) return "[]";
  if (file == ".") return "[46]";
  if (file == "..") return "[46][46]";
  return file;
}

std::string shownPath(std::span<const std::u16string> names, NameMode mode) {
  std::string path;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i != 0) path += '\\';
    path += shownName(names[i], mode);
  }
  return path;
}

bool fitsWindows1251(std::u16string_view name) {
  return cp1251::toUtf16(cp1251::fromUtf16(name)) == name;
}

std::string packagePath(std::span<const std::u16string> names) {
  std::string path;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i != 0) path += '\\';
    path += cp1251::fromUtf16(names[i]);
  }
  return path;
}

std::string toPackageText(std::string_view utf8, std::string_view what) {
  std::string text = cp1251::fromUtf8(utf8);
  if (cp1251::toUtf8(text) != utf8) {
    throw EToolError(std::string(what) + " \"" + std::string(utf8) +
                     "\" has characters that Windows-1251 cannot hold");
  }
  return text;
}

}  // namespace verbalon::cli
