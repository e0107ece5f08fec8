#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/app_folder.h"
#include "tool_run.h"

// A source of every format goes through the tool as a user would take it: import into the
// data folder, install, and the page of a word.
namespace verbalon::cli {
namespace {

namespace fs = std::filesystem;
using verbalon::testing::AppFolder;

class ImportCommand : public ::testing::Test {
 protected:
  fs::path data() const { return m_app.dataDir(); }
  std::string app() const { return m_app.path().string(); }
  void write(const std::string& name, const std::string& bytes) const {
    m_app.addSource(name, bytes);
  }

  // Imports source, installs its package and returns the page of word.
  std::string importAndShow(const std::string& source, const std::string& package,
                            const std::string& word) const {
    const Result imported = run({"--app", app(), "import", (data() / source).string()});
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_NE(imported.out.find("headwords: "), std::string::npos);
    const Result installed = run({"--app", app(), "install", package});
    EXPECT_EQ(installed.status, 0) << installed.err;
    const Result shown = run({"--app", app(), "show", word});
    EXPECT_EQ(shown.status, 0) << shown.err;
    return shown.out;
  }

 private:
  AppFolder m_app;
};

std::string bigEndian(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
  return bytes;
}

// A number in dictd's base64 digits, most significant first.
std::string base64(size_t value) {
  static constexpr std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value % 64]);
    value /= 64;
  } while (value > 0);
  return digits;
}

TEST_F(ImportCommand, ImportsAndInstallsADictdDatabase) {
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"00-database-short", "00-database-short\n     Pets\n"},
      {"cat", "cat\n  a small animal\n"},
      {"dog", "dog\n  a loyal animal\n"}};
  std::string index;
  std::string dict;
  for (const auto& [headword, article] : entries) {
    index += headword + "\t" + base64(dict.size()) + "\t" + base64(article.size()) + "\n";
    dict += article;
  }
  write("pets.index", index);
  write("pets.dict", dict);
  const std::string page = importAndShow("pets.index", "pets.brd", "dog");
  EXPECT_NE(page.find("a loyal animal"), std::string::npos) << page;
}

TEST_F(ImportCommand, ImportsAndInstallsAStarDictDictionary) {
  const std::string dict = "a flying animal" + std::string("a swimming animal");
  std::string idx = std::string("bird") + '\0' + bigEndian(0) + bigEndian(15);
  idx += std::string("fish") + '\0' + bigEndian(15) + bigEndian(17);
  write("zoo.ifo", "StarDict's dict ifo file\r\nversion=2.4.2\r\nwordcount=2\r\nidxfilesize=" +
                       std::to_string(idx.size()) + "\r\nbookname=Zoo\r\nsametypesequence=m\r\n");
  write("zoo.idx", idx);
  write("zoo.dict", dict);
  const std::string page = importAndShow("zoo.ifo", "zoo.brd", "fish");
  EXPECT_NE(page.find("a swimming animal"), std::string::npos) << page;
  EXPECT_NE(page.find("Zoo"), std::string::npos);
}

TEST_F(ImportCommand, ImportsAndInstallsADslSource) {
  write("ru.dsl",
        "#NAME \"Словарик\"\n#INDEX_LANGUAGE \"Russian\"\n#CONTENTS_LANGUAGE \"English\"\n\n"
        "кошка\n\t[b]cat[/b], [i]pussy[/i]\n\nсобака\n\tdog\n");
  const std::string page = importAndShow("ru.dsl", "ru.brd", "кошка");
  EXPECT_NE(page.find("<b>cat</b>"), std::string::npos) << page;
  EXPECT_NE(page.find("Словарик"), std::string::npos);
}

TEST_F(ImportCommand, ImportsAndInstallsTabSeparatedText) {
  write("de.txt", "#title=Deutsch\nStraße\tstreet\nHaus\thouse\\nbuilding\n");
  const std::string page = importAndShow("de.txt", "de.brd", "strasse");
  EXPECT_NE(page.find("Stra&#223;e</b><BR>street"), std::string::npos) << page;
  EXPECT_NE(run({"--app", app(), "show", "haus"}).out.find("house<BR>building"), std::string::npos);
}

TEST_F(ImportCommand, RefusesAnUnknownFormatAndLeavesNoPackage) {
  write("notes.dat", "x\ty\n");
  EXPECT_EQ(run({"--app", app(), "import", (data() / "notes.dat").string()}).status, kExitUsage);
  write("broken.txt", "no tab\n");
  const Result broken = run({"--app", app(), "import", (data() / "broken.txt").string()});
  EXPECT_EQ(broken.status, kExitFailure);
  EXPECT_NE(broken.err.find("broken.txt, line 1"), std::string::npos) << broken.err;
  EXPECT_FALSE(fs::exists(data() / "broken.brd"));
  write("ok.txt", "a\tb\n");
  const std::string target = (data().parent_path() / "other.brd").string();
  EXPECT_EQ(run({"import", "--format", "tab", (data() / "ok.txt").string(), target}).status, 0);
  EXPECT_TRUE(fs::exists(target));
}

}  // namespace
}  // namespace verbalon::cli
