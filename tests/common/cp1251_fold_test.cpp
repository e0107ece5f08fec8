#include "common/cp1251_fold.h"

#include <gtest/gtest.h>

#include "common/cp1251.h"

namespace verbalon::cp1251 {
namespace {

std::string fold(std::u16string_view text) {
  return toUtf8(foldFromUtf16(text));
}

TEST(Cp1251Fold, DropsAccentsOfLatinLetters) {
  EXPECT_EQ(fold(u"café"), "cafe");
  EXPECT_EQ(fold(u"señor über Łódź"), "senor uber Lodz");
  EXPECT_EQ(fold(u"ÀÉÎÕÜ"), "AEIOU");
}

TEST(Cp1251Fold, SpellsOutLettersWithoutABase) {
  EXPECT_EQ(fold(u"Straße"), "Strasse");
  EXPECT_EQ(fold(u"æther Ærø łuk"), "aether AEro luk");
  EXPECT_EQ(fold(u"ﬁne"), "fine");
}

TEST(Cp1251Fold, KeepsWhatTheCodePageHolds) {
  // Cyrillic with "ё", typographic quotes and dashes, the euro and the numero sign are all in
  // Windows-1251 and must not be spelled in Latin or stripped of their marks.
  const std::u16string held = u"Ёлка ёж «дом» “quote” — € № ґ ў";
  EXPECT_EQ(foldFromUtf16(held), fromUtf16(held));
  EXPECT_EQ(fold(u"a?b"), "a?b");
}

TEST(Cp1251Fold, JoinsCombiningMarksToTheirLetterFirst) {
  EXPECT_EQ(fold(u"е\u0308ж"), "ёж");          // Cyrillic е with a combining diaeresis
  EXPECT_EQ(fold(u"e\u0301t\u0301e"), "ete");  // no precomposed t with acute: the mark goes
}

TEST(Cp1251Fold, FoldsOnlyTheCharactersOutsideTheCodePage) {
  EXPECT_EQ(fold(u"дом café дом"), "дом cafe дом");
  EXPECT_EQ(fold(u"αβγ"), "abg");
}

TEST(Cp1251Fold, WhatHasNoSpellingBecomesAQuestionMark) {
  EXPECT_EQ(fold(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(fold(u""), "");
}

}  // namespace
}  // namespace verbalon::cp1251
