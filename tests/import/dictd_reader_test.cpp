#include "import/dictd_reader.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include "import/import_error.h"
#include "support/gzip.h"

namespace verbalon::import {
namespace {

namespace fs = std::filesystem;

// dictd's base64 for index lines the tests build.
std::string b64(uint64_t value) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 63]);
    value >>= 6;
  } while (value != 0);
  return out;
}

// Builds an article file and the index lines that select its articles.
class Database {
 public:
  Database& article(const std::string& headword, const std::string& text) {
    return line(headword, m_articles.size(), text.size()).append(text);
  }
  Database& line(const std::string& headword, uint64_t offset, uint64_t length) {
    m_index += headword + "\t" + b64(offset) + "\t" + b64(length) + "\n";
    return *this;
  }
  Database& append(const std::string& bytes) {
    m_articles += bytes;
    return *this;
  }
  size_t end() const { return m_articles.size(); }
  const std::string& index() const { return m_index; }
  const std::string& articles() const { return m_articles; }
  DictionarySource parse() const { return parseDictd(m_index, m_articles, "test.index"); }

 private:
  std::string m_index;
  std::string m_articles;
};

std::string errorOf(std::string_view index, std::string_view articles) {
  try {
    parseDictd(index, articles, "test.index");
  } catch (const EImportError& e) {
    return e.what();
  }
  return "(no error)";
}

std::vector<std::string> allHeadwords(const DictionarySource& source) {
  std::vector<std::string> out;
  for (const SourceEntry& entry : source.entries)
    out.insert(out.end(), entry.headwords.begin(), entry.headwords.end());
  return out;
}

TEST(DictdReader, ReadsArticlesAsEscapedTextKeepingTheHeadingLine) {
  const DictionarySource source =
      Database()
          .article("cat", "cat\n   n. a small <feline> & pet\n\tsecond sense\n\n\n")
          .article("dog", "dog\n  n. \"man's best friend\"")
          .parse();
  ASSERT_EQ(source.entries.size(), 2u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"cat"});
  EXPECT_EQ(source.entries[0].article,
            "cat\n\u00A0\u00A0\u00A0n. a small &lt;feline&gt; &amp; pet\n"
            "\u00A0\u00A0\u00A0\u00A0second sense");
  EXPECT_EQ(source.entries[1].article, "dog\n\u00A0\u00A0n. &quot;man's best friend&quot;");
  EXPECT_TRUE(source.title.empty());
  EXPECT_TRUE(source.description.empty());
}

TEST(DictdReader, DecodesBase64MostSignificantDigitFirst) {
  // "Ba" = 1 * 64 + 26 = 90, "+" = 62, "/" = 63, "BAA" = 4096, "AAB" = 1 (leading zeros).
  std::string articles(5000, '.');
  articles.replace(90, 3, "one");
  articles.replace(62, 3, "two");
  articles.replace(4096, 63, std::string(63, 'z'));
  articles.replace(1, 1, "x");
  const DictionarySource source =
      parseDictd("one\tBa\tD\ntwo\t+\tD\nthree\tBAA\t/\nfour\tAAB\tAB\n", articles, "test.index");
  ASSERT_EQ(source.entries.size(), 4u);
  EXPECT_EQ(source.entries[0].article, "one");
  EXPECT_EQ(source.entries[1].article, "two");
  EXPECT_EQ(source.entries[2].article, std::string(63, 'z'));
  EXPECT_EQ(source.entries[3].article, "x");
}

TEST(DictdReader, RejectsNumbersThatAreNotBase64OrOverflow) {
  const std::string articles(100, 'a');
  const std::string good = "fine\tA\tB\n";
  EXPECT_EQ(errorOf(good + "bad\tA=\tB\n", articles),
            "test.index, line 2: the offset is not base64");
  EXPECT_EQ(errorOf(good + "bad\tA\t-B\n", articles),
            "test.index, line 2: the length is not base64");
  EXPECT_EQ(errorOf(good + "bad\tA B\tB\n", articles),
            "test.index, line 2: the offset is not base64");
  EXPECT_EQ(errorOf("bad\t\tB\n", articles), "test.index, line 1: the offset is empty");
  EXPECT_EQ(errorOf("bad\tA\t\n", articles), "test.index, line 1: the length is empty");
  // "P" followed by ten "/" is 2^64 - 1, the largest value that fits; one more digit does not.
  EXPECT_EQ(errorOf("big\tA\tQAAAAAAAAAA\n", articles),
            "test.index, line 1: the length is too large");
  EXPECT_EQ(errorOf("big\tAAAAAAAAAAAAAAAAAAAAAAAAB\tB\n", articles).find("too large"),
            std::string::npos);
  EXPECT_NE(errorOf("big\tP//////////\tA\n", articles).find("lies past the end"),
            std::string::npos);
}

TEST(DictdReader, RejectsArticlesOutsideTheArticleFile) {
  const std::string articles = "0123456789";
  EXPECT_EQ(errorOf("ok\tA\tK\nlate\tF\tG\n", articles),
            "test.index, line 2: the article at offset 5, length 6 lies past the end of the "
            "article file (10 bytes)");
  EXPECT_NE(errorOf("far\tL\tA\n", articles).find("line 1: the article at offset 11"),
            std::string::npos);
  // offset + length would wrap around 2^64.
  EXPECT_NE(errorOf("wrap\tK\tP//////////\n", articles).find("lies past the end"),
            std::string::npos);
  // Lines that lead to no article are checked all the same.
  EXPECT_NE(errorOf("00-database-url\tZ\tB\n", articles).find("line 1"), std::string::npos);
  EXPECT_NE(errorOf(" \tZ\tB\n", articles).find("line 1"), std::string::npos);
  // An empty article right at the end is inside.
  EXPECT_EQ(parseDictd("empty\tK\tA\n", articles, "test.index").entries.size(), 1u);
}

TEST(DictdReader, RejectsLinesWithoutTheirTabFields) {
  const std::string articles = "word text";
  EXPECT_EQ(errorOf("word\tA\tJ\nword A J\n", articles),
            "test.index, line 2: no TAB before the offset");
  EXPECT_EQ(errorOf("word\tA\n", articles), "test.index, line 1: no TAB before the length");
}

TEST(DictdReader, ReadsCrLfLinesBlankLinesAndAFourthField) {
  const std::string articles = "alpha\nfirst\r\nbeta\r\nsecond\r\n";
  const DictionarySource source =
      parseDictd("alpha\tA\tN\r\n\r\n\nbeta\tN\tO\tBeta original\r\n  \tA\tB\r\n  gamma  \tA\tB",
                 articles, "test.index");
  ASSERT_EQ(source.entries.size(), 3u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"alpha"});
  EXPECT_EQ(source.entries[0].article, "alpha\nfirst");
  EXPECT_EQ(source.entries[1].headwords, std::vector<std::string>{"beta"});
  EXPECT_EQ(source.entries[1].article, "beta\nsecond");
  // Headwords are trimmed; one made only of blanks leads nowhere.
  EXPECT_EQ(source.entries[2].headwords, std::vector<std::string>{"gamma"});
  EXPECT_EQ(source.entries[2].article, "a");
}

TEST(DictdReader, MetaEntriesGiveTitleAndDescriptionAndNoHeadwords) {
  const DictionarySource source =
      Database()
          .article("00-database-short", "00-database-short\n     Mueller English-Russian\n\n")
          .article("00-database-info",
                   "00-database-info\n\n   Converted on a Tuesday.\r\n\r\nLicence: GPL\n\n")
          .article("00-database-url", "00-database-url\nhttp://example.org\n")
          .article("00-gcide-long", "00-gcide-long\nA long name\n")
          .article("00 gauge", "00 gauge\n  a model railway scale\n")
          .article("002", "002\n  two\n")
          .parse();
  EXPECT_EQ(source.title, "Mueller English-Russian");
  EXPECT_EQ(source.description, "   Converted on a Tuesday.\n\nLicence: GPL");
  EXPECT_EQ(allHeadwords(source), (std::vector<std::string>{"00 gauge", "002"}));
}

TEST(DictdReader, ReadsTheOlderMetaSpellingsWithOrWithoutTheNameLine) {
  const DictionarySource source =
      Database()
          .article("00databasedictfmt1130", "00-database-dictfmt-1.13.0\n")
          .article("00databaseinfo", "English-Russian FreeDict\n\nEdition: 0.3.1\n")
          .article("00databaseshort", "English-Russian FreeDict ver. 0.3.1\nsecond line\n")
          .article("00databaseurl", "http://freedict.org/\n")
          .article("word", "word\n  \xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE\n")
          .article("00databaseutf8", "\n")
          .parse();
  EXPECT_EQ(source.title, "English-Russian FreeDict ver. 0.3.1");
  EXPECT_EQ(source.description, "English-Russian FreeDict\n\nEdition: 0.3.1");
  EXPECT_EQ(allHeadwords(source), std::vector<std::string>{"word"});
  // The utf8 record counts though it comes last.
  EXPECT_EQ(source.entries[0].article,
            "word\n\u00A0\u00A0\xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE");
}

TEST(DictdReader, TextsAreLatin1UnlessTheDatabaseDeclaresUtf8) {
  const Database latin1 = Database()
                              .article("00-database-short", "00-database-short\nCaf\xE9s\n")
                              .article("caf\xE9", "caf\xE9\n  \xE0 la carte\n");
  DictionarySource source = latin1.parse();
  EXPECT_EQ(source.title, "Caf\xC3\xA9s");
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"caf\xC3\xA9"});
  EXPECT_EQ(source.entries[0].article, "caf\xC3\xA9\n\u00A0\u00A0\xC3\xA0 la carte");

  // Declared UTF-8 is still repaired where it is not.
  source = Database()
               .article("00-database-utf8", "\n")
               .article("caf\xC3\xA9", "caf\xC3\xA9\n")
               .article("bad\xE9", "bad\xE9\n  \xF0\x9F\x98\x80\n")
               .parse();
  ASSERT_EQ(source.entries.size(), 2u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"caf\xC3\xA9"});
  EXPECT_EQ(source.entries[1].headwords, std::vector<std::string>{"bad\xEF\xBF\xBD"});
  EXPECT_EQ(source.entries[1].article, "bad\xEF\xBF\xBD\n\u00A0\u00A0\xF0\x9F\x98\x80");
}

TEST(DictdReader, LinesSelectingTheSameBytesShareOneEntry) {
  Database db;
  db.article("abandon", "Abandon \\A*ban\"don\\, v. t.\n");
  const size_t first = db.end();
  db.line("abandoned", 0, first).article("abase", "Abase \\A*base\"\\\n");
  db.line("abandonment", 0, first).line("Abandoned", 0, first).line("abandoned", 0, first);
  const DictionarySource source = db.parse();
  ASSERT_EQ(source.entries.size(), 2u);
  // First-seen order; a name listed twice for the same article counts once.
  EXPECT_EQ(source.entries[0].headwords,
            (std::vector<std::string>{"abandon", "abandoned", "abandonment", "Abandoned"}));
  EXPECT_EQ(source.entries[0].article, "Abandon \\A*ban&quot;don\\, v. t.");
  EXPECT_EQ(source.entries[1].headwords, std::vector<std::string>{"abase"});
}

TEST(DictdReader, TakesTheHeadingsSpellingOfAHeadwordItMatches) {
  const DictionarySource source =
      Database()
          .article("00-database-utf8", "\n")
          .article("go ahead well catch up with you",
                   "Go ahead. We\xE2\x80\x99ll catch up with you.  \n\n   Geht schon vor.\n")
          .article("\xC3\x84RGER", "  \xC3\xA4rger!\n  annoyance\n")
          .article("grief", "\xC3\x84rger\n  grief\n")
          .article("?", "!\n  punctuation only\n")
          .parse();
  ASSERT_EQ(source.entries.size(), 4u);
  EXPECT_EQ(source.entries[0].headwords,
            std::vector<std::string>{"Go ahead. We\xE2\x80\x99ll catch up with you."});
  EXPECT_EQ(source.entries[1].headwords, std::vector<std::string>{"\xC3\xA4rger!"});
  EXPECT_EQ(source.entries[2].headwords, std::vector<std::string>{"grief"});
  EXPECT_EQ(source.entries[3].headwords, std::vector<std::string>{"?"});
  // The article itself keeps its heading.
  EXPECT_EQ(source.entries[0].article.substr(0, 9), "Go ahead.");
}

TEST(DictdReader, OnlyTheMatchingNameOfASharedArticleTakesTheHeading) {
  Database db;
  db.article("colour", "Colour\n  also color\n");
  db.line("color", 0, db.end()).line("COLOUR", 0, db.end());
  const DictionarySource source = db.parse();
  ASSERT_EQ(source.entries.size(), 1u);
  // Both spellings that match become the heading's, which then stands once.
  EXPECT_EQ(source.entries[0].headwords, (std::vector<std::string>{"Colour", "color"}));
}

TEST(DictdReader, RejectsAnIndexThatSelectsTheArticlesManyTimesOver) {
  // Distinct overlapping ranges would each become an article of their own: a small index could
  // make gigabytes of text out of a megabyte.
  Database db;
  db.append(std::string(1000, 'x'));
  for (uint64_t i = 0; i < 100; ++i)
    db.line("w" + std::to_string(i), i, 1000 - i);
  EXPECT_NE(errorOf(db.index(), db.articles()).find("more than 4 times over"), std::string::npos);
}

TEST(DictdReader, ManyNamesOfOneLongArticleStayLinear) {
  // Every name is compared with the heading; the heading's key must not be rebuilt per name.
  Database db;
  db.article("first", "a" + std::string(200000, '.') + "b\nbody\n");
  for (int i = 0; i < 50000; ++i)
    db.line("a" + std::to_string(i), 0, db.end());
  const DictionarySource source = db.parse();
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords.size(), 50001u);
}

class DictdReaderFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("dictd_reader_test_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  fs::path write(const std::string& name, const std::string& bytes) {
    std::ofstream(m_dir / name, std::ios::binary) << bytes;
    return m_dir / name;
  }

  // Each part becomes a gzip member of its own, as dictzip and gzip -c a b write them.
  fs::path writeGzip(const std::string& name, const std::vector<std::string>& members) {
    std::string bytes;
    for (const std::string& member : members)
      bytes += verbalon::testing::gzip(member);
    return write(name, bytes);
  }

  fs::path m_dir;
};

TEST_F(DictdReaderFiles, ReadsAMultiMemberDictzipArticleFile) {
  Database db;
  db.article("00-database-short", "00-database-short\n  Tiny\n")
      .article("one", "one\n  1\n")
      .article("two", "two\n  2\n");
  write("tiny.index", db.index());
  // The second member begins inside the article of "one".
  writeGzip("tiny.dict.dz", {db.articles().substr(0, 30), db.articles().substr(30)});
  const DictionarySource source = readDictd(m_dir / "tiny.index");
  EXPECT_EQ(source.title, "Tiny");
  EXPECT_EQ(allHeadwords(source), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(source.entries[0].article, "one\n\u00A0\u00A01");
  EXPECT_EQ(source.entries[1].article, "two\n\u00A0\u00A02");
}

TEST_F(DictdReaderFiles, ReadsAPlainArticleFileAndNamesItInErrors) {
  write("plain.index", "word\tA\tE\nlate\tA\tZ\n");
  write("plain.dict", "word\n");
  try {
    readDictd(m_dir / "plain.index");
    FAIL() << "no error";
  } catch (const EImportError& e) {
    EXPECT_EQ(std::string(e.what()),
              "plain.index, line 2: the article at offset 0, length 25 lies past the end of "
              "plain.dict (5 bytes)");
  }
  write("plain.index", "word\tA\tE\n");
  EXPECT_EQ(allHeadwords(readDictd(m_dir / "plain.index")), std::vector<std::string>{"word"});
}

TEST_F(DictdReaderFiles, MissingArticleFileNamesWhatWasLookedFor) {
  write("lonely.index", "word\tA\tE\n");
  try {
    readDictd(m_dir / "lonely.index");
    FAIL() << "no error";
  } catch (const EImportError& e) {
    EXPECT_EQ(std::string(e.what()),
              "lonely.index: neither lonely.dict nor lonely.dict.dz is beside it");
  }
}

TEST_F(DictdReaderFiles, DamagedDictzipIsAnImportError) {
  write("broken.index", "word\tA\tE\n");
  write("broken.dict.dz", std::string("\x1F\x8B\x08\x00garbage", 11));
  EXPECT_THROW(readDictd(m_dir / "broken.index"), EImportError);
}

}  // namespace
}  // namespace verbalon::import
