#include "suggest/key_search.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "index/normalize.h"
#include "words.h"

namespace verbalon::suggest {
namespace {

using testing::u;
using testing::w;
using testing::ws;

// The index's own order, whatever order the test writes the words in.
StringList inKeyOrder(StringList words) {
  std::sort(words.begin(), words.end(), [](const std::string& a, const std::string& b) {
    return index::compareKeys(index::NormalizeWord(a), index::NormalizeWord(b)) < 0;
  });
  return words;
}

const PackedLines kWords(inKeyOrder(ws({"apple", "Zoo", "аист", "Дом", "дома", "ёлка", "ель",
                                        "кот-ёж", "ЯЩИК"})));

TEST(KeySearch, RowsOfTheTypedText) {
  ASSERT_EQ(u(kWords[0]), "apple");  // Latin before Cyrillic
  const KeySearch keys(kWords);
  EXPECT_TRUE(keys.listInOrder());
  const auto row = [&](const char* typed) { return u(kWords[keys.firstNotLess(w(typed))]); };
  EXPECT_EQ(keys.firstNotLess(""), 0u);
  EXPECT_EQ(row("a"), "apple");
  EXPECT_EQ(row("b"), "Zoo");
  EXPECT_EQ(row("ДОМ"), "Дом");  // equal keys, case ignored
  EXPECT_EQ(row("дом"), "Дом");
  EXPECT_EQ(row("дома"), "дома");
  EXPECT_EQ(row("домик"), "ёлка");  // between words: the next one
  EXPECT_EQ(row("елк"), "ёлка");    // «ё» is «е» in a key
  EXPECT_EQ(row("ёль"), "ель");
  EXPECT_EQ(row("котеж"), "кот-ёж");                        // hyphens do not count
  EXPECT_EQ(row("  я щ"), "ЯЩИК");                          // nor blanks
  EXPECT_EQ(row("ящик"), "ЯЩИК");                           // the last word
  EXPECT_EQ(keys.firstNotLess(w("ящика")), kWords.size());  // past the end
  EXPECT_EQ(keys.firstNotLess(w("я")), kWords.size() - 1);
}

TEST(KeySearch, FindsEqualKeysOnly) {
  const KeySearch keys(kWords);
  ASSERT_TRUE(keys.find(w("ЁЛКА")).has_value());
  EXPECT_EQ(u(kWords[*keys.find(w("ЕЛКА"))]), "ёлка");
  EXPECT_EQ(u(kWords[*keys.find(w("котёж"))]), "кот-ёж");
  EXPECT_FALSE(keys.find(w("до")).has_value());
  EXPECT_FALSE(keys.find(w("ящика")).has_value());
  EXPECT_FALSE(KeySearch().find("a").has_value());
  EXPECT_EQ(KeySearch().firstNotLess("a"), 0u);
}

// A stored index of another comparison is searched by key all the same: the rows answer for
// the least key not less than the text.
TEST(KeySearch, ListOutOfOrder) {
  const PackedLines shuffled(ws({"ЯЩИК", "дома", "apple", "Дом", "ёлка", "Zoo"}));
  const KeySearch keys(shuffled);
  EXPECT_FALSE(keys.listInOrder());
  const auto row = [&](const char* typed) { return u(shuffled[keys.firstNotLess(w(typed))]); };
  EXPECT_EQ(row(""), "apple");
  EXPECT_EQ(row("дом"), "Дом");
  EXPECT_EQ(row("домик"), "ёлка");
  EXPECT_EQ(row("ж"), "ЯЩИК");
  EXPECT_EQ(keys.firstNotLess(w("ящика")), shuffled.size());
  EXPECT_EQ(*keys.find(w("ДОМА")), 1u);
}

TEST(KeySearch, SameRowsOverTheIndexKeys) {
  index::KeyList slKey;
  for (const std::string_view word : kWords)
    slKey.pushWord(word);
  const KeySearch keys(kWords);
  for (const char* typed : {"", "a", "z", "дом", "домик", "елк", "я", "ящика", "ЯЩИК"}) {
    EXPECT_EQ(firstNotLess(slKey, w(typed)), keys.firstNotLess(w(typed))) << typed;
  }
}

}  // namespace
}  // namespace verbalon::suggest
