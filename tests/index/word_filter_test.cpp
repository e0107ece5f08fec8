#include "index/word_filter.h"

#include <gtest/gtest.h>

#include "test_words.h"

namespace verbalon::index {
namespace {

using testing::u;
using testing::us;
using testing::w;
using testing::ws;
using Lines = std::vector<std::string>;

TEST(filterWords, MatchesPrefixIgnoringCaseOnly) {
  const StringList slWord = ws({"астор", "ёжик", "ежевика", "Сто", "стол", "Столица", "сто-ять"});
  const TFilteredListWord sto = filterWords(slWord, filterQuery(w("Сто")));
  EXPECT_EQ(us(sto.Words), (Lines{"Сто", "стол", "Столица", "сто-ять"}));
  EXPECT_EQ(sto.Indexes, (std::vector<int32_t>{3, 4, 5, 6}));
  EXPECT_EQ(us(filterWords(slWord, filterQuery(w("ЁЖ"))).Words), (Lines{"ёжик"}));
  EXPECT_EQ(us(filterWords(slWord, filterQuery(w("еж"))).Words), (Lines{"ежевика"}));
  EXPECT_EQ(us(filterWords(slWord, filterQuery(w("стоя"))).Words), Lines{});
  EXPECT_EQ(us(filterWords(slWord, filterQuery(w("сто-"))).Words), (Lines{"сто-ять"}));
}

TEST(filterWords, QueryIsTrimmedAndEmptyMatchesNothing) {
  EXPECT_EQ(u(filterQuery(w(" \t ДОМ  \r\n"))), "дом");
  EXPECT_EQ(filterQuery(" \x01 "), "");
  EXPECT_TRUE(filterWords(ws({"дом", ""}), "").Words.empty());
}

}  // namespace
}  // namespace verbalon::index
