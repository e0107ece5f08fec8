#include "index/index_entry.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dicts/article_location.h"
#include "index/index_error.h"
#include "test_words.h"

namespace verbalon::index {
namespace {

using testing::w;

std::vector<IndexPart> partsOf(std::string_view entry) {
  std::vector<IndexPart> parts;
  for (const IndexPart& part : IndexEntry(entry, "w"))
    parts.push_back(part);
  return parts;
}

// The text of the error that reading entry raises, or "" when it reads.
std::string faultOf(std::string_view entry, std::string_view word = "w") {
  try {
    for (const IndexPart& part : IndexEntry(entry, word))
      (void)part;
  } catch (const EIndexError& e) {
    return e.what();
  }
  return "";
}

TEST(IndexEntry, ComposedPartsReadBackAndComposeToTheSameText) {
  std::string entry;
  IndexEntry::appendPart(entry, 0, "a\\b:12");
  IndexEntry::appendPart(entry, 3, "c:0");
  IndexEntry::appendPart(entry, 123456789, "d:007");
  IndexEntry::appendPart(entry, 3, ":999999999");
  EXPECT_EQ(entry, "0:a\\b:12|3:c:0|123456789:d:007|3::999999999");

  const std::vector<IndexPart> parts = partsOf(entry);
  ASSERT_EQ(parts.size(), 4U);
  EXPECT_EQ(parts[0].dict, 0U);
  EXPECT_EQ(parts[0].path, "a\\b");
  EXPECT_EQ(parts[0].line, 12U);
  EXPECT_EQ(parts[0].text, "0:a\\b:12");
  EXPECT_EQ(parts[0].location, "a\\b:12");
  EXPECT_EQ(parts[2].dict, 123456789U);
  EXPECT_EQ(parts[2].line, 7U);  // leading zeros of a line number are kept as written
  EXPECT_EQ(parts[2].location, "d:007");
  EXPECT_EQ(parts[3].path, "");
  EXPECT_EQ(parts[3].line, 999999999U);

  std::string again;
  for (const IndexPart& part : parts)
    IndexEntry::appendPart(again, part.dict, part.location);
  EXPECT_EQ(again, entry);
  EXPECT_TRUE(partsOf("").empty());
}

TEST(IndexEntry, EveryMalformedFormIsRefusedNamingWordPartAndFault) {
  const std::pair<const char*, const char*> faults[] = {
      {"|", "part 1, '', is empty"},
      {"0:a:1|", "part 2, '', is empty"},
      {"|0:a:1", "part 1, '', is empty"},
      {"0:a:1||1:b:2", "part 2, '', is empty"},
      {"0", "has no \":\" after a dictionary number"},
      {":a:1", "starts with no dictionary number"},
      {"x:a:1", "starts with no dictionary number"},
      {"-1:a:1", "starts with no dictionary number"},
      {"+1:a:1", "starts with no dictionary number"},
      {" 1:a:1", "starts with no dictionary number"},
      {"1234567890:a:1", "starts with no dictionary number of 1 to 9 decimal digits"},
      {"00:a:1", "has a leading zero in its dictionary number"},
      {"01:a:1", "has a leading zero in its dictionary number"},
      {"0:a", "has no \":\" before a line number"},
      {"0:a:b:1", "has a \":\" inside its stream path"},
      {"0:a:", "ends in no plain decimal line number"},
      {"0:a:x", "ends in no plain decimal line number"},
      {"0:a:-1", "ends in no plain decimal line number"},
      {"0:a:1 ", "ends in no plain decimal line number"},
      {"0:a:1234567890", "ends in no plain decimal line number"},
  };
  for (const auto& [entry, fault] : faults) {
    const std::string message = faultOf(entry);
    EXPECT_NE(message.find(fault), std::string::npos) << entry << ": " << message;
  }
  EXPECT_EQ(faultOf("0:a:1|00:b:2", w("дом")),
            "the index entry of 'дом' is malformed: its part 2, '00:b:2', has a leading zero in "
            "its dictionary number");
  // The largest numbers of nine digits read.
  EXPECT_EQ(faultOf("999999999:a:999999999"), "");
}

// A location holding "|" is refused when a package is added; inside an entry the "|" splits it.
TEST(IndexEntry, ALocationReadsAloneAsItDoesAfterADictionaryNumber) {
  for (const char* location :
       {"a:1", "a\\b:0", ":5", "a:007", "a", "a:b:1", "a:", "a:+1", "a:1234567890"}) {
    dicts::ArticleLocation read;
    const bool alone = dicts::readArticleLocation(location, read) == nullptr;
    EXPECT_EQ(alone, faultOf("7:" + std::string(location)).empty()) << location;
  }
}

TEST(IndexEntry, RemovalFindsAndDropsOnlyPartsOfItsNumber) {
  const IndexEntry entry("10:a:1|1:b:2|21:c:3|1:d:4", "w");
  EXPECT_TRUE(entry.mentions(1));
  EXPECT_TRUE(entry.mentions(10));
  EXPECT_FALSE(entry.mentions(0));
  EXPECT_FALSE(entry.mentions(2));
  EXPECT_EQ(entry.without(1), "10:a:1|21:c:3");
  EXPECT_EQ(entry.without(10), "1:b:2|21:c:3|1:d:4");
  EXPECT_EQ(entry.without(5), entry.text());
  EXPECT_EQ(IndexEntry("3:a:1|3:b:2", "w").without(3), "");
  // "00" is no number of dictionary 0: the part is malformed, not a part of 0.
  EXPECT_FALSE(IndexEntry("00:a:1", "w").mentions(0));
  EXPECT_THROW(IndexEntry("1:a:1|", "w").without(1), EIndexError);
}

TEST(IndexEntry, ComposingNeverLeavesAnEmptyPart) {
  std::string entry;
  IndexEntry::appendEntry(entry, "");
  EXPECT_EQ(entry, "");
  IndexEntry::appendEntry(entry, "0:a:1");
  EXPECT_EQ(entry, "0:a:1");
  IndexEntry::appendEntry(entry, "");
  IndexEntry::appendEntry(entry, "1:b:2|2:c:3");
  EXPECT_EQ(entry, "0:a:1|1:b:2|2:c:3");
  EXPECT_EQ(faultOf(entry), "");
}

TEST(IndexEntry, PartsAreCheckedAgainstSlots) {
  dicts::TDicts slots(2);
  slots[0].FileName = "a.brd";
  const std::vector<IndexPart> parts = partsOf("0:a:1|1:a:1|5:a:1");
  EXPECT_EQ(&dictOfPart(slots, parts[0]), &slots[0]);
  try {
    dictOfPart(slots, parts[1]);
    FAIL();
  } catch (const EIndexError& e) {
    EXPECT_EQ(std::string(e.what()), "index entry names dictionary 1, which has been removed");
  }
  EXPECT_THROW(dictOfPart(slots, parts[2]), EIndexError);
}

}  // namespace
}  // namespace verbalon::index
