#include "dicts/dict_package.h"

#include <gtest/gtest.h>

#include "common/cp1251.h"
#include "storage/storage_error.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

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

// An article location goes into an index entry as it stands; these would give a word a part
// in another dictionary, or in one that is not installed, that outlives this package's removal.
TEST_F(DictPackage, RefusesLocationsThatCouldReachIntoOtherDictionaries) {
  const std::pair<const char*, const char*> faults[] = {
      {"items\\0001.dat:0|0:items\\0001.dat:1", "holds \"|\""},
      {"items\\0001.dat:0|9:items\\0001.dat:0", "holds \"|\""},
      {"a:b:0", "has a \":\" inside its stream path"},
      {"a", "has no \":\""},
      {"a:", "no plain decimal"},
      {"a:+1", "no plain decimal"},
      {"a: 1", "no plain decimal"},
      {"a:0x1", "no plain decimal"},
      {"a:99999999999999999999", "no plain decimal"},
  };
  int n = 0;
  for (const auto& [location, fault] : faults) {
    const std::string name = "bad" + std::to_string(n++) + ".brd";
    const auto path = package(name, dictStreams("Title=x", {"a", "b"}, {"s:0", location}));
    try {
      AddDict(Dicts, path, ReadBuf);
      FAIL() << "accepted " << location;
    } catch (const EDictError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(name + ": line 1 of \"~index.dat\", '" + std::string(location) +
                                  "', is no article location",
                              0),
                0U)
          << message;
      EXPECT_NE(message.find(fault), std::string::npos) << message;
    }
    EXPECT_TRUE(isClosed(path));
  }
  EXPECT_TRUE(Dicts.empty());
  // Skipped lists are not read, so they are not checked either: an installed package is merged.
  AddDict(Dicts, folder.path() / "bad0.brd", ReadBuf, ItemLists::kSkip);
  EXPECT_EQ(Dicts.size(), 1U);
}

// Sixty million items in a few hundred kilobytes took a minute and gigabytes to merge.
TEST_F(DictPackage, RefusesMoreItemsThanTheStoredStreamsCanPlausiblyHold) {
  const size_t count = 400000;
  testing::Streams streams = dictStreams("Title=x", {}, {});
  std::string items;
  std::string locations;
  for (size_t i = 0; i < count; ++i) {
    items += "\r\n";
    locations += "s:0\r\n";
  }
  streams["~items.dat"] = items;
  streams["~index.dat"] = locations;
  const auto path = package("dense.brd", streams);
  try {
    AddDict(Dicts, path, ReadBuf);
    FAIL() << "accepted";
  } catch (const EDictError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("dense.brd: 400000 items in ", 0), 0U) << message;
    EXPECT_NE(message.find("more than a dictionary can hold"), std::string::npos) << message;
  }
  EXPECT_TRUE(isClosed(path));

  // Real headwords and locations cost several stored bytes each, far from the bound.
  StringList words;
  StringList real;
  for (size_t i = 0; i < 20000; ++i) {
    words.push_back("word" + std::to_string(i * 7919 % 20000));
    real.push_back("s:" + std::to_string(i));
  }
  AddDict(Dicts, package("real.brd", dictStreams("Title=x", words, real)), ReadBuf);
  EXPECT_EQ(Dicts.at(0).ItemList.size(), 20000U);
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

// A stored name is lower case; when it fits several files, the slot may have come from any of
// them, and the exactly spelled one is no better guess than the others.
TEST_F(DictPackage, StoredNameMatchingSeveralFilesIsAnErrorEvenWhenOneIsExact) {
  package("same.brd", dictStreams("Title=exact", {}, {}));
  package("SAME.brd", dictStreams("Title=upper", {}, {}));
  package("Twice.brd", dictStreams("Title=1", {}, {}));
  package("TWICE.brd", dictStreams("Title=2", {}, {}));
  for (const char* name : {"same.brd", "twice.brd"}) {
    try {
      AddDict(Dicts, folder.path() / name, ReadBuf, ItemLists::kSkip);
      FAIL() << "no error for " << name;
    } catch (const EDictError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(std::string(name) + ": several files match this name: ", 0), 0U)
          << message;
      EXPECT_NE(message.find(name[0] == 's' ? "SAME.brd, same.brd" : "TWICE.brd, Twice.brd"),
                std::string::npos)
          << message;
    }
  }
  EXPECT_TRUE(Dicts.empty());
}

// The user chose one file; a stored lower-cased name would later open either of the two.
TEST_F(DictPackage, InstallOpensExactlyTheChosenFileAndRefusesCaseTwins) {
  package("Foo.brd", dictStreams("Title=upper", {"a"}, {"s:0"}));
  EXPECT_THROW(addDictToInstall(Dicts, folder.path() / "foo.brd", ReadBuf), EDictError);
  addDictToInstall(Dicts, folder.path() / "Foo.brd", ReadBuf);
  ASSERT_EQ(Dicts.size(), 1U);
  EXPECT_EQ(Dicts[0].FileName, "foo.brd");
  EXPECT_EQ(Dicts[0].Title, "upper");
  FreeDict(Dicts[0]);
  Dicts.clear();

  package("foo.brd", dictStreams("Title=lower", {"a"}, {"s:0"}));
  for (const char* name : {"Foo.brd", "foo.brd"}) {
    try {
      addDictToInstall(Dicts, folder.path() / name, ReadBuf);
      FAIL() << "no error for " << name;
    } catch (const EDictError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find("same name in lower case: Foo.brd, foo.brd"), std::string::npos)
          << message;
    }
  }
  EXPECT_TRUE(Dicts.empty());
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

namespace verbalon::dicts {
namespace {

// The one rule for the names installed packages are kept under: only ASCII letters are
// lowered, and a name Windows-1251 cannot hold has no stored form.
TEST(InstalledName, LowersAsciiOnlyAndNeedsWindows1251) {
  EXPECT_EQ(installedName("Tolk.BRD"), std::optional<std::string>("tolk.brd"));
  EXPECT_EQ(installedName("Словарь-A.brd"), cp1251::fromUtf8("Словарь-a.brd"));
  EXPECT_EQ(installedName("日本.brd"), std::nullopt);
}

}  // namespace
}  // namespace verbalon::dicts
