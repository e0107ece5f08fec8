#include "article/article_page.h"

#include <exception>
#include <vector>

#include <gtest/gtest.h>

#include "common/cp1251.h"
#include "dicts/dict_package.h"
#include "index/index_error.h"
#include "storage/storage_error.h"
#include "storage/zlib_buffer.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

namespace verbalon::article {
namespace {

std::string w(const char* utf8) {
  return cp1251::fromUtf8(utf8);
}

StringList numbered(size_t n) {
  StringList items;
  for (size_t i = 0; i < n; ++i)
    items.push_back("i" + std::to_string(i));
  return items;
}

TEST(ColumnLayout, TwentyThreeItemsUnderDomInA453PixelView) {
  EXPECT_EQ(columnCount(w("дом").size(), 453), 10u);
  const std::string columns = layoutColumns(numbered(23), 10, {"[%%COLUMNLIST]"});
  EXPECT_EQ(columns,
            "[i0<BR>i1<BR>i2<BR>]\r\n[i3<BR>i4<BR>i5<BR>]\r\n[i6<BR>i7<BR>i8<BR>]\r\n"
            "[i9<BR>i10<BR>i11<BR>]\r\n[i12<BR>i13<BR>i14<BR>]\r\n[i15<BR>i16<BR>i17<BR>]\r\n"
            "[i18<BR>i19<BR>i20<BR>]\r\n[i21<BR>i22<BR>]\r\n[]\r\n[]\r\n");
}

TEST(ColumnLayout, EmptyHeadwordOrNarrowViewGivesOneColumn) {
  EXPECT_EQ(columnCount(0, 453), 1u);
  EXPECT_EQ(columnCount(3, 44), 1u);
  EXPECT_EQ(columnCount(3, 45), 1u);
  EXPECT_EQ(columnCount(3, 90), 2u);
  EXPECT_EQ(columnCount(3, 0), 1u);
  EXPECT_EQ(layoutColumns(numbered(3), 1, {"[%%COLUMNLIST]"}), "[i0<BR>i1<BR>i2<BR>]\r\n");
  EXPECT_EQ(layoutColumns({}, 2, {"[%%COLUMNLIST]"}), "[]\r\n[]\r\n");
}

// Items measured at 10 pixels a byte and 12 between columns, in room pixels.
ColumnFit tenPerByte(int room) {
  return {room, [](std::string_view item) { return static_cast<int>(item.size()) * 10 + 12; }};
}

TEST(ColumnLayout, MeasuredItemsCapTheColumnsAtLeastOne) {
  const StringList items = {"a", "bbbbbb", "cc"};
  // The widest takes 72 pixels: four such columns fit in 300.
  EXPECT_EQ(fitColumns(7, items, tenPerByte(300)), 4u);
  EXPECT_EQ(fitColumns(2, items, tenPerByte(300)), 2u);  // fewer by the rule: the rule stands
  EXPECT_EQ(fitColumns(7, items, tenPerByte(50)), 1u);
  EXPECT_EQ(fitColumns(7, items, tenPerByte(-5)), 1u);
  EXPECT_EQ(fitColumns(7, items, ColumnFit{300, {}}), 7u);  // nothing measured
  EXPECT_EQ(fitColumns(7, {}, tenPerByte(300)), 7u);
}

// Three dictionaries in slots 0 to 2 and a hole in slot 3: a "MEMO" one with "#" and "##" as
// delimiters, a "LIST" one with "," and one of an unknown view control with "y" and "Y!".
class ArticlePage : public ::testing::Test {
 protected:
  void SetUp() override {
    addDict("memo.brd",
            "Title=Толковый словарь\r\nShortTitle=ТС\r\nviewcontrol=MEMO\r\n"
            "RowDelimiter=#\r\nFormDelimiter=##",
            w("first\r\na#b##c\r\nX%%word%%Pid <i>Я</i>\r\nRow#ROW\r\n"));
    addDict("list.brd", "Title=Формы слова\r\nShortTitle=ФС\r\nviewcontrol=LIST\r\nRowDelimiter=,",
            w("дом,дома,,дому,\rодин"));
    addDict("other.brd",
            "Title=Полное имя\r\nShortTitle=Кратко\r\nviewcontrol=memo\r\n"
            "RowDelimiter=y\r\nFormDelimiter=Y!",
            "x#y!Y\n");
    dicts::AddDict(m_dicts, m_folder.path() / "", m_readBuf);
    m_templates.slTplDefault = {"<html>", "%%content", "<h1>%%WORD</h1>\n<ad>%%NAME</ad>",
                                "</html>"};
    m_templates.slTplMemo = {"<m>%%TITLE:%%WORD|%%word</m>"};
    m_templates.slTplList = {"<l>%%title<t>%%COLUMN</t></l>"};
    m_templates.slTplColumn = {"<c>%%COLUMNLIST</c>"};
  }

  void addDict(const std::string& name, const std::string& iniUtf8, const std::string& article) {
    testing::Streams streams = testing::dictStreams(iniUtf8, {"w"}, {"art:0"});
    streams["art"] = article;
    testing::writePackage(m_folder.path() / name, streams);
    dicts::AddDict(m_dicts, m_folder.path() / name, m_readBuf);
  }

  std::string page(std::string_view entry, std::string_view headword, int width = 453,
                   const ColumnFit& fit = {}) {
    return buildArticlePage(entry, headword, m_dicts, m_templates, width, m_advert, m_readBuf,
                            nullptr, fit);
  }

  testing::TempFolder m_folder;
  dicts::TDicts m_dicts;
  storage::MemoryStream m_readBuf;
  PageTemplates m_templates;
  Advert m_advert{StringList{"0;p;a;Ad;i.gif;1"}};
};

TEST_F(ArticlePage, MemoTurnsRowThenFormDelimiterIntoBreaks) {
  EXPECT_EQ(page("0:art:1", w("дом")), "<html>\r\n<m>" + w("ТС") +
                                           ":a<BR>b<BR><BR>c|a<BR>b<BR><BR>c</m>\r\n\r\n<h1>" +
                                           w("дом") + "</h1>\r\n<ad>Ad</ad>\r\n</html>\r\n");
  EXPECT_TRUE(m_readBuf.bytes().empty());
  // Delimiters match in any case, the row delimiter first; an unknown view control is drawn as
  // "MEMO".
  EXPECT_EQ(page("2:art:0", "x"),
            "<html>\r\n<m>" + w("Кратко") +
                ":x#<BR>!<BR>|x#<BR>!<BR></m>\r\n\r\n<h1>x</h1>\r\n<ad>Ad</ad>\r\n</html>\r\n");
}

TEST_F(ArticlePage, ListThenMemoFragmentsFollowEachOtherInEntryOrder) {
  // Two-letter headword in a 61-pixel view: two columns; "дом,дома,,дому," gives four items,
  // the empty one inside kept, the trailing one gone.
  EXPECT_EQ(page("1:art:0|0:art:3", "ab", 61),
            "<html>\r\n<l>" + w("Формы слова") + "<t><c>" + w("дом<BR>дома<BR>") +
                "</c>\r\n<c><BR>" + w("дому") + "<BR></c>\r\n</t></l>\r\n<m>" + w("ТС") +
                ":Row<BR>ROW|Row<BR>ROW</m>\r\n\r\n<h1>ab</h1>\r\n<ad>Ad</ad>\r\n</html>\r\n");
  // Without any delimiter in the article: one item in the first column, the rest empty.
  m_templates.slTplList = {"%%COLUMN"};
  m_templates.slTplDefault = {"%%CONTENT"};
  EXPECT_EQ(page("1:art:1", "ab", 91),
            "<c>" + w("один") + "<BR></c>\r\n<c></c>\r\n<c></c>\r\n\r\n\r\n");
  // The rule gives 453 / 15 = 30 columns; four of the widest item (52 pixels) fit in 208.
  const std::string capped = page("1:art:0", "a", 453, tenPerByte(208));
  EXPECT_EQ(capped, "<c>" + w("дом<BR>") + "</c>\r\n<c>" + w("дома<BR>") +
                        "</c>\r\n<c><BR></c>\r\n<c>" + w("дому<BR>") + "</c>\r\n\r\n\r\n");
}

TEST_F(ArticlePage, PageWideStepsReachArticleTextAndLineBreaksBecomeCrLf) {
  m_templates.slTplMemo = {"%%WORD"};
  m_templates.slTplDefault = {"%%CONTENT\r[%%word]\n"};
  EXPECT_EQ(page("0:art:2", w("дом")),
            "X" + w("дом") + "p <i>" + w("Я") + "</i>\r\n\r\n[" + w("дом") + "]\r\n\r\n");
  // No part: the page template with empty content.
  EXPECT_EQ(page("", "h"), "\r\n[h]\r\n\r\n");
}

TEST_F(ArticlePage, FaultyEntriesRaiseClearErrorsAndDrawNoAdvert) {
  // A hundred records draw 0 and then 3: a page that failed would have shifted the sequence.
  StringList records;
  for (int i = 0; i < 100; ++i)
    records.push_back("0;p" + std::to_string(i) + ";a;n;i;1");
  m_advert = Advert(records);
  const auto expectError = [&](std::string_view entry, const std::string& message) {
    try {
      page(entry, "h");
      ADD_FAILURE() << "no error for " << entry;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
    EXPECT_TRUE(m_readBuf.bytes().empty());
  };
  expectError("0:art:1|7:art:0", "dictionary 7");
  expectError("3:art:0", "dictionary 3");
  EXPECT_THROW(page("9:art:0", "h"), index::EIndexError);
  // An entry that breaks the format is refused by its reader, which names the word.
  const auto expectMalformed = [&](std::string_view entry, const std::string& fault) {
    try {
      page(entry, w("дом"));
      ADD_FAILURE() << "no error for " << entry;
    } catch (const index::EIndexError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("the index entry of 'дом' is malformed: its part ", 0),
                0U)
          << e.what();
      EXPECT_NE(std::string(e.what()).find(fault), std::string::npos) << e.what();
    }
    EXPECT_TRUE(m_readBuf.bytes().empty());
  };
  expectMalformed("0:art:x", "part 1, '0:art:x', ends in no plain decimal line number");
  expectMalformed("-1:art:0", "starts with no dictionary number");
  expectMalformed("0:art:", "ends in no plain decimal line number");
  expectMalformed("00:art:1", "leading zero");
  expectMalformed("0:art:1|", "part 2, '', is empty");
  expectMalformed("0:art:1:2", "has a \":\" inside its stream path");
  expectMalformed("0:art:1234567890", "ends in no plain decimal line number");
  m_templates.slTplDefault = {"%%PID"};
  EXPECT_EQ(page("", "h"), "p0\r\n");
  EXPECT_EQ(page("", "h"), "p3\r\n");
}

// A package whose item stream cannot give the article costs the page only its own fragment.
TEST_F(ArticlePage, BrokenPartsBecomeNotesBetweenTheOtherFragments) {
  testing::writePackage(m_folder.path() / "broken.brd",
                        testing::dictStreams("Title=Битый <b>словарь</b>", {"w"}, {"art:0"}));
  {
    // Bytes that are no zlib stream where the article stream should be.
    storage::CompoundFile file = storage::CompoundFile::open(m_folder.path() / "broken.brd");
    storage::WriteStream(file, "art", "not deflated at all", false);
  }
  dicts::AddDict(m_dicts, m_folder.path() / "broken.brd", m_readBuf);  // slot 4
  m_templates.slTplDefault = {"%%CONTENT"};
  m_templates.slTplMemo = {"<m>%%WORD</m>"};
  const std::string broken =
      w("<P><I>Словарь «Битый &lt;b&gt;словарь&lt;/b&gt;»: статья не показана — файл broken.brd "
        "повреждён.</I></P>");
  const std::string memo = "<m>Row<BR>ROW</m>\r\n";
  std::vector<BrokenPart> parts;
  EXPECT_EQ(buildArticlePage("0:art:3|4:art:0|0:art:3", "h", m_dicts, m_templates, 453, m_advert,
                             m_readBuf, nullptr, {}, &parts),
            memo + broken + memo + "\r\n");
  EXPECT_TRUE(m_readBuf.bytes().empty());
  ASSERT_EQ(parts.size(), 1U);
  EXPECT_EQ(parts[0].dict, 4U);
  EXPECT_THROW(std::rethrow_exception(parts[0].error), storage::EDecompressionError);

  // Through the cache the page is the same, and nothing of the broken stream is kept.
  ItemStreamCache cache;
  parts.clear();
  EXPECT_EQ(buildArticlePage("0:art:3|4:art:0|0:art:3", "h", m_dicts, m_templates, 453, m_advert,
                             m_readBuf, &cache, {}, &parts),
            memo + broken + memo + "\r\n");
  EXPECT_EQ(parts.size(), 1U);
  EXPECT_EQ(cache.streamCount(), 1U);

  // A stream the package lacks and a line past the end of its stream are the package's faults
  // too; the note says which. Without a Title the note names the file.
  m_dicts[4].Title.clear();
  EXPECT_EQ(page("0:nothing:0|4:art:0|0:art:9", "h"),
            w("<P><I>Словарь «Толковый словарь»: статья не показана — в файле memo.brd нет "
              "раздела «nothing».</I></P><P><I>Словарь «broken.brd»: статья не показана — файл "
              "broken.brd повреждён.</I></P><P><I>Словарь «Толковый словарь»: статья не "
              "показана — в файле memo.brd нет этой статьи.</I></P>\r\n"));
}

}  // namespace
}  // namespace verbalon::article
