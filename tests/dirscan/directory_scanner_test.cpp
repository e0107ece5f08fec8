#include "dirscan/directory_scanner.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_folder.h"

namespace verbalon::dirscan {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

// The tests' temporary folder, with the files and folders a scan walks. Folders made unreadable
// by a test must be opened again before the folder can be removed.
class TempFolder : public verbalon::testing::TempFolder {
 public:
  TempFolder() = default;
  ~TempFolder() { chmodAll(path()); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string str() const { return path().string(); }

  fs::path file(const std::string& relative) const {
    const fs::path made = path() / relative;
    fs::create_directories(made.parent_path());
    std::ofstream(made) << "x";
    return made;
  }
  fs::path folder(const std::string& relative) const {
    const fs::path made = path() / relative;
    fs::create_directories(made);
    return made;
  }

 private:
  static void chmodAll(const fs::path& folder) {
    std::error_code ignored;
    fs::permissions(folder, fs::perms::owner_all, ignored);
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
      if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) chmodAll(entry.path());
    }
  }
};

// Records what a scanner reports: announced folders, and accepted files as "folder|name".
struct Recorder {
  std::vector<std::string> dirs;
  std::vector<std::string> files;
  std::vector<std::string> events;  // both, in the order raised
  std::vector<std::string> questions;
  std::vector<FindRecord> entries;

  void attach(TCustomDirectoryScanner& scanner) {
    scanner.OnDir = [this](TCustomDirectoryScanner&, const fs::path& folder) {
      dirs.push_back(folder.string());
      events.push_back("dir " + folder.string());
    };
    scanner.OnFile = [this](TCustomDirectoryScanner&, const fs::path& folder,
                            const FindRecord& entry, bool&) {
      files.push_back(folder.string() + "|" + entry.name);
      events.push_back("file " + entry.name);
      entries.push_back(entry);
    };
  }
  void answer(TCustomDirectoryScanner& scanner, bool yes) {
    scanner.OnQuestion = [this, yes](const std::string& caption, const std::string& text) {
      questions.push_back(caption + "|" + text);
      return yes;
    };
  }
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const FindRecord& entry : entries)
      result.push_back(entry.name);
    return result;
  }
};

std::string question(const std::string& message) {
  return "Warning|Can't replace file contetn due to error:\r\n\r\n" + message +
         "\r\n\r\nContinue processing ?";
}

int openDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

void setLastWrite(const fs::path& path, std::int64_t seconds, long nanoseconds) {
  const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(DirectoryScanner, IgnoresOneTrailingSeparatorAndShapesFolderNames) {
  TempFolder temp;
  temp.file("a.brd");
  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.attach(scanner);

  EXPECT_TRUE(scanner.Scan(temp.str() + "/"));
  EXPECT_THAT(recorder.dirs, ElementsAre(temp.str() + "/"));
  EXPECT_THAT(recorder.files, ElementsAre(temp.str() + "|a.brd"));
  EXPECT_EQ(scanner.Count(), 1);

  // Only one separator goes; the rest is the file system's business.
  recorder = {};
  recorder.attach(scanner);
  EXPECT_TRUE(scanner.Scan(temp.str() + "//"));
  EXPECT_THAT(recorder.dirs, ElementsAre(temp.str() + "//"));
  EXPECT_EQ(scanner.Count(), 1);
}

TEST(DirectoryScanner, RootFolderKeepsPathsAbsolute) {
  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.attach(scanner);
  scanner.Recursive = false;
  scanner.Mask = "\\A\\z";  // no file name is empty
  EXPECT_TRUE(scanner.Scan("/"));
  EXPECT_THAT(recorder.dirs, ElementsAre("/"));

  TDirectoryScanner collector;
  bool stop = false;
  FindRecord entry;
  entry.name = "tmp";
  collector.AddFoundFile(collector, "", entry, stop);
  EXPECT_EQ(collector.GetItem(0).FileName, fs::path("/tmp"));
}

TEST(DirectoryScanner, EmptyPathNamesNoFolder) {
  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.attach(scanner);
  scanner.Mask = "";
  EXPECT_TRUE(scanner.Scan(""));
  EXPECT_THAT(recorder.dirs, IsEmpty());
  EXPECT_EQ(scanner.Count(), 0);
}

TEST(DirectoryScanner, MissingFolderCountsAsEmpty) {
  TempFolder temp;
  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.attach(scanner);
  EXPECT_TRUE(scanner.Scan(temp.path() / "missing"));
  EXPECT_EQ(scanner.Count(), 0);
  EXPECT_THAT(recorder.files, IsEmpty());
  EXPECT_THAT(recorder.dirs, ElementsAre(temp.str() + "/missing/"));
}

TEST(DirectoryScanner, UnreadableFolderCountsAsEmptyAndTheWalkGoesOn) {
  TempFolder temp;
  temp.file("locked/hidden.brd");
  temp.file("open/seen.brd");
  // Permissions do not bind root, so the scan runs in a child process as nobody.
  ASSERT_EQ(chmod(temp.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod((temp.path() / "open").c_str(), 0755), 0);
  ASSERT_EQ(chmod((temp.path() / "locked").c_str(), 0), 0);
  auto scan = [&temp] {
    TCustomDirectoryScanner scanner;
    Recorder recorder;
    recorder.attach(scanner);
    const bool ran = scanner.Scan(temp.path());
    std::sort(recorder.dirs.begin(), recorder.dirs.end());
    return ran && recorder.names() == std::vector<std::string>{"seen.brd"} &&
           recorder.dirs == std::vector<std::string>{temp.str() + "/", temp.str() + "/locked/",
                                                     temp.str() + "/open/"};
  };
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(2);
        std::_Exit(scan() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(DirectoryScanner, RecursionIsASwitch) {
  TempFolder temp;
  temp.file("top.brd");
  temp.file("sub/inner.brd");
  temp.file("sub/deeper/deepest.brd");
  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.attach(scanner);
  EXPECT_TRUE(scanner.Recursive);

  scanner.Recursive = false;
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_THAT(recorder.files, ElementsAre(temp.str() + "|top.brd"));
  EXPECT_THAT(recorder.dirs, ElementsAre(temp.str() + "/"));

  recorder = {};
  recorder.attach(scanner);
  scanner.Recursive = true;
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_EQ(scanner.Count(), 3);
  EXPECT_THAT(recorder.files,
              UnorderedElementsAre(temp.str() + "|top.brd", temp.str() + "/sub|inner.brd",
                                   temp.str() + "/sub/deeper|deepest.brd"));
  EXPECT_THAT(recorder.dirs, UnorderedElementsAre(temp.str() + "/", temp.str() + "/sub/",
                                                  temp.str() + "/sub/deeper/"));
}

TEST(DirectoryScanner, MaskIsFoundAnywhereInFileNamesWithCaseSignificant) {
  TempFolder temp;
  temp.file("a.brd");
  temp.file("b.BRD");
  temp.file("c.brd.old");
  temp.file("dxbrd");
  temp.folder("x.brd");
  temp.file("x.brd/inner.txt");
  for (bool recursive : {false, true}) {
    TCustomDirectoryScanner scanner;
    Recorder recorder;
    recorder.attach(scanner);
    scanner.Recursive = recursive;
    scanner.Mask = "\\.brd";
    EXPECT_TRUE(scanner.Scan(temp.path()));
    EXPECT_THAT(recorder.names(), UnorderedElementsAre("a.brd", "c.brd.old"));
    EXPECT_EQ(scanner.Count(), 2);
  }
}

TEST(DirectoryScanner, MaskTakesPerlSyntax) {
  TempFolder temp;
  temp.file("dict01.brd");
  temp.file("dict1.brd");
  temp.file("xdict02.brd");
  temp.file("DICT03.brd");
  temp.file(".hidden");
  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.attach(scanner);

  scanner.Mask = "^dict\\d{2}\\.brd$";
  scanner.Scan(temp.path());
  EXPECT_THAT(recorder.names(), ElementsAre("dict01.brd"));

  recorder.entries.clear();
  scanner.Mask = "(?i)^dict\\d{2}";
  scanner.Scan(temp.path());
  EXPECT_THAT(recorder.names(), UnorderedElementsAre("dict01.brd", "DICT03.brd"));

  recorder.entries.clear();
  scanner.Mask = "";
  scanner.Scan(temp.path());
  EXPECT_EQ(scanner.Count(), 5);
  EXPECT_THAT(recorder.names(), ::testing::Contains(".hidden"));
}

TEST(DirectoryScanner, MatchesUtf8NamesCharacterByCharacter) {
  TempFolder temp;
  temp.file("\xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xB0\xD1\x80\xD1\x8C.brd");  // "словарь.brd"
  temp.file("\xFF\xFE.brd");                                                  // not UTF-8 at all
  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.attach(scanner);

  scanner.Mask = "^.{7}\\.brd$";
  scanner.Scan(temp.path());
  EXPECT_EQ(scanner.Count(), 1);

  scanner.Mask = "\xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2";  // "слов"
  scanner.Scan(temp.path());
  EXPECT_EQ(scanner.Count(), 1);

  scanner.Mask = "\\.brd";
  scanner.Scan(temp.path());
  EXPECT_EQ(scanner.Count(), 2);
}

TEST(DirectoryScanner, StopFromOnFileEndsTheWholeWalk) {
  TempFolder temp;
  for (const char* name : {"a.brd", "b.brd", "c.brd"})
    temp.file(name);
  TCustomDirectoryScanner scanner;
  int calls = 0;
  scanner.OnFile = [&calls](TCustomDirectoryScanner&, const fs::path&, const FindRecord&,
                            bool& stop) {
    ++calls;
    stop = true;
  };
  EXPECT_FALSE(scanner.Scan(temp.path()));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(scanner.Count(), 1);

  // A stop three levels down ends the loops of every folder above it.
  TempFolder deep;
  for (int i = 0; i < 20; ++i)
    deep.file("top" + std::to_string(i) + ".txt");
  deep.file("a/b/c/stop.brd");
  for (int i = 0; i < 20; ++i)
    deep.file("a/b/c/after" + std::to_string(i) + ".txt");
  deep.file("a/b/sibling/late.txt");
  Recorder recorder;
  recorder.attach(scanner);
  scanner.OnFile = [&recorder](TCustomDirectoryScanner&, const fs::path&, const FindRecord& entry,
                               bool& stop) {
    recorder.events.push_back("file " + entry.name);
    stop = entry.name == "stop.brd";
  };
  EXPECT_FALSE(scanner.Scan(deep.path()));
  EXPECT_EQ(recorder.events.back(), "file stop.brd");
}

TEST(DirectoryScanner, StopFromOnProgressEndsTheWalk) {
  TempFolder temp;
  for (int i = 0; i < 10; ++i)
    temp.file("f" + std::to_string(i) + ".brd");
  TCustomDirectoryScanner scanner;
  int progress = 0;
  scanner.OnProgress = [&progress](TCustomDirectoryScanner&, bool& stop) {
    ++progress;
    stop = progress == 3;
  };
  EXPECT_FALSE(scanner.Scan(temp.path()));
  EXPECT_EQ(progress, 3);
  EXPECT_LE(scanner.Count(), 3);

  // Progress comes after every entry: the ten files, "." and "..".
  progress = -100;
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_EQ(progress, -100 + 12);
  EXPECT_EQ(scanner.Count(), 10);
}

TEST(DirectoryScanner, HandlerErrorAsksWhetherToGoOn) {
  TempFolder temp;
  for (const char* name : {"a.brd", "b.brd", "c.brd", "d.brd"})
    temp.file(name);
  auto failOnB = [](TCustomDirectoryScanner&, const fs::path&, const FindRecord& entry, bool&) {
    if (entry.name == "b.brd") throw Error("b.brd: Ошибка");  // messages are UTF-8
  };

  TCustomDirectoryScanner scanner;
  Recorder yes;
  yes.answer(scanner, true);
  int calls = 0;
  scanner.OnFile = [&](TCustomDirectoryScanner& s, const fs::path& f, const FindRecord& e,
                       bool& stop) {
    ++calls;
    failOnB(s, f, e, stop);
  };
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(scanner.Count(), 3);  // the failed file is not counted
  EXPECT_THAT(
      yes.questions,
      ElementsAre(question("b.brd: \xCE\xF8\xE8\xE1\xEA\xE0")));  // the question is Windows-1251

  Recorder no;
  no.answer(scanner, false);
  std::vector<std::string> after;
  bool failed = false;
  scanner.OnFile = [&](TCustomDirectoryScanner& s, const fs::path& f, const FindRecord& e,
                       bool& stop) {
    if (failed) after.push_back(e.name);
    failed = failed || e.name == "b.brd";
    failOnB(s, f, e, stop);
  };
  EXPECT_FALSE(scanner.Scan(temp.path()));
  EXPECT_THAT(no.questions, ::testing::SizeIs(1));
  EXPECT_THAT(after, IsEmpty());
}

TEST(DirectoryScanner, ErrorLeavesScanWhenNobodyCanBeAskedAndClosesEveryFolder) {
  TempFolder temp;
  temp.file("a/b/c/x.brd");
  const int before = openDescriptors();
  TCustomDirectoryScanner scanner;
  scanner.OnFile = [](TCustomDirectoryScanner&, const fs::path&, const FindRecord&, bool&) {
    throw Error("deep failure");
  };
  EXPECT_THROW(scanner.Scan(temp.path()), Error);
  EXPECT_EQ(openDescriptors(), before);

  // Not the system's error type: never asked about, and it leaves at once.
  Recorder recorder;
  recorder.answer(scanner, true);
  scanner.OnFile = [](TCustomDirectoryScanner&, const fs::path&, const FindRecord&, bool&) {
    throw std::logic_error("not ours");
  };
  EXPECT_THROW(scanner.Scan(temp.path()), std::logic_error);
  EXPECT_THAT(recorder.questions, IsEmpty());
  EXPECT_EQ(openDescriptors(), before);
}

TEST(DirectoryScanner, OnDirErrorIsAskedAboutInTheParentFolderOnly) {
  TempFolder temp;
  temp.file("top.brd");
  temp.file("sub/inner.brd");
  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.attach(scanner);
  recorder.answer(scanner, true);
  const std::string top = temp.str() + "/";
  auto failOn = [&recorder](const std::string& which) {
    return [&recorder, which](TCustomDirectoryScanner&, const fs::path& folder) {
      recorder.dirs.push_back(folder.string());
      if (folder.string() == which) throw Error("cannot enter " + which);
    };
  };

  // A subfolder's error belongs to the entry that names it: asked about, and the walk goes on
  // without the subfolder's files.
  scanner.OnDir = failOn(top + "sub/");
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_THAT(recorder.names(), ElementsAre("top.brd"));
  EXPECT_THAT(recorder.questions, ElementsAre(question("cannot enter " + top + "sub/")));

  // The starting folder has no entry to blame: its error leaves Scan.
  recorder.questions.clear();
  scanner.OnDir = failOn(top);
  EXPECT_THROW(scanner.Scan(temp.path()), Error);
  EXPECT_THAT(recorder.questions, IsEmpty());
}

TEST(DirectoryScanner, InvalidMaskFailsAtEachFileInsideTheGuard) {
  TempFolder temp;
  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.answer(scanner, true);
  scanner.Mask = "\\.br(d";

  // Compiled at the first file: an empty folder never notices.
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_THAT(recorder.questions, IsEmpty());

  temp.file("a.brd");
  temp.file("b.brd");
  temp.folder("sub");
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_EQ(scanner.Count(), 0);
  const std::string text = question("mask \"\\.br(d\": missing closing parenthesis at offset 6");
  EXPECT_THAT(recorder.questions, ElementsAre(text, text));

  recorder.answer(scanner, false);
  recorder.questions.clear();
  EXPECT_FALSE(scanner.Scan(temp.path()));
  EXPECT_THAT(recorder.questions, ElementsAre(text));

  scanner.OnQuestion = nullptr;
  EXPECT_THROW(scanner.Scan(temp.path()), EMaskError);
}

TEST(DirectoryScanner, RunawayMaskIsAnErrorNotAHang) {
  TempFolder temp;
  temp.file(std::string(60, 'a') + "!");
  TCustomDirectoryScanner scanner;
  scanner.Mask = "^(a+)+$";
  EXPECT_THROW(scanner.Scan(temp.path()), EMaskError);
}

TEST(DirectoryScanner, WalksLinkedFoldersOnceAndNeverLoops) {
  TempFolder temp;
  temp.file("a/x.brd");
  fs::create_directory_symlink("..", temp.path() / "a" / "up");
  fs::create_directory_symlink("a", temp.path() / "b");
  fs::create_directory_symlink(".", temp.path() / "self");
  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.attach(scanner);
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_EQ(scanner.Count(), 1);
  EXPECT_THAT(recorder.names(), ElementsAre("x.brd"));
  EXPECT_EQ(recorder.dirs.size(), 2U);

  // A linked folder as the starting point is walked all the same.
  TempFolder other;
  fs::create_directory_symlink(temp.path() / "a", other.path() / "link");
  recorder = {};
  recorder.attach(scanner);
  EXPECT_TRUE(scanner.Scan(other.path() / "link"));
  EXPECT_THAT(recorder.files, ElementsAre(other.str() + "/link|x.brd"));
}

TEST(DirectoryScanner, AcceptsOnlyRegularFilesAndDescribesThem) {
  TempFolder temp;
  const fs::path real = temp.file("real.brd");
  fs::resize_file(real, 1234);
  setLastWrite(real, 946'728'000, 5'000'000);
  ASSERT_EQ(chmod(real.c_str(), 0444), 0);
  fs::create_symlink("real.brd", temp.path() / ".link.brd");
  fs::create_symlink("gone", temp.path() / "dangling.brd");
  fs::create_symlink("loop2.brd", temp.path() / "loop1.brd");
  fs::create_symlink("loop1.brd", temp.path() / "loop2.brd");
  ASSERT_EQ(mkfifo((temp.path() / "pipe.brd").c_str(), 0600), 0);

  TCustomDirectoryScanner scanner;
  Recorder recorder;
  recorder.attach(scanner);
  scanner.Mask = "\\.brd";
  EXPECT_TRUE(scanner.Scan(temp.path()));
  ASSERT_THAT(recorder.names(), UnorderedElementsAre("real.brd", ".link.brd"));
  for (const FindRecord& entry : recorder.entries) {
    EXPECT_EQ(entry.size, 1234U);
    EXPECT_FALSE(entry.isDirectory);
    EXPECT_EQ(entry.lastWrite, (FileTime{946'728'000, 5'000'000}));
    EXPECT_TRUE(entry.isReadOnly);
    EXPECT_EQ(entry.isSymlink, entry.name == ".link.brd");
    EXPECT_EQ(entry.isHidden, entry.name == ".link.brd");
  }
}

// Fixes the time zone for tests that look at local times, and puts the old one back.
class DirectoryScannerItems : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("TZ")) m_oldTz = old;
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  void TearDown() override {
    if (m_oldTz) {
      setenv("TZ", m_oldTz->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> m_oldTz;
};

TEST_F(DirectoryScannerItems, HoldFullPathAndLastWriteInTheOrderFound) {
  TempFolder temp;
  setLastWrite(temp.file("a.brd"), 946'728'000, 0);  // 1 January 2000, noon
  setLastWrite(temp.file("b.brd"), 0, 0);
  temp.file("sub/c.brd");
  temp.file("notes.txt");
  TDirectoryScanner scanner;
  scanner.Mask = "\\.brd";
  std::vector<fs::path> order;
  auto add = scanner.OnFile;
  scanner.OnFile = [&](TCustomDirectoryScanner& s, const fs::path& folder, const FindRecord& entry,
                       bool& stop) {
    order.push_back(folder.string() + "/" + entry.name);
    add(s, folder, entry, stop);
  };
  EXPECT_TRUE(scanner.Scan(temp.path()));
  ASSERT_EQ(scanner.Count(), 3);
  ASSERT_EQ(scanner.Items().size(), 3U);
  for (int i = 0; i < scanner.Count(); ++i) {
    const TDirectoryScannerItem& item = scanner.GetItem(i);
    EXPECT_EQ(item.FileName, order[static_cast<std::size_t>(i)]);
    if (item.FileName.filename() == "a.brd") {
      EXPECT_EQ(item.LastWrite, 36526.5);
    } else if (item.FileName.filename() == "b.brd") {
      EXPECT_EQ(item.LastWrite, 25569.0);
    }
  }
}

TEST_F(DirectoryScannerItems, KeepGrowingAcrossScansWhileCountStartsAgain) {
  TempFolder temp;
  temp.file("a.brd");
  temp.file("b.brd");
  TDirectoryScanner scanner;
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_EQ(scanner.Count(), 2);
  EXPECT_EQ(scanner.Items().size(), 4U);
}

TEST_F(DirectoryScannerItems, GetAndDeleteCheckTheIndex) {
  TempFolder temp;
  for (const char* name : {"a.brd", "b.brd", "c.brd"})
    temp.file(name);
  TDirectoryScanner scanner;
  scanner.Scan(temp.path());
  const fs::path first = scanner.GetItem(0).FileName;
  const fs::path last = scanner.GetItem(2).FileName;

  scanner.DeleteItem(1);
  ASSERT_EQ(scanner.Items().size(), 2U);
  EXPECT_EQ(scanner.GetItem(0).FileName, first);
  EXPECT_EQ(scanner.GetItem(1).FileName, last);

  EXPECT_THROW(scanner.GetItem(2), EItemIndexError);
  EXPECT_THROW(scanner.GetItem(-1), EItemIndexError);
  EXPECT_THROW(scanner.DeleteItem(2), EItemIndexError);
  EXPECT_THROW(scanner.DeleteItem(-1), EItemIndexError);
  try {
    scanner.GetItem(5);
  } catch (const EItemIndexError& error) {
    EXPECT_STREQ(error.what(), "scanner item index 5 out of range (2 items)");
  }
  EXPECT_EQ(scanner.Items().size(), 2U);
}

TEST_F(DirectoryScannerItems, FileGoneBeforeItsLookUpIsReportedNotInvented) {
  TempFolder temp;
  for (const char* name : {"a.brd", "b.brd", "c.brd"})
    temp.file(name);
  TDirectoryScanner scanner;
  Recorder recorder;
  recorder.answer(scanner, true);
  auto add = scanner.OnFile;
  scanner.OnFile = [&](TCustomDirectoryScanner& s, const fs::path& folder, const FindRecord& entry,
                       bool& stop) {
    if (entry.name == "b.brd") fs::remove(folder / entry.name);
    add(s, folder, entry, stop);
  };
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_EQ(scanner.Count(), 2);
  ASSERT_EQ(scanner.Items().size(), 2U);
  for (const TDirectoryScannerItem& item : scanner.Items())
    EXPECT_NE(item.FileName.filename(), "b.brd");
  EXPECT_THAT(recorder.questions,
              ElementsAre(question(temp.str() + "/b.brd: No such file or directory")));
}

TEST_F(DirectoryScannerItems, YieldSliceLetsOthersRunWhileCountIsAMultipleOf100) {
  TempFolder temp;
  for (int i = 0; i < 150; ++i)
    temp.file("f" + std::to_string(i) + ".brd");
  TDirectoryScanner scanner;
  int yields = 0;
  scanner.OnYield = [&yields] { ++yields; };

  // Nothing accepted: Count stays 0, so every entry yields, "." and ".." included.
  scanner.Mask = "nothing";
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_EQ(yields, 152);

  // All accepted: only the entry that brings Count to 100, and "." or ".." while Count is 0
  // or 100.
  yields = 0;
  scanner.Mask = "\\.brd";
  EXPECT_TRUE(scanner.Scan(temp.path()));
  EXPECT_EQ(scanner.Count(), 150);
  EXPECT_GE(yields, 1);
  EXPECT_LE(yields, 3);

  scanner.OnYield = nullptr;
  EXPECT_TRUE(scanner.Scan(temp.path()));
}

}  // namespace
}  // namespace verbalon::dirscan
