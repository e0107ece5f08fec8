#include "storage/storage.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "common/cp1251.h"

namespace verbalon::storage {
namespace {

namespace fs = std::filesystem;

// Windows-1251 text from a UTF-8 literal, so that tests read naturally.
std::string cp(std::string_view utf8) {
  return cp1251::fromUtf8(utf8);
}

std::string dictionaryText(size_t lines) {
  std::string text;
  for (size_t i = 0; i < lines; ++i)
    text += cp("слово ") + std::to_string(i) + "\r\n";
  return text;
}

std::string randomBytes(size_t n) {
  std::mt19937 rng(7);
  std::string bytes(n, '\0');
  for (char& c : bytes)
    c = static_cast<char>(rng() & 0xFF);
  return bytes;
}

class StorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() /
        ("verbalon-storage-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_path = m_dir / "words.brd";
    m_file.emplace(CompoundFile::create(m_path));
  }
  void TearDown() override {
    m_file.reset();
    fs::remove_all(m_dir);
  }

  const CompoundFile& file() const { return *m_file; }

  // Closes and opens the package again, so that a test sees what reached the disk, and proves
  // that nothing of an earlier operation still holds the file.
  void reopen() {
    m_file.reset();
    m_file.emplace(CompoundFile::open(m_path));
  }

  std::string read(std::string_view path, bool decompress = true) {
    MemoryStream dest;
    return ReadStream(file(), path, dest, kPackageMode, decompress).take();
  }

  // The bytes of a stream as the compound file holds them.
  uint64_t storedSize(std::u16string_view storage, std::u16string_view stream) {
    Storage parent = storage.empty() ? file().root() : file().root().openStorage(storage);
    return parent.openStream(stream).size();
  }

  fs::path m_dir;
  fs::path m_path;
  std::optional<CompoundFile> m_file;
};

uint32_t codeOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const EStorageError& e) {
    return e.code();
  }
  ADD_FAILURE() << "no EStorageError";
  return 0;
}

TEST(StoragePath, SplitsLikeLinesOfText) {
  EXPECT_EQ(splitStoragePath(""), StringList{});
  EXPECT_EQ(splitStoragePath("items.dat"), StringList{"items.dat"});
  EXPECT_EQ(splitStoragePath("templates\\default.html"), (StringList{"templates", "default.html"}));
  EXPECT_EQ(splitStoragePath("templates\\"), StringList{"templates"});
  EXPECT_EQ(splitStoragePath("a\\\\b"), (StringList{"a", "", "b"}));
  EXPECT_EQ(splitStoragePath("\\a"), (StringList{"", "a"}));
  EXPECT_EQ(splitStoragePath("a\\\\"), (StringList{"a", ""}));
}

TEST_F(StorageTest, WritesAndReadsCompressedStreamsAtNestedPaths) {
  file().root().createStorage(u"templates").createStorage(cp1251::toUtf16(cp("картинки")));
  const std::string page = dictionaryText(3000);
  WriteStream(file(), "items.dat", page, true);
  WriteStream(file(), cp("templates\\картинки\\обложка.gif"), randomBytes(70000), true);
  reopen();

  EXPECT_EQ(read("items.dat"), page);
  EXPECT_EQ(read(cp("templates\\картинки\\обложка.gif")), randomBytes(70000));
  // The names reach the compound file as UTF-16.
  Storage pictures = file().root().openStorage(u"templates").openStorage(u"картинки");
  EXPECT_NO_THROW(pictures.openStream(u"обложка.gif"));
  // Compressed on disk: a zlib stream at level 9.
  EXPECT_EQ(read("items.dat", false).substr(0, 2), "\x78\xDA");
  EXPECT_LT(storedSize(u"", u"items.dat"), page.size() / 2);
}

TEST_F(StorageTest, CopiesStreamsOfEveryLengthAroundTheChunkSizes) {
  // Reads go in chunks of 8096 bytes and writes in chunks of 65536; a length that is an exact
  // multiple must end with an empty read, not lose or repeat a chunk.
  for (size_t length :
       {size_t{0}, size_t{1}, size_t{8095}, size_t{8096}, size_t{8097}, size_t{3 * 8096},
        size_t{65535}, size_t{65536}, size_t{65537}, size_t{2 * 65536}, size_t{300001}}) {
    const std::string content = randomBytes(length);
    const std::string name = "raw" + std::to_string(length);
    WriteStream(file(), name, content, false);
    EXPECT_EQ(storedSize(u"", cp1251::toUtf16(name)), length);
    EXPECT_EQ(read(name, false), content) << length;
    WriteStream(file(), name + ".z", content, true);
    EXPECT_EQ(read(name + ".z"), content) << length;
  }
}

TEST_F(StorageTest, ReadsACompressedStreamThatEndsOnAChunkBoundary) {
  // Incompressible content: its zlib stream grows with it byte for byte, so a few steps find a
  // length whose stored size is exactly three read chunks.
  const size_t target = 3 * 8096;
  size_t length = target;
  std::string content;
  std::string stored;
  for (int step = 0; step < 20 && stored.size() != target; ++step) {
    content = randomBytes(length);
    stored = DeflateBuffer(content);
    length = length + target - stored.size();
  }
  ASSERT_EQ(stored.size(), target);
  WriteStream(file(), "items.dat", content, true);
  EXPECT_EQ(storedSize(u"", u"items.dat"), target);
  EXPECT_EQ(read("items.dat"), content);
}

TEST_F(StorageTest, ReadIgnoresBytesAfterTheZlibStream) {
  // What a writer that keeps a stream's old size leaves behind.
  const std::string text = dictionaryText(500);
  WriteStream(file(), "items.dat", DeflateBuffer(text) + randomBytes(100000), false);
  EXPECT_EQ(read("items.dat"), text);
}

TEST_F(StorageTest, EmptyContentIsStoredAsTheEmptyZlibStream) {
  WriteStream(file(), "history.dat", "", true);
  EXPECT_EQ(read("history.dat", false), std::string("\x78\xDA\x03\x00\x00\x00\x00\x01", 8));
  EXPECT_EQ(read("history.dat"), "");

  // A stream of no bytes at all reads as empty content too, not as damaged data.
  Stream empty = file().root().createStream(u"empty.dat");
  empty.commit();
  EXPECT_EQ(read("empty.dat"), "");
}

TEST_F(StorageTest, RewritingWithShorterContentLeavesNothingOfTheOld) {
  const std::string longer = randomBytes(200000);
  const std::string shorter = dictionaryText(10);
  WriteStream(file(), "history.dat", longer, true);
  WriteStream(file(), "history.dat", shorter, true);
  reopen();
  EXPECT_EQ(read("history.dat"), shorter);
  EXPECT_EQ(storedSize(u"", u"history.dat"), DeflateBuffer(shorter).size());

  WriteStream(file(), "raw.dat", longer, false);
  WriteStream(file(), "raw.dat", "abc", false);
  EXPECT_EQ(read("raw.dat", false), "abc");
}

TEST_F(StorageTest, WriteOverwritesAStreamWhoseNameDiffersOnlyInCase) {
  file().root().createStorage(u"sets");
  WriteStream(file(), "Items.DAT", "old", true);
  WriteStream(file(), cp("sets\\Мои Словари"), "old", true);

  WriteStream(file(), "items.dat", "new", true);
  WriteStream(file(), cp("sets\\МОИ СЛОВАРИ"), "new", true);
  WriteStream(file(), cp("SETS\\мои словари"), "newer", true);
  reopen();

  EXPECT_EQ(ListElements(file(), ""), (StringList{"sets", "Items.DAT"}));
  EXPECT_EQ(ListElements(file(), "sets"), StringList{cp("Мои Словари")});
  EXPECT_EQ(read("Items.DAT"), "new");
  EXPECT_EQ(read(cp("sets\\Мои Словари")), "newer");
}

TEST_F(StorageTest, TrailingSeparatorNamesTheSameElement) {
  file().root().createStorage(u"templates");
  WriteStream(file(), "templates\\memo.html\\", "<p>", true);
  EXPECT_EQ(read("templates\\memo.html"), "<p>");
  EXPECT_EQ(read("templates\\memo.html\\"), "<p>");
  EXPECT_EQ(ListElements(file(), "templates\\"), StringList{"memo.html"});
}

TEST_F(StorageTest, PathsWithEmptyNamesFindNothing) {
  file().root().createStorage(u"templates");
  WriteStream(file(), "templates\\memo.html", "<p>", true);
  EXPECT_THROW(read("\\templates\\memo.html"), EStorageError);
  EXPECT_THROW(read("templates\\\\memo.html"), EStorageError);
  EXPECT_THROW(WriteStream(file(), "templates\\\\memo.html", "x", true), EStorageError);
}

TEST_F(StorageTest, EmptyPathIsAnErrorBeforeAnythingIsOpened) {
  MemoryStream dest(std::string("stale"));
  EXPECT_EQ(codeOf([&] { ReadStream(file(), "", dest, kPackageMode, true); }),
            hresult::kInvalidName);
  EXPECT_EQ(dest.size(), 0u);
  EXPECT_EQ(codeOf([&] { WriteStream(file(), "", "x", true); }), hresult::kInvalidName);
  EXPECT_EQ(codeOf([&] { WriteStream(file(), "\\", "x", true); }), hresult::kInvalidName);
  try {
    WriteStream(file(), "", "x", true);
  } catch (const EStorageError& e) {
    EXPECT_NE(std::string(e.what()).find("words.brd"), std::string::npos) << e.what();
  }
}

TEST_F(StorageTest, MissingElementsRaiseAndLeaveTheDestinationEmpty) {
  WriteStream(file(), "items.dat", "x", true);
  MemoryStream dest(std::string("content of an earlier read"));
  EXPECT_EQ(codeOf([&] { ReadStream(file(), "index.dat", dest, kPackageMode, true); }),
            hresult::kFileNotFound);
  EXPECT_EQ(dest.size(), 0u);
  EXPECT_EQ(codeOf([&] { ReadStream(file(), "advert\\advert.db", dest, kPackageMode, true); }),
            hresult::kFileNotFound);
  // A stream on the way is no storage.
  EXPECT_EQ(codeOf([&] { read("items.dat\\x"); }), hresult::kFileNotFound);
}

TEST_F(StorageTest, WriteNeverCreatesStoragesOnThePath) {
  EXPECT_EQ(codeOf([&] { WriteStream(file(), "advert\\advert.db", "x", true); }),
            hresult::kFileNotFound);
  EXPECT_TRUE(ListElements(file(), "").empty());
}

TEST_F(StorageTest, WriteToTheNameOfAStorageFails) {
  file().root().createStorage(u"templates");
  EXPECT_THROW(WriteStream(file(), "TEMPLATES", "x", true), EStorageError);
  EXPECT_EQ(ListElements(file(), ""), StringList{"templates"});
}

TEST_F(StorageTest, ReadRejectsAModeThatCannotOpenAnInnerElement) {
  WriteStream(file(), "items.dat", "x", true);
  MemoryStream dest;
  EXPECT_EQ(codeOf([&] { ReadStream(file(), "items.dat", dest, kStgmReadWrite, true); }),
            hresult::kInvalidParameter);
  EXPECT_EQ(codeOf([&] { ReadStream(file(), "items.dat", dest, 0x13, true); }),
            hresult::kInvalidParameter);
  EXPECT_EQ(ReadStream(file(), "items.dat", dest, kStgmRead | kStgmShareExclusive, true).bytes(),
            "x");
}

TEST_F(StorageTest, DamagedStreamNamesTheFileAndTheStream) {
  file().root().createStorage(u"templates");
  std::string stored = DeflateBuffer(dictionaryText(100));
  stored[stored.size() / 2] = static_cast<char>(stored[stored.size() / 2] ^ 0x33);
  WriteStream(file(), "templates\\default.html", stored, false);
  WriteStream(file(), "short.dat", DeflateBuffer("abc").substr(0, 5), false);

  MemoryStream dest(std::string("stale"));
  try {
    ReadStream(file(), "templates\\default.html", dest, kPackageMode, true);
    ADD_FAILURE() << "no error";
  } catch (const EDecompressionError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Error: words.brd, stream \"templates\\default.html\": " + e.reason());
  }
  EXPECT_EQ(dest.size(), 0u);
  try {
    read("short.dat");
    ADD_FAILURE() << "no error";
  } catch (const EDecompressionError& e) {
    EXPECT_STREQ(e.what(), "Error: words.brd, stream \"short.dat\": compressed data is truncated");
  }
  // Every handle opened on the way is gone again: the file can be opened exclusively.
  EXPECT_NO_THROW(reopen());
}

TEST_F(StorageTest, HandlesAreReleasedAfterFailures) {
  file().root().createStorage(u"a").createStorage(u"b");
  EXPECT_THROW(read("a\\b\\missing"), EStorageError);
  EXPECT_THROW(WriteStream(file(), "a\\b\\c\\d", "x", true), EStorageError);
  EXPECT_THROW(ListElements(file(), "a\\b\\c"), EStorageError);
  m_file.reset();
  EXPECT_NO_THROW(CompoundFile::open(m_path));
}

TEST_F(StorageTest, AWriteThatFailsIsAnErrorAndChangesNothing) {
  WriteStream(file(), "history.dat", "old", true);
  m_file.reset();
  m_file.emplace(CompoundFile::open(m_path, Access::ReadOnly));
  EXPECT_THROW(WriteStream(file(), "history.dat", "new", true), EStorageError);
  EXPECT_THROW(WriteStream(file(), "new.dat", "new", true), EStorageError);
  reopen();
  EXPECT_EQ(read("history.dat"), "old");
  EXPECT_EQ(ListElements(file(), ""), StringList{"history.dat"});
}

TEST_F(StorageTest, ListElementsListsStreamsAndStoragesOfAStorage) {
  file().root().createStorage(u"templates").createStorage(u"img");
  WriteStream(file(), "templates\\default.html", "x", true);
  WriteStream(file(), "templates\\list.html", "x", true);
  WriteStream(file(), cp("Словарь.dat"), "x", true);
  reopen();

  StringList root = ListElements(file(), "");
  std::sort(root.begin(), root.end());
  EXPECT_EQ(root, (StringList{"templates", cp("Словарь.dat")}));
  StringList inner = ListElements(file(), "templates");
  std::sort(inner.begin(), inner.end());
  EXPECT_EQ(inner, (StringList{"default.html", "img", "list.html"}));
  EXPECT_TRUE(ListElements(file(), "templates\\img").empty());
  EXPECT_EQ(codeOf([&] { ListElements(file(), "templates\\list.html"); }), hresult::kFileNotFound);
}

TEST(MemoryStreams, CompressAndDecompressWorkFromAndToPositions) {
  MemoryStream source(std::string("first line\r\nsecond"));
  source.seek(5);
  MemoryStream compressed(std::string("head"));
  compressed.seek(4);
  CompressStream(source, compressed);
  EXPECT_EQ(source.position(), 0u);
  EXPECT_EQ(compressed.position(), compressed.size());

  compressed.seek(4);
  MemoryStream plain(std::string("kept:"));
  DecompressStream(compressed, plain);
  EXPECT_EQ(plain.bytes(), "kept:first line\r\nsecond");
  EXPECT_EQ(plain.position(), 0u);

  compressed.seek(compressed.size());
  DecompressStream(compressed, plain);
  EXPECT_EQ(plain.bytes(), "kept:first line\r\nsecond");

  compressed.seek(5);
  EXPECT_THROW(DecompressStream(compressed, plain), EDecompressionError);
  EXPECT_EQ(plain.bytes(), "kept:first line\r\nsecond");
}

TEST(MemoryStreams, StreamTextJoinsLinesWithoutTheLastBreak) {
  EXPECT_EQ(StreamText(MemoryStream()), "");
  EXPECT_EQ(StreamText(MemoryStream(std::string("a\nb\rc\r\n"))), "a\r\nb\r\nc");
  EXPECT_EQ(StreamText(MemoryStream(std::string("\r\n"))), "");
  EXPECT_EQ(StreamText(MemoryStream(std::string("a\r\n\r\n"))), "a\r\n");
  MemoryStream positioned(std::string("skip\nthis"));
  positioned.seek(5);
  EXPECT_EQ(StreamText(positioned), "this");
}

TEST(MemoryStreams, WriteBeyondTheEndFillsTheGapWithZeros) {
  MemoryStream stream(std::string("abcdef"));
  stream.seek(2);
  stream.write("XY");
  EXPECT_EQ(stream.bytes(), "abXYef");
  stream.seek(8);
  stream.write("Z");
  EXPECT_EQ(stream.bytes(), std::string("abXYef\0\0Z", 9));
  std::string buffer(4, '\0');
  stream.seek(7);
  EXPECT_EQ(stream.read(buffer), 2u);
  EXPECT_EQ(buffer.substr(0, 2), std::string("\0Z", 2));
}

}  // namespace
}  // namespace verbalon::storage
