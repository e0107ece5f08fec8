#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "cli/command.h"
#include "cli/element_names.h"
#include "common/cp1251.h"
#include "storage/storage.h"

namespace verbalon::cli {
namespace {

namespace fs = std::filesystem;
using storage::CompoundFile;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string quoted(const std::string& arg) {
  std::string q = "'";
  for (char c : arg)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void spill(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string binaryBytes() {
  std::string bytes;
  for (int i = 0; i < 3000; ++i)
    bytes += static_cast<char>((i * 37) & 0xFF);
  return bytes;
}

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("verbalon-cli-" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  Result run(const std::vector<std::string>& args) {
    std::string command = quoted(VRBX_TOOL);
    for (const std::string& arg : args)
      command += " " + quoted(arg);
    const fs::path out = m_dir / "stdout";
    const fs::path err = m_dir / "stderr";
    command += " >" + quoted(out.string()) + " 2>" + quoted(err.string());
    const int raw = std::system(command.c_str());
    Result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = slurp(out);
    result.err = slurp(err);
    return result;
  }

  // A folder such as a dictionary's sources: Cyrillic names, nested folders, an empty file and
  // a binary one.
  fs::path makeSourceFolder() {
    const fs::path src = m_dir / "src";
    fs::create_directories(src / "templates" / "картинки");
    fs::create_directories(src / "пустая");
    spill(src / "~dict.ini", cp1251::fromUtf8("Title=Толковый словарь\r\n"));
    spill(src / "~items.dat", cp1251::fromUtf8("абажур\r\nябеда\r\n"));
    spill(src / "templates" / "default.html", "<html>%BODY%</html>");
    spill(src / "templates" / "картинки" / "обложка.gif", binaryBytes());
    spill(src / "пусто.txt", "");
    return src;
  }

  fs::path m_dir;
};

void expectSameTree(const fs::path& a, const fs::path& b) {
  std::vector<std::string> left;
  std::vector<std::string> right;
  for (const auto& e : fs::recursive_directory_iterator(a)) {
    left.push_back(fs::relative(e.path(), a).string());
  }
  for (const auto& e : fs::recursive_directory_iterator(b)) {
    right.push_back(fs::relative(e.path(), b).string());
  }
  std::sort(left.begin(), left.end());
  std::sort(right.begin(), right.end());
  EXPECT_EQ(left, right);
  for (const std::string& rel : left) {
    if (fs::is_regular_file(a / rel)) {
      EXPECT_EQ(slurp(a / rel), slurp(b / rel)) << rel;
    }
  }
}

TEST_F(ToolTest, PackListCatAndUnpackRoundTrip) {
  const fs::path src = makeSourceFolder();
  const fs::path package = m_dir / "толковый.brd";
  ASSERT_EQ(run({"pack", src.string(), package.string()}).status, 0);

  const Result ls = run({"ls", package.string()});
  ASSERT_EQ(ls.status, 0) << ls.err;
  EXPECT_NE(ls.out.find("           -  templates\\\n"), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("  templates\\картинки\\обложка.gif\n"), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("  пустая\\\n"), std::string::npos) << ls.out;

  const Result cat = run({"cat", package.string(), "templates\\картинки\\обложка.gif"});
  EXPECT_EQ(cat.status, 0) << cat.err;
  EXPECT_EQ(cat.out, binaryBytes());
  EXPECT_EQ(run({"cat", package.string(), "~DICT.INI"}).out,
            cp1251::fromUtf8("Title=Толковый словарь\r\n"));

  const fs::path out = m_dir / "out";
  const Result unpack = run({"unpack", package.string(), out.string()});
  ASSERT_EQ(unpack.status, 0) << unpack.err;
  expectSameTree(src, out);

  // The package is what the program reads: Windows-1251 names, compressed streams.
  CompoundFile file = CompoundFile::open(package);
  storage::MemoryStream content;
  storage::ReadStream(file, cp1251::fromUtf8("templates\\картинки\\обложка.gif"), content,
                      storage::kPackageMode, true);
  EXPECT_EQ(content.bytes(), binaryBytes());
  storage::ReadStream(file, "~items.dat", content, storage::kPackageMode, false);
  EXPECT_EQ(content.bytes().substr(0, 2), "\x78\xDA");
}

TEST_F(ToolTest, PackRefusesWhatAPackageCannotHold) {
  const fs::path src = makeSourceFolder();
  const fs::path package = m_dir / "p.brd";
  spill(src / "日本.txt", "x");
  Result result = run({"pack", src.string(), package.string()});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("日本.txt"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(package));  // nothing half-made is left behind

  fs::remove(src / "日本.txt");
  spill(src / "Пусто.TXT", "x");
  EXPECT_EQ(run({"pack", src.string(), package.string()}).status, 1);
  EXPECT_FALSE(fs::exists(package));

  fs::remove(src / "Пусто.TXT");
  EXPECT_EQ(run({"pack", src.string(), (src / "templates" / "self.brd").string()}).status, 1);
  EXPECT_FALSE(fs::exists(src / "templates" / "self.brd"));

  spill(package, "already here");
  EXPECT_EQ(run({"pack", src.string(), package.string()}).status, 1);
  EXPECT_EQ(slurp(package), "already here");
}

TEST_F(ToolTest, PutWritesOneStreamIntoAnExistingPackage) {
  const fs::path package = m_dir / "p.brd";
  ASSERT_EQ(run({"pack", makeSourceFolder().string(), package.string()}).status, 0);
  const fs::path page = m_dir / "page.html";
  spill(page, cp1251::fromUtf8("<p>статья</p>"));

  EXPECT_EQ(run({"put", package.string(), "templates\\новая.html", page.string()}).status, 0);
  EXPECT_EQ(run({"cat", package.string(), "templates\\новая.html"}).out,
            cp1251::fromUtf8("<p>статья</p>"));

  // A name that differs in letter case replaces the stream.
  spill(page, "short");
  EXPECT_EQ(run({"put", package.string(), "TEMPLATES\\НОВАЯ.HTML", page.string()}).status, 0);
  const Result ls = run({"ls", package.string()});
  EXPECT_NE(ls.out.find("templates\\новая.html\n"), std::string::npos) << ls.out;
  EXPECT_EQ(ls.out.find("НОВАЯ"), std::string::npos) << ls.out;
  EXPECT_EQ(run({"cat", package.string(), "templates\\новая.html"}).out, "short");

  const Result missing = run({"put", package.string(), "advert\\advert.db", page.string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("STG_E_FILENOTFOUND"), std::string::npos) << missing.err;
  EXPECT_EQ(run({"verify", package.string()}).status, 0);
}

TEST_F(ToolTest, VerifyReportsEveryDamagedStream) {
  const fs::path package = m_dir / "p.brd";
  ASSERT_EQ(run({"pack", makeSourceFolder().string(), package.string()}).status, 0);
  const Result good = run({"verify", package.string()});
  EXPECT_EQ(good.status, 0) << good.out << good.err;
  EXPECT_NE(good.out.find("3 storages, 5 streams, no problems"), std::string::npos) << good.out;

  {
    CompoundFile file = CompoundFile::open(package);
    storage::WriteStream(file, "~items.dat", "not compressed", false);
    std::string truncated = storage::DeflateBuffer(std::string(5000, 'a'));
    truncated.resize(truncated.size() - 3);
    storage::WriteStream(file, cp1251::fromUtf8("templates\\картинки\\обложка.gif"), truncated,
                         false);
  }
  const Result bad = run({"verify", package.string()});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("stream \"~items.dat\": compressed data is corrupt"), std::string::npos)
      << bad.out;
  EXPECT_NE(bad.out.find("обложка.gif\": compressed data is truncated"), std::string::npos)
      << bad.out;
  EXPECT_NE(bad.out.find("2 problems"), std::string::npos) << bad.out;

  const Result cat = run({"cat", package.string(), "~items.dat"});
  EXPECT_EQ(cat.status, 1);
  EXPECT_EQ(cat.out, "");

  const fs::path broken = m_dir / "broken.brd";
  spill(broken, slurp(package).substr(0, 700));
  EXPECT_EQ(run({"verify", broken.string()}).status, 1);
}

TEST_F(ToolTest, RawModeReadsAnyCompoundFile) {
  const fs::path path = m_dir / "document.doc";
  {
    CompoundFile file = CompoundFile::create(path);
    storage::Storage root = file.root();
    storage::Stream summary = root.createStream(u"\x05SummaryInformation");
    summary.write(std::as_bytes(std::span<const char>("raw\0bytes", 9)));
    summary.commit();
    storage::Storage ole = root.createStorage(u"\x01Ole");
    storage::Stream nihon = ole.createStream(u"日本\tname");
    nihon.write(std::as_bytes(std::span<const char>("x", 1)));
    nihon.commit();
  }
  const Result ls = run({"ls", "--raw", path.string()});
  ASSERT_EQ(ls.status, 0) << ls.err;
  EXPECT_NE(ls.out.find("           9  [5]SummaryInformation\n"), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("  [1]Ole\\日本[9]name\n"), std::string::npos) << ls.out;
  // As a package, the names are Windows-1251, which has no "日本".
  EXPECT_NE(run({"ls", path.string()}).out.find("  [1]Ole\\??[9]name\n"), std::string::npos);

  EXPECT_EQ(run({"cat", "--raw", path.string(), "[5]SummaryInformation"}).out,
            std::string("raw\0bytes", 9));
  EXPECT_EQ(run({"cat", "--raw", path.string(), "\x05SummaryInformation"}).out,
            std::string("raw\0bytes", 9));

  const fs::path out = m_dir / "out";
  const Result unpack = run({"unpack", "--raw", path.string(), out.string()});
  ASSERT_EQ(unpack.status, 0) << unpack.err;
  EXPECT_EQ(slurp(out / "[5]SummaryInformation"), std::string("raw\0bytes", 9));
  EXPECT_EQ(slurp(out / "[1]Ole" / "日本[9]name"), "x");

  // Without --raw the same file is no package: its streams are not zlib streams.
  EXPECT_EQ(run({"verify", path.string()}).status, 1);
}

TEST_F(ToolTest, UnpackNeedsAnEmptyFolder) {
  const fs::path package = m_dir / "p.brd";
  ASSERT_EQ(run({"pack", makeSourceFolder().string(), package.string()}).status, 0);
  const fs::path out = m_dir / "out";
  fs::create_directories(out);
  spill(out / "mine.txt", "keep");
  EXPECT_EQ(run({"unpack", package.string(), out.string()}).status, 1);
  EXPECT_EQ(slurp(out / "mine.txt"), "keep");
}

TEST_F(ToolTest, CommandLineMistakesExitWithStatus2) {
  EXPECT_EQ(run({}).status, 2);
  EXPECT_EQ(run({"frobnicate"}).status, 2);
  EXPECT_EQ(run({"ls"}).status, 2);
  EXPECT_EQ(run({"cat", "a.brd"}).status, 2);
  EXPECT_EQ(run({"put", "a", "b", "c", "d"}).status, 2);
  const Result unknown = run({"ls", "--rwa", "a.brd"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("Usage: vrbx-tool ls [--raw] PACKAGE"), std::string::npos);
  EXPECT_EQ(run({"pack", "--raw", "a", "b"}).status, 2);
  EXPECT_EQ(run({"ls", (m_dir / "missing.brd").string()}).status, 1);
}

TEST_F(ToolTest, EveryCommandAnswersHelp) {
  const Result overview = run({"--help"});
  EXPECT_EQ(overview.status, 0);
  for (const std::string usage :
       {"ls [--raw] PACKAGE", "cat [--raw] PACKAGE PATH", "pack FOLDER PACKAGE",
        "unpack [--raw] PACKAGE FOLDER", "put PACKAGE PATH FILE", "verify PACKAGE"}) {
    EXPECT_NE(overview.out.find(usage), std::string::npos) << usage;
    const std::string name = usage.substr(0, usage.find(' '));
    const Result help = run({name, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: vrbx-tool " + usage + "\n", 0), 0u) << help.out;
  }
}

TEST(ElementNames, FileNamesNeverEscapeTheirFolder) {
  EXPECT_EQ(fileNameFor(u"a/b", NameMode::Raw), "a[47]b");
  EXPECT_EQ(fileNameFor(u"..", NameMode::Raw), "[46][46]");
  EXPECT_EQ(fileNameFor(u".", NameMode::Package), "[46]");
  EXPECT_EQ(fileNameFor(u"", NameMode::Raw), "[]");
  EXPECT_EQ(fileNameFor(u"...", NameMode::Raw), "...");
  EXPECT_EQ(fileNameFor(u"\x7F\x1F", NameMode::Raw), "[127][31]");
  EXPECT_EQ(shownName(u"a/b", NameMode::Raw), "a/b");
  // An unpaired surrogate cannot be written in UTF-8.
  EXPECT_EQ(fileNameFor(u"x\xD800y", NameMode::Raw), "x[55296]y");
  EXPECT_EQ(shownName(u"\U0001F600", NameMode::Raw), "\U0001F600");
}

TEST(ElementNames, Utf8ConversionReplacesWhatIsInvalid) {
  EXPECT_EQ(utf8ToUtf16("словарь"), u"словарь");
  EXPECT_EQ(utf8ToUtf16("\U0001F600"), u"\U0001F600");
  EXPECT_EQ(utf8ToUtf16("a\xC0\x80z"), u"a\xFFFD\xFFFDz");            // overlong
  EXPECT_EQ(utf8ToUtf16("a\xED\xA0\x80z"), u"a\xFFFD\xFFFD\xFFFDz");  // a surrogate
  EXPECT_EQ(utf8ToUtf16("\xE2\x82"), u"\xFFFD\xFFFD");                // cut short
  EXPECT_EQ(utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
  EXPECT_EQ(toPackageText("Толковый", "file name"), cp1251::fromUtf8("Толковый"));
  EXPECT_THROW(toPackageText("日本", "file name"), EToolError);
  EXPECT_THROW(toPackageText("a\xFF", "file name"), EToolError);
}

}  // namespace
}  // namespace verbalon::cli
