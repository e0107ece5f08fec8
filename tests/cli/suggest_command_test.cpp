#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/cp1251.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"
#include "tool_run.h"

namespace verbalon::cli {
namespace {

using verbalon::testing::TempFolder;
using verbalon::testing::writePackage;

// An application folder whose index holds a few words and no dictionary.
class SuggestCommand : public ::testing::Test {
 protected:
  SuggestCommand() {
    StringList words;
    for (const char* s : {"дом", "дома", "Кот", "sound"})
      words.push_back(cp1251::fromUtf8(s));
    writePackage(app.path() / "vrbx.pde", {{"items.dat", joinLines(words)},
                                           {"index.dat", "0:s:0\r\n0:s:1\r\n0:s:2\r\n0:s:3\r\n"},
                                           {"addeddicts.dat", "a.brd\r\n"},
                                           {"history.dat", ""}});
  }

  Result run(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"--app", app.path().string()});
    return cli::run(args);
  }

  TempFolder app;
};

TEST_F(SuggestCommand, PrintsWordAndSource) {
  const Result layout = run({"suggest", "ljv"});
  EXPECT_EQ(layout.status, 0) << layout.err;
  EXPECT_EQ(layout.out, "дом\tother-layout\nдома\tother-layout\n");
  // Always, also for a word the prefix filter finds.
  EXPECT_EQ(run({"suggest", "КОТО"}).out, "Кот\tnear-spelling\n");
  EXPECT_EQ(run({"suggest", "кит"}).out, "Кот\tnear-spelling\n");
  EXPECT_EQ(run({"suggest", "ыщгтв"}).out, "sound\tother-layout\n");
  EXPECT_EQ(run({"suggest", "*о*"}).out, "дом\twildcard\nдома\twildcard\nКот\twildcard\n");
  EXPECT_EQ(run({"suggest", "xyz"}).out, "");
}

TEST_F(SuggestCommand, NeedsAWordAndAFolder) {
  EXPECT_EQ(run({"suggest"}).status, kExitUsage);
  const Result missing = cli::run({"suggest", "--app", (app.path() / "none").string(), "x"});
  EXPECT_EQ(missing.status, kExitFailure);
  EXPECT_NE(missing.err.find("vrbx-tool suggest: "), std::string::npos);
}

}  // namespace
}  // namespace verbalon::cli
