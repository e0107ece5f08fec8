#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dicts/dict_package.h"
#include "index/index_error.h"
#include "index/unopened_package.h"
#include "index/word_index.h"
#include "recording_progress.h"
#include "storage/detail/fault_injection.h"
#include "storage/storage.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"
#include "test_words.h"

namespace verbalon::index {
namespace {

using Lines = std::vector<std::string>;
using verbalon::testing::dictStreams;
using verbalon::testing::TempFolder;
using verbalon::testing::writePackage;

// An application folder: "vrbx.pde" beside "data/" with the packages.
class IndexStore : public ::testing::Test {
 protected:
  IndexStore() { std::filesystem::create_directories(dataDir); }

  void writeResource(const Lines& dictList, const Lines& words, const Lines& entries,
                     const std::string& history = "") {
    writePackage(resource, {{"addeddicts.dat", joinLines(dictList)},
                            {"items.dat", joinLines(words)},
                            {"index.dat", joinLines(entries)},
                            {"history.dat", history}});
  }

  void writeDict(const std::string& name, const StringList& itemsUtf8) {
    StringList locations;
    for (size_t i = 0; i < itemsUtf8.size(); ++i)
      locations.push_back("s:" + std::to_string(i));
    writePackage(dataDir / name, dictStreams("ShortTitle=" + name, itemsUtf8, locations));
  }

  // Reads through stgRes when the package is open already (it is held exclusively).
  Lines readLines(const std::string& stream, const storage::CompoundFile* stgRes = nullptr) {
    if (stgRes != nullptr) {
      storage::ReadStream(*stgRes, stream, ReadBuf, storage::kPackageMode, true);
    } else {
      storage::CompoundFile file = storage::CompoundFile::open(resource);
      storage::ReadStream(file, stream, ReadBuf, storage::kPackageMode, true);
    }
    return splitLines(ReadBuf.bytes());
  }

  TempFolder app;
  std::filesystem::path dataDir = app.path() / "data";
  std::filesystem::path resource = app.path() / "vrbx.pde";
  storage::MemoryStream ReadBuf;
  NoProgress none;
};

TEST_F(IndexStore, LoadIndexOpensListedPackagesAndKeepsHoles) {
  writeDict("a.brd", {"дом"});
  writeDict("c.brd", {"кот"});
  writeResource({"a.brd", "", "c.brd"}, {"x", "y"}, {"0:s:0", "2:s:0"});
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex index;
  index.LoadIndex(stgRes, dataDir, ReadBuf);
  ASSERT_EQ(index.Dicts().size(), 3U);
  EXPECT_EQ(index.Dicts()[0].FileName, "a.brd");
  EXPECT_TRUE(index.Dicts()[1].isEmptySlot());
  EXPECT_EQ(index.Dicts()[2].ShortTitle, "c.brd");
  EXPECT_EQ(index.slWord(), (Lines{"x", "y"}));
  EXPECT_EQ(index.slIndex(), (Lines{"0:s:0", "2:s:0"}));
  EXPECT_TRUE(index.slKey().empty());
  EXPECT_TRUE(index.slHistory().empty());  // a zero-length stream
  EXPECT_TRUE(index.refusal().empty());
}

TEST_F(IndexStore, SavedIndexLoadsBackLineForLine) {
  writeDict("a.brd", {"ёж", "дом"});
  writeDict("b.brd", {"Еж", "лес"});
  writeDict("c.brd", {"кот"});
  writeResource({}, {}, {});
  Lines words;
  Lines entries;
  {
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
    WordIndex index;
    index.LoadIndex(stgRes, dataDir, ReadBuf);
    for (const char* name : {"a.brd", "b.brd", "c.brd"}) {
      index.AddDict(dataDir / name, ReadBuf);
      index.InstallDict(index.Dicts().size() - 1, none);
    }
    index.RemoveDict(1, none);
    testing::RecordingProgress progress;
    index.SaveIndex(stgRes, progress);
    EXPECT_EQ(progress.events,
              (Lines{"counter ", "status Сохранение результатов...", "messages", "status "}));
    words = index.slWord().toStringList();
    entries = index.slIndex().toStringList();
    index.slHistory() = {testing::w("дом"), ""};
    index.SaveHistory(stgRes);
  }
  EXPECT_EQ(readLines("addeddicts.dat"), (Lines{"a.brd", "", "c.brd"}));
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex loaded;
  loaded.LoadIndex(stgRes, dataDir, ReadBuf);
  EXPECT_EQ(loaded.slWord(), words);
  EXPECT_EQ(testing::us(loaded.slWord().toStringList()), (Lines{"дом", "ёж", "кот"}));
  EXPECT_EQ(loaded.slIndex(), entries);
  EXPECT_EQ(loaded.slIndex()[0], "0:s:1");
  ASSERT_EQ(loaded.Dicts().size(), 3U);
  EXPECT_TRUE(loaded.Dicts()[1].isEmptySlot());
  EXPECT_EQ(loaded.slHistory(), (Lines{testing::w("дом"), ""}));

  // An installation after loading searches the stored order.
  writeDict("d.brd", {"ДОМ", "аист"});
  loaded.AddDict(dataDir / "d.brd", ReadBuf);
  loaded.InstallDict(3, none);
  EXPECT_EQ(testing::us(loaded.slWord().toStringList()), (Lines{"аист", "дом", "ёж", "кот"}));
  EXPECT_EQ(loaded.slIndex()[1], "0:s:1|3:s:0");
}

// A real-size index is compressed in pieces on every core, the word list's and the index's
// together; each stored stream is still one level-9 zlib stream holding its whole text.
TEST_F(IndexStore, LargeIndexIsStoredAsOneZlibStreamPerList) {
  writeResource({}, {}, {});
  Lines words;
  Lines entries;
  for (size_t i = 0; i < 150000; ++i) {
    words.push_back("word" + std::to_string(i * 7919 % 150000));
    entries.push_back("0:a\\" + std::to_string(i / 600 + 1) + ":" + std::to_string(i % 600) +
                      (i % 5 == 0 ? "|2:a\\3:" + std::to_string(i % 97) : ""));
  }
  {
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
    WordIndex index;
    index.assignLists(words, entries);
    index.SaveIndex(stgRes, none);
  }
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  for (const auto& [stream, lines] : {std::pair{"items.dat", &words}, {"index.dat", &entries}}) {
    storage::ReadStream(stgRes, stream, ReadBuf, storage::kPackageMode, false);
    const std::string raw = ReadBuf.bytes();
    EXPECT_EQ(raw.substr(0, 2), "\x78\xDA") << stream;
    EXPECT_EQ(storage::InflateBuffer(raw), joinLines(*lines)) << stream;
  }
  EXPECT_EQ(readLines("addeddicts.dat", &stgRes), Lines{});
}

// Start-up leaves the item lists of installed packages unread; removing such a slot and merging
// a package added in the same run must give what the run that installed them gives.
TEST_F(IndexStore, SlotsOpenedAtStartUpRemoveAndLaterMergesMatchTheInstallingRun) {
  writeDict("a.brd", {"дом", "ёж"});
  writeDict("b.brd", {"Дом", "лес"});
  writeDict("c.brd", {"ЛЕС", "аист", "дом"});
  writeResource({}, {}, {});
  Lines words;
  Lines entries;
  {
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
    WordIndex index;
    index.LoadIndex(stgRes, dataDir, ReadBuf);
    for (const char* name : {"a.brd", "b.brd"}) {
      index.AddDict(dataDir / name, ReadBuf);
      index.InstallDict(index.Dicts().size() - 1, none);
    }
    index.SaveIndex(stgRes, none);
    EXPECT_TRUE(index.RemoveDict(0, none));
    index.AddDict(dataDir / "c.brd", ReadBuf);
    index.InstallDict(2, none);
    words = index.slWord().toStringList();
    entries = index.slIndex().toStringList();
  }
  EXPECT_EQ(testing::us(words), (Lines{"аист", "дом", "лес"}));
  EXPECT_EQ(entries, (Lines{"2:s:1", "1:s:0|2:s:2", "1:s:1|2:s:0"}));

  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex loaded;
  loaded.LoadIndex(stgRes, dataDir, ReadBuf);
  ASSERT_EQ(loaded.Dicts().size(), 2U);
  EXPECT_EQ(loaded.Dicts()[0].ShortTitle, "a.brd");
  EXPECT_TRUE(loaded.Dicts()[0].ItemList.empty());
  EXPECT_TRUE(loaded.Dicts()[1].IndexList.empty());
  EXPECT_TRUE(loaded.RemoveDict(0, none));
  ASSERT_EQ(loaded.Dicts().size(), 2U);
  EXPECT_TRUE(loaded.Dicts()[0].isEmptySlot());
  loaded.AddDict(dataDir / "c.brd", ReadBuf);
  EXPECT_EQ(loaded.Dicts()[2].ItemList.size(), 3U);
  loaded.InstallDict(2, none);
  EXPECT_EQ(loaded.slWord(), words);
  EXPECT_EQ(loaded.slIndex(), entries);
}

TEST_F(IndexStore, FailedLoadNamesThePackageAndRefusesLaterChanges) {
  writeDict("a.brd", {"дом"});
  writeDict("c.brd", {"кот"});
  writeResource({"a.brd", "gone.brd", "c.brd"}, {"w1", "w2", "w3"}, {"0:s:0", "1:s:0", "2:s:0"});
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex index;
  try {
    index.LoadIndex(stgRes, dataDir, ReadBuf);
    FAIL() << "no error";
  } catch (const EIndexError& e) {
    EXPECT_NE(std::string(e.what()).find("the installed dictionary gone.brd could not be loaded"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(index.Dicts().size(), 1U);
  EXPECT_TRUE(index.slWord().empty());
  ASSERT_FALSE(index.refusal().empty());
  EXPECT_NE(index.refusal().find("gone.brd"), std::string::npos);

  writeDict("d.brd", {"лес"});
  auto expectRefused = [&](const std::function<void()>& change) {
    try {
      change();
      ADD_FAILURE() << "not refused";
    } catch (const EIndexError& e) {
      EXPECT_EQ(std::string(e.what()), index.refusal());
    }
  };
  expectRefused([&] { index.AddDict(dataDir / "d.brd", ReadBuf); });
  expectRefused([&] { index.InstallDict(0, none); });
  expectRefused([&] { index.RemoveDict(0, none); });
  expectRefused([&] { index.SaveIndex(stgRes, none); });
  EXPECT_EQ(index.Dicts().size(), 1U);
  EXPECT_EQ(readLines("items.dat", &stgRes), (Lines{"w1", "w2", "w3"}));
  EXPECT_EQ(readLines("addeddicts.dat", &stgRes), (Lines{"a.brd", "gone.brd", "c.brd"}));
}

TEST_F(IndexStore, StoredListsOfDifferentLengthFailTheLoad) {
  writeResource({}, {"w1", "w2"}, {"0:s:0"});
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex index;
  EXPECT_THROW(index.LoadIndex(stgRes, dataDir, ReadBuf), EIndexError);
  EXPECT_TRUE(index.slWord().empty());
  EXPECT_FALSE(index.refusal().empty());
}

TEST_F(IndexStore, DamagedOrMissingStoredListsFailTheLoadAfterThePackages) {
  writeDict("a.brd", {"дом"});
  writeResource({"a.brd"}, {"w1"}, {"0:s:0"});
  {
    storage::CompoundFile file = storage::CompoundFile::open(resource);
    storage::WriteStream(file, "index.dat", std::string("not zlib"), false);
  }
  {
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
    WordIndex index;
    try {
      index.LoadIndex(stgRes, dataDir, ReadBuf);
      FAIL() << "no error";
    } catch (const storage::EDecompressionError& e) {
      EXPECT_EQ(std::string(e.what()),
                "Error: vrbx.pde, stream \"index.dat\": compressed data is corrupt");
    }
    EXPECT_EQ(index.Dicts().size(), 1U);
    EXPECT_TRUE(index.slWord().empty());
    EXPECT_FALSE(index.refusal().empty());
  }
  // With a package missing as well, the package is what the load reports, as it comes first.
  std::filesystem::remove(resource);
  writePackage(resource, {{"addeddicts.dat", joinLines({"gone.brd"})}, {"history.dat", ""}});
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex index;
  try {
    index.LoadIndex(stgRes, dataDir, ReadBuf);
    FAIL() << "no error";
  } catch (const EIndexError& e) {
    EXPECT_NE(std::string(e.what()).find("gone.brd"), std::string::npos) << e.what();
  }
}

TEST_F(IndexStore, DictionaryListNamingAPathOutsideTheDataFolderFailsTheLoad) {
  writeDict("a.brd", {"дом"});
  writeResource({"../vrbx.pde"}, {}, {});
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex index;
  EXPECT_THROW(index.LoadIndex(stgRes, dataDir, ReadBuf), EIndexError);
  EXPECT_TRUE(index.Dicts().empty());
}

// A write that fails part way leaves all three streams as they were, not the first ones new.
// An index saved beyond what loading reads bricked every later start: the one limit is checked
// by the merge, by the save before it writes anything, and by the load.
TEST_F(IndexStore, NeverSavesAnIndexItCannotLoadAgain) {
  writeDict("a.brd", {"дом", "кот"});
  writeDict("b.brd", {"лес", "луг", "мост"});
  writeResource({}, {}, {});
  // "0:s:0" and "0:s:1" with their CR LF: 14 bytes of "index.dat".
  const size_t limit = 14;
  {
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
    WordIndex index;
    index.setStoredListLimit(limit);
    index.LoadIndex(stgRes, dataDir, ReadBuf);
    index.AddDict(dataDir / "a.brd", ReadBuf);
    index.InstallDict(0, none);
    index.SaveIndex(stgRes, none);

    index.AddDict(dataDir / "b.brd", ReadBuf);
    try {
      index.InstallDict(1, none);
      FAIL() << "merged past the limit";
    } catch (const EIndexError& e) {
      EXPECT_EQ(
          std::string(e.what()).rfind("b.brd is not installed: the stored index would grow", 0), 0U)
          << e.what();
    }
    EXPECT_EQ(index.slWord().size(), 2U);
    EXPECT_EQ(index.slIndex(), (Lines{"0:s:0", "0:s:1"}));
  }
  // What was saved at the limit loads again.
  {
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
    WordIndex index;
    index.setStoredListLimit(limit);
    index.LoadIndex(stgRes, dataDir, ReadBuf);
    EXPECT_EQ(index.slIndex(), (Lines{"0:s:0", "0:s:1"}));
    // Lists grown past the limit by other means are not written, not even in part.
    index.assignLists({"a", "b", "c"}, {"0:s:0", "0:s:1", "0:s:0"});
    EXPECT_THROW(index.SaveIndex(stgRes, none), EIndexError);
    EXPECT_EQ(readLines("index.dat", &stgRes), (Lines{"0:s:0", "0:s:1"}));
    EXPECT_EQ(readLines("items.dat", &stgRes).size(), 2U);
  }
  // A stored list beyond the limit fails the load with the decompression error.
  std::filesystem::remove(resource);
  writeResource({}, {"a", "b", "c"}, {"0:s:0", "0:s:1", "0:s:0"});
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex index;
  index.setStoredListLimit(limit);
  EXPECT_THROW(index.LoadIndex(stgRes, dataDir, ReadBuf), storage::EDecompressionError);
  EXPECT_EQ(storedTextSize(PackedLines(StringList{"ab", ""})), 6U);
  EXPECT_GE(kStoredListLimit, size_t{20000000} * 50);
}

TEST_F(IndexStore, SaveIndexThatFailsChangesNoStream) {
  writePackage(resource, {{"items.dat", joinLines({"old"})}, {"index.dat", joinLines({"0:s:0"})}});
  {
    // "addeddicts.dat" is a storage here, so the third write of the save fails.
    storage::CompoundFile file = storage::CompoundFile::open(resource);
    file.root().createStorage(u"addeddicts.dat");
    storage::WriteStream(file, "history.dat", std::string(), true);
  }
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex index;
  index.appendSlot(testing::makeDict("a.brd", testing::ws({"новое"})));
  index.InstallDict(0, none);
  EXPECT_THROW(index.SaveIndex(stgRes, none), storage::EStorageError);
  EXPECT_EQ(readLines("items.dat", &stgRes), (Lines{"old"}));
  EXPECT_EQ(readLines("index.dat", &stgRes), (Lines{"0:s:0"}));
}

// The process is killed at every write, sync or truncation of the save in turn; whatever the
// moment, the package must then hold the old three streams or the new three, never a mixture.
TEST_F(IndexStore, SaveIndexCrashLeavesOldOrNewIndexWhole) {
  writeDict("a.brd", {"дом", "кот"});
  writeDict("b.brd", {"лес", "кот"});
  writeResource({"a.brd"}, {testing::w("дом"), testing::w("кот")}, {"0:s:0", "0:s:1"});
  const std::filesystem::path pristine = app.path() / "pristine.pde";
  std::filesystem::copy_file(resource, pristine);
  const Lines oldWords = readLines("items.dat");
  const Lines oldEntries = readLines("index.dat");
  const Lines oldList = readLines("addeddicts.dat");

  bool finished = false;
  int crashes = 0;
  for (uint64_t n = 1; n < 400 && !finished; ++n) {
    std::filesystem::copy_file(pristine, resource,
                               std::filesystem::copy_options::overwrite_existing);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
        storage::MemoryStream buffer;
        WordIndex index;
        NoProgress quiet;
        index.LoadIndex(stgRes, dataDir, buffer);
        index.AddDict(dataDir / "b.brd", buffer);
        index.InstallDict(1, quiet);
        storage::detail::armFault(n);
        index.SaveIndex(stgRes, quiet);
      } catch (...) {
        std::_Exit(3);
      }
      std::_Exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const int code = WEXITSTATUS(status);
    ASSERT_TRUE(code == 0 || code == storage::detail::kFaultExitCode) << "exit " << code;
    finished = code == 0;
    crashes += code == 0 ? 0 : 1;

    const Lines words = readLines("items.dat");
    const Lines entries = readLines("index.dat");
    const Lines list = readLines("addeddicts.dat");
    if (list == oldList) {
      EXPECT_EQ(words, oldWords) << "crash at " << n;
      EXPECT_EQ(entries, oldEntries) << "crash at " << n;
    } else {
      EXPECT_EQ(list, (Lines{"a.brd", "b.brd"})) << "crash at " << n;
      EXPECT_EQ(testing::us(words), (Lines{"дом", "кот", "лес"})) << "crash at " << n;
      EXPECT_EQ(entries, (Lines{"0:s:0", "0:s:1|1:s:1", "1:s:0"})) << "crash at " << n;
    }
  }
  EXPECT_TRUE(finished);
  EXPECT_GT(crashes, 0);
}

// Answers the start-up question from a script and records each question: the file name and
// the reason, in UTF-8.
class ScriptedAnswers final : public UnopenedPackageQuestion {
 public:
  explicit ScriptedAnswers(std::vector<UnopenedPackageAnswer> answers)
      : m_answers(std::move(answers)) {}

  UnopenedPackageAnswer packageNotOpened(const std::string& fileName,
                                         const Error& reason) override {
    asked.push_back(cp1251::toUtf8(fileName));
    reasons.emplace_back(reason.what());
    return m_answers.at(asked.size() - 1);
  }

  Lines asked;
  Lines reasons;

 private:
  std::vector<UnopenedPackageAnswer> m_answers;
};

// Slots 0 a.brd, 1 gone.brd (no file), 2 bad.brd (not a compound file), 3 c.brd; «дом» is
// known to 0 and 1, «лес» only to 1, «пух» only to 2.
class UnopenedPackages : public IndexStore {
 protected:
  UnopenedPackages() {
    writeDict("a.brd", {"дом"});
    writeDict("c.brd", {"кот"});
    std::ofstream(dataDir / "bad.brd", std::ios::binary) << "not a package";
    writeResource({"a.brd", "gone.brd", "bad.brd", "c.brd"},
                  testing::ws({"дом", "кот", "лес", "пух"}),
                  {"0:s:0|1:s:0", "3:s:0", "1:s:1", "2:s:0"}, testing::w("дом\r\n"));
  }

  const Lines storedWords = testing::ws({"дом", "кот", "лес", "пух"});
};

TEST_F(UnopenedPackages, EachIsAskedAboutInSlotOrderAndKeptWithItsWords) {
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex index;
  ScriptedAnswers answers({UnopenedPackageAnswer::kKeepForRun, UnopenedPackageAnswer::kKeepForRun});
  index.LoadIndex(stgRes, dataDir, ReadBuf, {}, {&answers, nullptr});
  EXPECT_EQ(answers.asked, (Lines{"gone.brd", "bad.brd"}));
  EXPECT_NE(answers.reasons[0].find("gone.brd"), std::string::npos) << answers.reasons[0];
  EXPECT_NE(answers.reasons[1].find("bad.brd"), std::string::npos) << answers.reasons[1];

  ASSERT_EQ(index.Dicts().size(), 4U);
  EXPECT_FALSE(index.Dicts()[0].isUnopened());
  EXPECT_TRUE(index.Dicts()[1].isUnopened());
  EXPECT_EQ(index.Dicts()[1].FileName, "gone.brd");
  EXPECT_TRUE(index.Dicts()[2].isUnopened());
  EXPECT_EQ(index.Dicts()[3].ShortTitle, "c.brd");
  EXPECT_EQ(index.slWord(), storedWords);
  EXPECT_TRUE(index.refusal().empty());
  EXPECT_EQ(index.slHistory(), (Lines{testing::w("дом")}));

  // The index is whole, so it may change; a save keeps naming the kept packages, whose files
  // the next start looks for again.
  writeDict("d.brd", {"аист"});
  index.AddDict(dataDir / "d.brd", ReadBuf);
  index.InstallDict(4, none);
  index.SaveIndex(stgRes, none);
  EXPECT_EQ(readLines("addeddicts.dat", &stgRes),
            (Lines{"a.brd", "gone.brd", "bad.brd", "c.brd", "d.brd"}));

  // Taking a kept one out needs only the index entries.
  testing::RecordingProgress progress;
  EXPECT_TRUE(index.RemoveDict(1, progress));
  EXPECT_EQ(progress.only("status")[1], "Удаление словаря: gone.brd");
  EXPECT_EQ(testing::us(index.slWord()), (Lines{"аист", "дом", "кот", "пух"}));
  EXPECT_EQ(index.slIndex()[1], "0:s:0");
  EXPECT_TRUE(index.Dicts()[1].isEmptySlot());
}

TEST_F(UnopenedPackages, RemoveAnswerTakesTheDictionaryOutAndSavesAtOnce) {
  storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
  WordIndex index;
  ScriptedAnswers answers({UnopenedPackageAnswer::kRemove, UnopenedPackageAnswer::kKeepForRun});
  testing::RecordingProgress progress;
  index.LoadIndex(stgRes, dataDir, ReadBuf, {}, {&answers, &progress});
  const Lines statuses = progress.only("status");
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Удаление словаря: gone.brd"),
            statuses.end());
  EXPECT_EQ(statuses.back(), "");  // SaveIndex has run to its end
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Сохранение результатов..."),
            statuses.end());

  EXPECT_EQ(testing::us(index.slWord()), (Lines{"дом", "кот", "пух"}));
  EXPECT_EQ(index.slIndex().toStringList(), (Lines{"0:s:0", "3:s:0", "2:s:0"}));
  ASSERT_EQ(index.Dicts().size(), 4U);
  EXPECT_TRUE(index.Dicts()[1].isEmptySlot());
  EXPECT_TRUE(index.Dicts()[2].isUnopened());
  EXPECT_EQ(readLines("addeddicts.dat", &stgRes), (Lines{"a.brd", "", "bad.brd", "c.brd"}));
  EXPECT_EQ(testing::us(readLines("items.dat", &stgRes)), (Lines{"дом", "кот", "пух"}));
  EXPECT_EQ(readLines("index.dat", &stgRes), (Lines{"0:s:0", "3:s:0", "2:s:0"}));
}

TEST_F(UnopenedPackages, ExitAnswerStopsTheLoadAndKeepsEverythingStored) {
  {
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
    WordIndex index;
    ScriptedAnswers answers({UnopenedPackageAnswer::kKeepForRun, UnopenedPackageAnswer::kExit});
    EXPECT_THROW(index.LoadIndex(stgRes, dataDir, ReadBuf, {}, {&answers, nullptr}),
                 ELoadAbandoned);
    EXPECT_EQ(answers.asked, (Lines{"gone.brd", "bad.brd"}));
    EXPECT_FALSE(index.refusal().empty());
    EXPECT_THROW(index.SaveIndex(stgRes, none), EIndexError);
    // The history was read before the packages: saving it at exit keeps it whole.
    index.SaveHistory(stgRes);
  }
  EXPECT_EQ(readLines("history.dat"), (Lines{testing::w("дом")}));
  EXPECT_EQ(readLines("addeddicts.dat"), (Lines{"a.brd", "gone.brd", "bad.brd", "c.brd"}));
  EXPECT_EQ(readLines("items.dat"), storedWords);
}

// A load that fails must not let the history of this run replace the stored one, whether the
// failure came after the history was read or before it could be.
TEST_F(IndexStore, HistoryIsNeverSavedShorterAfterAFailedLoad) {
  writeResource({"a.brd"}, {}, {}, testing::w("старый\r\nзапрос\r\n"));
  {
    storage::CompoundFile file = storage::CompoundFile::open(resource);
    storage::WriteStream(file, "addeddicts.dat", std::string("not zlib"), false);
  }
  {
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
    WordIndex index;
    EXPECT_THROW(index.LoadIndex(stgRes, dataDir, ReadBuf), storage::EDecompressionError);
    EXPECT_EQ(index.slHistory(), testing::ws({"старый", "запрос"}));
    index.slHistory().insert(index.slHistory().begin(), testing::w("новый"));
    index.SaveHistory(stgRes);
  }
  EXPECT_EQ(readLines("history.dat"), testing::ws({"новый", "старый", "запрос"}));

  // A history that cannot be read is left as it is on disk: writing this run's queries over it
  // would lose whatever of it can still be recovered.
  {
    storage::CompoundFile file = storage::CompoundFile::open(resource);
    storage::WriteStream(file, "history.dat", std::string("not zlib"), false);
  }
  {
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
    WordIndex index;
    EXPECT_THROW(index.LoadIndex(stgRes, dataDir, ReadBuf), storage::EDecompressionError);
    index.slHistory() = {testing::w("новый")};
    index.SaveHistory(stgRes);
    storage::ReadStream(stgRes, "history.dat", ReadBuf, storage::kPackageMode, false);
    EXPECT_EQ(std::string(ReadBuf.bytes()), "not zlib");
  }
  // Nor is it written by a run that never loaded the index.
  std::filesystem::remove(resource);
  writeResource({}, {}, {}, testing::w("старый\r\n"));
  {
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource);
    WordIndex index;
    index.slHistory() = {testing::w("новый")};
    index.SaveHistory(stgRes);
  }
  EXPECT_EQ(readLines("history.dat"), (Lines{testing::w("старый")}));
}

}  // namespace
}  // namespace verbalon::index
