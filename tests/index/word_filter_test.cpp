#include "index/word_filter.h"

#include <gtest/gtest.h>

#include "test_words.h"

namespace verbalon::index {
namespace {

using testing::us;
using testing::w;
using testing::ws;
using Lines = std::vector<std::string>;

TEST(FilterWords, MatchesPrefixIgnoringCaseOnly) {
  const StringList slWord = ws({"астор", "ёжик", "ежевика", "Сто", "стол", "Столица", "сто-ять"});
  const TFilteredListWord sto = FilterWords(slWord, FilterQuery(w("Сто")));
  EXPECT_EQ(us(sto.Words), (Lines{"Сто", "стол", "Столица", "сто-ять"}));
  EXPECT_EQ(sto.Indexes, (std::vector<int32_t>{3, 4, 5, 6}));
  EXPECT_EQ(us(FilterWords(slWord, FilterQuery(w("ЁЖ"))).Words), (Lines{"ёжик"}));
  EXPECT_EQ(us(FilterWords(slWord, FilterQuery(w("еж"))).Words), (Lines{"ежевика"}));
  EXPECT_EQ(us(FilterWords(slWord, FilterQuery(w("стоя"))).Words), Lines{});
  EXPECT_EQ(us(FilterWords(slWord, FilterQuery(w("сто-"))).Words), (Lines{"сто-ять"}));
}

TEST(FilterWords, QueryIsTrimmedAndEmptyMatchesNothing) {
  EXPECT_EQ(us({FilterQuery(w(" \t ДОМ  \r\n"))}), (Lines{"дом"}));
  EXPECT_EQ(FilterQuery(" \x01 "), "");
  EXPECT_TRUE(FilterWords(ws({"дом", ""}), "").Words.empty());
}

}  // namespace
}  // namespace verbalon::index
