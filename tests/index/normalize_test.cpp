#include "index/normalize.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "index/key_list.h"
#include "test_words.h"

namespace verbalon::index {
namespace {

using testing::w;

TEST(NormalizeWord, ReplacesYoAndDropsHyphensDotsSpaces) {
  EXPECT_EQ(NormalizeWord(w("Ёж-Ик. а")), w("ежИка"));
  EXPECT_EQ(NormalizeWord(w("ёЁе")), w("еее"));
  EXPECT_EQ(NormalizeWord("a,b'c 1"), "a,b'c1");
  EXPECT_EQ(NormalizeWord("-. -"), "");
}

TEST(KeyComparison, SpellingsOfOneWordAreEqual) {
  const std::string elka = sortKeyOf(w("елка"));
  for (const char* variant : {"Ёлка", "ёлка", "ел-ка", "ЕЛКА", "е.л к-а"}) {
    EXPECT_EQ(sortKeyOf(w(variant)), elka) << variant;
    EXPECT_EQ(compareKeys(w(variant), w("елка")), 0) << variant;
  }
  EXPECT_NE(sortKeyOf(w("елки")), elka);
}

TEST(KeyComparison, OrdersRussianAlphabetAfterLatinAndEmptyFirst) {
  const std::vector<std::string> ascending = {"",     "1",        "9",    "a",       "B",
                                              "zz",   w("а"),     w("Б"), w("ваза"), w("е"),
                                              w("ж"), w("ЗЕМЛЯ"), w("й"), w("я")};
  for (size_t i = 1; i < ascending.size(); ++i) {
    EXPECT_LT(compareKeys(ascending[i - 1], ascending[i]), 0)
        << testing::u(ascending[i - 1]) << " < " << testing::u(ascending[i]);
    EXPECT_LT(sortKeyOf(ascending[i - 1]), sortKeyOf(ascending[i]));
  }
  // A word of separators only has the empty key.
  EXPECT_EQ(sortKeyOf("- . -"), sortKeyOf(""));
}

TEST(KeyComparison, IgnoresTheEnvironmentLocale) {
  const std::string y = sortKeyOf("y");
  const std::string j = sortKeyOf("j");
  UErrorCode status = U_ZERO_ERROR;
  const icu::Locale before = icu::Locale::getDefault();
  // Lithuanian sorts "y" right after "i", before "j"; the index must not.
  icu::Locale::setDefault(icu::Locale("lt"), status);
  EXPECT_LT(sortKeyOf("j"), sortKeyOf("y"));
  EXPECT_EQ(sortKeyOf("y"), y);
  EXPECT_EQ(sortKeyOf("j"), j);
  icu::Locale::setDefault(before, status);
}

KeyList keysOf(const StringList& words) {
  KeyList keys;
  for (const std::string& word : words)
    keys.pushWord(word);
  return keys;
}

TEST(FindKey, EmptyListGivesPositionZero) {
  const FindKeyResult r = FindKey(w("Ёж"), KeyList());
  EXPECT_FALSE(r.found);
  EXPECT_EQ(r.position, 0U);
  EXPECT_EQ(r.key, w("еж"));
}

TEST(FindKey, FindsEqualKeysAndInsertionPoints) {
  const KeyList keys = keysOf(testing::ws({"ба", "вода", "дом", "ель", "жук"}));
  EXPECT_EQ(FindKey(w("ДОМ"), keys).position, 2U);
  EXPECT_TRUE(FindKey(w("ДОМ"), keys).found);
  EXPECT_TRUE(FindKey(w("ёль"), keys).found);
  EXPECT_EQ(FindKey(w("ёль"), keys).position, 3U);
  const FindKeyResult before = FindKey("a", keys);
  EXPECT_FALSE(before.found);
  EXPECT_EQ(before.position, 0U);
  const FindKeyResult middle = FindKey(w("гора"), keys);
  EXPECT_FALSE(middle.found);
  EXPECT_EQ(middle.position, 2U);
  const FindKeyResult after = FindKey(w("яма"), keys);
  EXPECT_FALSE(after.found);
  EXPECT_EQ(after.position, 5U);
}

TEST(KeyList, CompactKeepsFlaggedKeysInOrder) {
  KeyList keys = keysOf(testing::ws({"а", "бб", "ввв", "гггг", "д"}));
  const std::string b = std::string(keys[1]);
  const std::string g = std::string(keys[3]);
  keys.compact({false, true, false, true, false});
  ASSERT_EQ(keys.size(), 2U);
  EXPECT_EQ(keys[0], b);
  EXPECT_EQ(keys[1], g);
  EXPECT_EQ(keys.byteSize(), b.size() + g.size());
}

}  // namespace
}  // namespace verbalon::index
