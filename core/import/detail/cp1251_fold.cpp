#include "import/detail/cp1251_fold.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include "common/cp1251.h"
#include "import/source_text.h"

namespace verbalon::import::detail {
namespace {

// The byte of every character the code page holds, by code point: a flat table, since every
// character of every article is looked up. The code page reaches no further than U+2122 (™).
constexpr char32_t kTableEnd = 0x2123;

const std::array<int16_t, kTableEnd>& codePage() {
  static const auto* table = [] {
    auto* bytes = new std::array<int16_t, kTableEnd>();
    bytes->fill(-1);
    for (int byte = 0; byte < 256; ++byte) {
      const char16_t unicode = cp1251::toUnicode(static_cast<char>(byte));
      if (unicode < kTableEnd) (*bytes)[unicode] = static_cast<int16_t>(byte);
    }
    return bytes;
  }();
  return *table;
}

std::optional<char> byteOf(char32_t c) {
  if (c < 0x80) return static_cast<char>(c);
  if (c >= kTableEnd) return std::nullopt;
  const int16_t byte = codePage()[c];
  if (byte < 0) return std::nullopt;
  return static_cast<char>(static_cast<uint8_t>(byte));
}

// ICU's rules for the nearest Latin letters: any script to Latin, then Latin to ASCII
// (é -> e, ß -> ss, Æ -> AE). Building the transliterator costs milliseconds, so it is made
// once; it is not thread-safe, hence the lock.
std::u16string transliterate(std::u16string_view text) {
  static std::mutex mutex;
  static std::unique_ptr<icu::Transliterator> transliterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> made(
        icu::Transliterator::createInstance("Any-Latin; Latin-ASCII", UTRANS_FORWARD, status));
    if (U_FAILURE(status)) made.reset();
    return made;
  }();
  if (!transliterator) return {};
  icu::UnicodeString unicode(false, text.data(), static_cast<int32_t>(text.size()));
  {
    const std::lock_guard lock(mutex);
    transliterator->transliterate(unicode);
  }
  return std::u16string(unicode.getBuffer(), static_cast<size_t>(unicode.length()));
}

void appendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

}  // namespace

std::string toCp1251WithReferences(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const char32_t c = nextCodePoint(utf8, pos);
    if (const std::optional<char> byte = byteOf(c)) {
      out += *byte;
    } else {
      out += "&#" + std::to_string(static_cast<uint32_t>(c)) + ";";
    }
  }
  return out;
}

std::optional<std::string> foldToCp1251(std::string_view utf8, bool& folded) {
  folded = false;
  std::string out;
  out.reserve(utf8.size());
  std::u16string run;  // characters the code page lacks, folded together for context
  const auto flushRun = [&]() -> bool {
    if (run.empty()) return true;
    folded = true;
    // What folds to nothing (a lone combining accent, say) is dropped.
    const std::u16string latin = transliterate(run);
    run.clear();
    for (char16_t unit : latin) {
      const std::optional<char> byte = byteOf(unit);
      if (!byte || (unit >= 0xD800 && unit <= 0xDFFF)) return false;
      out += *byte;
    }
    return true;
  };
  for (size_t pos = 0; pos < utf8.size();) {
    const char32_t c = nextCodePoint(utf8, pos);
    if (const std::optional<char> byte = byteOf(c)) {
      if (!flushRun()) return std::nullopt;
      out += *byte;
    } else {
      appendUtf16(run, c);
    }
  }
  if (!flushRun()) return std::nullopt;
  if (folded && cp1251::trimBlanks(out).empty()) return std::nullopt;
  return out;
}

}  // namespace verbalon::import::detail
