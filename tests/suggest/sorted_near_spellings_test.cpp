#include "suggest/sorted_near_spellings.h"

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "index/normalize.h"
#include "suggest/near_spellings.h"
#include "suggest/spelling_fold.h"
#include "words.h"

namespace verbalon::suggest {
namespace {

using testing::u;
using testing::w;
using testing::ws;

// A word list as the index keeps it: ascending by key, no two keys equal (the first kept).
StringList indexOrder(StringList words) {
  std::stable_sort(words.begin(), words.end(), [](const std::string& a, const std::string& b) {
    return index::compareSortKeys(index::sortKeyOf(a), index::sortKeyOf(b)) < 0;
  });
  words.erase(std::unique(words.begin(), words.end(),
                          [](const std::string& a, const std::string& b) {
                            return index::sortKeyOf(a) == index::sortKeyOf(b);
                          }),
              words.end());
  return words;
}

std::vector<std::string> wordsOf(const StringList& slWord,
                                 const std::vector<NearSpellingFinder::Match>& found) {
  std::vector<std::string> out;
  out.reserve(found.size());
  for (const NearSpellingFinder::Match& m : found) {
    out.push_back(u(slWord[m.position]));
  }
  return out;
}

std::string randomWord(std::mt19937& rng, const std::string& letters, size_t maxLength) {
  std::string word(1 + rng() % maxLength, ' ');
  for (char& c : word) {
    c = letters[rng() % letters.size()];
  }
  return word;
}

TEST(SortedNearSpellings, OffersTheWordAMisspellingMeant) {
  const StringList slWord =
      indexOrder(ws({"dictionary", "diction", "house", "horse", "mouse", "вода", "водка", "дом",
                     "дорога", "ёлка", "ice-cream", "й", "йогурт", "hose", "hoses"}));
  const SortedNearSpellings near{WordLines(slWord)};
  EXPECT_EQ(wordsOf(slWord, near.find("hause")), (std::vector<std::string>{"house"}));
  EXPECT_EQ(wordsOf(slWord, near.find("hoise")),
            (std::vector<std::string>{"horse", "hose", "house"}));
  EXPECT_EQ(wordsOf(slWord, near.find("dictionery")), (std::vector<std::string>{"dictionary"}));
  EXPECT_EQ(wordsOf(slWord, near.find(w("вада"))), (std::vector<std::string>{"вода"}));
  EXPECT_EQ(wordsOf(slWord, near.find(w("ЙАГУРТ"))), (std::vector<std::string>{"йогурт"}));
  // «ё» as «е», nearest first.
  EXPECT_EQ(wordsOf(slWord, near.find(w("елка"))), (std::vector<std::string>{"ёлка"}));
  // The key walk ignores the hyphen; the distance counts it.
  EXPECT_EQ(wordsOf(slWord, near.find("icecream")), (std::vector<std::string>{"ice-cream"}));
  EXPECT_EQ(near.find("icecream")[0].distance, 1u);
  EXPECT_TRUE(near.find("ho").empty());  // too short for any edit
  EXPECT_TRUE(near.find(std::string(kLongestNearSpellingQuery + 1, 'a')).empty());
  EXPECT_TRUE(near.find("hause", 0).empty());
  EXPECT_EQ(near.find("hoise", 2).size(), 2u);
  const StringList none;
  EXPECT_TRUE(SortedNearSpellings{WordLines(none)}.find("hause").empty());
}

// Whatever the mix of letters, cases, «ё», hyphens, dots and blanks, the walk over the ordered
// list offers exactly what the pair index offers over the same list.
TEST(SortedNearSpellings, OffersWhatThePairIndexOffers) {
  std::mt19937 rng(5);
  const std::string letters = w("абвйиеёЁЕ-. ") + "abAB1'";
  StringList words;
  for (int i = 0; i < 3000; ++i) {
    words.push_back(randomWord(rng, letters, 9));
  }
  // Runs of near words: most queries then reach the limit.
  for (int i = 0; i < 200; ++i) {
    words.push_back(w("дом") + randomWord(rng, letters, 3));
  }
  const StringList slWord = indexOrder(words);
  const PackedLines packed(slWord);
  const NearSpellings index(packed);
  const SortedNearSpellings walk{WordLines(slWord)};
  std::vector<std::string> queries;
  queries.reserve(303);
  for (int i = 0; i < 300; ++i) {
    queries.push_back(randomWord(rng, letters, 10));
  }
  queries.push_back(w("домааа"));
  queries.push_back(w("дом-дом"));
  queries.push_back(w("ааааааааааа"));
  for (const std::string& query : queries) {
    std::vector<std::pair<size_t, size_t>> expected;
    for (const NearSpellingFinder::Match& m : index.find(query)) {
      expected.push_back({m.position, m.distance});
    }
    std::vector<std::pair<size_t, size_t>> got;
    for (const NearSpellingFinder::Match& m : walk.find(query)) {
      got.push_back({m.position, m.distance});
    }
    ASSERT_EQ(got, expected) << u(query);
  }
}

// A list out of order is walked too: what it offers is always within reach, and it ends.
TEST(SortedNearSpellings, ListOutOfOrderOffersNothingWrong) {
  const StringList slWord = ws({"zebra", "house", "alpha", "hause", "horse", "a", "house"});
  const SortedNearSpellings near{WordLines(slWord)};
  for (const NearSpellingFinder::Match& m : near.find("house")) {
    EXPECT_LE(m.distance, 1u);
    EXPECT_EQ(spellingDistance("house", slWord[m.position], 1), m.distance);
  }
}

}  // namespace
}  // namespace verbalon::suggest
