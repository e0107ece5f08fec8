// Pages of packages made to hurt: whatever they hold, a page costs bounded time and memory and
// reaches the view bounded.
#include <exception>
#include <vector>

#include <gtest/gtest.h>

#include "article/article_page.h"
#include "article/detail/article_shape.h"
#include "common/cp1251.h"
#include "dicts/dict_package.h"
#include "storage/zlib_buffer.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

namespace verbalon::article {
namespace {

class HostilePage : public ::testing::Test {
 protected:
  // A "MEMO" dictionary of one item whose article location is location, with stream "s".
  void addDict(const std::string& stream, const std::string& ini = "viewcontrol=MEMO",
               const StringList& locations = {"s:0"}) {
    testing::Streams streams =
        testing::dictStreams(ini, StringList(locations.size(), "w"), locations);
    streams["s"] = stream;
    const auto path = m_folder.path() / ("d" + std::to_string(m_dicts.size()) + ".brd");
    testing::writePackage(path, streams);
    dicts::AddDict(m_dicts, path, m_readBuf);
  }

  std::string page(std::string_view entry, ItemStreamCache* cache = nullptr) {
    return buildArticlePage(entry, "w", m_dicts, m_templates, 600, m_advert, m_readBuf, cache);
  }

  // Builds the page of entry, whose one part must fail, and raises what that part raised.
  void raiseBrokenPart(std::string_view entry, ItemStreamCache* cache) {
    std::vector<BrokenPart> broken;
    buildArticlePage(entry, "w", m_dicts, m_templates, 600, m_advert, m_readBuf, cache, {},
                     &broken);
    ASSERT_EQ(broken.size(), 1U);
    std::rethrow_exception(broken.front().error);
  }

  testing::TempFolder m_folder;
  dicts::TDicts m_dicts;
  storage::MemoryStream m_readBuf;
  PageTemplates m_templates{{"%%CONTENT"}, {"%%WORD"}, {"%%COLUMN"}, {"%%COLUMNLIST"}};
  Advert m_advert{StringList{}};
};

TEST_F(HostilePage, ItemStreamOfMillionsOfEmptyLinesShowsLineZeroAndCountsOnlyWhenMissing) {
  std::string lines = "first";
  for (int i = 0; i < 2000000; ++i)
    lines += "\r\n";
  addDict(lines);
  ItemStreamCache small(1 << 20);
  ItemStreamCache large;
  for (ItemStreamCache* cache : {static_cast<ItemStreamCache*>(nullptr), &small, &large}) {
    EXPECT_EQ(page("0:s:0", cache), "first\r\n\r\n");
    EXPECT_EQ(page("0:s:1999999", cache), "\r\n\r\n");
    try {
      raiseBrokenPart("0:s:2000000", cache);
      FAIL() << "no error";
    } catch (const EArticleError& e) {
      EXPECT_NE(std::string(e.what()).find("which has 2000000 lines"), std::string::npos)
          << e.what();
    }
    EXPECT_TRUE(m_readBuf.bytes().empty());
  }
  // Too large for the small cache, so it is not kept there; the large one keeps it compactly.
  EXPECT_EQ(small.streamCount(), 0U);
  EXPECT_EQ(large.streamCount(), 1U);
  EXPECT_LT(large.bytes(), lines.size() + 2000000 * 8 + 1000);
}

TEST_F(HostilePage, ItemStreamBeyondTheLimitIsLeftOutWithItsName) {
  addDict(std::string(kItemStreamLimit + 1, 'x'));
  ItemStreamCache cache;
  for (ItemStreamCache* use : {static_cast<ItemStreamCache*>(nullptr), &cache}) {
    try {
      raiseBrokenPart("0:s:0", use);
      FAIL() << "no error";
    } catch (const storage::EDecompressionError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find("d0.brd"), std::string::npos) << message;
      EXPECT_NE(message.find("exceeds the limit of 67108864 bytes"), std::string::npos) << message;
    }
  }
  EXPECT_EQ(cache.streamCount(), 0U);
}

TEST_F(HostilePage, LongLinesAndWordsReachThePageCutAndBroken) {
  addDict(std::string(10 << 20, 'x') + "\r\n" + std::string(200000, 'y') + " end");
  const std::string note = detail::cutNote();
  const std::string cut = page("0:s:0");
  // The memo template and the page each end in a line break.
  EXPECT_LE(cut.size(), detail::kArticleLimit + note.size() + 4);
  EXPECT_EQ(cut.substr(cut.size() - note.size() - 4), note + "\r\n\r\n");
  EXPECT_EQ(cut.find(std::string(detail::kLongestRun + 1, 'x')), std::string::npos);

  const std::string word = page("0:s:1");
  EXPECT_EQ(word.find(std::string(detail::kLongestRun + 1, 'y')), std::string::npos);
  EXPECT_NE(word.find("&#8203;"), std::string::npos);
  EXPECT_EQ(word.find(note), std::string::npos);
  EXPECT_NE(word.find(" end"), std::string::npos);
}

TEST_F(HostilePage, DelimitersThatExpandAndListsOfEmptyItemsStayBounded) {
  // One "#" becomes "<BR><BR>" as a form delimiter: eight bytes for one.
  addDict(std::string(200000, '#'), "viewcontrol=MEMO\r\nFormDelimiter=#");
  addDict(std::string(200000, ','), "viewcontrol=LIST\r\nRowDelimiter=,");
  const std::string note = detail::cutNote();
  for (const char* entry : {"0:s:0", "1:s:0"}) {
    const std::string shown = page(entry);
    EXPECT_LE(shown.size(), 2 * detail::kArticleLimit) << entry;
    EXPECT_NE(shown.find(note), std::string::npos) << entry;
  }
}

TEST_F(HostilePage, ThousandsOfPartsStopAfterThePageBound) {
  addDict(std::string(100000, 'a') + " b");
  std::string entry;
  for (int i = 0; i < 1000; ++i)
    entry += (i ? "|" : "") + std::string("0:s:0");
  ItemStreamCache cache;
  const std::string shown = page(entry, &cache);
  EXPECT_LE(shown.size(), kPageContentLimit + detail::kArticleLimit);
  EXPECT_EQ(shown.substr(shown.size() - detail::cutNote().size() - 2), detail::cutNote() + "\r\n");
}

}  // namespace
}  // namespace verbalon::article
