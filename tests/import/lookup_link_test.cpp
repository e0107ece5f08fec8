#include "import/lookup_link.h"

#include <string>

#include <gtest/gtest.h>

#include "common/cp1251.h"
#include "import/source_text.h"

namespace verbalon::import {
namespace {

std::string win1251(const char* utf8) {
  return cp1251::fromUtf8(utf8);
}

// The address lookupLink writes for word.
std::string hrefOf(std::string_view word) {
  const std::string link = lookupLink(word, "x");
  const size_t begin = link.find("href=\"") + 6;
  return link.substr(begin, link.find('"', begin) - begin);
}

TEST(LookupWord, ReadsBackWhatLookupLinkWrote) {
  for (const char* word : {"дом", "кое-что", "a b&c\"d", "Ёлка", "100%", "x+y/z?q#f"}) {
    const std::string href = hrefOf(word);
    EXPECT_EQ(lookupWord(href), win1251(word)) << href;
  }
}

TEST(LookupWord, FoldsWhatWindows1251CannotHold) {
  EXPECT_EQ(lookupWord(hrefOf("café")), "cafe");
  EXPECT_EQ(lookupWord(hrefOf("Straße")), "Strasse");
  // Nothing to fold to: the word pick reads such a character as '?' as well.
  EXPECT_EQ(lookupWord(hrefOf("a☺")), "a?");
}

// Hand-written dictionaries put the word itself into the address, or a "%" that starts no
// escape; neither may be lost or read as something else.
TEST(LookupWord, TakesPlainCharactersAndStrayPercentSigns) {
  EXPECT_EQ(lookupWord(win1251("lookup:дом")), win1251("дом"));
  EXPECT_EQ(lookupWord(win1251("lookup:до%D0%BC")), win1251("дом"));
  EXPECT_EQ(lookupWord("LookUp:Word"), "Word");
  EXPECT_EQ(lookupWord("lookup:50%"), "50%");
  EXPECT_EQ(lookupWord("lookup:%4"), "%4");
  EXPECT_EQ(lookupWord("lookup:%zz%41"), "%zzA");
  EXPECT_EQ(lookupWord("lookup:"), "");
  // Bytes that are no UTF-8 give no character that could pass for a letter.
  EXPECT_EQ(lookupWord("lookup:a%FFb"), "a?b");
}

TEST(LookupWord, LeavesOtherAddressesAlone) {
  for (const char* href : {"http://example.org/lookup:x", "look", "#lookup:x", "lookups:x", ""}) {
    EXPECT_EQ(lookupWord(href), std::nullopt) << href;
  }
}

}  // namespace
}  // namespace verbalon::import
