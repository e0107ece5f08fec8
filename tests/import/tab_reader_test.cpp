#include "import/tab_reader.h"

#include <gtest/gtest.h>

#include "common/cp1251.h"
#include "import/import_error.h"

namespace verbalon::import {
namespace {

TEST(TabReader, ReadsTitleEntriesAndLineBreaks) {
  const DictionarySource source = parseTabText(
      "\xEF\xBB\xBF#title= Мой словарь\r\n\r\nдом\t  здание\\nкров\r\n"
      "a<b\tx & y\\\\n\n",
      "my.txt");
  EXPECT_EQ(source.title, "Мой словарь");
  ASSERT_EQ(source.entries.size(), 2u);
  EXPECT_EQ(source.entries[0].headwords, std::vector<std::string>{"дом"});
  EXPECT_EQ(source.entries[0].article, "\u00A0\u00A0здание\nкров");
  EXPECT_EQ(source.entries[1].headwords, std::vector<std::string>{"a<b"});
  EXPECT_EQ(source.entries[1].article, "x &amp; y\\n");
}

TEST(TabReader, TakesTextThatIsNotUtf8ForWindows1251) {
  const DictionarySource source = parseTabText(cp1251::fromUtf8("ёж\tзверёк\n"), "cp.txt");
  ASSERT_EQ(source.entries.size(), 1u);
  EXPECT_EQ(source.entries[0].headwords.front(), "ёж");
  EXPECT_EQ(source.entries[0].article, "зверёк");
}

TEST(TabReader, NamesTheLineOfABrokenEntry) {
  try {
    parseTabText("a\tb\nno tab here\n", "my.txt");
    FAIL();
  } catch (const EImportError& e) {
    EXPECT_STREQ(e.what(), "my.txt, line 2: an entry is a headword, a tab and the article");
  }
  EXPECT_THROW(parseTabText("\tarticle\n", "my.txt"), EImportError);
}

}  // namespace
}  // namespace verbalon::import
