#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/package_builder.h"
#include "support/temp_folder.h"
#include "tool_run.h"

namespace verbalon::cli {
namespace {

using verbalon::testing::dictStreams;
using verbalon::testing::TempFolder;
using verbalon::testing::writePackage;

// An application folder with an empty index and the packages the tests put into "data/".
class DictCommands : public ::testing::Test {
 protected:
  DictCommands() {
    std::filesystem::create_directories(app.path() / "data");
    writePackage(
        app.path() / "vrbx.pde",
        {{"items.dat", ""}, {"index.dat", ""}, {"addeddicts.dat", ""}, {"history.dat", ""}});
  }

  void addPackage(const std::string& name, const std::string& title, const StringList& items) {
    StringList locations;
    for (size_t i = 0; i < items.size(); ++i)
      locations.push_back("s:" + std::to_string(i));
    writePackage(app.path() / "data" / name,
                 dictStreams("Title=" + title + "\r\nShortTitle=" + title, items, locations));
  }

  Result run(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"--app", app.path().string()});
    return cli::run(args);
  }

  TempFolder app;
};

TEST_F(DictCommands, InstallListWordsRemove) {
  addPackage("a.brd", "Толковый", {"дом", "Ёлка"});
  addPackage("Second.BRD", "Второй", {"ДОМ", "кот"});
  EXPECT_EQ(run({"list"}).out, "");

  const Result first = run({"install", "a.brd"});
  EXPECT_EQ(first.status, 0) << first.err;
  // Not on a terminal: no progress, only the result.
  EXPECT_EQ(first.err, "a.brd installed; the index holds 2 words\n");
  EXPECT_EQ(run({"install", "Second.BRD"}).status, 0);
  EXPECT_EQ(run({"list"}).out, "0\ta.brd\tТолковый\t2\n1\tsecond.brd\tВторой\t2\n");

  EXPECT_EQ(run({"words", "Д"}).out, "дом\t0:s:0|1:s:0\n");
  EXPECT_EQ(run({"words", "  ё "}).out, "Ёлка\t0:s:1\n");
  EXPECT_EQ(run({"words", "е"}).out, "");

  const Result removed = run({"remove", "a.brd"});
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(removed.err, "a.brd removed; the index holds 2 words\n");
  EXPECT_EQ(run({"list"}).out, "0\t(removed)\n1\tsecond.brd\tВторой\t2\n");
  EXPECT_EQ(run({"words", "д"}).out, "дом\t1:s:0\n");  // the display form merged first stays
}

// Where nothing begins with the text, words and show offer what the filter tab would.
TEST_F(DictCommands, WordsAndShowFallBackToSuggestions) {
  addPackage("a.brd", "Толковый", {"дом", "кот", "котёнок"});
  ASSERT_EQ(run({"install", "a.brd"}).status, 0);
  EXPECT_EQ(run({"words", "ljv"}).out, "дом\tother-layout\n");
  EXPECT_EQ(run({"words", "к?т"}).out, "кот\twildcard\n");
  const Result shown = run({"show", "кат"});
  EXPECT_EQ(shown.status, kExitFailure);
  EXPECT_EQ(shown.out, "кот\tnear-spelling\n");
  EXPECT_NE(shown.err.find("\"кат\" is not in the index"), std::string::npos);
}

TEST_F(DictCommands, RefusalsAndMistakes) {
  addPackage("a.brd", "A", {"дом"});
  ASSERT_EQ(run({"install", "a.brd"}).status, 0);
  Result again = run({"install", "A.brd"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "vrbx-tool install: a.brd is installed already\n");
  Result missing = run({"remove", "b.brd"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "vrbx-tool remove: b.brd is not installed\n");
  EXPECT_EQ(run({"install", "../vrbx.pde"}).status, 1);
  EXPECT_EQ(run({"list", "extra"}).status, 2);

  const Result noValue = cli::run({"list", "--app"});
  EXPECT_EQ(noValue.status, 2);
  EXPECT_NE(noValue.err.find("option --app needs a value"), std::string::npos) << noValue.err;
}

// "install Foo.brd" installed foo.brd's dictionary, and once foo.brd was gone the slot showed
// Foo.brd's articles.
TEST_F(DictCommands, InstallsExactlyTheNamedFileAndRefusesNamesThatDifferOnlyInCase) {
  addPackage("Foo.brd", "Большой", {"дом"});
  addPackage("foo.brd", "Малый", {"кот"});
  const Result twins = run({"install", "Foo.brd"});
  EXPECT_EQ(twins.status, 1);
  EXPECT_NE(twins.err.find("same name in lower case: Foo.brd, foo.brd"), std::string::npos)
      << twins.err;
  EXPECT_EQ(run({"list"}).out, "");

  std::filesystem::remove(app.path() / "data" / "foo.brd");
  ASSERT_EQ(run({"install", "Foo.brd"}).status, 0);
  EXPECT_EQ(run({"list"}).out, "0\tfoo.brd\tБольшой\t1\n");
  EXPECT_EQ(run({"words", "д"}).out, "дом\t0:s:0\n");

  // A second file of the stored name appears: the slot cannot be told, so it is not opened,
  // and the warning says why; the words stay.
  addPackage("FOO.brd", "Другой", {"кот"});
  const Result ambiguous = run({"words", "д"});
  EXPECT_EQ(ambiguous.status, 0);
  EXPECT_EQ(ambiguous.out, "дом\t0:s:0\n");
  EXPECT_NE(ambiguous.err.find("several files match this name: FOO.brd, Foo.brd"),
            std::string::npos)
      << ambiguous.err;
  EXPECT_EQ(run({"install", "nothing.brd"}).status, 1);
}

// A package whose file is gone: list reports it, the other commands keep its words with one
// warning, and remove takes it out without the file.
TEST_F(DictCommands, PackageWhoseFileIsGoneIsReportedKeptAndRemovable) {
  addPackage("a.brd", "A", {"дом"});
  addPackage("b.brd", "B", {"ДОМ", "кот"});
  ASSERT_EQ(run({"install", "a.brd"}).status, 0);
  ASSERT_EQ(run({"install", "b.brd"}).status, 0);
  std::filesystem::remove(app.path() / "data" / "a.brd");
  const Result list = run({"list"});
  EXPECT_EQ(list.status, 1);
  EXPECT_EQ(list.out, "0\ta.brd\t(cannot be opened)\n1\tb.brd\tB\t2\n");
  EXPECT_NE(list.err.find("STG_E_FILENOTFOUND"), std::string::npos) << list.err;

  const Result words = run({"words", "д"});
  EXPECT_EQ(words.status, 0) << words.err;
  EXPECT_EQ(words.out, "дом\t0:s:0|1:s:0\n");
  EXPECT_EQ(words.err.rfind("vrbx-tool: warning: the installed dictionary a.brd could not be "
                            "opened, its articles are left out: ",
                            0),
            0U)
      << words.err;
  EXPECT_EQ(std::count(words.err.begin(), words.err.end(), '\n'), 1);

  // Installing another meanwhile keeps the lost one listed, so that its file may come back.
  addPackage("c.brd", "C", {"лес"});
  ASSERT_EQ(run({"install", "c.brd"}).status, 0);
  EXPECT_EQ(run({"list"}).out, "0\ta.brd\t(cannot be opened)\n1\tb.brd\tB\t2\n2\tc.brd\tC\t1\n");

  const Result removed = run({"remove", "a.brd"});
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_NE(removed.err.find("a.brd removed; the index holds 3 words\n"), std::string::npos)
      << removed.err;
  const Result after = run({"list"});
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_EQ(after.out, "0\t(removed)\n1\tb.brd\tB\t2\n2\tc.brd\tC\t1\n");
  const Result clean = run({"words", "д"});
  EXPECT_EQ(clean.out, "дом\t1:s:0\n");
  EXPECT_EQ(clean.err, "");
}

}  // namespace
}  // namespace verbalon::cli
