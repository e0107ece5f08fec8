#include "common/string_list.h"

#include <string>
#include <vector>

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

// The rule spelled out one character at a time: CR LF, a lone CR and a lone LF end a line, and
// a break at the very end adds no empty line.
StringList linesByHand(const std::string& text) {
  StringList lines;
  std::string line;
  bool open = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += text[i];
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

// Every text of up to seven characters from "a", CR and LF: the split, its spans and the count
// all see the lines of the rule, whatever mix of line breaks.
TEST(StringList, SpansAndCountAgreeWithTheSplitOnEveryMixOfLineBreaks) {
  const std::string alphabet = "a\r\n";
  for (size_t length = 0; length <= 7; ++length) {
    size_t combinations = 1;
    for (size_t i = 0; i < length; ++i) {
      combinations *= alphabet.size();
    }
    for (size_t n = 0; n < combinations; ++n) {
      std::string text;
      for (size_t i = 0, rest = n; i < length; ++i, rest /= alphabet.size()) {
        text += alphabet[rest % alphabet.size()];
      }
      const StringList lines = linesByHand(text);
      ASSERT_EQ(splitLines(text), lines) << ::testing::PrintToString(text);
      const std::vector<LineSpan> spans = lineSpans(text);
      ASSERT_EQ(countLines(text), lines.size()) << ::testing::PrintToString(text);
      ASSERT_EQ(spans.size(), lines.size()) << ::testing::PrintToString(text);
      for (size_t i = 0; i < spans.size(); ++i) {
        ASSERT_EQ(text.substr(spans[i].begin, spans[i].length), lines[i])
            << ::testing::PrintToString(text);
      }
    }
  }
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
