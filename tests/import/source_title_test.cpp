#include "import/source_title.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include "common/cp1251.h"
#include "support/gzip.h"

namespace verbalon::import {
namespace {

using verbalon::testing::gzip;

namespace fs = std::filesystem;

class PeekTitle : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = fs::temp_directory_path() /
               ("peek_title_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_folder);
    fs::create_directories(m_folder);
  }
  void TearDown() override { fs::remove_all(m_folder); }

  fs::path write(const std::string& name, const std::string& bytes) const {
    const fs::path file = m_folder / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

  fs::path m_folder;
};

// The test texts are all Windows-1251, which makes them UTF-16 the short way.
std::string utf16le(std::string_view utf8) {
  std::string bytes;
  for (char16_t unit : cp1251::toUtf16(cp1251::fromUtf8(utf8))) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string utf16be(std::string_view utf8) {
  std::string bytes;
  for (char16_t unit : cp1251::toUtf16(cp1251::fromUtf8(utf8))) {
    bytes += static_cast<char>(unit >> 8);
    bytes += static_cast<char>(unit & 0xFF);
  }
  return bytes;
}

const std::string kDslHead =
    "#NAME \"Mueller English-Russian\"\r\n#INDEX_LANGUAGE \"English\"\r\n\r\nabandon\r\n"
    "\t[m1]покидать[/m]\r\n";

TEST_F(PeekTitle, ReadsTheTitleEachFormatWritesAtItsHead) {
  EXPECT_EQ(peekTitle(write("a.txt", "\xEF\xBB\xBF#title= Мой словарь \r\nдом\thouse\n")),
            "Мой словарь");
  EXPECT_EQ(peekTitle(write("b.TSV", cp1251::fromUtf8("#title=Словарь\nдом\tдом\n"))), "Словарь");
  EXPECT_EQ(peekTitle(write("c.ifo",
                            "StarDict's dict ifo file\nversion=2.4.2\nwordcount=2\n"
                            "bookname=Толковый\nsametypesequence=m\n")),
            "Толковый");
  EXPECT_EQ(peekTitle(write("d.dsl", "\xFF\xFE" + utf16le(kDslHead))), "Mueller English-Russian");
  EXPECT_EQ(peekTitle(write("e.dsl", utf16le("#NAME\t\"Без метки\"\n"))), "Без метки");
  EXPECT_EQ(peekTitle(write("f.DSL", "\xFE\xFF" + utf16be(kDslHead))), "Mueller English-Russian");
  EXPECT_EQ(peekTitle(write("g.dsl", "#NAME \"В UTF-8\"\n")), "В UTF-8");
  EXPECT_EQ(peekTitle(write("h.dsl", cp1251::fromUtf8("#NAME Кириллица без кавычек\n"))),
            "Кириллица без кавычек");
  EXPECT_EQ(peekTitle(write("i.dsl.dz", gzip("\xFF\xFE" + utf16le(kDslHead)))),
            "Mueller English-Russian");
}

// A dictd title stands inside its articles; the others may simply name none. None of these may
// report an error: the list then shows the file's name.
TEST_F(PeekTitle, GivesNothingWhenTheHeadNamesNoTitle) {
  EXPECT_EQ(peekTitle(write("a.index", "00databaseshort\tA\tB\nword\tC\tD\n")), "");
  EXPECT_EQ(peekTitle(write("b.txt", "дом\thouse\n#title=Late\n")), "");
  EXPECT_EQ(peekTitle(write("c.dsl", "#INDEX_LANGUAGE \"English\"\nword\n\t#NAME \"No\"\n")), "");
  EXPECT_EQ(peekTitle(write("d.dsl", "#NAMES \"Not the name\"\n")), "");
  EXPECT_EQ(peekTitle(write("e.ifo", "StarDict's dict ifo file\nversion=2.4.2\n")), "");
  EXPECT_EQ(peekTitle(write("f.dsl", "")), "");
  EXPECT_EQ(peekTitle(write("g.dsl.dz", "not gzip at all")), "");
  EXPECT_EQ(peekTitle(write("h.dsl.dz", gzip(kDslHead).substr(0, 12))), "");
  EXPECT_EQ(peekTitle(write("i.brd", "#title=Not a source\n")), "");
  EXPECT_EQ(peekTitle(m_folder / "missing.txt"), "");
  fs::create_directory(m_folder / "folder.txt");
  EXPECT_EQ(peekTitle(m_folder / "folder.txt"), "");
  // Opening a FIFO to read would wait for a writer for ever.
  ASSERT_EQ(::mkfifo((m_folder / "pipe.dsl").c_str(), 0600), 0);
  EXPECT_EQ(peekTitle(m_folder / "pipe.dsl"), "");
}

TEST_F(PeekTitle, ReadsOnlyTheHeadOfTheFile) {
  // A title after the first few KB of header is not looked for.
  std::string header;
  while (header.size() < kTitlePeekBytes) {
    header += "#INDEX_LANGUAGE \"English\"\n";
  }
  EXPECT_EQ(peekTitle(write("late.dsl", header + "#NAME \"Late\"\n")), "");
  std::string compressedHeader;
  while (compressedHeader.size() < 4 * kTitlePeekBytes) {
    compressedHeader += "#CONTENTS_LANGUAGE \"Russian\"\n";
  }
  EXPECT_EQ(peekTitle(write("late.dsl.dz", gzip(compressedHeader + "#NAME \"Late\"\n"))), "");

  // A head that ends inside a two-byte character further down leaves the text UTF-8.
  std::string text = "#title=Словарь\n";
  while (text.size() < 2 * kTitlePeekBytes) {
    text += "слово\tстатья\n";
  }
  ASSERT_EQ(static_cast<unsigned char>(text[kTitlePeekBytes]) & 0xC0, 0x80);
  EXPECT_EQ(peekTitle(write("long.txt", text)), "Словарь");

  // An overlong title is cut at a character boundary, and control characters become blanks.
  std::string name = "#NAME \"";
  for (int i = 0; i < 300; ++i) {
    name += "я";
  }
  const std::string title = peekTitle(write("long.dsl", name + "\"\n"));
  EXPECT_LE(title.size(), kMaxPeekedTitleBytes);
  EXPECT_GE(title.size(), kMaxPeekedTitleBytes - 1);
  EXPECT_EQ(title.size() % 2, 0u);
  EXPECT_EQ(peekTitle(write("tab.ifo",
                            "bookname=a\tb\x01"
                            "c\n")),
            "a b c");
}

}  // namespace
}  // namespace verbalon::import
