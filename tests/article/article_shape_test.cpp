#include "article/detail/article_shape.h"

#include <gtest/gtest.h>

#include "article/detail/stream_lines.h"
#include "common/cp1251.h"

namespace verbalon::article::detail {
namespace {

// The longest run of characters between blanks and zero-width spaces, outside tags.
size_t longestRun(std::string_view html) {
  size_t longest = 0;
  size_t run = 0;
  bool inTag = false;
  for (size_t i = 0; i < html.size(); ++i) {
    if (html.substr(i, 7) == "&#8203;") {
      run = 0;
      i += 6;
    } else if (html[i] == '<') {
      inTag = true;
    } else if (html[i] == '>') {
      inTag = false;
    } else if (!inTag) {
      run = html[i] == ' ' ? 0 : run + 1;
      longest = std::max(longest, run);
    }
  }
  return longest;
}

TEST(ShapeArticle, ShortArticleWithBreaksStaysAsItIs) {
  bool cut = false;
  const std::string article = "<b class=\"x y\">a b</b> &amp; <!-- c --> d";
  EXPECT_EQ(shapeArticle(article, kArticleLimit, true, cut), article);
  EXPECT_EQ(shapeArticle(article, kArticleLimit, false, cut), article);
  EXPECT_FALSE(cut);
}

TEST(ShapeArticle, CutsOnlyBetweenTagsCommentsAndStyleText) {
  bool cut = false;
  EXPECT_EQ(shapeArticle("abc<a href='x>y'>def", 8, false, cut), "abc");
  EXPECT_TRUE(cut);
  cut = false;
  EXPECT_EQ(shapeArticle("ab<!-- long comment -->cd", 10, false, cut), "ab");
  EXPECT_TRUE(cut);
  cut = false;
  EXPECT_EQ(shapeArticle("ab<style>p{}</style>cd", 12, false, cut), "ab");
  cut = false;
  EXPECT_EQ(shapeArticle("ab<STYLE>p{}</style>cd", 20, false, cut), "ab<STYLE>p{}</style>");
  EXPECT_TRUE(cut);
  // A character reference stays whole.
  cut = false;
  EXPECT_EQ(shapeArticle("ab&amp;cd", 5, false, cut), "ab");
  EXPECT_TRUE(cut);
}

TEST(ShapeArticle, BreaksLongRunsAcrossInlineTagsButNotInsideThem) {
  bool cut = false;
  const std::string word(kLongestRun * 3 + 10, 'x');
  const std::string broken = shapeArticle(word, kArticleLimit, true, cut);
  EXPECT_FALSE(cut);
  EXPECT_EQ(longestRun(broken), kLongestRun);
  EXPECT_EQ(broken.size(), word.size() + 3 * 7);

  // Tags do not end a run of text, so a word spread over many of them is broken as well; the
  // attribute of the tag stays whole, however long.
  std::string tagged;
  for (int i = 0; i < 200; ++i)
    tagged += "ab<i>c</i>";
  tagged += "<a href=\"" + std::string(1000, 'h') + "\">z</a>";
  const std::string shaped = shapeArticle(tagged, kArticleLimit, true, cut);
  EXPECT_LE(longestRun(shaped), kLongestRun);
  EXPECT_NE(shaped.find(std::string(1000, 'h')), std::string::npos);
  // A BR is a break, and text inside STYLE is no text.
  const std::string lines = std::string(200, 'a') + "<br>" + std::string(200, 'a') + "<style>" +
                            std::string(600, 'c') + "</style>";
  EXPECT_EQ(shapeArticle(lines, kArticleLimit, true, cut), lines);
}

TEST(ShapeArticle, HugeArticleIsBoundedIncludingItsBreaks) {
  bool cut = false;
  const std::string huge(10 << 20, 'x');
  const std::string shaped = shapeArticle(huge, kArticleLimit, true, cut);
  EXPECT_TRUE(cut);
  EXPECT_LE(shaped.size(), kArticleLimit);
  EXPECT_GT(shaped.size(), kArticleLimit - 300);
  EXPECT_EQ(cp1251::toUtf8(cutNote()), "<BR><I>…статья сокращена</I>");
}

TEST(StreamLines, PicksLinesAsTheyAreSplit) {
  EXPECT_EQ(nthLine("a\r\nb\rc\nd", 3), "d");
  EXPECT_EQ(nthLine("a\r\n\r\nc", 1), "");
  EXPECT_EQ(nthLine("a\r\n", 1), std::nullopt);
  EXPECT_EQ(nthLine("", 0), std::nullopt);
}

}  // namespace
}  // namespace verbalon::article::detail
