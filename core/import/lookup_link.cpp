#include "import/lookup_link.h"

#include "common/cp1251.h"
#include "import/detail/cp1251_fold.h"
#include "import/source_text.h"

namespace verbalon::import {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string percentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = hexValue(text[i + 1]);
      const int low = hexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high << 4 | low);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace

std::optional<std::string> lookupWord(std::string_view href) {
  if (href.size() < kLookupScheme.size() ||
      cp1251::toLowerAscii(href.substr(0, kLookupScheme.size())) != kLookupScheme) {
    return std::nullopt;
  }
  // A dictionary written by hand may put the word itself into the address; its characters are
  // the page's Windows-1251 and are made UTF-8 before the escapes are, so both kinds mix.
  const std::string utf8 =
      repairUtf8(percentDecoded(cp1251::toUtf8(href.substr(kLookupScheme.size()))));
  bool folded = false;
  if (std::optional<std::string> word = detail::foldToCp1251(utf8, folded)) return word;
  return cp1251::fromUtf8(utf8);
}

}  // namespace verbalon::import
