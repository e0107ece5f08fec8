#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/dispatcher.h"
#include "common/cp1251.h"
#include "dicts/dict_package.h"
#include "storage/storage.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

namespace verbalon::cli {
namespace {

using verbalon::testing::TempFolder;

class PackDict : public ::testing::Test {
 protected:
  int pack(const std::string& source, std::string& err) {
    std::ofstream(folder.path() / "src.txt", std::ios::binary) << source;
    std::vector<std::string> args{"pack-dict", (folder.path() / "src.txt").string(),
                                  package.string()};
    std::ostringstream out;
    std::ostringstream errors;
    Console console{out, errors};
    const int status = runTool(args, console);
    err = errors.str();
    return status;
  }

  std::string streamText(const storage::CompoundFile& file, const std::string& path) {
    storage::MemoryStream buffer;
    return std::string(
        storage::ReadStream(file, path, buffer, storage::kPackageMode, true).bytes());
  }

  TempFolder folder;
  std::filesystem::path package = folder.path() / "out.brd";
};

TEST_F(PackDict, GroupsArticlesIntoBoundedStreamsInWindows1251) {
  std::string source =
      "[dict.ini]\r\nTitle=Толковый\r\nviewcontrol=MEMO\r\nRowDelimiter=#\r\n"
      "[info]\nО словаре.\n\n\n[entries]\nёж\tзверёк#колючий\n\n";
  for (int i = 0; i < 500; ++i)
    source += "w" + std::to_string(i) + "\ta" + std::to_string(i) + "\n";
  std::string err;
  ASSERT_EQ(pack(source, err), 0) << err;

  dicts::TDicts dicts;
  storage::MemoryStream readBuf;
  dicts::AddDict(dicts, package, readBuf);
  const dicts::TDict& dict = dicts.at(0);
  EXPECT_EQ(dict.Title, cp1251::fromUtf8("Толковый"));
  EXPECT_EQ(dict.ViewControl, "MEMO");
  EXPECT_EQ(dict.RowDelimiter, "#");
  EXPECT_EQ(dict.Info, cp1251::fromUtf8("О словаре."));
  ASSERT_EQ(dict.ItemList.size(), 501u);
  EXPECT_EQ(dict.ItemList[0], cp1251::fromUtf8("ёж"));
  EXPECT_EQ(dict.IndexList[0], "a\\1:0");
  EXPECT_EQ(dict.IndexList[499], "a\\1:499");
  EXPECT_EQ(dict.IndexList[500], "a\\2:0");  // 500 articles per stream at most
  const std::string first = streamText(*dict.Storage, "a\\1");
  EXPECT_TRUE(first.starts_with(cp1251::fromUtf8("зверёк#колючий\r\na0\r\n")));
  EXPECT_EQ(streamText(*dict.Storage, "a\\2"), "a499\r\n");
}

TEST_F(PackDict, RefusesCharacterOutsideWindows1251NamingTheLine) {
  std::string err;
  EXPECT_EQ(pack("[dict.ini]\nTitle=T\n[entries]\nдом\tздание\nmañana\tutro\n", err), 1);
  EXPECT_NE(err.find("src.txt, line 5: the character \"ñ\" has no Windows-1251 form"),
            std::string::npos)
      << err;
  EXPECT_FALSE(std::filesystem::exists(package));
}

}  // namespace
}  // namespace verbalon::cli
