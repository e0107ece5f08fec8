#include "dicts/text_lines.h"

#include <gtest/gtest.h>

namespace verbalon::dicts {
namespace {

TEST(TextLines, SplitsAtEveryKindOfLineBreakLikeStoredTexts) {
  for (const char* text :
       {"", "a", "a\r\n", "a\r\nb", "a\rb\nc\r\n", "\r\n", "\n\n", "a\r\r\nb", "x\n\ry"}) {
    const TextLines lines{std::string(text)};
    EXPECT_EQ(lines.toStringList(), splitLines(text)) << text;
    EXPECT_TRUE(lines == splitLines(text)) << text;
  }
  const TextLines lines(std::string("one\r\n\r\nthree"));
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "three");
  size_t count = 0;
  for (std::string_view line : lines)
    count += line.size();
  EXPECT_EQ(count, 8U);
}

TEST(TextLines, ListOfLinesRoundTrips) {
  const StringList lines = {"a", "", "b c"};
  EXPECT_EQ(TextLines(lines).toStringList(), lines);
  EXPECT_TRUE(TextLines(StringList{}).empty());
}

}  // namespace
}  // namespace verbalon::dicts
