// Our files against real peers: olefile (strict) and libgsf read what we write, we read what
// gsf writes, and every sample written by other software reads here exactly as olefile reads it.
#include <algorithm>
#include <cstdio>
#include <map>

#include <gtest/gtest.h>
#include <zlib.h>

#include "compound_file_test_util.h"
#include "storage/compound_file.h"

namespace verbalon::storage {
namespace {

using testing::pattern;
using testing::putStream;
using testing::run;
using testing::TempDir;

const char* const kPython = "/usr/bin/python3";
const std::filesystem::path kScripts = std::filesystem::path(VERBALON_SOURCE_DIR) / "tests/storage";
// Files written by other software, with their provenance in SOURCES.md there.
const std::filesystem::path kSamples =
    std::filesystem::path(VERBALON_SOURCE_DIR) / "tests/data/cfb";

bool haveOlefile() {
  static const bool ok = run(std::string(kPython) + " -c 'import olefile'").status == 0;
  return ok;
}
bool haveGsf() {
  static const bool ok = run("command -v gsf").status == 0;
  return ok;
}

#define REQUIRE_OLEFILE() \
  if (!haveOlefile()) GTEST_SKIP() << "python3-olefile is not installed (/usr/bin/python3)"
#define REQUIRE_GSF() \
  if (!haveGsf()) GTEST_SKIP() << "gsf (libgsf-bin) is not installed"

std::string hexName(std::u16string_view name) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (char16_t c : name) {
    for (unsigned v : {static_cast<unsigned>(c) & 0xFF, static_cast<unsigned>(c) >> 8}) {
      out += digits[v >> 4];
      out += digits[v & 15];
    }
  }
  return out;
}

std::string line(char kind, const std::string& path, uint64_t size,
                 std::span<const std::byte> data) {
  const uLong crc =
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
  char buf[64];
  std::snprintf(buf, sizeof buf, "\t%llu\t%08lx", static_cast<unsigned long long>(size),
                static_cast<unsigned long>(crc));
  return std::string(1, kind) + "\t" + path + buf;
}

// Our reading of a file in the format of ole_tree.py.
std::vector<std::string> ourLines(const CompoundFile& file) {
  std::vector<std::string> lines;
  testing::walkTree(file, hexName,
                    [&](const std::string& path, const ElementInfo& info, const Storage& parent) {
                      if (info.kind == ElementKind::Storage) {
                        lines.push_back(line('D', path, 0, {}));
                      } else {
                        const auto data = testing::readStream(parent, info.name);
                        EXPECT_EQ(data.size(), info.size) << path;
                        lines.push_back(line('F', path, data.size(), data));
                      }
                    });
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> out;
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t end = text.find('\n', begin);
    out.push_back(text.substr(begin, end - begin));
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  return out;
}

std::vector<std::string> olefileLines(const std::filesystem::path& path, bool strict) {
  const auto r = run(std::string(kPython) + " '" + (kScripts / "ole_tree.py").string() + "' " +
                     (strict ? "--strict " : "") + "'" + path.string() + "'");
  EXPECT_EQ(r.status, 0) << path << ": " << r.err;
  return split(r.out);
}

// What a test file should hold: path (UTF-16 names, "/" between) to content; storages end in "/".
using Expected = std::map<std::u16string, std::vector<std::byte>>;

std::vector<std::string> expectedLines(const Expected& expected) {
  std::vector<std::string> lines;
  for (const auto& [path, data] : expected) {
    std::string hex;
    size_t begin = 0;
    const bool storage = path.back() == u'/';
    const std::u16string p = storage ? path.substr(0, path.size() - 1) : path;
    while (begin <= p.size()) {
      const size_t end = std::min(p.find(u'/', begin), p.size());
      if (!hex.empty()) hex += '/';
      hex += hexName(std::u16string_view(p).substr(begin, end - begin));
      begin = end + 1;
    }
    lines.push_back(line(storage ? 'D' : 'F', hex, data.size(), data));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Writes every element of `expected`, creating storages on the way.
void writeAll(CompoundFile& file, const Expected& expected) {
  for (const auto& [path, data] : expected) {
    Storage st = file.root();
    size_t begin = 0;
    for (;;) {
      const size_t end = path.find(u'/', begin);
      const std::u16string name = path.substr(begin, end - begin);
      if (end == std::u16string::npos) {
        putStream(st, name, data);
        break;
      }
      if (name.empty()) break;
      st = st.find(name) ? st.openStorage(name) : st.createStorage(name);
      begin = end + 1;
      if (begin == path.size()) break;
    }
  }
}

void checkWithGsf(const std::filesystem::path& path, const Expected& expected, size_t maxCats) {
  const auto list = run("gsf list '" + path.string() + "'");
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.err, "") << "gsf complains about " << path;
  size_t cats = 0;
  for (const auto& [name, data] : expected) {
    const std::string p = testing::utf8(name);
    if (p.back() == '/') continue;
    EXPECT_NE(list.out.find(" " + p + "\n"), std::string::npos) << p << " missing in\n" << list.out;
    if (cats++ >= maxCats) continue;
    const auto cat = run("gsf cat '" + path.string() + "' '" + p + "'");
    EXPECT_EQ(cat.status, 0) << p;
    EXPECT_EQ(cat.err, "") << p;
    EXPECT_TRUE(
        cat.out.size() == data.size() &&
        std::equal(data.begin(), data.end(), reinterpret_cast<const std::byte*>(cat.out.data())))
        << "gsf cat " << p << " gives " << cat.out.size() << " bytes, expected " << data.size();
  }
}

// 7-Zip's own compound-file reader, when it is installed: one more independent reader.
void checkWith7zip(const std::filesystem::path& path) {
  if (run("command -v 7zz").status != 0) return;
  const auto r = run("7zz t -tCompound '" + path.string() + "'");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Everything is Ok"), std::string::npos) << r.out;
}

Expected richContent() {
  Expected e;
  e[u"empty"] = {};
  for (size_t n : {1u, 63u, 64u, 4095u, 4096u, 4097u, 20000u}) {
    const std::string s = "size" + std::to_string(n);
    e[std::u16string(s.begin(), s.end())] = pattern(n, static_cast<unsigned>(n));
  }
  e[u"Словарь/"] = {};
  e[u"Словарь/статья"] = pattern(300, 1);
  e[u"Словарь/Ёлка"] = pattern(5000, 2);
  e[u"Словарь/пусто"] = {};
  e[u"Словарь/вложенный/"] = {};
  e[u"Словарь/вложенный/глубже/"] = {};
  e[u"Словарь/вложенный/глубже/лист"] = pattern(77, 9);
  e[u"empty storage/"] = {};
  for (int i = 0; i < 150; ++i) {
    const std::string s = "many/item" + std::to_string(i);
    e[std::u16string(s.begin(), s.end())] = pattern(static_cast<size_t>(i) * 37, 5);
  }
  e[u"many/"] = {};
  return e;
}

TEST(CompoundFileInterop, OlefileStrictAndGsfReadWhatWeWrite) {
  REQUIRE_OLEFILE();
  REQUIRE_GSF();
  TempDir dir;
  const auto path = dir / "rich.cfb";
  Expected expected = richContent();
  {
    auto file = CompoundFile::create(path);
    writeAll(file, expected);
  }
  EXPECT_EQ(olefileLines(path, true), expectedLines(expected));
  checkWithGsf(path, expected, 30);
  checkWith7zip(path);

  // Rewritten in place: streams cross the cutoff both ways, some shrink, some grow.
  {
    auto file = CompoundFile::open(path);
    Expected changes;
    changes[u"size4097"] = pattern(10, 1);
    changes[u"size63"] = pattern(9000, 2);
    changes[u"Словарь/статья"] = pattern(4096, 3);
    changes[u"many/item3"] = {};
    changes[u"новый"] = pattern(123, 4);
    auto txn = file.beginTransaction();
    writeAll(file, changes);
    txn.commit();
    for (auto& [k, v] : changes)
      expected[k] = v;
  }
  EXPECT_EQ(olefileLines(path, true), expectedLines(expected));
  checkWithGsf(path, expected, 10);
  checkWith7zip(path);
}

TEST(CompoundFileInterop, BigStreamNeedingDifatReadsInPeers) {
  REQUIRE_OLEFILE();
  REQUIRE_GSF();
  TempDir dir;
  const auto path = dir / "big.cfb";
  Expected expected;
  // Over 109 FAT sectors of 128 entries: the DIFAT is needed.
  expected[u"big"] = pattern(7'300'000, 11);
  expected[u"small"] = pattern(100, 12);
  {
    auto file = CompoundFile::create(path);
    writeAll(file, expected);
  }
  const auto raw = testing::readFile(path);
  ASSERT_GT(raw.size(), 0x4Cu);
  EXPECT_EQ(raw[0x48], std::byte{1});  // one DIFAT sector
  EXPECT_EQ(olefileLines(path, true), expectedLines(expected));
  checkWithGsf(path, expected, 2);
  checkWith7zip(path);
}

// Writes the streams as files and has gsf put them into one compound file at out.
void createWithGsf(const TempDir& dir, const Expected& expected, const std::filesystem::path& out) {
  std::string files;
  for (const auto& [name, data] : expected) {
    const auto p = dir / testing::utf8(name);
    testing::writeFile(p, data);
    files += " '" + p.string() + "'";
  }
  const auto r =
      run("cd '" + dir.path().string() + "' && gsf createole '" + out.string() + "'" + files);
  ASSERT_EQ(r.status, 0) << r.err;
}

TEST(CompoundFileInterop, ReadsWhatGsfWrites) {
  REQUIRE_GSF();
  TempDir dir;
  Expected expected;
  expected[u"a"] = pattern(10, 1);
  expected[u"empty"] = {};
  expected[u"Словарь"] = pattern(4095, 2);
  expected[u"large"] = pattern(70000, 3);
  const auto out = dir / "gsf.cfb";
  createWithGsf(dir, expected, out);
  auto file = CompoundFile::open(out, Access::ReadOnly);
  EXPECT_EQ(ourLines(file), expectedLines(expected));
}

// Over 109 FAT sectors, so the FAT is listed by a DIFAT sector beyond the header's slots: no
// such file small enough to keep in the tree was to be had, so gsf makes one.
TEST(CompoundFileInterop, ReadsADifatFileThatGsfWrites) {
  REQUIRE_GSF();
  REQUIRE_OLEFILE();
  TempDir dir;
  Expected expected;
  expected[u"Pattern"] = pattern(7400000, 4);
  expected[u"small"] = pattern(32, 5);
  const auto out = dir / "big_difat_gsf.cfb";
  createWithGsf(dir, expected, out);
  const auto raw = testing::readFile(out);
  ASSERT_GT(raw.size(), 0x4Cu);
  EXPECT_EQ(raw[0x48], std::byte{1});  // one DIFAT sector
  auto file = CompoundFile::open(out, Access::ReadOnly);
  EXPECT_EQ(ourLines(file), expectedLines(expected));
  EXPECT_EQ(ourLines(file), olefileLines(out, false));
}

TEST(CompoundFileInterop, SamplesReadAsOlefileReadsThem) {
  REQUIRE_OLEFILE();
  size_t checked = 0;
  for (const char* folder : {"ms", "other", "generated"}) {
    for (const auto& entry : std::filesystem::directory_iterator(kSamples / folder)) {
      SCOPED_TRACE(entry.path().string());
      auto file = CompoundFile::open(entry.path(), Access::ReadOnly);
      EXPECT_EQ(ourLines(file), olefileLines(entry.path(), false));
      ++checked;
    }
  }
  EXPECT_GE(checked, 28u);
}

// Files other software wrote, after we changed them: olefile reads what we read, and what we
// added and changed is there.
TEST(CompoundFileInterop, SamplesReadAlikeAfterWeChangeThem) {
  REQUIRE_OLEFILE();
  TempDir dir;
  for (const char* name :
       {"ms/TestStream_v3_4096.cfs", "ms/vbaProject_userfunc_ru.bin", "ms/Word6_sections2.doc",
        "other/LibreOfficeBlankSample_v25.8.doc", "other/BlockSize4096.zvi", "other/empty.aaf",
        "other/ShortLastBlock.wps", "other/only-zero-byte-streams.ole2",
        "generated/degenerate_chain_40_gsf.cfb"}) {
    SCOPED_TRACE(name);
    const auto path = dir / std::filesystem::path(name).filename().string();
    std::filesystem::copy_file(kSamples / name, path);
    std::vector<std::string> lines;
    {
      auto file = CompoundFile::open(path);
      putStream(file.root(), u"added", pattern(5000, 1));
      putStream(file.root(), u"added small", pattern(100, 2));
      auto e = file.root().enumElements();
      while (auto info = e.next()) {
        if (info->kind != ElementKind::Stream || info->name.starts_with(u"added")) continue;
        Stream s = file.root().openStream(info->name);
        s.seek(s.size() / 2);
        s.write(pattern(10, 3));
        s.commit();
        break;
      }
      lines = ourLines(file);
    }
    EXPECT_EQ(olefileLines(path, false), lines);
    checkWith7zip(path);
  }
}

}  // namespace
}  // namespace verbalon::storage
