#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "lookup/index_lists.h"
#include "storage/compound_file.h"
#include "support/app_folder.h"
#include "support/temp_folder.h"
#include "tool_run.h"

namespace verbalon::cli {
namespace {

namespace fs = std::filesystem;
using verbalon::testing::AppFolder;
using verbalon::testing::TempFolder;

// The commands of every test of this program keep their look-up caches in a folder of the run's
// own, never in the user's.
class CacheHome : public ::testing::Environment {
 public:
  void SetUp() override {
    m_folder = std::make_unique<TempFolder>();
    ::setenv("XDG_CACHE_HOME", m_folder->path().c_str(), 1);
  }
  void TearDown() override { m_folder.reset(); }

 private:
  std::unique_ptr<TempFolder> m_folder;
};
const ::testing::Environment* const kCacheHome =
    // NOLINTNEXTLINE(cppcoreguidelines-owning-memory,cert-err58-cpp): gtest takes it over
    ::testing::AddGlobalTestEnvironment(new CacheHome);

// Runs the command with XDG_CACHE_HOME naming a file, below which no cache can be made: the
// lists then come from the package's streams.
Result runWithoutCache(const std::vector<std::string>& args) {
  const TempFolder folder;
  std::ofstream(folder / "not-a-folder") << "";
  const char* set = std::getenv("XDG_CACHE_HOME");
  const std::string before = set != nullptr ? set : "";
  ::setenv("XDG_CACHE_HOME", (folder / "not-a-folder").c_str(), 1);
  Result result = run(args);
  ::setenv("XDG_CACHE_HOME", before.c_str(), 1);
  return result;
}

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(LookupCacheCommands, ShowAndWordsPrintTheSameFromTheCacheAsFromThePackage) {
  AppFolder app;
  app.addPackage("tolk", "tolk.brd");
  app.install({"tolk.brd"});
  const std::string folder = app.path().string();
  const fs::path cache = lookup::cacheFileFor(app.path());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--app", folder, "show", "ДОМ"},
        std::vector<std::string>{"--app", folder, "words", "до"},
        std::vector<std::string>{"--app", folder, "show", "домище"},
        std::vector<std::string>{"--app", folder, "show", "абрикас"},
        std::vector<std::string>{"--app", folder, "words", "д*ь"}}) {
    fs::remove(cache);
    const Result plain = runWithoutCache(args);
    EXPECT_FALSE(fs::exists(cache));
    const Result making = run(args);
    EXPECT_TRUE(fs::exists(cache));
    const Result cached = run(args);
    for (const Result* r : {&making, &cached}) {
      EXPECT_EQ(r->status, plain.status) << args[3];
      EXPECT_EQ(r->out, plain.out) << args[3];
      EXPECT_EQ(r->err, plain.err) << args[3];
    }
  }
  const Result words = run({"--app", folder, "words", "до"});
  EXPECT_NE(words.out.find("дом\t0:"), std::string::npos) << words.out;
}

TEST(LookupCacheCommands, AnInstallMakesTheCacheStale) {
  AppFolder app;
  app.addPackage("tolk", "tolk.brd");
  app.addPackage("sinonim", "sinonim.brd");
  const std::string folder = app.path().string();
  ASSERT_EQ(run({"--app", folder, "install", "tolk.brd"}).status, 0);
  const Result before = run({"--app", folder, "show", "дом"});
  ASSERT_EQ(before.status, 0) << before.err;
  EXPECT_EQ(before.out.find("особняк"), std::string::npos);

  ASSERT_EQ(run({"--app", folder, "install", "sinonim.brd"}).status, 0);
  const Result after = run({"--app", folder, "show", "дом"});
  ASSERT_EQ(after.status, 0) << after.err;
  EXPECT_NE(after.out.find("особняк"), std::string::npos);
  EXPECT_EQ(run({"--app", folder, "words", "дом"}).out,
            runWithoutCache({"--app", folder, "words", "дом"}).out);

  ASSERT_EQ(run({"--app", folder, "remove", "tolk.brd"}).status, 0);
  EXPECT_EQ(run({"--app", folder, "words", "дом"}).out,
            runWithoutCache({"--app", folder, "words", "дом"}).out);
}

TEST(LookupCacheCommands, ADamagedCacheIsMadeAgainAndTheCommandStillAnswers) {
  AppFolder app;
  app.addPackage("tolk", "tolk.brd");
  app.install({"tolk.brd"});
  const std::string folder = app.path().string();
  const fs::path cache = lookup::cacheFileFor(app.path());
  const Result expected = runWithoutCache({"--app", folder, "show", "дом"});
  ASSERT_EQ(expected.status, 0) << expected.err;
  run({"--app", folder, "show", "дом"});
  const std::string good = fileBytes(cache);
  // Every span of the word list past its text: the header still matches, the first probe fails.
  // The line count stands at byte 88 of the header, the spans right after its 168 bytes.
  uint64_t lines = 0;
  ASSERT_GT(good.size(), 168U);
  std::memcpy(&lines, good.data() + 88, sizeof(lines));
  std::string damaged = good;
  for (size_t i = 168; i < 168 + 8 * lines && i < damaged.size(); ++i) {
    damaged[i] = '\x7F';
  }
  for (const std::string& bytes : {damaged, good.substr(0, good.size() / 3), std::string("x")}) {
    std::ofstream(cache, std::ios::binary | std::ios::trunc) << bytes;
    const Result shown = run({"--app", folder, "show", "дом"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, expected.out);
    EXPECT_EQ(fileBytes(cache), good);
  }
}

TEST(LookupCacheCommands, ReadOnlyCommandsShareThePackageAndNeedNoWritableFolder) {
  AppFolder app;
  app.addPackage("tolk", "tolk.brd");
  app.install({"tolk.brd"});
  const std::string folder = app.path().string();
  // Another reader holds the package meanwhile.
  const storage::CompoundFile other =
      storage::CompoundFile::open(app.path() / "vrbx.pde", storage::Access::ReadOnly);
  fs::permissions(app.path() / "vrbx.pde", fs::perms::owner_read | fs::perms::group_read);
  fs::permissions(app.path(), fs::perms::owner_read | fs::perms::owner_exec);
  const Result shown = run({"--app", folder, "show", "дом"});
  EXPECT_NE(run({"--app", folder, "show", "абрикас"}).out.find("абрикос\tnear-spelling"),
            std::string::npos);
  const Result words = run({"--app", folder, "words", "до"});
  const Result list = run({"--app", folder, "list"});
  fs::permissions(app.path(), fs::perms::owner_all);
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("Жилое здание."), std::string::npos);
  EXPECT_EQ(words.status, 0) << words.err;
  EXPECT_NE(words.out.find("дом\t"), std::string::npos);
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("0\ttolk.brd\t"), std::string::npos) << list.out;
}

}  // namespace
}  // namespace verbalon::cli
