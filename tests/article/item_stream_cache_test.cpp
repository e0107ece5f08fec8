#include "article/item_stream_cache.h"

#include <gtest/gtest.h>

#include "../index/recording_progress.h"
#include "article/article_page.h"
#include "common/cp1251.h"
#include "index/word_index.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

namespace verbalon::article {
namespace {

class ItemStreamCacheTest : public ::testing::Test {
 protected:
  ItemStreamCacheTest() { m_cache.connectTo(m_index); }

  void install(const std::string& name, const std::string& stream) {
    testing::Streams streams = testing::dictStreams(
        "Title=T\r\nShortTitle=" + name + "\r\nviewcontrol=MEMO", {"дом", "кот"}, {"s:0", "s:1"});
    streams["s"] = stream;
    testing::writePackage(m_folder.path() / name, streams);
    m_index.AddDict(m_folder.path() / name, m_readBuf);
    m_index.InstallDict(m_index.Dicts().size() - 1, m_progress);
  }

  // The page of word built with the cache, checked against the page built without it.
  std::string page(const char* utf8) {
    const std::string word = cp1251::fromUtf8(utf8);
    for (size_t i = 0; i < m_index.slWord().size(); ++i) {
      if (m_index.slWord()[i] != word) continue;
      const std::string_view entry = m_index.slIndex()[i];
      const std::string cached = buildArticlePage(entry, word, m_index.Dicts(), m_templates, 600,
                                                  m_advertCached, m_readBuf, &m_cache);
      const std::string plain = buildArticlePage(entry, word, m_index.Dicts(), m_templates, 600,
                                                 m_advertPlain, m_readBuf);
      EXPECT_EQ(cached, plain);
      return cached;
    }
    ADD_FAILURE() << utf8 << " is not indexed";
    return {};
  }

  testing::TempFolder m_folder;
  storage::MemoryStream m_readBuf;
  index::WordIndex m_index;
  ItemStreamCache m_cache;
  index::testing::RecordingProgress m_progress;
  PageTemplates m_templates{{"%%WORD:%%CONTENT"}, {"%%TITLE=%%WORD"}, {}, {}};
  Advert m_advertCached{StringList{}};
  Advert m_advertPlain{StringList{}};
};

TEST_F(ItemStreamCacheTest, PagesMatchUncachedOnesAlsoAfterASlotNumberIsReused) {
  install("a.brd", "first a\r\nsecond a\r\n");
  EXPECT_EQ(page("кот"), cp1251::fromUtf8("кот:a.brd=second a\r\n\r\n"));
  EXPECT_EQ(page("дом"), cp1251::fromUtf8("дом:a.brd=first a\r\n\r\n"));
  EXPECT_EQ(m_cache.streamCount(), 1u);
  EXPECT_GT(m_cache.bytes(), 0u);

  // Slot 0 is the last one, so the next package gets number 0 again, with a stream of the same
  // path and other content.
  ASSERT_TRUE(m_index.RemoveDict(0, m_progress));
  EXPECT_EQ(m_cache.streamCount(), 0u);
  EXPECT_EQ(m_cache.bytes(), 0u);
  install("b.brd", "first b\nsecond b");
  EXPECT_EQ(page("дом"), cp1251::fromUtf8("дом:b.brd=first b\r\n\r\n"));
}

}  // namespace
}  // namespace verbalon::article
