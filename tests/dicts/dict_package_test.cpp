#include "dicts/dict_package.h"

#include <gtest/gtest.h>

#include "common/cp1251.h"
#include "package_builder.h"
#include "storage/storage_error.h"

namespace verbalon::dicts {
namespace {

using testing::dictStreams;
using testing::TempFolder;
using testing::writePackage;
namespace hresult = storage::hresult;

std::string w(const char* utf8) {
  return cp1251::fromUtf8(utf8);
}

// True when nobody holds the package open.
bool isClosed(const std::filesystem::path& path) {
  try {
    storage::CompoundFile::open(path);
    return true;
  } catch (const storage::EStorageError&) {
    return false;
  }
}

class DictPackage : public ::testing::Test {
 protected:
  std::filesystem::path package(const std::string& name, const testing::Streams& streams) {
    std::filesystem::path path = folder.path() / name;
    writePackage(path, streams);
    return path;
  }

  TempFolder folder;
  storage::MemoryStream ReadBuf;
  TDicts Dicts;
};

TEST_F(DictPackage, AddDictLoadsEverySettingAndList) {
  const auto path = package(
      "words.brd", dictStreams("Title=Толковый словарь\r\nShortTitle=Толковый\r\n"
                               "viewcontrol=MEMO\r\nRowDelimiter=<br/>!\r\n"
                               "FormDelimiter=;\r\nItemDelimiter=123456789\r\n",
                               {"ёж", "дом"}, {"a\\b:0", "a\\b:1"}, "О словаре\r\nвторая\r\n"));
  AddDict(Dicts, path, ReadBuf);
  ASSERT_EQ(Dicts.size(), 1U);
  const TDict& d = Dicts[0];
  EXPECT_EQ(d.FileName, "words.brd");
  EXPECT_EQ(d.Title, w("Толковый словарь"));
  EXPECT_EQ(d.ShortTitle, w("Толковый"));
  EXPECT_EQ(d.ViewControl, "MEMO");
  EXPECT_EQ(d.RowDelimiter, "<br/>");
  EXPECT_EQ(d.FormDelimiter, ";");
  EXPECT_EQ(d.ItemDelimiter, "12345");
  EXPECT_EQ(d.Info, w("О словаре\r\nвторая"));
  EXPECT_EQ(d.ItemList, (StringList{w("ёж"), w("дом")}));
  EXPECT_EQ(d.IndexList, (StringList{"a\\b:0", "a\\b:1"}));
  EXPECT_TRUE(d.Storage.has_value());
  EXPECT_EQ(ReadBuf.size(), 0U);
  EXPECT_FALSE(isClosed(path));  // the slot keeps its package open
}

TEST_F(DictPackage, KeyLookupIgnoresCaseTrimsNothingAndSplitsAtFirstEquals) {
  const auto path = package(
      "k.brd", dictStreams("no equals sign\r\ntitle=a=b\r\nTitle=second\r\nShortTitle =blank\r\n"
                           "viewcontrol= LIST\r\n",
                           {}, {}));
  AddDict(Dicts, path, ReadBuf);
  EXPECT_EQ(Dicts[0].Title, "a=b");
  EXPECT_EQ(GetDictValue(Dicts, path, "TITLE", ReadBuf), "a=b");
  EXPECT_EQ(Dicts[0].ShortTitle, "");  // the key is "ShortTitle " with its blank
  EXPECT_EQ(GetDictValue(Dicts, path, "ShortTitle ", ReadBuf), "blank");
  EXPECT_EQ(Dicts[0].ViewControl, " LIST");
  EXPECT_EQ(GetDictValue(Dicts, path, "missing", ReadBuf), "");
}

TEST_F(DictPackage, PathWithEmptyFileNameAppendsEmptySlot) {
  AddDict(Dicts, folder.path() / "", ReadBuf);
  ASSERT_EQ(Dicts.size(), 1U);
  EXPECT_TRUE(Dicts[0].isEmptySlot());
  EXPECT_FALSE(Dicts[0].Storage.has_value());
  EXPECT_TRUE(Dicts[0].IniList.empty());
}

TEST_F(DictPackage, FailuresAppendNothingAndCloseThePackage) {
  testing::Streams noInfo = dictStreams("Title=x", {"a"}, {"s:0"});
  noInfo.erase("~info.dat");
  const auto missing = package("noinfo.brd", noInfo);
  try {
    AddDict(Dicts, missing, ReadBuf);
    FAIL() << "no error";
  } catch (const storage::EStorageError& e) {
    EXPECT_EQ(e.code(), hresult::kFileNotFound);
  }
  EXPECT_TRUE(Dicts.empty());
  EXPECT_TRUE(isClosed(missing));

  const auto damaged = package("damaged.brd", dictStreams("Title=x", {"a"}, {"s:0"}));
  {
    storage::CompoundFile file = storage::CompoundFile::open(damaged);
    storage::WriteStream(file, "~items.dat", std::string("not zlib"), false);
  }
  EXPECT_THROW(AddDict(Dicts, damaged, ReadBuf), Error);
  EXPECT_TRUE(Dicts.empty());
  EXPECT_TRUE(isClosed(damaged));

  try {
    AddDict(Dicts, folder.path() / "absent.brd", ReadBuf);
    FAIL() << "no error";
  } catch (const storage::EStorageError& e) {
    EXPECT_EQ(e.code(), hresult::kFileNotFound);
  }
  EXPECT_TRUE(Dicts.empty());
}

TEST_F(DictPackage, RefusesItemAndIndexStreamsOfDifferentLength) {
  const auto path = package("uneven.brd", dictStreams("Title=x", {"a", "b", "c"}, {"s:0", "s:1"}));
  try {
    AddDict(Dicts, path, ReadBuf);
    FAIL() << "no error";
  } catch (const EDictError& e) {
    EXPECT_EQ(std::string(e.what()),
              "uneven.brd: \"~items.dat\" has 3 lines but \"~index.dat\" has 2");
  }
  EXPECT_TRUE(Dicts.empty());
  EXPECT_TRUE(isClosed(path));
  EXPECT_EQ(ReadBuf.size(), 0U);

  // Messages are UTF-8 whatever the name.
  const auto cyrillic = package("неровный.brd", dictStreams("Title=x", {"a"}, {}));
  try {
    AddDict(Dicts, cyrillic, ReadBuf);
    FAIL() << "no error";
  } catch (const EDictError& e) {
    EXPECT_EQ(std::string(e.what()),
              "неровный.brd: \"~items.dat\" has 1 lines but \"~index.dat\" has 0");
  }
}

TEST_F(DictPackage, FindDictComparesFileNamesExactly) {
  const auto path = package("abc.brd", dictStreams("Title=x", {}, {}));
  AddDict(Dicts, folder.path() / "", ReadBuf);
  AddDict(Dicts, path, ReadBuf);
  EXPECT_EQ(FindDict(Dicts, "/elsewhere/abc.brd"), 1);
  EXPECT_EQ(FindDict(Dicts, "abc.brd"), 1);
  EXPECT_EQ(FindDict(Dicts, "ABC.brd"), -1);
  EXPECT_EQ(FindDict(Dicts, "other.brd"), -1);
}

TEST_F(DictPackage, GetDictValueOpensOnlyPackagesThatAreNotInstalled) {
  const auto installed = package("in.brd", dictStreams("Title=Installed", {}, {}));
  const auto other = package("out.brd", dictStreams("title=Other", {}, {}));
  AddDict(Dicts, installed, ReadBuf);
  // The slot holds its package exclusively, so a second opening would fail.
  EXPECT_EQ(GetDictValue(Dicts, installed, "Title", ReadBuf), "Installed");
  EXPECT_EQ(GetDictValue(Dicts, other, "Title", ReadBuf), "Other");
  EXPECT_TRUE(isClosed(other));
  EXPECT_THROW(GetDictValue(Dicts, folder.path() / "absent.brd", "Title", ReadBuf),
               storage::EStorageError);
}

TEST_F(DictPackage, LowerCasedNameOpensFileOfAnyAsciiCase) {
  package("Mixed.BRD", dictStreams("Title=mixed", {"a"}, {"s:0"}));
  AddDict(Dicts, folder.path() / "mixed.brd", ReadBuf);
  ASSERT_EQ(Dicts.size(), 1U);
  EXPECT_EQ(Dicts[0].FileName, "mixed.brd");  // kept as given, the form an index stores
  EXPECT_EQ(Dicts[0].Title, "mixed");
}

TEST_F(DictPackage, ExactNameWinsAndTwoCaseVariantsAreAnError) {
  package("same.brd", dictStreams("Title=exact", {}, {}));
  package("SAME.brd", dictStreams("Title=upper", {}, {}));
  AddDict(Dicts, folder.path() / "same.brd", ReadBuf);
  EXPECT_EQ(Dicts[0].Title, "exact");

  package("Twice.brd", dictStreams("Title=1", {}, {}));
  package("TWICE.brd", dictStreams("Title=2", {}, {}));
  try {
    AddDict(Dicts, folder.path() / "twice.brd", ReadBuf);
    FAIL() << "no error";
  } catch (const EDictError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("twice.brd: several files match this name: ", 0), 0U) << message;
    EXPECT_NE(message.find("Twice.brd"), std::string::npos);
    EXPECT_NE(message.find("TWICE.brd"), std::string::npos);
  }
  EXPECT_EQ(Dicts.size(), 1U);
}

TEST_F(DictPackage, CyrillicFileNamesAreWindows1251Inside) {
  const auto path = package("словарь.brd", dictStreams("Title=ru", {}, {}));
  AddDict(Dicts, path, ReadBuf);
  EXPECT_EQ(Dicts[0].FileName, w("словарь.brd"));
  EXPECT_EQ(FindDict(Dicts, folder.path() / "словарь.brd"), 0);
}

TEST_F(DictPackage, FreeDictClosesThePackage) {
  const auto path = package("f.brd", dictStreams("Title=x", {"a"}, {"s:0"}));
  AddDict(Dicts, path, ReadBuf);
  FreeDict(Dicts[0]);
  EXPECT_TRUE(Dicts[0].ItemList.empty());
  EXPECT_TRUE(isClosed(path));
}

}  // namespace
}  // namespace verbalon::dicts
