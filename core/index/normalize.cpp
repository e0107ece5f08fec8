#include "index/normalize.h"

#include <memory>
#include <vector>

#include <unicode/coll.h>
#include <unicode/locid.h>

#include "common/cp1251.h"
#include "index/index_error.h"

namespace verbalon::index {
namespace {

constexpr char kSmallYo = '\xB8';
constexpr char kCapitalYo = '\xA8';
constexpr char kSmallYe = '\xE5';

bool isDropped(char c) {
  return c == '-' || c == '.' || c == ' ';
}

// One collator per thread: ICU collators must not be used by two threads at once, and making one
// costs far more than a sort key.
const icu::Collator& collator() {
  thread_local std::unique_ptr<icu::Collator> instance = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !c) {
      throw EIndexError(EIndexError::Fault::kInternal,
                        std::string("cannot create the word collator: ") + u_errorName(status));
    }
    c->setStrength(icu::Collator::SECONDARY);
    return c;
  }();
  // The analyzer takes the thread's own collator for one freed elsewhere; it lives as long as
  // the thread.
  return *instance;  // NOLINT(clang-analyzer-cplusplus.NewDelete)
}

}  // namespace

std::string NormalizeWord(std::string_view word) {
  std::string key;
  key.reserve(word.size());
  for (char c : word) {
    if (c == kSmallYo || c == kCapitalYo) {
      key += kSmallYe;
    } else if (!isDropped(c)) {
      key += c;
    }
  }
  return key;
}

size_t appendSortKey(std::string_view word, std::string& out) {
  thread_local std::u16string text;
  text.clear();
  for (char c : word) {
    if (c == kSmallYo || c == kCapitalYo) {
      text += cp1251::toUnicode(kSmallYe);
    } else if (!isDropped(c)) {
      text += cp1251::toUnicode(c);
    }
  }
  const icu::Collator& coll = collator();
  const auto length = static_cast<int32_t>(text.size());
  const size_t start = out.size();
  // A sort key at secondary strength is rarely longer than three bytes per character; the first
  // call tells the exact length when the guess is short.
  size_t room = text.size() * 3 + 8;
  for (;;) {
    out.resize(start + room);
    int32_t needed =
        coll.getSortKey(text.data(), length, reinterpret_cast<uint8_t*>(out.data() + start),
                        static_cast<int32_t>(room));
    if (needed <= 0) {
      throw EIndexError(EIndexError::Fault::kInternal, "cannot build the sort key of a word");
    }
    auto size = static_cast<size_t>(needed);
    if (size <= room) {
      // The key ends with a zero byte that no other byte of it equals; dropping it keeps the
      // bytewise order (a shorter key that is a prefix orders first either way).
      out.resize(start + size - 1);
      return size - 1;
    }
    room = size;
  }
}

std::string sortKeyOf(std::string_view word) {
  std::string key;
  appendSortKey(word, key);
  return key;
}

int compareSortKeys(std::string_view a, std::string_view b) {
  return a.compare(b);
}

int compareKeys(std::string_view a, std::string_view b) {
  return compareSortKeys(sortKeyOf(a), sortKeyOf(b));
}

}  // namespace verbalon::index
