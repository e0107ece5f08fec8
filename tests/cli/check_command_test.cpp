#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/cp1251.h"
#include "storage/compound_file.h"
#include "storage/storage.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"
#include "tool_run.h"

namespace verbalon::cli {
namespace {

using verbalon::testing::dictStreams;
using verbalon::testing::Streams;
using verbalon::testing::TempFolder;
using verbalon::testing::writePackage;

StringList cp1251Lines(const StringList& utf8) {
  StringList lines;
  for (const std::string& line : utf8) {
    lines.push_back(cp1251::fromUtf8(line));
  }
  return lines;
}

// An application folder whose resource package the tests write stream by stream, so that each
// can hold the fault a test needs.
class Check : public ::testing::Test {
 protected:
  Check() { std::filesystem::create_directories(app.path() / "data"); }

  // A package whose item stream "s" has lineCount lines, and whose items are words.
  void addPackage(const std::string& name, const StringList& words, size_t lineCount) {
    StringList locations;
    for (size_t i = 0; i < words.size(); ++i) {
      locations.push_back("s:" + std::to_string(i));
    }
    Streams streams = dictStreams("Title=" + name, words, locations);
    streams["s"] = joinLines(StringList(lineCount, "article"));
    writePackage(app.path() / "data" / name, streams);
  }

  // The four index streams; words in UTF-8.
  Streams indexStreams(const StringList& dicts, const StringList& words,
                       const StringList& entries) {
    return {{"addeddicts.dat", joinLines(dicts)},
            {"items.dat", joinLines(cp1251Lines(words))},
            {"index.dat", joinLines(entries)},
            {"history.dat", ""}};
  }
  void writeIndex(const StringList& dicts, const StringList& words, const StringList& entries) {
    writePackage(app.path() / "vrbx.pde", indexStreams(dicts, words, entries));
  }

  Result run(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"--app", app.path().string()});
    return cli::run(args);
  }
  Result check() { return run({"check"}); }

  // Runs the commands that the check's report suggests, as a shell would, and stops at the
  // first that fails.
  void applyMends(const std::string& report) {
    std::istringstream lines(report.substr(report.find("To mend")));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.starts_with("  ")) {
      std::istringstream words(line);
      std::vector<std::string> command;
      for (std::string word; words >> word;) {
        if (word == "#") break;
        if (word == "vrbx-tool") continue;
        if (word != "&&") {
          command.push_back(word);
          continue;
        }
        ASSERT_EQ(cli::run(command).status, 0) << line;
        command.clear();
      }
      if (!command.empty()) {
        ASSERT_EQ(cli::run(command).status, 0) << line;
      }
    }
  }

  TempFolder app;
};

std::string fileBytes(const std::filesystem::path& path) {
  std::string bytes(std::filesystem::file_size(path), '\0');
  FILE* file = std::fopen(path.c_str(), "rb");
  const size_t got = file != nullptr ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
  if (file != nullptr) std::fclose(file);
  bytes.resize(got);
  return bytes;
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(Check, ASoundFolderPassesAndStaysUnchanged) {
  writeIndex({}, {}, {});
  EXPECT_EQ(check().out, "OK: 0 words, 0 dictionaries\n");

  addPackage("a.brd", {"дом", "Ёлка"}, 2);
  addPackage("b.brd", {"ДОМ", "кот"}, 2);
  addPackage("c.brd", {"ёж"}, 1);
  for (const char* name : {"a.brd", "b.brd", "c.brd"}) {
    ASSERT_EQ(run({"install", name}).status, 0);
  }
  ASSERT_EQ(run({"remove", "b.brd"}).status, 0);  // a hole, which entries no longer name
  const std::string bytes = fileBytes(app.path() / "vrbx.pde");

  // Another reader holds the package meanwhile: the check only reads, and shares.
  const storage::CompoundFile reader =
      storage::CompoundFile::open(app.path() / "vrbx.pde", storage::Access::ReadOnly);
  const Result sound = check();
  EXPECT_EQ(sound.status, kExitOk) << sound.out;
  EXPECT_EQ(sound.out, "OK: 3 words, 2 dictionaries\n");
  EXPECT_EQ(fileBytes(app.path() / "vrbx.pde"), bytes);

  EXPECT_EQ(run({"check", "extra"}).status, kExitUsage);
}

// A disordered word list loads, but the halving search misses words in it; any merge puts it
// in order, so reinstalling one dictionary mends it.
TEST_F(Check, FindsUnorderedWordsAndEqualKeys) {
  addPackage("a.brd", {"кот", "дом", "Дом", "ёж", "еж"}, 5);
  writeIndex({"a.brd"}, {"кот", "дом", "Дом", "ёж", "еж"},
             {"0:s:0", "0:s:1", "0:s:2", "0:s:3", "0:s:4"});
  const Result found = check();
  EXPECT_EQ(found.status, kExitFailure);
  EXPECT_TRUE(has(found.out, "items.dat:1: \"дом\" orders before \"кот\" on the line above it\n"))
      << found.out;
  EXPECT_TRUE(has(found.out, "items.dat:2: \"Дом\" has the same key as \"дом\" on the line above"))
      << found.out;
  EXPECT_TRUE(has(found.out, "items.dat:4: \"еж\" has the same key as \"ёж\""));
  EXPECT_TRUE(has(found.out, "remove --app " + app.path().string() + " a.brd && vrbx-tool install"))
      << found.out;
  EXPECT_TRUE(found.out.ends_with("3 problems found\n")) << found.out;

  applyMends(found.out);
  EXPECT_EQ(check().out, "OK: 3 words, 1 dictionaries\n");
}

TEST_F(Check, FindsTornListsAndRebuildsTheIndex) {
  addPackage("a.brd", {"дом", "кот"}, 2);
  writeIndex({"a.brd"}, {"дом", "кот"}, {"0:s:0"});
  const Result torn = check();
  EXPECT_EQ(torn.status, kExitFailure);
  EXPECT_TRUE(has(torn.out,
                  "index.dat:1: items.dat has 2 lines but index.dat has 1: the lines "
                  "from 1 on have no partner\n"))
      << torn.out;
  const std::string package = (app.path() / "vrbx.pde").string();
  EXPECT_TRUE(has(torn.out, "  vrbx-tool put " + package + " items.dat /dev/null\n"));
  EXPECT_TRUE(has(torn.out, "  vrbx-tool install --app " + app.path().string() + " a.brd\n"));
  // The program itself refuses such an index.
  EXPECT_EQ(run({"words", "д"}).status, kExitFailure);

  applyMends(torn.out);
  EXPECT_EQ(check().out, "OK: 2 words, 1 dictionaries\n");
}

TEST_F(Check, FindsPartsOfSlotsThatHoldNoDictionary) {
  addPackage("a.brd", {"дом", "кот"}, 2);
  writeIndex({"a.brd", ""}, {"дом", "кот"}, {"0:s:0|1:s:0", "5:s:1"});
  const Result found = check();
  EXPECT_TRUE(has(found.out,
                  "index.dat:0: part 2 \"1:s:0\" names dictionary 1, which was "
                  "removed\n"))
      << found.out;
  EXPECT_TRUE(has(found.out,
                  "index.dat:1: part 1 \"5:s:1\" names dictionary 5, but the "
                  "dictionary list has 2 slots\n"))
      << found.out;
  // No removal reaches those parts: only a new index mends it.
  EXPECT_TRUE(has(found.out, "a new index")) << found.out;
  applyMends(found.out);
  EXPECT_EQ(check().out, "OK: 2 words, 1 dictionaries\n");
}

TEST_F(Check, FindsPartsThatNameNoLineOfTheirPackage) {
  addPackage("a.brd", {"дом", "кот", "сад"}, 3);
  addPackage("b.brd", {"лес"}, 1);
  writeIndex({"a.brd", "b.brd"}, {"дом", "кот", "лес", "сад"},
             {"0:s:0", "0:s:3", "1:s:0|1:nope:0", "0:s:999999999"});
  const Result found = check();
  EXPECT_EQ(found.status, kExitFailure);
  EXPECT_TRUE(has(found.out,
                  "index.dat:1: part 1 \"0:s:3\" names line 3 of stream \"s\" of "
                  "a.brd, which has 3 lines\n"))
      << found.out;
  EXPECT_TRUE(has(found.out, "index.dat:3: part 1 \"0:s:999999999\" names line 999999999"));
  EXPECT_TRUE(has(found.out,
                  "index.dat:2: part 2 \"1:nope:0\" names stream \"nope\" of b.brd, "
                  "which cannot be read: "))
      << found.out;
  EXPECT_TRUE(has(found.out, "STG_E_FILENOTFOUND")) << found.out;
  // Each dictionary at fault is written anew.
  EXPECT_TRUE(has(found.out, "remove --app " + app.path().string() + " a.brd"));
  EXPECT_TRUE(has(found.out, "remove --app " + app.path().string() + " b.brd"));
  applyMends(found.out);
  EXPECT_EQ(check().out, "OK: 4 words, 2 dictionaries\n");
}

TEST_F(Check, FindsListedPackagesThatDoNotLoad) {
  addPackage("a.brd", {"дом"}, 1);
  std::ofstream(app.path() / "data" / "junk.brd") << "not a compound file";
  writeIndex({"gone.brd", "a.brd", "junk.brd", "../a.brd"}, {"дом", "кот"},
             {"0:s:0|1:s:0", "2:s:0|3:s:0"});
  const Result found = check();
  EXPECT_EQ(found.status, kExitFailure);
  EXPECT_TRUE(has(found.out,
                  "addeddicts.dat:0: the installed dictionary gone.brd cannot be "
                  "loaded: "))
      << found.out;
  EXPECT_TRUE(has(found.out, "addeddicts.dat:2: the installed dictionary junk.brd cannot be"));
  EXPECT_TRUE(has(found.out, "addeddicts.dat:3: \"../a.brd\" is not the file name of a package"));
  // Parts of what did not load are not reported again, one by one.
  EXPECT_FALSE(has(found.out, "index.dat:")) << found.out;
  EXPECT_TRUE(found.out.ends_with("3 problems found\n")) << found.out;
  // The index is rebuilt with the one dictionary that loads.
  EXPECT_TRUE(has(found.out, "install --app " + app.path().string() + " a.brd\n"));
  EXPECT_FALSE(has(found.out, "install --app " + app.path().string() + " gone.brd"));
  applyMends(found.out);
  EXPECT_EQ(check().out, "OK: 1 words, 1 dictionaries\n");
}

// A package that is gone leaves the index loadable: taking its dictionary out mends it, and
// the other dictionary's words stay.
TEST_F(Check, TakesOutADictionaryWhosePackageIsGone) {
  addPackage("a.brd", {"дом"}, 1);
  addPackage("b.brd", {"кот"}, 1);
  writeIndex({"a.brd", "b.brd"}, {"дом", "кот"}, {"0:s:0", "1:s:0"});
  std::filesystem::remove(app.path() / "data" / "b.brd");
  const Result found = check();
  EXPECT_EQ(found.status, kExitFailure);
  EXPECT_TRUE(has(found.out, "  vrbx-tool remove --app " + app.path().string() + " b.brd\n"))
      << found.out;
  EXPECT_FALSE(has(found.out, "install --app")) << found.out;
  applyMends(found.out);
  EXPECT_EQ(check().out, "OK: 1 words, 1 dictionaries\n");
}

TEST_F(Check, FindsStreamsMissingOrDamaged) {
  Streams streams = indexStreams({}, {}, {});
  for (const char* name : {"history.dat", "items.dat", "addeddicts.dat"}) {
    streams.erase(name);
  }
  writePackage(app.path() / "vrbx.pde", streams);
  {
    const storage::CompoundFile file = storage::CompoundFile::open(app.path() / "vrbx.pde");
    storage::WriteStream(file, "index.dat", "no zlib stream", false);
  }
  const Result found = check();
  EXPECT_EQ(found.status, kExitFailure);
  EXPECT_TRUE(has(found.out, "history.dat: ")) << found.out;
  EXPECT_TRUE(has(found.out, "items.dat: ")) << found.out;
  EXPECT_TRUE(has(found.out, "addeddicts.dat: ")) << found.out;
  EXPECT_TRUE(has(found.out, "index.dat: Error")) << found.out;
  EXPECT_TRUE(has(found.out, "history.dat /dev/null\n")) << found.out;
  EXPECT_TRUE(has(found.out, "then install your dictionaries again")) << found.out;
  applyMends(found.out);
  EXPECT_EQ(check().out, "OK: 0 words, 0 dictionaries\n");

  std::filesystem::remove(app.path() / "vrbx.pde");
  const Result none = check();
  EXPECT_EQ(none.status, kExitFailure);
  EXPECT_TRUE(none.out.starts_with("vrbx.pde: ")) << none.out;
  EXPECT_FALSE(has(none.out, "To mend")) << none.out;
}

// Entries that do not read are reported one by one, and every kind keeps its first 20.
TEST_F(Check, ReportsEveryProblemUpToTwentyOfAKind) {
  addPackage("a.brd", {"дом"}, 1);
  StringList words(30, "дом");
  StringList entries(30, "0:s:0");
  const StringList malformed{"", "x:s:0", "0:s", "00:s:0", "0:s:0|", "0:s:-1", "0:a:b:0"};
  for (size_t i = 0; i < malformed.size(); ++i) {
    words.push_back("ю" + std::to_string(i));
    entries.push_back(malformed[i]);
  }
  writeIndex({"a.brd"}, words, entries);
  const Result found = check();
  EXPECT_EQ(found.status, kExitFailure);
  EXPECT_TRUE(has(found.out, "items.dat:20: ")) << found.out;
  EXPECT_FALSE(has(found.out, "items.dat:21: ")) << found.out;
  EXPECT_TRUE(has(found.out, "  ... and 9 more like this\n")) << found.out;
  EXPECT_TRUE(has(found.out, "index.dat:30: the entry of \"ю0\" has no parts\n")) << found.out;
  for (int line = 31; line <= 36; ++line) {
    EXPECT_TRUE(has(found.out, "index.dat:" + std::to_string(line) + ": ")) << line;
  }
  EXPECT_TRUE(found.out.ends_with("36 problems found\n")) << found.out;
}

}  // namespace
}  // namespace verbalon::cli
