#include "suggest/near_spellings.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <string>

#include "suggest/spelling_fold.h"

namespace verbalon::suggest {
namespace {

constexpr size_t kPairCount = 65536;
// The start and end mark. A stored word holds no NUL, so no pair of letters is mistaken for a
// marked one.
constexpr uint8_t kMark = 0;
// The longest query also keeps a word's credit (at most the query's length + 1) within a byte.
static_assert(kLongestNearSpellingQuery < 255);

// Every marked pair of word, in order of position, into pairs (cleared first).
void markedPairs(std::string_view word, std::vector<uint16_t>& pairs) {
  pairs.clear();
  uint8_t previous = kMark;
  for (char c : word) {
    const auto folded = static_cast<uint8_t>(foldSpelling(c));
    pairs.push_back(static_cast<uint16_t>(previous << 8 | folded));
    previous = folded;
  }
  pairs.push_back(static_cast<uint16_t>(previous << 8 | kMark));
}

// The distinct marked pairs of word, ascending: what its lists hold.
void distinctPairs(std::string_view word, std::vector<uint16_t>& pairs) {
  markedPairs(word, pairs);
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
}

size_t varintSize(uint32_t value) {
  size_t size = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++size;
  }
  return size;
}

uint8_t* putVarint(uint8_t* out, uint32_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<uint8_t>(value);
  return out;
}

}  // namespace

void keepNearest(std::vector<NearSpellingFinder::Match>& found, size_t limit) {
  std::stable_sort(found.begin(), found.end(),
                   [](const NearSpellingFinder::Match& a, const NearSpellingFinder::Match& b) {
                     return a.distance < b.distance;
                   });
  if (found.size() > limit) found.resize(limit);
}

size_t allowedEdits(size_t queryLength) {
  if (queryLength < 3) return 0;
  return queryLength <= 5 ? 1 : 2;
}

NearSpellings::NearSpellings(const PackedLines& slWord) : m_words(slWord) {
  assert(slWord.size() < std::numeric_limits<uint32_t>::max());
  // Each word number is stored as the gap from the previous number of its list (the first as
  // number + 1, so no gap is 0), which the first pass sizes and the second writes.
  std::vector<uint32_t> last(kPairCount, 0);
  std::vector<uint64_t> size(kPairCount, 0);
  std::vector<uint16_t> pairs;
  for (size_t i = 0; i < slWord.size(); ++i) {
    distinctPairs(slWord[i], pairs);
    const auto number = static_cast<uint32_t>(i + 1);
    for (uint16_t p : pairs) {
      size[p] += varintSize(number - last[p]);
      last[p] = number;
    }
  }
  m_offset.assign(kPairCount + 1, 0);
  for (size_t p = 0; p < kPairCount; ++p) {
    m_offset[p + 1] = m_offset[p] + size[p];
  }
  m_postings.resize(m_offset[kPairCount]);
  std::vector<uint64_t> write(m_offset.begin(), m_offset.end() - 1);
  std::fill(last.begin(), last.end(), 0);
  for (size_t i = 0; i < slWord.size(); ++i) {
    distinctPairs(slWord[i], pairs);
    const auto number = static_cast<uint32_t>(i + 1);
    for (uint16_t p : pairs) {
      uint8_t* end = putVarint(m_postings.data() + write[p], number - last[p]);
      write[p] = static_cast<uint64_t>(end - m_postings.data());
      last[p] = number;
    }
  }
}

std::vector<NearSpellings::Match> NearSpellings::find(std::string_view query, size_t limit) const {
  std::vector<Match> found;
  const size_t edits = allowedEdits(query.size());
  if (edits == 0 || query.size() > kLongestNearSpellingQuery || limit == 0) return found;

  const auto compare = [&](size_t i) {
    const std::string_view word = m_words[i];
    const size_t longer = std::max(word.size(), query.size());
    const size_t shorter = std::min(word.size(), query.size());
    if (longer - shorter > edits) return;
    const size_t distance = spellingDistance(query, word, edits);
    if (distance <= edits) found.push_back({i, distance});
  };

  // The query's pairs with how often each occurs. A word's lists say only whether it has a
  // pair, so a word is credited with the query's count of every pair it has: at least the
  // number of pair positions the two share, which k edits lower by at most 2k from the query's
  // length + 1. The bound holds for repetitive queries («папапа») too.
  std::vector<uint16_t> all;
  markedPairs(query, all);
  std::sort(all.begin(), all.end());
  const size_t lost = 2 * edits;  // one edit changes at most the two pairs it touches
  assert(all.size() > lost);      // length + 1 pairs, and allowedEdits keeps 2k below that
  const auto needed = static_cast<uint8_t>(all.size() - lost);
  // One counter a word; a query's own, so queries share nothing.
  std::vector<uint8_t> credit(m_words.size(), 0);
  for (size_t run = 0; run < all.size();) {
    const uint16_t p = all[run];
    size_t next = run;
    while (next < all.size() && all[next] == p) {
      ++next;
    }
    const auto weight = static_cast<uint8_t>(next - run);
    run = next;
    const uint8_t* at = m_postings.data() + m_offset[p];
    const uint8_t* end = m_postings.data() + m_offset[p + 1];
    uint32_t number = 0;
    while (at < end) {
      uint32_t gap = 0;
      int shift = 0;
      uint8_t byte = 0;
      do {
        byte = *at++;
        gap |= static_cast<uint32_t>(byte & 0x7F) << shift;
        shift += 7;
      } while (byte & 0x80);
      number += gap;
      credit[number - 1] = static_cast<uint8_t>(credit[number - 1] + weight);
    }
  }
  for (size_t i = 0; i < credit.size(); ++i) {
    if (credit[i] >= needed) compare(i);
  }

  keepNearest(found, limit);
  return found;
}

size_t NearSpellings::memoryBytes() const {
  return m_postings.size() + m_offset.size() * sizeof(uint64_t);
}

}  // namespace verbalon::suggest
