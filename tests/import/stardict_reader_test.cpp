#include "import/stardict_reader.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "import/import_error.h"
#include "support/gzip.h"

namespace verbalon::import {
namespace {

using verbalon::testing::gzip;

using namespace std::string_literals;

std::string ifoText(std::string_view extra, std::string_view lineEnd = "\n") {
  std::string text = "StarDict's dict ifo file";
  text += lineEnd;
  text += "version=2.4.2";
  text += lineEnd;
  for (size_t pos = 0; pos < extra.size();) {
    const size_t end = extra.find('\n', pos);
    text += extra.substr(pos, end - pos);
    text += lineEnd;
    if (end == std::string_view::npos) break;
    pos = end + 1;
  }
  return text;
}

std::string bigEndian(uint64_t value, size_t width) {
  std::string out(width, '\0');
  for (size_t i = 0; i < width; ++i)
    out[width - 1 - i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

std::string idxEntry(std::string_view word, uint64_t offset, uint64_t size,
                     size_t offsetWidth = 4) {
  return std::string(word) + '\0' + bigEndian(offset, offsetWidth) + bigEndian(size, 4);
}

std::string synEntry(std::string_view word, uint32_t target) {
  return std::string(word) + '\0' + bigEndian(target, 4);
}

// A dictionary whose articles follow one another in the .dict, one word each.
struct Built {
  std::string idx;
  std::string dict;
};

Built build(const std::vector<std::pair<std::string, std::string>>& words) {
  Built built;
  for (const auto& [word, article] : words) {
    built.idx += idxEntry(word, built.dict.size(), article.size());
    built.dict += article;
  }
  return built;
}

DictionarySource parse(std::string_view ifoExtra, const Built& built, std::string_view syn = {}) {
  return parseStarDict(ifoText(ifoExtra), built.idx, built.dict, syn, "words");
}

std::string errorOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const EImportError& e) {
    return e.what();
  }
  return "(no error)";
}

// The single article of a one-word dictionary of the given type sequence.
std::string articleOf(std::string_view sameTypeSequence, const std::string& data,
                      size_t* media = nullptr) {
  const DictionarySource source =
      parse("sametypesequence=" + std::string(sameTypeSequence), build({{"word", data}}));
  if (media) *media = source.mediaLeftOut;
  return source.entries.empty() ? "(dropped)" : source.entries[0].article;
}

class StarDictReaderFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("stardict_reader_test_" +
             std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::filesystem::path write(const std::string& name, std::string_view bytes) {
    const std::filesystem::path file = m_dir / name;
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
  }

  std::filesystem::path m_dir;
};

TEST(StarDictReader, ReadsIfoWithCrLfLineEnds) {
  const std::string ifo = ifoText(
      "bookname=Test Words\nwordcount=1\nsametypesequence=m\n"
      "description=First line<br>Second &amp; last<BR />end\nauthor=A. Author\n"
      "website=https://example.org",
      "\r\n");
  const Built built = build({{"cat", "a small animal"}});
  const DictionarySource source = parseStarDict(ifo, built.idx, built.dict, {}, "words");
  EXPECT_EQ(source.title, "Test Words");
  EXPECT_EQ(source.description,
            "First line\nSecond & last\nend\nAuthor: A. Author\nWebsite: https://example.org");
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"cat"});
  EXPECT_EQ(source.entries[0].article, "a small animal");
}

TEST(StarDictReader, RejectsBrokenIfo) {
  const Built built = build({{"cat", "x"}});
  EXPECT_EQ(errorOf([&] { parseStarDict("", built.idx, built.dict, {}, "words"); }),
            "words.ifo: the file is empty");
  EXPECT_NE(errorOf([&] {
              parseStarDict("bookname=x\n", built.idx, built.dict, {}, "words");
            }).find("words.ifo: not a StarDict description"),
            std::string::npos);
  EXPECT_EQ(errorOf([&] { parse("sametypesequence=m\nidxoffsetbits=48", built); }),
            "words.ifo, line 4: idxoffsetbits is neither 32 nor 64");
  EXPECT_EQ(errorOf([&] { parse("sametypesequence=m1", built); }),
            "words.ifo, line 3: sametypesequence holds a type that is no letter");
}

TEST(StarDictReader, ReadsSixtyFourBitOffsets) {
  Built built;
  built.dict = "first article|second article";
  built.idx = idxEntry("one", 0, 13, 8) + idxEntry("two", 14, 14, 8);
  const DictionarySource source = parse("idxoffsetbits=64\nsametypesequence=m", built);
  ASSERT_EQ(source.entries.size(), 2u);
  EXPECT_EQ(source.entries[0].article, "first article");
  EXPECT_EQ(source.entries[1].headwords[0], "two");
  EXPECT_EQ(source.entries[1].article, "second article");
}

TEST(StarDictReader, TrustsIdxWhateverTheWordCountSays) {
  const Built built = build({{"a", "1"}, {"b", "2"}, {"c", "3"}});
  EXPECT_EQ(parse("wordcount=1000000000\nsametypesequence=m", built).entries.size(), 3u);
  EXPECT_EQ(parse("wordcount=1\nsametypesequence=m", built).entries.size(), 3u);
  EXPECT_EQ(parse("wordcount=lots\nsametypesequence=m", built).entries.size(), 3u);
}

TEST(StarDictReader, ReadsWideIdxOfDictd2dic) {
  // Each number as four big-endian bytes and four zero bytes.
  const auto wide = [](std::string_view word, uint32_t offset, uint32_t size) {
    return std::string(word) + '\0' + bigEndian(offset, 4) + bigEndian(0, 4) + bigEndian(size, 4) +
           bigEndian(0, 4);
  };
  Built built;
  built.dict = "alpha text|beta text";
  built.idx = wide("alpha", 0, 10) + wide("beta", 11, 9);
  const DictionarySource source = parse("wordcount=2\nsametypesequence=m", built);
  ASSERT_EQ(source.entries.size(), 2u);
  EXPECT_EQ(source.entries[0].headwords[0], "alpha");
  EXPECT_EQ(source.entries[1].article, "beta text");

  // Broken either way, the message is the one of the layout the .ifo claims.
  built.idx.pop_back();
  EXPECT_EQ(
      errorOf([&] { parse("wordcount=2\nsametypesequence=m", built); }).find("words.idx, entry "),
      0u);
}

TEST(StarDictReader, AddsSynonymsAsHeadwordsOfTheirWord) {
  const Built built = build({{"big", "large"}, {"small", "little"}});
  const std::string syn = synEntry("huge", 0) + synEntry("tiny", 1) + synEntry("large", 0) +
                          synEntry("big", 0) + synEntry("", 1);
  const DictionarySource source = parse("sametypesequence=m", built, syn);
  ASSERT_EQ(source.entries.size(), 2u);
  EXPECT_EQ(source.entries[0].headwords, (std::vector<std::string>{"big", "huge", "large"}));
  EXPECT_EQ(source.entries[1].headwords, (std::vector<std::string>{"small", "tiny"}));
}

TEST(StarDictReader, RejectsBrokenSynonyms) {
  const Built built = build({{"big", "large"}, {"small", "little"}});
  EXPECT_EQ(
      errorOf([&] { parse("sametypesequence=m", built, synEntry("a", 1) + synEntry("b", 2)); }),
      "words.syn, entry 2: the synonym leads to word 2 (from 0), but words.idx has 2");
  EXPECT_EQ(errorOf([&] { parse("sametypesequence=m", built, synEntry("a", 0) + "b\0\0\0"s); }),
            "words.syn, entry 2: the entry is cut short after its synonym");
  EXPECT_EQ(errorOf([&] { parse("sametypesequence=m", built, "abc"); }),
            "words.syn, entry 1: the synonym has no terminating NUL");
}

TEST(StarDictReader, SharesOneArticleAmongWordsWithTheSameRange) {
  Built built;
  built.dict = "colour of the sky|other";
  built.idx = idxEntry("blue", 0, 17) + idxEntry("azure", 18, 5) + idxEntry("Blue", 0, 17) +
              idxEntry("blue", 0, 17) + idxEntry("sky-blue", 0, 6);
  const DictionarySource source = parse("sametypesequence=m", built);
  ASSERT_EQ(source.entries.size(), 3u);
  EXPECT_EQ(source.entries[0].headwords, (std::vector<std::string>{"blue", "Blue"}));
  EXPECT_EQ(source.entries[0].article, "colour of the sky");
  EXPECT_EQ(source.entries[1].headwords, std::vector<std::string>{"azure"});
  EXPECT_EQ(source.entries[2].article, "colour");
}

TEST(StarDictReader, SplitsFieldsBySameTypeSequence) {
  // Text fields but the last end in NUL, binary ones but the last carry their size.
  EXPECT_EQ(articleOf("tm", "k&t\0meaning <1>"s), "k&amp;t\nmeaning &lt;1&gt;");
  size_t media = 0;
  EXPECT_EQ(articleOf("tWm", "kat\0"s + bigEndian(3, 4) + "\0\1\2"s + "meaning", &media),
            "kat\nmeaning");
  EXPECT_EQ(media, 1u);
  EXPECT_EQ(articleOf("mP", "text\0\x89PNG\0\0"s, &media), "text");
  EXPECT_EQ(media, 1u);
  EXPECT_EQ(articleOf("m", "no NUL needed\0inside"s), "no NUL neededinside");
}

TEST(StarDictReader, ReadsTypedFieldsWithoutSameTypeSequence) {
  const std::string data = "tkat\0"s + "W" + bigEndian(2, 4) + "\0\0"s + "mmeaning\0"s + "Z" +
                           bigEndian(1, 4) + "z" + "qunknown text\0"s + "r img:a.png\0"s;
  size_t media = 0;
  EXPECT_EQ(articleOf("", data, &media), "kat\nmeaning");
  // W, the unknown binary Z, the unknown text q and the resource list r.
  EXPECT_EQ(media, 4u);
}

TEST(StarDictReader, EscapesPlainTextTypes) {
  for (const char* type : {"m", "t", "y", "l"}) {
    EXPECT_EQ(articleOf(type, "a < b & c\r\n  indented\n\n"),
              "a &lt; b &amp; c\n\u00A0\u00A0indented")
        << type;
  }
}

TEST(StarDictReader, KeepsHtmlButNothingThatRuns) {
  EXPECT_EQ(articleOf("h", "<B class=x>bold</b>\nnext<br>line"),
            "<b class=\"x\">bold</b> next<br>line");
  EXPECT_EQ(
      articleOf("h", "a<script>alert(1)</script>b<STYLE>p{}</Style >c<iframe src=x></iframe>d"),
      "abcd");
  size_t media = 0;
  EXPECT_EQ(articleOf("h", "a<object data=x><param></object>b<embed src=y>c", &media), "abc");
  EXPECT_EQ(media, 2u);
  EXPECT_EQ(articleOf("h", "<a href='javascript:x()' onclick=\"go()\" title=t>x</a>"),
            "<a title=\"t\">x</a>");
  EXPECT_EQ(articleOf("h", "<a href=\" java\tscript:x\">x</a><img src=a.png OnError=x>"),
            "<a>x</a><img src=\"a.png\">");
  EXPECT_EQ(articleOf("h", "text<script>never closed"), "text");
  EXPECT_EQ(articleOf("h", "<!-- note -->x<!DOCTYPE html><?xml?>y<!-- open"), "xy");
}

TEST(StarDictReader, ClosesWhatMalformedHtmlLeavesOpen) {
  EXPECT_EQ(articleOf("h", "<b><i>x</b></i></u>y"), "<b><i>x</i></b>y");
  EXPECT_EQ(articleOf("h", "<font color=red>open"), "<font color=\"red\">open</font>");
  EXPECT_EQ(articleOf("h", "a <b x=\"never <i>y</i>"), "a &lt;b x=\"never &lt;i&gt;y&lt;/i&gt;");
  EXPECT_EQ(articleOf("h", "1 < 2 > 0 <3"), "1 &lt; 2 &gt; 0 &lt;3");
}

TEST(StarDictReader, KeepsPangoMarkupWithItsLineBreaks) {
  EXPECT_EQ(articleOf("g", "<span foreground=\"blue\">sky</span>\r\n<b>blue</b>\n"),
            "<span foreground=\"blue\">sky</span>\n<b>blue</b>");
}

TEST(StarDictReader, TurnsXdxfIntoHtml) {
  EXPECT_EQ(articleOf("x", "<k>cat</k> <tr>kæt</tr>\n<abr>n.</abr> <dtrn>кошка</dtrn>"),
            "<b>cat</b> [kæt]\n<i>n.</i> <span class=\"trn\">кошка</span>");
  EXPECT_EQ(
      articleOf("x", "<b>b</b><i>i</i><u>u</u><sub>2</sub><sup>3</sup><blockquote>q</blockquote>"),
      "<b>b</b><i>i</i><u>u</u><sub>2</sub><sup>3</sup><blockquote>q</blockquote>");
  EXPECT_EQ(
      articleOf("x", "<c c=\"red\">r</c><c c=\"#00ff00\">g</c><c c='x\" onclick=y'>z</c><c>d</c>"),
      "<font color=\"red\">r</font><font color=\"#00ff00\">g</font><font>z</font><font>d</font>");
  EXPECT_EQ(articleOf("x", "<ex>a cat sat</ex> <co>rare</co>"),
            "<span class=\"ex\">a cat sat</span> <span class=\"com\">rare</span>");
  EXPECT_EQ(
      articleOf("x", "see <kref>tom &amp; cat</kref>, <kref k=\"dog\">dogs</kref><kref></kref>"),
      "see <a class=\"ref\" href=\"lookup:tom%20%26%20cat\">tom &amp; cat</a>, "
      "<a class=\"ref\" href=\"lookup:dog\">dogs</a>");
  EXPECT_EQ(articleOf("x", "<def><gr>noun</gr> text</def><br/>end <unknown a=b/>"),
            "noun text\nend ");
  size_t media = 0;
  EXPECT_EQ(articleOf("x", "sound <rref>cat.wav</rref> and <rref src=\"p.png\"/>", &media),
            "sound  and ");
  EXPECT_EQ(media, 2u);
  EXPECT_EQ(articleOf("x", "<k>open <tr>end"), "<b>open [end]</b>");
}

TEST(StarDictReader, DropsEmptyArticlesAndWordsWithoutHeadword) {
  Built built;
  built.dict = "text\n\n";
  built.idx = idxEntry("empty", 0, 0) + idxEntry("", 0, 4) + idxEntry(" \t", 0, 4) +
              idxEntry("blank", 4, 2) + idxEntry("line\nbreak", 0, 5);
  const DictionarySource source = parse("sametypesequence=m", built);
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"line break"});
}

TEST(StarDictReader, RepairsInvalidUtf8) {
  const Built built = build({{"caf\xE9", "ol\xC3\xA9 \xFF"}});
  const DictionarySource source = parse("bookname=\xC0title\nsametypesequence=m", built);
  EXPECT_EQ(source.title, "\xEF\xBF\xBDtitle");
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords[0], "caf\xEF\xBF\xBD");
  EXPECT_EQ(source.entries[0].article, "ol\xC3\xA9 \xEF\xBF\xBD");
}

TEST(StarDictReader, RejectsBrokenIdxNamingTheEntry) {
  Built built = build({{"a", "one"}, {"b", "two"}});
  built.idx += idxEntry("c", 3, 3) + idxEntry("d", 6, 1);
  EXPECT_EQ(errorOf([&] { parse("sametypesequence=m", built); }),
            "words.idx, entry 4: the article lies beyond the end of words.dict");
  built = build({{"a", "one"}});
  built.idx += idxEntry("b", 0xFFFFFFFF, 2);
  EXPECT_EQ(errorOf([&] { parse("sametypesequence=m", built); }),
            "words.idx, entry 2: the article lies beyond the end of words.dict");
  built = build({{"a", "one"}});
  built.idx += "b\0\0\0\0\0\0\0"s;
  EXPECT_EQ(errorOf([&] { parse("sametypesequence=m", built); }),
            "words.idx, entry 2: the entry is cut short after its word");
  built.idx += "\0\0c"s;
  EXPECT_EQ(errorOf([&] { parse("sametypesequence=m", built); }),
            "words.idx, entry 3: the word has no terminating NUL");
}

TEST(StarDictReader, RejectsBrokenFieldsNamingTheEntry) {
  EXPECT_EQ(errorOf([] { articleOf("tm", "no terminator"); }),
            "words.dict, entry 1: field 't' has no terminating NUL");
  EXPECT_EQ(errorOf([] { articleOf("Wm", "\0\0"s); }),
            "words.dict, entry 1: the size of field 'W' is cut short");
  EXPECT_EQ(errorOf([] { articleOf("Wm", bigEndian(5, 4) + "abcd"); }),
            "words.dict, entry 1: field 'W' runs past the end of the article");
  EXPECT_EQ(errorOf([] { articleOf("", "mtext"); }),
            "words.dict, entry 1: field 'm' has no terminating NUL");
  EXPECT_EQ(errorOf([] { articleOf("", "P"s + bigEndian(0xFFFFFFFF, 4)); }),
            "words.dict, entry 1: field 'P' runs past the end of the article");
}

TEST(StarDictReader, RefusesArticlesThatReadTheDictManyTimesOver) {
  Built built;
  built.dict = std::string(100, 'x');
  for (uint32_t i = 0; i < 10; ++i)
    built.idx += idxEntry("w" + std::to_string(i), 0, 100 - i);
  EXPECT_EQ(errorOf([&] { parse("sametypesequence=m", built); }),
            "words.idx, entry 5: the articles overlap so much that they would read words.dict "
            "over 4 times");
}

TEST_F(StarDictReaderFiles, ReadsCompressedIdxAndDictBesideTheIfo) {
  const Built built = build({{"cat", "\xD0\xBA\xD0\xBE\xD1\x82"}, {"dog", "pes"}});
  const std::filesystem::path ifo =
      write("animals.ifo", ifoText("bookname=Animals\nsametypesequence=m"));
  write("animals.idx.gz", gzip(built.idx));
  write("animals.dict.dz", gzip(built.dict));
  write("animals.syn", synEntry("kitty", 0));
  const DictionarySource source = readStarDict(ifo);
  EXPECT_EQ(source.title, "Animals");
  ASSERT_EQ(source.entries.size(), 2u);
  EXPECT_EQ(source.entries[0].headwords, (std::vector<std::string>{"cat", "kitty"}));
  EXPECT_EQ(source.entries[0].article, "\xD0\xBA\xD0\xBE\xD1\x82");
  EXPECT_EQ(source.entries[1].article, "pes");
}

TEST_F(StarDictReaderFiles, ReadsPlainFilesAndNamesThemInErrors) {
  const Built built = build({{"cat", "feline"}});
  const std::filesystem::path ifo = write("animals.ifo", ifoText("sametypesequence=m"));
  EXPECT_EQ(errorOf([&] { readStarDict(ifo); }),
            "animals.ifo: neither animals.idx nor animals.idx.gz is beside it");
  write("animals.idx", built.idx + idxEntry("dog", 3, 10));
  EXPECT_EQ(errorOf([&] { readStarDict(ifo); }),
            "animals.ifo: neither animals.dict nor animals.dict.dz is beside it");
  write("animals.dict", built.dict);
  EXPECT_EQ(errorOf([&] { readStarDict(ifo); }),
            "animals.idx, entry 2: the article lies beyond the end of animals.dict");
  write("animals.idx", built.idx);
  const DictionarySource source = readStarDict(ifo);
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].article, "feline");
}

}  // namespace
}  // namespace verbalon::import
