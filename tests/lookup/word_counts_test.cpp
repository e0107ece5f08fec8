#include "lookup/word_counts.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "storage/compound_file.h"
#include "storage/storage.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

namespace verbalon::lookup {
namespace {

using verbalon::testing::TempFolder;

TEST(WordCounts, CountsAPackageOnceUntilItChangesAndIgnoresUnreadableLines) {
  const TempFolder folder;
  const std::filesystem::path package = folder / "d.brd";
  verbalon::testing::writePackage(package, {{"~items.dat", "a\r\nb\r\n"}, {"~index.dat", "x"}});
  const std::filesystem::path file = folder / "cache" / "app.counts";
  int counted = 0;
  auto countOf = [&](size_t words) {
    const storage::CompoundFile opened =
        storage::CompoundFile::open(package, storage::Access::ReadOnly);
    WordCounts counts(file);
    const size_t n = counts.countOf(opened, [&] {
      ++counted;
      return words;
    });
    counts.save();
    return n;
  };
  EXPECT_EQ(countOf(2), 2U);
  EXPECT_EQ(countOf(99), 2U);
  EXPECT_EQ(counted, 1);
  {
    const storage::CompoundFile opened = storage::CompoundFile::open(package);
    storage::WriteStream(opened, "~items.dat", std::string("a\r\nb\r\nc\r\n"), true);
  }
  EXPECT_EQ(countOf(3), 3U);
  EXPECT_EQ(counted, 2);

  // A damaged file: its lines are ignored and counting starts afresh.
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      << "3\t1 2\t" << package.string() << "\nx\t\t\n\n12";
  EXPECT_EQ(countOf(3), 3U);
  EXPECT_EQ(counted, 3);
  EXPECT_EQ(countOf(7), 3U);
}

}  // namespace
}  // namespace verbalon::lookup
