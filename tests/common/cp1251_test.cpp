#include "common/cp1251.h"

#include <gtest/gtest.h>

namespace verbalon::cp1251 {
namespace {

TEST(Cp1251, MapsCyrillicLettersBothWays) {
  // "ёЁ абв ЯЮ ґҐ іІ ўЎ" in Windows-1251.
  EXPECT_EQ(toUpper("\xB8\xE0\xE1\xE2\xFF\xFE\xB4\xB3\xA2"),
            "\xA8\xC0\xC1\xC2\xDF\xDE\xA5\xB2\xA1");
  EXPECT_EQ(toLower("\xA8\xC0\xC1\xC2\xDF\xDE\xA5\xB2\xA1"),
            "\xB8\xE0\xE1\xE2\xFF\xFE\xB4\xB3\xA2");
  EXPECT_EQ(toUpper("abz-09"), "ABZ-09");
}

TEST(Cp1251, LeavesCaselessCharactersAlone) {
  // Micro sign, number sign, non-breaking space, guillemets.
  EXPECT_EQ(toUpper("\xB5\xB9\xA0\xAB\xBB"), "\xB5\xB9\xA0\xAB\xBB");
  EXPECT_EQ(toLower("\xB5\xB9\xA0\xAB\xBB"), "\xB5\xB9\xA0\xAB\xBB");
}

TEST(Cp1251, EveryByteRoundTripsThroughUnicode) {
  std::string all;
  for (int i = 0; i < 256; ++i)
    all += static_cast<char>(i);
  EXPECT_EQ(fromUtf16(toUtf16(all)), all);
  EXPECT_EQ(fromUtf8(toUtf8(all)), all);
}

TEST(Cp1251, ConvertsKnownCharacters) {
  EXPECT_EQ(toUtf8("\xD1\xEB\xEE\xE2\xE0\xF0\xFC \xB9 \x88"), "Словарь № €");
  EXPECT_EQ(toUtf16("\xA8"), u"Ё");
  EXPECT_EQ(fromUtf8("ёЁ—…"), "\xB8\xA8\x97\x85");
}

TEST(Cp1251, ReplacesWhatTheCodePageCannotHold) {
  EXPECT_EQ(fromUtf8("a\xE4\xB8\xAD"
                     "b"),
            "a?b");  // CJK character
  EXPECT_EQ(fromUtf8("a\xF0\x9F\x98\x80"
                     "b"),
            "a?b");  // emoji, four bytes
  EXPECT_EQ(fromUtf8("a\xFF\xC3"
                     "b"),
            "a??b");                             // invalid bytes
  EXPECT_EQ(fromUtf16(u"x\U0001F600y"), "x?y");  // surrogate pair
}

TEST(Cp1251, ComparesIgnoringCase) {
  EXPECT_TRUE(equalsIgnoreCase("\xE4\xEE\xEC", "\xC4\xCE\xCC"));
  EXPECT_FALSE(equalsIgnoreCase("\xE5", "\xB8"));  // е is not ё
  EXPECT_FALSE(equalsIgnoreCase("ab", "abc"));
}

}  // namespace
}  // namespace verbalon::cp1251
