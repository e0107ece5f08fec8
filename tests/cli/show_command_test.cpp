#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/cp1251.h"
#include "storage/compound_file.h"
#include "storage/storage.h"
#include "support/app_folder.h"
#include "support/package_builder.h"
#include "tool_run.h"

namespace verbalon::cli {
namespace {

using verbalon::testing::AppFolder;

// The freshly packed resource package and a sample dictionary the build made, in a folder of
// the test's own (the package beside the program may hold a developer's own index), with the
// folder option before the command.
TEST(ShowCommand, PrintsThePageOfAnIndexedWordAndRefusesAnUnknownOne) {
  AppFolder app;
  app.addPackage("tolk", "tolk.brd");
  const std::string folder = app.path().string();
  const Result install = run({"--app", folder, "install", "tolk.brd"});
  ASSERT_EQ(install.status, 0) << install.err;

  // The key ignores case, so "ДОМ" finds "дом".
  const Result shown = run({"--app", folder, "show", "ДОМ"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find(">дом<"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("Толковый"), std::string::npos);
  EXPECT_NE(shown.out.find("Жилое здание."), std::string::npos);
  EXPECT_TRUE(shown.out.ends_with("</html>\r\n"));

  const Result raw = run({"show", "--app", folder, "--raw", "дом"});
  ASSERT_EQ(raw.status, 0) << raw.err;
  EXPECT_EQ(raw.out, cp1251::fromUtf8(shown.out));

  // The draw repeats after 2^32 pages, so the largest count is as quick as its remainder.
  const Result far =
      run({"--app", folder, "show", "--advert-draws", "18446744073709551615", "дом"});
  ASSERT_EQ(far.status, 0) << far.err;
  const Result remainder = run({"--app", folder, "show", "--advert-draws", "4294967295", "дом"});
  EXPECT_EQ(far.out, remainder.out);

  const Result missing = run({"show", "--app", folder, "домище"});
  EXPECT_EQ(missing.status, kExitFailure);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("\"домище\" is not in the index"), std::string::npos);

  // A misspelling is refused too, with the word it meant among the suggestions.
  const Result misspelt = run({"show", "--app", folder, "абрикас"});
  EXPECT_EQ(misspelt.status, kExitFailure);
  EXPECT_NE(misspelt.out.find("абрикос\tnear-spelling\n"), std::string::npos) << misspelt.out;
}

// A damaged item stream leaves its dictionary out of the page with a note, and the tool says
// why once, in English.
TEST(ShowCommand, LeavesOutADamagedDictionaryWithANoteAndOneWarning) {
  AppFolder app;
  testing::Streams streams = testing::dictStreams("Title=Broken", {"дом"}, {"art:0"});
  streams["art"] = "x";
  testing::writePackage(app.dataDir() / "broken.brd", streams);
  app.addPackage("tolk", "tolk.brd");
  app.install({"broken.brd", "tolk.brd"});
  {
    storage::CompoundFile broken = storage::CompoundFile::open(app.dataDir() / "broken.brd");
    storage::WriteStream(broken, "art", "no zlib stream", false);
  }
  const Result shown = run({"--app", app.path().string(), "show", "дом"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("Жилое здание."), std::string::npos);
  EXPECT_NE(shown.out.find("Словарь «Broken»: статья не показана — файл broken.brd повреждён."),
            std::string::npos)
      << shown.out;
  EXPECT_EQ(shown.err,
            "vrbx-tool show: warning: dictionary 0 is left out of the page: Error: broken.brd, "
            "stream \"art\": compressed data is corrupt\n");
}

// The page of a word leaves out the dictionary whose package is gone and shows the others.
TEST(ShowCommand, LeavesOutADictionaryWhosePackageIsGone) {
  AppFolder app;
  app.addPackage("tolk", "tolk.brd");
  app.addPackage("sinonim", "sinonim.brd");
  app.install({"tolk.brd", "sinonim.brd"});
  const std::string folder = app.path().string();
  const Result both = run({"--app", folder, "show", "дом"});
  ASSERT_EQ(both.status, 0) << both.err;
  ASSERT_NE(both.out.find("строение"), std::string::npos);

  std::filesystem::remove(app.dataDir() / "sinonim.brd");
  const Result shown = run({"--app", folder, "show", "дом"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("Жилое здание."), std::string::npos);
  EXPECT_EQ(shown.out.find("строение"), std::string::npos);
  EXPECT_NE(shown.err.find("sinonim.brd could not be opened"), std::string::npos) << shown.err;
}

}  // namespace
}  // namespace verbalon::cli
