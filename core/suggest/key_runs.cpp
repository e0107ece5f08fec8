#include "suggest/key_runs.h"

#include "suggest/spelling_fold.h"

namespace verbalon::suggest {
namespace {

bool leftOutOfKey(char c) {
  return c == '-' || c == '.' || c == ' ';
}

}  // namespace

std::string foldedKey(std::string_view text) {
  std::string key;
  for (char c : text) {
    if (!leftOutOfKey(c)) key.push_back(foldSpelling(c));
  }
  return key;
}

std::optional<char> keyCharAt(std::string_view word, size_t depth) {
  for (char c : word) {
    if (leftOutOfKey(c)) continue;
    if (depth == 0) return foldSpelling(c);
    --depth;
  }
  return std::nullopt;
}

size_t keyRunEnd(const WordLines& words, size_t start, size_t hi, size_t depth, char c) {
  const auto has = [&](size_t i) { return keyCharAt(words[i], depth) == c; };
  size_t known = start;  // has(known)
  size_t step = 1;
  size_t bound = hi;  // !has(bound), or the range's end
  while (step < hi - known) {
    if (!has(known + step)) {
      bound = known + step;
      break;
    }
    known += step;
    step *= 2;
  }
  size_t lo = known + 1;
  while (lo < bound) {
    const size_t mid = lo + (bound - lo) / 2;
    if (has(mid)) {
      lo = mid + 1;
    } else {
      bound = mid;
    }
  }
  return lo;
}

std::pair<size_t, size_t> keyPrefixRange(const WordLines& words, std::string_view text) {
  const std::string key = foldedKey(text);
  size_t lo = 0;
  size_t hi = words.size();
  for (size_t depth = 0; depth < key.size(); ++depth) {
    // The runs of the next character, in list order, until the key's own.
    size_t start = lo;
    bool found = false;
    while (start < hi && !found) {
      const std::optional<char> next = keyCharAt(words[start], depth);
      if (!next) {
        ++start;
        continue;
      }
      const size_t end = keyRunEnd(words, start, hi, depth, *next);
      if (*next == key[depth]) {
        lo = start;
        hi = end;
        found = true;
      }
      start = end;
    }
    if (!found) return {lo, lo};
  }
  return {lo, hi};
}

}  // namespace verbalon::suggest
