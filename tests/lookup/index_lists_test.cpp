#include "lookup/index_lists.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/string_list.h"
#include "index/index_error.h"
#include "lookup/lookup_error.h"
#include "storage/storage.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

namespace verbalon::lookup {
namespace {

namespace fs = std::filesystem;
using verbalon::testing::TempFolder;

constexpr size_t kLimit = size_t{1} << 20;

StringList linesOf(const LineTable& table) {
  return table.toStringList();
}

// A resource package holding a word list and an index, and a cache file beside it.
class Package {
 public:
  Package(std::string_view words, std::string_view entries) {
    verbalon::testing::writePackage(
        path(), {{"items.dat", std::string(words)}, {"index.dat", std::string(entries)}});
  }
  fs::path path() const { return m_folder / "vrbx.pde"; }
  fs::path cache() const { return m_folder / "cache" / "app.lookup"; }
  const TempFolder& folder() const { return m_folder; }

  // The lists as a read-only command opens them.
  IndexLists open(const fs::path& cacheFile) const {
    const storage::CompoundFile stgRes =
        storage::CompoundFile::open(path(), storage::Access::ReadOnly);
    return IndexLists::open(stgRes, cacheFile, kLimit);
  }
  IndexLists open() const { return open(cache()); }

  void rewrite(const std::string& words, const std::string& entries) const {
    const storage::CompoundFile stgRes = storage::CompoundFile::open(path());
    storage::WriteStream(stgRes, "items.dat", words, true);
    storage::WriteStream(stgRes, "index.dat", entries, true);
  }

 private:
  TempFolder m_folder;
};

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void putBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

constexpr std::string_view kWords =
    "\xE0\xE1\r\n\xE4\xEE\xEC\r\nend";  // "аб", "дом", "end": no last break
constexpr std::string_view kEntries = "0:a:1\r\n0:a:2|1:b:0\r\n1:b:7\r\n";

TEST(IndexLists, MakesTheCacheOnceAndThenReadsTheSameListsFromIt) {
  const Package package(kWords, kEntries);
  const StringList words = splitLines(kWords);
  const StringList entries = splitLines(kEntries);
  {
    const IndexLists made = package.open();
    EXPECT_EQ(made.source(), ListSource::Made);
    EXPECT_EQ(linesOf(made.words()), words);
    EXPECT_EQ(linesOf(made.entries()), entries);
  }
  ASSERT_TRUE(fs::exists(package.cache()));
  const IndexLists cached = package.open();
  EXPECT_EQ(cached.source(), ListSource::Cache);
  EXPECT_EQ(linesOf(cached.words()), words);
  EXPECT_EQ(linesOf(cached.entries()), entries);
  // Nothing of the temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(package.cache().parent_path()),
                          fs::directory_iterator()),
            1);
}

TEST(IndexLists, EveryCommitOfThePackageMakesTheCacheStale) {
  const Package package(kWords, kEntries);
  package.open();
  // The same sizes as before: only the stamp tells the change.
  package.rewrite("\xE0\xE2\r\n\xE4\xEE\xEC\r\nend", "0:a:9\r\n0:a:2|1:b:0\r\n1:b:7\r\n");
  const IndexLists after = package.open();
  EXPECT_EQ(after.source(), ListSource::Made);
  EXPECT_EQ(after.words()[0], "\xE0\xE2");
  EXPECT_EQ(after.entries()[0], "0:a:9");
  EXPECT_EQ(package.open().source(), ListSource::Cache);
  // Emptied: a zero-length stream is an empty list.
  package.rewrite("", "");
  const IndexLists empty = package.open();
  EXPECT_EQ(empty.source(), ListSource::Made);
  EXPECT_TRUE(empty.words().empty());
  EXPECT_EQ(package.open().source(), ListSource::Cache);
}

TEST(IndexLists, IgnoresATruncatedOrForeignCacheAndMakesItAgain) {
  const Package package(kWords, kEntries);
  package.open();
  const std::string good = fileBytes(package.cache());
  std::vector<std::string> broken;
  for (size_t size : {size_t{0}, size_t{7}, size_t{100}, good.size() / 2, good.size() - 1}) {
    broken.push_back(good.substr(0, size));
  }
  broken.push_back(good + "x");                  // longer than its header says
  broken.push_back("garbage" + good.substr(7));  // another magic
  std::string otherStamp = good;
  otherStamp[20] = static_cast<char>(otherStamp[20] ^ 1);  // a stamp of another package
  broken.push_back(otherStamp);
  std::string hugeSection = good;
  for (size_t i = 128; i < 136; ++i) {
    hugeSection[i] = '\xFF';  // the word text's offset far outside the file
  }
  broken.push_back(hugeSection);
  for (const std::string& bytes : broken) {
    putBytes(package.cache(), bytes);
    const IndexLists lists = package.open();
    EXPECT_EQ(lists.source(), ListSource::Made) << bytes.size();
    EXPECT_EQ(linesOf(lists.words()), splitLines(kWords));
    EXPECT_EQ(fileBytes(package.cache()), good);
  }
}

TEST(IndexLists, ADamagedSpanRaisesWhenItsLineIsReadAndRemakeServesAgain) {
  const Package package(kWords, kEntries);
  package.open();
  std::string bytes = fileBytes(package.cache());
  // The first word span's length, right after the 168-byte header, now far beyond the text.
  for (size_t i = 172; i < 176; ++i) {
    bytes[i] = '\x7F';
  }
  putBytes(package.cache(), bytes);
  const storage::CompoundFile stgRes =
      storage::CompoundFile::open(package.path(), storage::Access::ReadOnly);
  const IndexLists damaged = IndexLists::open(stgRes, package.cache(), kLimit);
  ASSERT_EQ(damaged.source(), ListSource::Cache);
  EXPECT_EQ(damaged.words()[1], "\xE4\xEE\xEC");
  EXPECT_THROW(static_cast<void>(damaged.words()[0]), ELookupCacheError);
  const IndexLists again = IndexLists::remake(stgRes, package.cache(), kLimit);
  EXPECT_EQ(again.source(), ListSource::Made);
  EXPECT_EQ(linesOf(again.words()), splitLines(kWords));
  EXPECT_EQ(IndexLists::open(stgRes, package.cache(), kLimit).words()[0], "\xE0\xE1");
}

TEST(IndexLists, WithoutAWritableCacheFolderServesTheStreams) {
  const Package package(kWords, kEntries);
  // A file where the cache folder should be: nothing can be made below it.
  putBytes(package.folder() / "blocked", "");
  const IndexLists lists = package.open(package.folder() / "blocked" / "app.lookup");
  EXPECT_EQ(lists.source(), ListSource::Streams);
  EXPECT_EQ(linesOf(lists.words()), splitLines(kWords));
  EXPECT_EQ(linesOf(lists.entries()), splitLines(kEntries));
  EXPECT_EQ(package.open(fs::path()).source(), ListSource::Streams);
}

TEST(IndexLists, RefusesListsOfDifferentLengthsAndLeavesNoCache) {
  const Package package(kWords, "0:a:1\r\n");
  EXPECT_THROW(package.open(), index::EIndexError);
  EXPECT_FALSE(fs::exists(package.cache()));
}

// Restores an environment variable at the end of a test.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (m_old) {
      ::setenv(m_name, m_old->c_str(), 1);
    } else {
      ::unsetenv(m_name);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

TEST(CacheFileFor, NamesOneFileInTheUsersCacheFolderPerApplicationFolder) {
  const TempFolder folder;
  fs::create_directories(folder / "app" / "sub");
  {
    const ScopedVariable xdg("XDG_CACHE_HOME", (folder / "xdg").c_str());
    const fs::path file = cacheFileFor(folder / "app");
    EXPECT_EQ(file.parent_path(), folder / "xdg" / "verbalon");
    // Another spelling of the same folder, another folder.
    EXPECT_EQ(cacheFileFor(folder / "app" / "sub" / ".."), file);
    EXPECT_NE(cacheFileFor(folder / "app" / "sub"), file);
  }
  {
    // A relative XDG_CACHE_HOME is not a cache folder; HOME's ".cache" is taken instead.
    const ScopedVariable xdg("XDG_CACHE_HOME", "relative");
    const ScopedVariable home("HOME", (folder / "home").c_str());
    EXPECT_EQ(cacheFileFor(folder / "app").parent_path(), folder / "home" / ".cache" / "verbalon");
  }
  const ScopedVariable xdg("XDG_CACHE_HOME", nullptr);
  const ScopedVariable home("HOME", nullptr);
  EXPECT_EQ(cacheFileFor(folder / "app"), fs::path());
}

}  // namespace
}  // namespace verbalon::lookup
