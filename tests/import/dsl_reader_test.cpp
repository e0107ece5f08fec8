#include "import/dsl_reader.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "import/import_error.h"
#include "import/source_text.h"
#include "support/gzip.h"

namespace verbalon::import {
namespace {

using verbalon::testing::gzip;

namespace fs = std::filesystem;

DictionarySource parse(std::string_view text, std::string_view abbreviations = {}) {
  return parseDsl(text, abbreviations, "en-ru.dsl");
}

// The article of the only card of a source with one headword.
std::string article(std::string_view body, std::string_view abbreviations = {}) {
  const DictionarySource source = parse("word\n" + std::string(body), abbreviations);
  EXPECT_EQ(source.entries.size(), 1u);
  return source.entries.empty() ? std::string() : source.entries[0].article;
}

std::string errorOf(std::string_view text) {
  try {
    parse(text);
  } catch (const EImportError& error) {
    return error.what();
  }
  return "no error";
}

// True when every tag the fragment opens is closed, in the right order.
bool isWellNested(std::string_view html) {
  std::vector<std::string> open;
  for (size_t pos = html.find('<'); pos != std::string_view::npos; pos = html.find('<', pos)) {
    const size_t end = html.find('>', pos);
    if (end == std::string_view::npos) return false;
    std::string_view tag = html.substr(pos + 1, end - pos - 1);
    pos = end;
    const bool closing = tag.starts_with('/');
    if (closing) tag.remove_prefix(1);
    const std::string name(tag.substr(0, tag.find(' ')));
    if (!closing) {
      open.push_back(name);
    } else if (open.empty() || open.back() != name) {
      return false;
    } else {
      open.pop_back();
    }
  }
  return open.empty();
}

std::string utf16(std::u16string_view text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

class DslFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::path(::testing::TempDir()) /
            ("dsl_reader_test_" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  fs::path write(const std::string& name, std::string_view bytes) {
    const fs::path path = m_dir / name;
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  fs::path m_dir;
};

// "словарь" ("dictionary") in Windows-1251 and in UTF-8.
constexpr std::string_view kCp1251Word = "\xF1\xEB\xEE\xE2\xE0\xF0\xFC";
constexpr std::string_view kUtf8Word = "словарь";

TEST_F(DslFiles, ReadsUtf16LittleEndianWithBom) {
  const DictionarySource source =
      readDsl(write("en-ru.dsl", utf16(u"#NAME \"Тест\"\r\nword\r\n\tслово\r\n", false)));
  EXPECT_EQ(source.title, "Тест");
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"word"});
  EXPECT_EQ(source.entries[0].article, "слово");
}

TEST_F(DslFiles, ReadsUtf16BigEndianWithBom) {
  const DictionarySource source =
      readDsl(write("en-ru.dsl", utf16(u"слово\n word \U0001F600\n", true)));
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"слово"});
  EXPECT_EQ(source.entries[0].article, "word \U0001F600");
}

TEST_F(DslFiles, ReadsUtf8WithAndWithoutBom) {
  for (std::string_view bom : {"", "\xEF\xBB\xBF"}) {
    const DictionarySource source = readDsl(write(
        "en-ru.dsl", std::string(bom) + "#NAME \"Mini\"\nword\n " + std::string(kUtf8Word) + "\n"));
    EXPECT_EQ(source.title, "Mini");
    ASSERT_EQ(source.entries.size(), 1u);
    EXPECT_EQ(source.entries[0].article, kUtf8Word);
  }
}

TEST_F(DslFiles, ReadsWindows1251ByHeaderAndByDetection) {
  for (std::string_view header :
       {"#CODEPAGE \"Cyrillic\"\n", "#SOURCE_CODE_PAGE \"Cyrillic\"\n", ""}) {
    const DictionarySource source = readDsl(
        write("ru-en.dsl", std::string(header) + std::string(kCp1251Word) + "\n dictionary\n"));
    ASSERT_EQ(source.entries.size(), 1u);
    EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{std::string(kUtf8Word)});
  }
}

TEST_F(DslFiles, ReadsLatinCodePageAsLatin1) {
  const DictionarySource source = readDsl(write("de-en.dsl",
                                                "#SOURCE_CODE_PAGE \"Latin\"\nStra\xDF"
                                                "e\n street\n"));
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"Straße"});
}

TEST_F(DslFiles, DetectsUtf16WithoutBomByItsNulBytes) {
  for (bool bigEndian : {false, true}) {
    const std::string bytes = utf16(u"#NAME \"X\"\nслово\n word\n", bigEndian).substr(2);
    const DictionarySource source = readDsl(write("en-ru.dsl", bytes));
    ASSERT_EQ(source.entries.size(), 1u);
    EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"слово"});
  }
}

TEST_F(DslFiles, ReadsDictzipSourceWithItsAbbreviationsAndAnnotation) {
  const fs::path dsl =
      write("en-ru.dsl.dz", gzip("#NAME \"Big\"\n#INDEX_LANGUAGE \"English\"\n"
                                 "#CONTENTS_LANGUAGE \"Russian\"\nhouse\n [p]n[/p] дом\n"));
  write("en-ru_abrv.dsl", "n\n noun\n");
  write("en-ru.ann",
        "\xEF\xBB\xBF"
        "A small dictionary.\r\nSecond line.\r\n");
  const DictionarySource source = readDsl(dsl);
  EXPECT_EQ(source.title, "Big");
  EXPECT_EQ(source.description, "English → Russian\nA small dictionary.\nSecond line.");
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].article, "<i class=\"p\" title=\"noun\">n</i> дом");
}

TEST_F(DslFiles, NamesTheFileInErrors) {
  EXPECT_THROW(
      {
        try {
          readDsl(write("empty.dsl", "#NAME \"Nothing\"\n"));
        } catch (const EImportError& error) {
          EXPECT_STREQ(error.what(), "empty.dsl: no card with a headword and a body");
          throw;
        }
      },
      EImportError);
}

TEST(DslReader, TakesLanguagesIntoDescription) {
  EXPECT_EQ(parse("#INDEX_LANGUAGE \"English\"\n#CONTENTS_LANGUAGE \"Russian\"\n"
                  "#ICON_FILE \"x.bmp\"\na\n b\n")
                .description,
            "English → Russian");
  EXPECT_EQ(parse("#INDEX_LANGUAGE \"German\"\na\n b\n").description, "German");
  EXPECT_EQ(parse("#NAMES \"x\"\na\n b\n").title, "");
}

TEST(DslReader, SharesOneArticleAmongHeadwordLines) {
  const DictionarySource source = parse("colour\ncolor\n цвет\n\nred\n красный\n");
  ASSERT_EQ(source.entries.size(), 2u);
  EXPECT_EQ(source.entries[0].headwords, (std::vector<std::string>{"colour", "color"}));
  EXPECT_EQ(source.entries[0].article, "цвет");
  EXPECT_EQ(source.entries[1].headwords, std::vector<std::string>{"red"});
}

TEST(DslReader, SeparatesCardsAndSkipsIncompleteOnes) {
  const DictionarySource source = parse(
      " orphan body\nlonely headword\n\none\n first\n second\n\n not a card\n"
      "two\n\n skipped too\nthree\n third\r\nfour\r\n\tfourth\r\n");
  ASSERT_EQ(source.entries.size(), 3u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"one"});
  EXPECT_EQ(source.entries[0].article, "first\nsecond");
  EXPECT_EQ(source.entries[1].headwords, std::vector<std::string>{"three"});
  EXPECT_EQ(source.entries[2].headwords, std::vector<std::string>{"four"});
  EXPECT_EQ(source.entries[2].article, "fourth");
}

TEST(DslReader, DropsCardsLeftWithoutHeadwordOrArticle) {
  const DictionarySource source = parse("{shown}\n body\n\nmedia\n [s]a.wav[/s]\n\nok\n fine\n");
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"ok"});
  EXPECT_EQ(source.mediaLeftOut, 1u);
}

TEST(DslReader, LeavesShownOnlyPartsOutOfHeadwords) {
  const DictionarySource source = parse("{[i]to[/i]} go  {away}\n ~ идти\n");
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"go"});
  EXPECT_EQ(source.entries[0].article, "to go away идти");
}

TEST(DslReader, ExpandsOptionalPartsIntoHeadwords) {
  EXPECT_EQ(parse("colo(u)r\n x\n").entries[0].headwords,
            (std::vector<std::string>{"colour", "color"}));
  EXPECT_EQ(parse("(to) make (up)\n x\n").entries[0].headwords,
            (std::vector<std::string>{"to make up", "make up", "to make", "make"}));
  // Many optional parts give a bounded number of forms, longest and shortest among them.
  const auto many = parse("a(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)\n x\n").entries[0].headwords;
  EXPECT_LE(many.size(), 8u);
  EXPECT_EQ(many.front(), "abcdefghijk");
  EXPECT_NE(std::find(many.begin(), many.end(), "a"), many.end());
  // A bracket never closed was meant literally.
  EXPECT_EQ(parse("smile (:\n x\n").entries[0].headwords, std::vector<std::string>{"smile (:"});
}

TEST(DslReader, ResolvesEscapesAndBlanksInHeadwords) {
  const DictionarySource source = parse("\\{a\\} \\(b\\)\t\t\\\\ \\@\\~ \n ~\n");
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"{a} (b) \\ @~"});
  EXPECT_EQ(source.entries[0].article, "{a} (b) \\ @~");
}

TEST(DslReader, ConvertsStyleTags) {
  EXPECT_EQ(article(" [b]b[/b] [i]i[/i] [u]u[/u] x[sup]2[/sup] H[sub]2[/sub]O"),
            "<b>b</b> <i>i</i> <u>u</u> x<sup>2</sup> H<sub>2</sub>O");
}

TEST(DslReader, ConvertsColoursAndRefusesUnsafeOnes) {
  EXPECT_EQ(article(" [c]g[/c] [c red]r[/c] [c #00FF00]h[/c]"),
            "<font color=\"green\">g</font> <font color=\"red\">r</font> "
            "<font color=\"#00FF00\">h</font>");
  EXPECT_EQ(article(" [c red\" onclick=\"x]t[/c]"), "<font color=\"green\">t</font>");
}

TEST(DslReader, IndentedLinesBecomeDivsWithoutLineBreak) {
  EXPECT_EQ(article(" [m1]one[/m]\n [m]two[/m]\n [m3][b]three[/b][/m]\n plain\n last"),
            "<div style=\"margin-left:1em\">one</div><div style=\"margin-left:1em\">two</div>"
            "<div style=\"margin-left:3em\"><b>three</b></div>plain\nlast");
}

TEST(DslReader, ExpandsAbbreviationsFromTheirFile) {
  const std::string abbreviations =
      "#NAME \"Abbreviations\"\nсущ.\n существительное\ntm\n [i]trade\"mark[/i] & co\n";
  EXPECT_EQ(article(" [p]сущ.[/p] [p] tm [/p] [p]unknown[/p]", abbreviations),
            "<i class=\"p\" title=\"существительное\">сущ.</i> "
            "<i class=\"p\" title=\"trade&quot;mark &amp; co\"> tm </i> "
            "<i class=\"p\">unknown</i>");
  EXPECT_EQ(article(" [p]n[/p]"), "<i class=\"p\">n</i>");
}

TEST(DslReader, GivesSemanticTagsTheirClasses) {
  EXPECT_EQ(article(" [trn]a[/trn][!trs]b[/!trs][ex]c[/ex][com]d[/com][*]e[/*]"
                    "[lang id=1033]f[/lang]"),
            "<span class=\"trn\">a</span><span class=\"trs\">b</span><span class=\"ex\">c</span>"
            "<span class=\"com\">d</span><span class=\"opt\">e</span>"
            "<span class=\"lang\">f</span>");
}

TEST(DslReader, TurnsReferencesIntoLookups) {
  EXPECT_EQ(article(" see [ref]big  cat[/ref], <<dog>> and [ref][b]x&y[/b][/ref]"),
            "see " + lookupLink("big cat", "big cat") + ", " + lookupLink("dog", "dog") + " and " +
                lookupLink("x&y", "x&amp;y"));
  // "<<" with no ">>" after it is text.
  EXPECT_EQ(article(" a << b"), "a &lt;&lt; b");
}

TEST(DslReader, LinksOnlyWebAndMailUrls) {
  EXPECT_EQ(article(" [url]https://example.org/?a=1&b=2[/url]"),
            "<a href=\"https://example.org/?a=1&amp;b=2\">https://example.org/?a=1&amp;b=2</a>");
  EXPECT_EQ(article(" [url]mailto:me@example.org[/url]"),
            "<a href=\"mailto:me@example.org\">mailto:me@example.org</a>");
  EXPECT_EQ(article(" [url]javascript:alert(1)[/url]"), "javascript:alert(1)");
}

TEST(DslReader, CountsMediaAndLeavesItOut) {
  const DictionarySource source =
      parse("a\n x [s]a.wav[/s] y [s]pic.jpg[/s]\nb\n [video]clip.avi[/video]z\n");
  ASSERT_EQ(source.entries.size(), 2u);
  EXPECT_EQ(source.entries[0].article, "x  y ");
  EXPECT_EQ(source.entries[1].article, "z");
  EXPECT_EQ(source.mediaLeftOut, 3u);
}

TEST(DslReader, DropsCommentsWithinALine) {
  EXPECT_EQ(article(" a{{note}}b {{[b]}}c\n {{unclosed d"), "ab c\n{{unclosed d");
}

TEST(DslReader, MarksStressWithCombiningAccent) {
  EXPECT_EQ(article(" сл[']о[/']во [/']x"), "сло&#769;во x");
}

TEST(DslReader, ReplacesTildeWithFirstHeadword) {
  const DictionarySource source = parse("run (out)\nrunning\n ~ of time, \\~ [ref]~[/ref]\n");
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].article, "run out of time, ~ " + lookupLink("run out", "run out"));
}

TEST(DslReader, DropsUnknownTagsAndKeepsTheirText) {
  EXPECT_EQ(article(" [t]ˈwɜːd[/t] [foo bar]x[/foo][/m]"), "ˈwɜːd x");
}

TEST(DslReader, EscapesTextForHtml) {
  EXPECT_EQ(article(" a < b & \"c\" > d \\[b\\] \\<\\> \\\\ \\@ [unclosed"),
            "a &lt; b &amp; &quot;c&quot; &gt; d [b] &lt;&gt; \\ @ [unclosed");
}

TEST(DslReader, ReopensTagsLeftOpenOnTheNextLine) {
  const std::string html = article(" [b]one [i]two\n three[/b] four[/i]\n [m2]five");
  EXPECT_EQ(html,
            "<b>one <i>two</i></b>\n<b><i>three</i></b><i> four</i>\n"
            "<div style=\"margin-left:2em\">five</div>");
  EXPECT_TRUE(isWellNested(html));
  // Nothing is carried into the next card.
  EXPECT_EQ(parse("a\n [b]x\nb\n y\n").entries[1].article, "y");
}

TEST(DslReader, NestsOverlappingTagsAndDropsStrayClosings) {
  EXPECT_EQ(article(" [b][i]x[/b]y[/i][/u][/c]z"), "<b><i>x</i></b><i>y</i>z");
  EXPECT_EQ(article(" [c red][p]ab[/c]cd[/p]"),
            "<font color=\"red\"><i class=\"p\">ab</i></font><i class=\"p\">cd</i>");
}

TEST(DslReader, ShowsSubentriesAsPlainLines) {
  EXPECT_EQ(article(" main\n @ sub word\n  its body\n @\n"), "main\nsub word\nits body");
}

TEST(DslReader, RejectsWhatIsNoDslText) {
  EXPECT_EQ(errorOf(""), "en-ru.dsl: no card with a headword and a body");
  EXPECT_EQ(errorOf(std::string("a\n b\nc\n d\0e\n", 12)),
            "en-ru.dsl, line 4: a NUL character; the file is not DSL text");
  EXPECT_EQ(errorOf("\x1F\x8B\x08\x00"),
            "en-ru.dsl: the file is gzip-compressed; name it .dsl.dz to import it");
  // NULs padding the end are no damage.
  EXPECT_EQ(parse(std::string("a\n b\n\0\0", 7)).entries.size(), 1u);
}

TEST(DslReader, ReportsDamagedAbbreviationsByTheirFile) {
  try {
    parseDsl("a\n b\n", std::string("x\n\0y\n", 5), "en-ru.dsl");
    FAIL() << "no error";
  } catch (const EImportError& error) {
    EXPECT_STREQ(error.what(), "en-ru_abrv.dsl, line 2: a NUL character; the file is not DSL text");
  }
}

TEST(DslReader, KeepsHostileInputWithinAFewTimesItsSize) {
  // A long headword repeated by many tildes, tags opened deep and closed from the bottom,
  // brackets that never close: each must stay linear and its output well nested.
  const std::string headword(4000, 'h');
  const std::string tildes(100000, '~');
  std::string deep;
  for (int i = 0; i < 5000; ++i)
    deep += "[u][b]x";
  for (int i = 0; i < 5000; ++i)
    deep += "[/u]";
  std::string carried = "a\n " + std::string(200, 'x') + "[b][i][u][c][sup][sub][trn][ex]\n";
  for (int i = 0; i < 20000; ++i)
    carried += " y\n";
  const std::vector<std::string> inputs = {
      headword + "\n " + tildes + "\n",
      "a\n " + deep + "\n",
      "a\n " + std::string(200000, '[') + "\n",
      "a\n " + std::string(100000, '{') + std::string(100000, '<') + "\n",
      "a\n [p]" + std::string(100000, 'p') + "[/p]\n",
      carried,
  };
  for (const std::string& input : inputs) {
    const auto start = std::chrono::steady_clock::now();
    const DictionarySource source = parse(input);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_EQ(source.entries.size(), 1u);
    EXPECT_LE(source.entries[0].article.size(), 8 * input.size() + 1024);
    EXPECT_TRUE(isWellNested(source.entries[0].article));
  }
}

}  // namespace
}  // namespace verbalon::import
