#include "suggest/layout_swap.h"

#include <set>

#include <gtest/gtest.h>

#include "words.h"

namespace verbalon::suggest {
namespace {

using testing::u;
using testing::w;

// The keys row by row, unshifted and shifted, as the two layouts print them.
const std::string kLatin = "`qwertyuiop[]asdfghjkl;'zxcvbnm,.~QWERTYUIOP{}ASDFGHJKL:\"ZXCVBNM<>";
const std::string kCyrillic = "ёйцукенгшщзхъфывапролджэячсмитьбюЁЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮ";

TEST(LayoutSwap, EveryKeyBothWays) {
  const std::string cyrillic = w(kCyrillic);
  ASSERT_EQ(cyrillic.size(), 66u);  // all 33 letters, both cases
  ASSERT_EQ(kLatin.size(), cyrillic.size());
  EXPECT_EQ(u(layoutSwap(kLatin)), kCyrillic);
  EXPECT_EQ(layoutSwap(cyrillic), kLatin);
  std::set<char> seen;
  for (size_t i = 0; i < kLatin.size(); ++i) {
    const std::string latin(1, kLatin[i]);
    const std::string letter(1, cyrillic[i]);
    EXPECT_EQ(layoutSwap(latin), letter) << latin;
    EXPECT_EQ(layoutSwap(letter), latin) << u(letter);
    seen.insert(cyrillic[i]);
  }
  EXPECT_EQ(seen.size(), 66u);  // no two keys give one letter
}

TEST(LayoutSwap, WholeWords) {
  EXPECT_EQ(u(layoutSwap("ljv")), "дом");
  EXPECT_EQ(layoutSwap(w("ыщгтв")), "sound");
  EXPECT_EQ(u(layoutSwap("Ntcn")), "Тест");
  EXPECT_EQ(u(layoutSwap("rfr,snm")), "какбыть");
  EXPECT_EQ(layoutSwap(w("ХЛЕБ")), "{KT<");
  EXPECT_EQ(u(layoutSwap("`krf")), "ёлка");
}

TEST(LayoutSwap, DirectionFollowsTheLetters) {
  // Switched half way through: the majority's script is the wrong one.
  EXPECT_EQ(u(layoutSwap(w("дjv"))), "дом");
  EXPECT_EQ(u(layoutSwap(w("ljм"))), "дом");
  // Punctuation of a Cyrillic word stays punctuation; alone it is a Cyrillic key.
  EXPECT_EQ(layoutSwap(w("дом, кот")), "ljv, rjn");
  EXPECT_EQ(u(layoutSwap(",.;'[]")), "бюжэхъ");
  // Digits, blanks and pattern characters are on no letter key.
  EXPECT_EQ(u(layoutSwap("l*v? 12")), "д*м? 12");
  EXPECT_EQ(layoutSwap("123 */"), "123 */");
  EXPECT_EQ(layoutSwap(""), "");
}

}  // namespace
}  // namespace verbalon::suggest
