#include "common/cp1251_fold.h"

#include <climits>
#include <memory>
#include <mutex>

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "common/cp1251.h"

namespace verbalon::cp1251 {
namespace {

std::u16string_view viewOf(const icu::UnicodeString& text) {
  return {reinterpret_cast<const char16_t*>(text.getBuffer()), static_cast<size_t>(text.length())};
}

bool held(UChar32 c) {
  if (c == u'?') return true;
  if (c > 0xFFFF) return false;
  const auto unit = static_cast<char16_t>(c);
  return fromUtf16(std::u16string_view(&unit, 1)) != "?";
}

// Spells other scripts in Latin letters and then Latin letters in ASCII, which also spells out
// "ß", "æ", "ø" and "ł". Made once; ICU's transliterators are not safe to share between threads
// without a lock.
class Speller {
 public:
  Speller() {
    UErrorCode status = U_ZERO_ERROR;
    m_transliterator.reset(icu::Transliterator::createInstance(
        icu::UnicodeString(u"Any-Latin; Latin-ASCII"), UTRANS_FORWARD, status));
    if (U_FAILURE(status)) m_transliterator.reset();
  }

  void spell(icu::UnicodeString& text) {
    if (!m_transliterator) return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_transliterator->transliterate(text);
  }

 private:
  std::mutex m_mutex;
  std::unique_ptr<icu::Transliterator> m_transliterator;
};

Speller& speller() {
  static Speller instance;
  return instance;
}

// Appends the held characters of text; the others become '?'.
void appendHeld(std::string& out, const icu::UnicodeString& text) {
  out += fromUtf16(viewOf(text));
}

// A run of characters the code page does not hold: compatibility forms are taken apart
// ("ﬁ" -> "fi", "é" -> "e" and an acute) and the marks dropped; what is still not held is
// spelled in Latin letters. Characters the decomposition gives that are held stay untouched,
// so Cyrillic is never spelled in Latin.
void appendFolded(std::string& out, const icu::UnicodeString& run, const icu::Normalizer2& nfkd) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString parts = nfkd.normalize(run, status);
  if (U_FAILURE(status)) {
    appendHeld(out, run);
    return;
  }
  icu::UnicodeString pending;
  const auto flush = [&] {
    if (pending.isEmpty()) return;
    speller().spell(pending);
    appendHeld(out, pending);
    pending.remove();
  };
  for (int32_t i = 0; i < parts.length();) {
    const UChar32 c = parts.char32At(i);
    i += U16_LENGTH(c);
    if (u_charType(c) == U_NON_SPACING_MARK) continue;
    if (held(c)) {
      flush();
      appendHeld(out, icu::UnicodeString(c));
    } else {
      pending.append(c);
    }
  }
  flush();
}

}  // namespace

std::string foldFromUtf16(std::u16string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(status);
  if (U_FAILURE(status) || text.size() > static_cast<size_t>(INT32_MAX)) return fromUtf16(text);
  const icu::UnicodeString source(false, text.data(), static_cast<int32_t>(text.size()));
  const icu::UnicodeString composed = nfc->normalize(source, status);
  if (U_FAILURE(status)) return fromUtf16(text);

  std::string out;
  out.reserve(text.size());
  int32_t runStart = -1;
  for (int32_t i = 0; i <= composed.length();) {
    const bool atEnd = i == composed.length();
    const UChar32 c = atEnd ? 0 : composed.char32At(i);
    if (!atEnd && !held(c)) {
      if (runStart < 0) runStart = i;
    } else {
      if (runStart >= 0) {
        appendFolded(out, icu::UnicodeString(composed, runStart, i - runStart), *nfkd);
        runStart = -1;
      }
      if (!atEnd) appendHeld(out, icu::UnicodeString(c));
    }
    if (atEnd) break;
    i += U16_LENGTH(c);
  }
  return out;
}

}  // namespace verbalon::cp1251
