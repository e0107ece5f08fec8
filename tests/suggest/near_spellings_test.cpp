#include "suggest/near_spellings.h"

#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "suggest/spelling_fold.h"
#include "words.h"

namespace verbalon::suggest {
namespace {

using testing::u;
using testing::w;
using testing::ws;

// The textbook full matrix, for comparison with the banded one.
size_t plainDistance(const std::string& a, const std::string& b) {
  const size_t width = b.size() + 1;
  std::vector<size_t> d((a.size() + 1) * width);
  for (size_t i = 0; i <= a.size(); ++i)
    d[i * width] = i;
  for (size_t j = 0; j <= b.size(); ++j)
    d[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = foldSpelling(a[i - 1]) == foldSpelling(b[j - 1]) ? 0 : 1;
      d[i * width + j] = std::min({d[(i - 1) * width + j - 1] + cost, d[(i - 1) * width + j] + 1,
                                   d[i * width + j - 1] + 1});
    }
  }
  return d.back();
}

std::string randomWord(std::mt19937& rng, size_t maxLength) {
  // A small alphabet makes near words common; «ё», «Ё» and «Е» test the folding.
  static const std::string letters = w("аеёоЁЕдм-");
  std::string word(1 + rng() % maxLength, ' ');
  for (char& c : word)
    c = letters[rng() % letters.size()];
  return word;
}

TEST(SpellingDistance, CyrillicWithYoAndCase) {
  EXPECT_EQ(spellingDistance(w("ёлка"), w("елка"), 2), 0u);
  EXPECT_EQ(spellingDistance(w("ЁЛКА"), w("ёлка"), 2), 0u);
  EXPECT_EQ(spellingDistance(w("дом"), w("дым"), 2), 1u);
  EXPECT_EQ(spellingDistance(w("дом"), w("домик"), 2), 2u);
  EXPECT_EQ(spellingDistance(w("домик"), w("дом"), 1), 2u);  // over the limit: limit + 1
  EXPECT_EQ(spellingDistance(w("дмо"), w("дом"), 2), 2u);    // a swap is two edits
  EXPECT_EQ(spellingDistance("", w("абв"), 3), 3u);
  EXPECT_EQ(spellingDistance(w("кот-ёж"), w("котеж"), 2), 1u);  // a hyphen is a character
  EXPECT_EQ(spellingDistance(w("абвгд"), w("вгдеж"), 2), 3u);
}

TEST(SpellingDistance, AgreesWithTheFullMatrix) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20000; ++round) {
    const std::string a = randomWord(rng, 9);
    const std::string b = randomWord(rng, 9);
    const size_t limit = rng() % 4;
    const size_t expected = std::min(plainDistance(a, b), limit + 1);
    ASSERT_EQ(spellingDistance(a, b, limit), expected) << u(a) << " " << u(b) << " " << limit;
    ASSERT_EQ(spellingDistance(b, a, limit), expected);
  }
  // Words longer than the row kept on the stack.
  const std::string longA(300, 'a');
  std::string longB = longA;
  longB[150] = 'b';
  EXPECT_EQ(spellingDistance(longA, longB, 2), 1u);
  EXPECT_EQ(spellingDistance(longA, longB + "cc", 2), 3u);
}

std::vector<std::string> wordsOf(const PackedLines& slWord,
                                 const std::vector<NearSpellings::Match>& found) {
  std::vector<std::string> out;
  for (const NearSpellings::Match& m : found)
    out.push_back(u(slWord[m.position]));
  return out;
}

TEST(NearSpellings, NearestFirstThenIndexOrder) {
  const PackedLines slWord(ws({"дам", "дым", "Дом", "дома", "дом-а", "домик", "ком", "Ёж"}));
  const NearSpellings near(slWord);
  // «дом» exactly (case ignored) comes first; the rest are one edit away, in list order.
  EXPECT_EQ(wordsOf(slWord, near.find(w("дОм"))),
            (std::vector<std::string>{"Дом", "дам", "дым", "дома", "ком"}));
  const std::vector<NearSpellings::Match> found = near.find(w("дом"));
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found[0].distance, 0u);
  EXPECT_EQ(found[1].distance, 1u);
  // Six letters allow two edits.
  EXPECT_EQ(wordsOf(slWord, near.find(w("домика"))),
            (std::vector<std::string>{"домик", "дома", "дом-а"}));
}

TEST(NearSpellings, EditsAllowedByQueryLength) {
  EXPECT_EQ(allowedEdits(2), 0u);
  EXPECT_EQ(allowedEdits(3), 1u);
  EXPECT_EQ(allowedEdits(5), 1u);
  EXPECT_EQ(allowedEdits(6), 2u);
  const PackedLines slWord(ws({"да", "до", "дом", "домна", "дамба", "кошка", "мошкара"}));
  const NearSpellings near(slWord);
  EXPECT_TRUE(near.find(w("дм")).empty());  // too short
  // «дом» is two edits from «дмо»: a swap counts as two.
  EXPECT_EQ(wordsOf(slWord, near.find(w("дмо"))), (std::vector<std::string>{"до"}));
  EXPECT_EQ(wordsOf(slWord, near.find(w("домба"))), (std::vector<std::string>{"домна", "дамба"}));
  EXPECT_TRUE(near.find(w("кашкр")).empty());  // two edits from «кошка», five letters
  EXPECT_EQ(wordsOf(slWord, near.find(w("мошкра"))),
            (std::vector<std::string>{"мошкара", "кошка"}));
}

TEST(NearSpellings, YoEqualsYe) {
  const PackedLines slWord(ws({"ёлка", "Елки", "ёлочка"}));
  const NearSpellings near(slWord);
  EXPECT_EQ(wordsOf(slWord, near.find(w("ЕЛКА"))), (std::vector<std::string>{"ёлка", "Елки"}));
  EXPECT_EQ(near.find(w("елка"))[0].distance, 0u);
}

TEST(NearSpellings, KeepsTheLimit) {
  StringList slWord;
  for (char c = 'a'; c <= 'z'; ++c)
    slWord.push_back(std::string("ab") + c + "d");
  slWord.push_back("abcd");  // the same word again, last in the list
  const PackedLines packed(slWord);
  const NearSpellings near(packed);
  const std::vector<NearSpellings::Match> found = near.find("abcd");
  ASSERT_EQ(found.size(), 20u);
  EXPECT_EQ(found[0].position, 2u);  // the first exact «abcd»
  EXPECT_EQ(found[1].position, 26u);
  EXPECT_EQ(found[2].position, 0u);
  EXPECT_EQ(found[19].position, 18u);
  EXPECT_EQ(near.find("abcd", 3).size(), 3u);
}

// The shared-pair filter must never drop a word that a full comparison would find, including
// queries whose pairs repeat («аааааа», «папапа»).
TEST(NearSpellings, FindsWhatAFullScanFinds) {
  std::mt19937 rng(11);
  StringList slWord;
  for (int i = 0; i < 2000; ++i)
    slWord.push_back(randomWord(rng, 8));
  const PackedLines packed(slWord);
  const NearSpellings near(packed);
  std::vector<std::string> queries;
  for (int i = 0; i < 150; ++i)
    queries.push_back(randomWord(rng, 9));
  queries.push_back(w("аааааа"));
  queries.push_back(w("ааа"));
  queries.push_back(w("папапа"));
  queries.push_back(w("ааааааааааа"));
  for (const std::string& query : queries) {
    const size_t edits = allowedEdits(query.size());
    std::vector<std::pair<size_t, size_t>> expected;
    for (size_t i = 0; i < slWord.size() && edits > 0; ++i) {
      // Lengths further apart than that need more edits anyway.
      const size_t gap =
          std::max(query.size(), slWord[i].size()) - std::min(query.size(), slWord[i].size());
      if (gap > edits) continue;
      const size_t d = plainDistance(query, slWord[i]);
      if (d <= edits) expected.push_back({d, i});
    }
    std::sort(expected.begin(), expected.end());
    if (expected.size() > kNearSpellingLimit) expected.resize(kNearSpellingLimit);
    std::vector<std::pair<size_t, size_t>> got;
    for (const NearSpellings::Match& m : near.find(query))
      got.push_back({m.distance, m.position});
    ASSERT_EQ(got, expected) << u(query);
  }
}

}  // namespace
}  // namespace verbalon::suggest
