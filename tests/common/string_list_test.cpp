#include "common/string_list.h"

#include <gtest/gtest.h>

namespace verbalon {
namespace {

TEST(StringList, SplitsAtEveryKindOfLineBreak) {
  EXPECT_EQ(splitLines("a\r\nb\rc\nd"), (StringList{"a", "b", "c", "d"}));
  EXPECT_EQ(splitLines("a\n\r b"), (StringList{"a", "", " b"}));
  EXPECT_EQ(splitLines("a\r\r\nb"), (StringList{"a", "", "b"}));
}

TEST(StringList, FinalLineBreakAddsNoEmptyLine) {
  EXPECT_TRUE(splitLines("").empty());
  EXPECT_EQ(splitLines("\r\n"), StringList{""});
  EXPECT_EQ(splitLines("a\r\n"), StringList{"a"});
  EXPECT_EQ(splitLines("a\r\n\r\n"), (StringList{"a", ""}));
}

TEST(StringList, CountsTheLinesItSplits) {
  for (const char* text : {"", "a", "a\r\n", "a\r\n\r\n", "a\r\rb\n", "\n\r", "\r\n\n"}) {
    EXPECT_EQ(countLines(text), splitLines(text).size()) << text;
  }
  EXPECT_EQ(countLines("a\r\rb\n"), 3U);
}

TEST(StringList, JoinEndsEveryLineWithCrLfAndRoundTrips) {
  StringList lines{"first", "", "\xC0\xE1\xE2"};
  EXPECT_EQ(joinLines(lines), "first\r\n\r\n\xC0\xE1\xE2\r\n");
  EXPECT_EQ(splitLines(joinLines(lines)), lines);
  EXPECT_EQ(joinLines({}), "");
}

TEST(SettingValue, TakesTextAfterFirstEqualsOfFirstMatchingLine) {
  StringList ini{"junk line", "Title=One=Two", "title=Second"};
  EXPECT_EQ(settingValue(ini, "Title"), "One=Two");
  EXPECT_EQ(settingValue(ini, "TITLE"), "One=Two");
}

TEST(SettingValue, IgnoresCaseOfCyrillicNames) {
  // "Заголовок" written in lower case, asked for in upper case.
  StringList ini{"\xE7\xE0\xE3\xEE\xEB\xEE\xE2\xEE\xEA=x"};
  EXPECT_EQ(settingValue(ini, "\xC7\xC0\xC3\xCE\xCB\xCE\xC2\xCE\xCA"), "x");
}

TEST(SettingValue, TrimsNothing) {
  StringList ini{"Title =spaced", "Short= value "};
  EXPECT_EQ(settingValue(ini, "Title"), "");
  EXPECT_EQ(settingValue(ini, "Title "), "spaced");
  EXPECT_EQ(settingValue(ini, "Short"), " value ");
  EXPECT_EQ(settingValue(ini, "Missing"), "");
}

}  // namespace
}  // namespace verbalon
