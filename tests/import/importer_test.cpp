#include "import/importer.h"

#include <fstream>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "common/cp1251.h"
#include "common/string_list.h"
#include "import/import_error.h"
#include "import/package_writer.h"
#include "storage/compound_file.h"
#include "storage/storage.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

namespace verbalon::import {
namespace {

namespace fs = std::filesystem;
using verbalon::testing::TempFolder;

std::string cp(std::string_view utf8) {
  return cp1251::fromUtf8(utf8);
}

// A written package read back: its items with the article each one leads to.
struct ReadBack {
  StringList ini;
  std::string info;
  StringList items;
  StringList locations;
  std::map<std::string, std::string> articleOf;  // headword -> article line (Windows-1251)
  std::set<std::string> streams;
};

ReadBack readBack(const fs::path& package) {
  storage::CompoundFile file = storage::CompoundFile::open(package, storage::Access::ReadOnly);
  storage::MemoryStream buffer;
  ReadBack result;
  result.ini = storage::readLines(file, "~dict.ini", buffer);
  result.info = joinLines(storage::readLines(file, "~info.dat", buffer));
  result.items = storage::readLines(file, "~items.dat", buffer);
  result.locations = storage::readLines(file, "~index.dat", buffer);
  EXPECT_EQ(result.items.size(), result.locations.size());
  for (size_t i = 0; i < result.items.size() && i < result.locations.size(); ++i) {
    const std::string& location = result.locations[i];
    const size_t colon = location.rfind(':');
    const std::string stream = location.substr(0, colon);
    result.streams.insert(stream);
    const StringList lines = storage::readLines(file, stream, buffer);
    const size_t line = std::stoul(location.substr(colon + 1));
    EXPECT_LT(line, lines.size()) << location;
    if (line < lines.size()) result.articleOf[result.items[i]] = lines[line];
  }
  return result;
}

ImportReport write(const DictionarySource& source, const fs::path& package,
                   const ImportOptions& options = {}) {
  index::NoProgress progress;
  return writeDictionaryPackage(source, package, options, progress);
}

TEST(Importer, JoinsArticlesOfOneKeyInSourceOrderUnderTheFirstSpelling) {
  TempFolder folder;
  DictionarySource source;
  source.entries = {{{"ёлка"}, "первая"},
                    {{"дом"}, "жильё"},
                    {{"Ел-ка", "елка"}, "вторая"},
                    {{"ЕЛКА"}, "третья"}};
  const ImportReport report = write(source, folder.path() / "d.brd");
  const ReadBack back = readBack(folder.path() / "d.brd");
  EXPECT_EQ(back.items, (StringList{cp("ёлка"), cp("дом")}));
  EXPECT_EQ(back.articleOf.at(cp("ёлка")), cp("первая<hr>вторая<hr>третья"));
  EXPECT_EQ(report.entries, 4u);
  EXPECT_EQ(report.headwords, 2u);
  // "елка" of the third entry adds nothing: that entry is in already.
  EXPECT_EQ(report.merged, 2u);
}

TEST(Importer, StoresAnArticleSharedByHeadwordsOnce) {
  TempFolder folder;
  DictionarySource source;
  source.entries = {{{"colour", "color"}, "a hue"}, {{"red"}, "a colour"}};
  write(source, folder.path() / "d.brd");
  const ReadBack back = readBack(folder.path() / "d.brd");
  ASSERT_EQ(back.locations.size(), 3u);
  EXPECT_EQ(back.locations[0], back.locations[1]);
  EXPECT_NE(back.locations[0], back.locations[2]);
}

TEST(Importer, FoldsHeadwordsTheCodePageCannotHoldAndShowsTheirSpelling) {
  TempFolder folder;
  DictionarySource source;
  source.entries = {
      {{"Straße"}, "street"}, {{"café"}, "coffee"}, {{"日本"}, "Japan"}, {{"дом"}, "house"}};
  const ImportReport report = write(source, folder.path() / "d.brd");
  const ReadBack back = readBack(folder.path() / "d.brd");
  EXPECT_EQ(back.articleOf.at("Strasse"), "<b>Stra&#223;e</b>\xA6street");
  EXPECT_EQ(back.articleOf.at("cafe"),
            "<b>caf&#233;</b>\xA6"
            "coffee");
  EXPECT_EQ(back.articleOf.count(cp("дом")), 1u);
  EXPECT_EQ(report.folded, 3u);  // the Japanese headword folds to its Latin reading
  EXPECT_EQ(report.skipped, 0u);

  ImportOptions skip;
  skip.skipUnencodable = true;
  const ImportReport skipped = write(source, folder.path() / "s.brd", skip);
  EXPECT_EQ(readBack(folder.path() / "s.brd").items, StringList{cp("дом")});
  EXPECT_EQ(skipped.skipped, 3u);
  EXPECT_EQ(skipped.folded, 0u);
}

TEST(Importer, LeavesOutHeadwordsWithoutAKey) {
  TempFolder folder;
  DictionarySource source;
  source.entries = {{{" - ", "  ", "word"}, "text"}, {{"..."}, "dots"}};
  const ImportReport report = write(source, folder.path() / "d.brd");
  EXPECT_EQ(readBack(folder.path() / "d.brd").items, StringList{"word"});
  EXPECT_EQ(report.skipped, 2u);
}

TEST(Importer, StoresArticlesAsOneLineOfTheCodePageWithReferences) {
  TempFolder folder;
  DictionarySource source;
  source.entries = {{{"sing"}, "[sɪŋ]\nto make\r music\twith ¦ the voice — «да»"}};
  write(source, folder.path() / "d.brd");
  EXPECT_EQ(readBack(folder.path() / "d.brd").articleOf.at("sing"),
            cp("[s&#618;&#331;]¦to make music with &#166; the voice — «да»"));
}

TEST(Importer, WritesTitlesDelimiterAndCountsIntoTheDescription) {
  TempFolder folder;
  DictionarySource source;
  source.title = "Mueller English–Russian";
  source.description = "First line\nSecond line\n";
  source.mediaLeftOut = 7;
  source.entries = {{{"a"}, "1"}, {{"A"}, "2"}};
  write(source, folder.path() / "d.brd");
  ReadBack back = readBack(folder.path() / "d.brd");
  EXPECT_EQ(settingValue(back.ini, "Title"), cp("Mueller English–Russian"));
  EXPECT_EQ(settingValue(back.ini, "ShortTitle"), cp("Mueller English–Russian"));
  EXPECT_EQ(settingValue(back.ini, "viewcontrol"), "MEMO");
  EXPECT_EQ(settingValue(back.ini, "RowDelimiter"), kImportRowDelimiter);
  EXPECT_TRUE(back.info.starts_with("First line\r\nSecond line\r\n\r\n")) << back.info;
  EXPECT_NE(back.info.find(cp("Объединено со статьями того же слова: 1")), std::string::npos);
  EXPECT_NE(back.info.find(cp("Опущено звуков и изображений: 7")), std::string::npos);

  ImportOptions titles;
  titles.title = "Мюллер";
  titles.shortTitle = "Мюл.";
  write(source, folder.path() / "t.brd", titles);
  back = readBack(folder.path() / "t.brd");
  EXPECT_EQ(settingValue(back.ini, "Title"), cp("Мюллер"));
  EXPECT_EQ(settingValue(back.ini, "ShortTitle"), cp("Мюл."));
}

TEST(Importer, SplitsArticlesIntoItemStreamsOfBoundedSize) {
  TempFolder folder;
  DictionarySource source;
  for (int i = 0; i < 1500; ++i) {
    source.entries.push_back({{"w" + std::to_string(i)}, std::string(i == 700 ? 100000 : 90, 'x')});
  }
  const ImportReport report = write(source, folder.path() / "d.brd");
  const ReadBack back = readBack(folder.path() / "d.brd");
  ASSERT_EQ(back.articleOf.size(), 1500u);
  EXPECT_EQ(back.articleOf.at("w700").size(), 100000u);
  EXPECT_EQ(back.articleOf.at("w1499"), std::string(90, 'x'));
  EXPECT_EQ(report.itemStreams, back.streams.size());
  // 90-byte articles fill about 700 a stream, but the count caps one at 500; the long one
  // stands alone.
  EXPECT_GE(back.streams.size(), 4u);
  storage::CompoundFile file =
      storage::CompoundFile::open(folder.path() / "d.brd", storage::Access::ReadOnly);
  storage::MemoryStream buffer;
  for (const std::string& stream : back.streams) {
    const StringList lines = storage::readLines(file, stream, buffer);
    EXPECT_LE(lines.size(), kMaxStreamArticles);
    size_t bytes = 0;
    for (const std::string& line : lines)
      bytes += line.size() + 2;
    EXPECT_TRUE(bytes <= kMaxStreamBytes || lines.size() == 1) << stream;
  }
}

TEST(Importer, LeavesNoPackageBehindWhenItFails) {
  TempFolder folder;
  EXPECT_THROW(write(DictionarySource{}, folder.path() / "empty.brd"), EImportError);
  EXPECT_FALSE(fs::exists(folder.path() / "empty.brd"));

  DictionarySource onlyJunk;
  onlyJunk.entries = {{{"--"}, "x"}};
  EXPECT_THROW(write(onlyJunk, folder.path() / "junk.brd"), EImportError);
  EXPECT_FALSE(fs::exists(folder.path() / "junk.brd"));

  // A package that exists already is never touched.
  DictionarySource source;
  source.entries = {{{"a"}, "1"}};
  write(source, folder.path() / "d.brd");
  const auto before = fs::file_size(folder.path() / "d.brd");
  source.entries.push_back({{"b"}, std::string(70000, 'y')});
  EXPECT_THROW(write(source, folder.path() / "d.brd"), EImportError);
  EXPECT_EQ(fs::file_size(folder.path() / "d.brd"), before);

  // A writer given up before its commit removes its file.
  {
    PackageWriter writer(folder.path() / "given-up.brd");
    writer.addItem("a", writer.addArticle("text"));
  }
  EXPECT_FALSE(fs::exists(folder.path() / "given-up.brd"));
}

TEST(Importer, ImportsATabSeparatedSourceByItsName) {
  TempFolder folder;
  { std::ofstream(folder.path() / "words.tsv") << "#title=Words\nhello\tgreeting\\nsecond line\n"; }
  ASSERT_EQ(guessFormat(folder.path() / "words.tsv"), SourceFormat::kTab);
  index::NoProgress progress;
  importDictionary(folder.path() / "words.tsv", std::nullopt, folder.path() / "words.brd", {},
                   progress);
  const ReadBack back = readBack(folder.path() / "words.brd");
  EXPECT_EQ(settingValue(back.ini, "Title"), "Words");
  EXPECT_EQ(back.articleOf.at("hello"), "greeting\xA6second line");
  EXPECT_THROW(importDictionary(folder.path() / "words.dat", std::nullopt, folder.path() / "x.brd",
                                {}, progress),
               EImportError);
}

}  // namespace
}  // namespace verbalon::import
