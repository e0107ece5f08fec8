#include "suggest/dictionary_forms.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "words.h"

namespace verbalon::suggest {
namespace {

namespace fs = std::filesystem;
using testing::HunspellFolder;
using testing::u;
using testing::w;
using testing::writeSmallRussian;

bool has(const std::vector<std::string>& stems, const char* utf8) {
  return std::find(stems.begin(), stems.end(), w(utf8)) != stems.end();
}

TEST(DictionaryForms, StemsThroughUtf8) {
  const HunspellFolder folder("forms");
  writeSmallRussian(folder, "ru_TEST");
  // Another encoding is left out rather than read wrongly.
  folder.write("koi", "SET KOI8-R\n", "1\nx\n");
  folder.write("nodic", "SET UTF-8\n", "1\nx\n");
  fs::remove(folder.path() / "nodic.dic");
  DictionaryForms forms(folder.path(), {"ru_TEST", "koi", "nodic", "absent"});
  ASSERT_TRUE(forms.enabled());
  EXPECT_EQ(forms.dictionaryNames(), std::vector<std::string>{"ru_TEST"});
  EXPECT_EQ(u(forms.description()), "Словарные формы: Hunspell (ru_TEST)");
  EXPECT_EQ(forms.stems(w("домами")), std::vector<std::string>{w("дом")});
  EXPECT_EQ(forms.stems(w("книгами")), std::vector<std::string>{w("книга")});
  EXPECT_TRUE(forms.stems(w("котами")).empty());
  EXPECT_TRUE(forms.stems("").empty());
}

TEST(DictionaryForms, NoneFoundIsOff) {
  DictionaryForms forms("/nonexistent/hunspell");
  EXPECT_FALSE(forms.enabled());
  EXPECT_EQ(u(forms.description()), "Словарные формы: нет словарей Hunspell");
  EXPECT_TRUE(forms.stems(w("домами")).empty());
}

TEST(SystemDictionaries, RussianAndEnglishStems) {
  const fs::path folder = kSystemHunspellFolder;
  if (!fs::exists(folder / "ru_RU.dic") || !fs::exists(folder / "en_US.dic")) {
    GTEST_SKIP() << "hunspell-ru and hunspell-en-us are not installed in " << folder;
  }
  DictionaryForms forms;
  EXPECT_EQ(u(forms.description()), "Словарные формы: Hunspell (ru_RU, en_US)");
  EXPECT_TRUE(has(forms.stems(w("домами")), "дом"));
  EXPECT_TRUE(has(forms.stems(w("книгами")), "книга"));
  EXPECT_TRUE(has(forms.stems("houses"), "house"));
}

}  // namespace
}  // namespace verbalon::suggest
