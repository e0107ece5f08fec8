#include "article/replace.h"

#include <gtest/gtest.h>

#include "common/cp1251.h"

namespace verbalon::article {
namespace {

std::string w(const char* utf8) {
  return cp1251::fromUtf8(utf8);
}

TEST(ReplaceAll, MatchesAnyLetterCaseCyrillicIncluded) {
  EXPECT_EQ(replaceAll(w("Дом, ДОМ и дОм"), w("дом"), "X"), "X, X " + w("и") + " X");
  EXPECT_EQ(replaceAll("<p>%%word %%Word</p>", "%%WORD", "x"), "<p>x x</p>");
  EXPECT_EQ(replaceAll(w("ёЁ"), w("Ё"), "e"), "ee");
}

TEST(ReplaceAll, ScansLeftToRightWithoutRescanningInsertedText) {
  EXPECT_EQ(replaceAll("a-a", "a", "aa"), "aa-aa");
  EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(replaceAll("##", "#", "<BR>"), "<BR><BR>");
  EXPECT_EQ(replaceAll("%%WORD", "%%WORD", "%%WORD!"), "%%WORD!");
}

TEST(ReplaceAll, EmptyPatternOrNoMatchLeavesTextAndValuesGoInUnescaped) {
  EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(replaceAll("", "a", "x"), "");
  EXPECT_EQ(replaceAll("abc", "abcd", "x"), "abc");
  EXPECT_EQ(replaceAll("[T]", "t", "<i>&amp;</i>"), "[<i>&amp;</i>]");
}

}  // namespace
}  // namespace verbalon::article
