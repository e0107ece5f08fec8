#include "common/packed_lines.h"

#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace verbalon {
namespace {

StringList toStrings(const PackedLines& lines) {
  StringList strings;
  for (const std::string_view line : lines) {
    strings.emplace_back(line);
  }
  return strings;
}

TEST(PackedLines, FromTextSplitsAsStoredTextsAreRead) {
  for (const std::string text :
       {"", "\r\n", "a", "a\r\n", "a\r\nb\rc\nd", "a\n\r b", "a\r\r\nb", "a\r\n\r\n", "\n\n\r",
        "long line one\r\nx\r\n\r\nlast without break"}) {
    const PackedLines lines = PackedLines::fromText(text);
    EXPECT_EQ(toStrings(lines), splitLines(text)) << text;
    EXPECT_EQ(lines, splitLines(text));
    size_t bytes = 0;
    for (const std::string& line : splitLines(text)) {
      bytes += line.size();
    }
    EXPECT_EQ(lines.byteSize(), bytes) << text;
  }
}

TEST(PackedLines, JoinsBackToTheStoredForm) {
  const PackedLines lines(StringList{"ab", "", "c"});
  EXPECT_EQ(joinLines(lines), "ab\r\n\r\nc\r\n");
  EXPECT_EQ(storedTextSize(lines), 9U);
  EXPECT_EQ(PackedLines::fromText(joinLines(lines)), lines);
  EXPECT_EQ(joinLines(PackedLines()), "");
}

TEST(PackedLines, FailedLineLeavesTheListAsItWas) {
  PackedLines lines(StringList{"a", "b"});
  EXPECT_THROW(lines.pushWritten([](std::string& bytes) {
    bytes += "half";
    throw std::runtime_error("no more");
  }),
               std::runtime_error);
  EXPECT_EQ(lines, (StringList{"a", "b"}));
  lines.push_back("c");
  EXPECT_EQ(lines, (StringList{"a", "b", "c"}));
  EXPECT_THROW(lines.reserveMore(1, std::numeric_limits<uint32_t>::max()), ELinesTooLarge);
  EXPECT_EQ(lines, (StringList{"a", "b", "c"}));
}

TEST(PackedLines, InsertsBeforeEveryPositionAndReplacesWithLongerLines) {
  PackedLines lines(StringList{"b", "d", "f"});
  const std::vector<size_t> insertAt{0, 0, 1, 3, 3};
  const PackedLines inserted(StringList{"a1", "a2", "c", "g", ""});
  const std::vector<size_t> replaceAt{1, 2};
  const PackedLines replacements(StringList{"dddd", "f"});
  lines.reserveMore(insertAt.size(), inserted.byteSize() + 3);
  const char* before = lines[0].data();
  lines.insertSorted(insertAt, inserted, replaceAt, replacements);
  EXPECT_EQ(lines, (StringList{"a1", "a2", "b", "c", "dddd", "f", "g", ""}));
  EXPECT_EQ(lines[2].data(), before + 4) << "the reserved room is used in place";

  PackedLines empty;
  empty.reserveMore(2, 2);
  empty.insertSorted(std::vector<size_t>{0, 0}, PackedLines(StringList{"x", "y"}));
  EXPECT_EQ(empty, (StringList{"x", "y"}));
}

TEST(PackedLines, CompactsAndReplacesWithShorterLines) {
  PackedLines lines(StringList{"aaa", "bb", "cccc", "d", "eeeee"});
  // A replaced line that is dropped still uses up its replacement.
  lines.compact({true, false, true, false, true}, {true, true, false, false, true},
                PackedLines(StringList{"a", "unused", "ee"}));
  EXPECT_EQ(lines, (StringList{"a", "cccc", "ee"}));
  EXPECT_EQ(lines.byteSize(), 7U);

  lines.compact({false, false, false});
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(lines.byteSize(), 0U);
  lines.push_back("again");
  EXPECT_EQ(lines, StringList{"again"});
}

// Random merges and removals against the same changes made to a list of strings, the way the
// index makes them: a bug in the offsets of one pass shows in the lines after it.
TEST(PackedLines, MergesAndRemovalsAgreeWithAListOfStrings) {
  std::mt19937 rng(7);
  auto randomLine = [&rng] { return std::string(rng() % 6, static_cast<char>('a' + rng() % 26)); };
  StringList expected;
  for (int i = 0; i < 50; ++i) {
    expected.push_back(randomLine());
  }
  PackedLines lines(expected);
  // An insertion at a position adds a quarter of a line on average and a removal takes a fifth:
  // the list stays about its size.
  for (int round = 0; round < 200; ++round) {
    std::vector<size_t> insertAt;
    std::vector<size_t> replaceAt;
    PackedLines inserted;
    PackedLines replacements;
    StringList next;
    for (size_t i = 0; i <= expected.size(); ++i) {
      while (rng() % 5 == 0) {
        insertAt.push_back(i);
        inserted.push_back(randomLine());
        next.emplace_back(inserted[inserted.size() - 1]);
      }
      if (i == expected.size()) break;
      if (rng() % 4 == 0) {
        replaceAt.push_back(i);
        replacements.push_back(expected[i] + randomLine());
        next.emplace_back(replacements[replacements.size() - 1]);
      } else {
        next.push_back(expected[i]);
      }
    }
    lines.reserveMore(insertAt.size(), inserted.byteSize() + replacements.byteSize());
    lines.insertSorted(insertAt, inserted, replaceAt, replacements);
    expected = next;
    ASSERT_EQ(lines, expected) << "merge " << round;

    std::vector<bool> keep;
    std::vector<bool> replaced;
    PackedLines shorter;
    next.clear();
    for (const std::string& line : expected) {
      keep.push_back(rng() % 5 != 0);
      replaced.push_back(rng() % 4 == 0);
      if (replaced.back()) shorter.push_back(line.substr(0, line.size() / 2));
      if (keep.back()) next.push_back(replaced.back() ? line.substr(0, line.size() / 2) : line);
    }
    lines.compact(keep, replaced, shorter);
    expected = next;
    ASSERT_EQ(lines, expected) << "removal " << round;
  }
  lines.releaseSpareRoom();
  EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace verbalon
