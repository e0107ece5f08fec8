#include "suggest/wildcard.h"

#include <gtest/gtest.h>

#include "words.h"

namespace verbalon::suggest {
namespace {

using testing::w;
using testing::ws;
using Positions = std::vector<size_t>;

const PackedLines kWords(ws({"д", "до", "дом", "Дома", "гдом", "додом", "доММ", "ёж", "Ёлка"}));

Positions match(const char* pattern) {
  return matchWildcard(w(pattern), kWords).positions;
}

TEST(Wildcard, StarAndQuestionMark) {
  EXPECT_EQ(match("*"), (Positions{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(match("?"), (Positions{0}));
  EXPECT_EQ(match("?дом"), (Positions{4}));
  EXPECT_EQ(match("?ом"), (Positions{2}));
  EXPECT_EQ(match("до*м"), (Positions{2, 5, 6}));  // the run may be empty; case ignored
  EXPECT_EQ(match("*дом"), (Positions{2, 4, 5}));
  EXPECT_EQ(match("дом*"), (Positions{2, 3, 6}));
  EXPECT_EQ(match("*о*"), (Positions{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(match("д?"), (Positions{1}));
  // Whole words only, and «ё» is not «е».
  EXPECT_EQ(match("до?"), (Positions{2}));
  EXPECT_EQ(match("е*"), Positions{});
  EXPECT_EQ(match("ё*"), (Positions{7, 8}));
}

TEST(Wildcard, ManyStars) {
  EXPECT_EQ(match("***"), (Positions{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(match("д**о***м*"), (Positions{2, 3, 5, 6}));
  EXPECT_EQ(match("*д*о*д*о*м*"), (Positions{5}));
  // A fixed end that overlaps the fixed start cannot match a short word.
  EXPECT_EQ(match("до*од"), Positions{});
  EXPECT_EQ(match("дом*ом"), Positions{});
  // Stars around many runs against a long word of one letter: no retrying, so this is quick.
  const PackedLines slWord(StringList{std::string(20000, 'a') + "b", std::string(20000, 'a')});
  EXPECT_EQ(matchWildcard("*a*a*a*a*a*a*a*a*a*b", slWord).positions, (Positions{0}));
  EXPECT_EQ(matchWildcard("*a?a*a*a*a*a*a*a*a*c*", slWord).positions, Positions{});
}

TEST(Wildcard, CutsAtTheLimit) {
  const WildcardMatches two = matchWildcard(w("до*"), kWords, 2);
  EXPECT_EQ(two.positions, (Positions{1, 2}));
  EXPECT_TRUE(two.cut);
  const WildcardMatches all = matchWildcard(w("до*"), kWords, 5);
  EXPECT_EQ(all.positions.size(), 5u);
  EXPECT_FALSE(all.cut);  // exactly at the limit is not cut
}

}  // namespace
}  // namespace verbalon::suggest
