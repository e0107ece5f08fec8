// Hostile and odd input: hand-built files with one fault each, and the malformed samples.
// Faults must raise EStorageError (never crash, hang or allocate by a declared size); quirks
// found in real files must be read.
#include <cstring>

#include <gtest/gtest.h>

#include "compound_file_test_util.h"
#include "storage/compound_file.h"

namespace verbalon::storage {
namespace {

using testing::pattern;
using testing::readStream;
using testing::TempDir;

constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kNone = 0xFFFFFFFF;

// A version 3 file built by hand. Sectors: 0 FAT, 1 directory, 2 mini FAT, 3 mini stream,
// 4..13 stream "A" (5000 bytes). Entries: 0 root, 1 "A", 2 "B" (100 bytes in mini sectors 0-1),
// 3 storage "S" (empty). Tests break one thing and check what follows.
class RawFile {
 public:
  static constexpr size_t kSectors = 14;
  RawFile() : m_data((kSectors + 1) * 512) {
    const uint8_t sig[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(m_data.data(), sig, 8);
    set16(0x18, 0x3E);
    set16(0x1A, 3);
    set16(0x1C, 0xFFFE);
    set16(0x1E, 9);
    set16(0x20, 6);
    set32(0x2C, 1);  // FAT sectors
    set32(0x30, 1);  // first directory sector
    set32(0x38, 4096);
    set32(0x3C, 2);  // mini FAT
    set32(0x40, 1);
    set32(0x44, kEnd);
    for (size_t i = 0; i < 109; ++i)
      set32(0x4C + 4 * i, i == 0 ? 0 : kFree);
    for (uint32_t i = 0; i < 128; ++i)
      setFat(i, kFree);
    setFat(0, 0xFFFFFFFD);
    setFat(1, kEnd);
    setFat(2, kEnd);
    setFat(3, kEnd);
    for (uint32_t s = 4; s < 13; ++s)
      setFat(s, s + 1);
    setFat(13, kEnd);
    for (uint32_t i = 0; i < 128; ++i)
      setMiniFat(i, kFree);
    setMiniFat(0, 1);
    setMiniFat(1, kEnd);
    entry(0, u"Root Entry", 5, kNone, kNone, 2, 3, 128);
    entry(1, u"A", 2, kNone, kNone, kNone, 4, 5000);
    entry(2, u"B", 2, 1, 3, kNone, 0, 100);
    entry(3, u"S", 1, kNone, kNone, kNone, 0, 0);
    const auto a = pattern(5000, 1);
    std::memcpy(sector(4), a.data(), a.size());
    const auto b = pattern(100, 2);
    std::memcpy(sector(3), b.data(), b.size());
  }

  std::byte* sector(uint32_t s) { return m_data.data() + (size_t{s} + 1) * 512; }
  void set16(size_t at, uint16_t v) {
    m_data[at] = static_cast<std::byte>(v & 0xFF);
    m_data[at + 1] = static_cast<std::byte>(v >> 8);
  }
  void set32(size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i)
      m_data[at + i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
  }
  void setFat(uint32_t i, uint32_t v) { set32(512 + 4 * size_t{i}, v); }
  void setMiniFat(uint32_t i, uint32_t v) { set32(3 * 512 + 4 * size_t{i}, v); }
  // Offset of a field of directory entry id.
  static size_t field(uint32_t id, size_t offset) { return 2 * 512 + 128 * size_t{id} + offset; }
  void entry(uint32_t id, std::u16string_view name, uint8_t type, uint32_t left, uint32_t right,
             uint32_t child, uint32_t start, uint32_t size) {
    std::memset(m_data.data() + field(id, 0), 0, 128);
    for (size_t i = 0; i < name.size(); ++i)
      set16(field(id, 2 * i), name[i]);
    set16(field(id, 64), static_cast<uint16_t>((name.size() + 1) * 2));
    m_data[field(id, 66)] = static_cast<std::byte>(type);
    m_data[field(id, 67)] = std::byte{1};
    set32(field(id, 68), left);
    set32(field(id, 72), right);
    set32(field(id, 76), child);
    set32(field(id, 116), start);
    set32(field(id, 120), size);
  }
  std::filesystem::path save(const TempDir& dir, const std::string& name = "words.brd") const {
    testing::writeFile(dir / name, m_data);
    return dir / name;
  }
  std::vector<std::byte>& data() { return m_data; }

 private:
  std::vector<std::byte> m_data;
};

// The error of f(), or "" if it raised nothing.
std::string errorOf(const std::function<void()>& f, uint32_t* code = nullptr) {
  try {
    f();
  } catch (const EStorageError& e) {
    if (code) *code = e.code();
    return e.what();
  }
  return "";
}

#define EXPECT_CORRUPT(statement, fragment)                                  \
  do {                                                                       \
    uint32_t code_ = 0;                                                      \
    const std::string msg_ = errorOf([&] { statement; }, &code_);            \
    EXPECT_EQ(code_, hresult::kDocFileCorrupt) << msg_;                      \
    EXPECT_NE(msg_.find(fragment), std::string::npos) << msg_;               \
    EXPECT_NE(msg_.find("STG_E_DOCFILECORRUPT"), std::string::npos) << msg_; \
  } while (false)

TEST(CompoundFileMalformed, HandBuiltFileReads) {
  TempDir dir;
  auto file = CompoundFile::open(RawFile().save(dir));
  EXPECT_EQ(readStream(file.root(), u"A"), pattern(5000, 1));
  EXPECT_EQ(readStream(file.root(), u"B"), pattern(100, 2));
  file.root().openStorage(u"S");
  // And it is sound enough to write to.
  testing::putStream(file.root(), u"C", pattern(10, 3));
}

TEST(CompoundFileMalformed, RejectsBadHeaderFieldsBeforeUsingThem) {
  TempDir dir;
  const struct {
    size_t offset;
    uint16_t value;
    const char* fragment;
  } cases[] = {{0x1E, 25, "sector shift 25"}, {0x1E, 0xFFFF, "sector shift 65535"},
               {0x1E, 0, "sector shift 0"},   {0x20, 7, "mini sector shift 7"},
               {0x1C, 0xFEFF, "byte order"},  {0x1A, 5, "major version 5"},
               {0x38, 0, "cutoff 0"}};
  for (const auto& c : cases) {
    RawFile raw;
    raw.set16(c.offset, c.value);
    EXPECT_CORRUPT(CompoundFile::open(raw.save(dir), Access::ReadOnly), c.fragment);
  }
  RawFile raw;
  raw.set32(0x2C, 0x10000000);  // FAT sectors beyond any file this size
  EXPECT_CORRUPT(CompoundFile::open(raw.save(dir), Access::ReadOnly), "FAT sectors");
}

TEST(CompoundFileMalformed, LoopingChainsAreReportedWithTheirPlace) {
  TempDir dir;
  RawFile raw;
  raw.setFat(7, 5);  // A: 4 5 6 7 5 6 7 ...
  auto file = CompoundFile::open(raw.save(dir), Access::ReadOnly);
  EXPECT_CORRUPT(file.root().openStream(u"A"),
                 "words.brd: sector chain of stream 'A' loops at sector 5");
  EXPECT_EQ(readStream(file.root(), u"B"), pattern(100, 2));  // the rest still reads

  RawFile dirLoop;
  dirLoop.setFat(1, 1);
  EXPECT_CORRUPT(CompoundFile::open(dirLoop.save(dir), Access::ReadOnly),
                 "sector chain of the directory loops at sector 1");

  RawFile miniLoop;
  miniLoop.setMiniFat(0, 0);
  auto f2 = CompoundFile::open(miniLoop.save(dir), Access::ReadOnly);
  EXPECT_CORRUPT(f2.root().openStream(u"B"), "loops at mini sector 0");

  RawFile difatLoop;
  difatLoop.set32(0x2C, 2);  // a second FAT sector, listed in a DIFAT sector that lists itself
  difatLoop.set32(0x4C + 4, kFree);
  difatLoop.set32(0x44, 12);
  difatLoop.set32(0x48, 1);
  for (uint32_t i = 0; i < 128; ++i)
    difatLoop.set32(13 * 512 + 4 * size_t{i}, 12);
  EXPECT_EQ(errorOf([&] { CompoundFile::open(difatLoop.save(dir), Access::ReadOnly); }), "")
      << "a FREESECT in the header slots ends the list; the DIFAT is not consulted";
  difatLoop.set32(0x4C + 4, 0);  // now the header lists two, the same sector twice
  difatLoop.set32(0x2C, 380);
  difatLoop.data().resize(401 * 512);
  for (size_t i = 1; i < 109; ++i)
    difatLoop.set32(0x4C + 4 * i, 0);
  EXPECT_CORRUPT(CompoundFile::open(difatLoop.save(dir), Access::ReadOnly), "DIFAT chain loops");
}

TEST(CompoundFileMalformed, BrokenDirectoryTreesAreRejected) {
  TempDir dir;
  {
    RawFile raw;
    raw.set32(RawFile::field(2, 68), 2);  // B is its own left sibling
    EXPECT_CORRUPT(CompoundFile::open(raw.save(dir), Access::ReadOnly), "reached twice");
  }
  {
    RawFile raw;
    raw.set32(RawFile::field(3, 76), 2);  // S contains B, which also sits in the root
    EXPECT_CORRUPT(CompoundFile::open(raw.save(dir), Access::ReadOnly), "reached twice");
  }
  {
    RawFile raw;
    raw.set32(RawFile::field(2, 72), 56);
    EXPECT_CORRUPT(CompoundFile::open(raw.save(dir), Access::ReadOnly), "entry 56");
  }
  {
    RawFile raw;
    raw.data()[RawFile::field(3, 66)] = std::byte{7};
    EXPECT_CORRUPT(CompoundFile::open(raw.save(dir), Access::ReadOnly), "has type 7");
  }
  {
    RawFile raw;
    raw.set32(RawFile::field(1, 76), 3);  // a stream with children
    EXPECT_CORRUPT(CompoundFile::open(raw.save(dir), Access::ReadOnly), "has children");
  }
  {
    RawFile raw;
    raw.set16(RawFile::field(1, 64), 66);
    EXPECT_CORRUPT(CompoundFile::open(raw.save(dir), Access::ReadOnly), "bad name length");
  }
  {
    RawFile raw;
    raw.data()[RawFile::field(0, 66)] = std::byte{1};
    EXPECT_CORRUPT(CompoundFile::open(raw.save(dir), Access::ReadOnly), "not the root entry");
  }
  {
    RawFile raw;
    raw.set32(0x30, kEnd);
    EXPECT_CORRUPT(CompoundFile::open(raw.save(dir), Access::ReadOnly), "no root entry");
  }
}

TEST(CompoundFileMalformed, DeclaredSizesAreCheckedBeforeAllocation) {
  TempDir dir;
  RawFile raw;
  raw.set32(RawFile::field(1, 120), 0xF3000000);  // about 4 GB on ten sectors
  auto file = CompoundFile::open(raw.save(dir), Access::ReadOnly);
  EXPECT_CORRUPT(file.root().openStream(u"A"), "more than the file holds");

  RawFile shortChain;
  shortChain.setFat(6, kEnd);
  auto f2 = CompoundFile::open(shortChain.save(dir), Access::ReadOnly);
  EXPECT_CORRUPT(f2.root().openStream(u"A"), "ends after 3 sectors");

  RawFile outside;
  outside.setFat(6, 900);
  auto f3 = CompoundFile::open(outside.save(dir), Access::ReadOnly);
  EXPECT_CORRUPT(f3.root().openStream(u"A"), "sector 900 beyond the end of the file");

  RawFile miniOutside;
  miniOutside.setMiniFat(0, 40);
  auto f4 = CompoundFile::open(miniOutside.save(dir), Access::ReadOnly);
  EXPECT_CORRUPT(f4.root().openStream(u"B"), "mini sector 40 beyond the mini stream");
}

TEST(CompoundFileMalformed, ToleratesQuirksOfRealFiles) {
  TempDir dir;
  RawFile raw;
  raw.set16(0x18, 0x3B);                          // LibreOffice's minor version
  raw.set32(0x08, 0x12345678);                    // AAF's header CLSID
  raw.set32(RawFile::field(1, 124), 0xDEADBEEF);  // Word 95's high size dword (v3)
  raw.set32(RawFile::field(3, 116), 0xFFFFFFFD);  // storage start garbage
  raw.set32(RawFile::field(1, 100), 0x01020304);  // stream timestamps
  raw.set32(RawFile::field(1, 80), 0xCAFE);       // stream CLSID
  for (uint32_t id = 0; id < 4; ++id)
    raw.data()[RawFile::field(id, 67)] = std::byte{0};  // red
  for (uint32_t i = 20; i < 128; ++i)
    raw.setFat(i, 0);                      // FAT entries past the end, not free
  raw.set32(0x2C, 3);                      // DIFAT ends in FREESECT before the count
  raw.set32(RawFile::field(0, 120), 100);  // ends inside the last mini sector of B
  auto path = raw.save(dir);
  {
    auto file = CompoundFile::open(path);
    EXPECT_EQ(readStream(file.root(), u"A"), pattern(5000, 1));
    EXPECT_EQ(readStream(file.root(), u"B"), pattern(100, 2));
    testing::putStream(file.root(), u"B", pattern(200, 4));  // writable too
  }
  auto file = CompoundFile::open(path);
  EXPECT_EQ(readStream(file.root(), u"A"), pattern(5000, 1));
  EXPECT_EQ(readStream(file.root(), u"B"), pattern(200, 4));
}

TEST(CompoundFileMalformed, ShortLastSectorReadsAsZeros) {
  TempDir dir;
  RawFile raw;
  raw.data().resize(14 * 512 + 200);  // A's last sector keeps 200 of its 392 bytes
  auto file = CompoundFile::open(raw.save(dir));
  auto expected = pattern(5000, 1);
  std::fill(expected.begin() + 9 * 512 + 200, expected.end(), std::byte{0});
  EXPECT_EQ(readStream(file.root(), u"A"), expected);
  // The first commit completes the sector, so the file is whole sectors again.
  testing::putStream(file.root(), u"B", pattern(10, 3));
  EXPECT_EQ(std::filesystem::file_size(dir / "words.brd") % 512, 0u);
  EXPECT_EQ(readStream(file.root(), u"A"), expected);
}

TEST(CompoundFileMalformed, SharedSectorsReadButAreNeverWritten) {
  TempDir dir;
  RawFile raw;
  raw.entry(3, u"S", 2, kNone, kNone, kNone, 6, 4096);  // S's chain is the tail of A's
  const auto path = raw.save(dir);
  const auto before = testing::readFile(path);
  {
    auto ro = CompoundFile::open(path, Access::ReadOnly);
    EXPECT_EQ(readStream(ro.root(), u"S").size(), 4096u);  // tolerant when only reading
  }
  auto file = CompoundFile::open(path);
  EXPECT_EQ(readStream(file.root(), u"A"), pattern(5000, 1));
  EXPECT_CORRUPT(testing::putStream(file.root(), u"B", pattern(10, 1)),
                 "is used by both stream 'A' and stream 'S'");
  EXPECT_CORRUPT(file.root().createStream(u"new"), "used by both");
  EXPECT_CORRUPT(file.beginTransaction(), "used by both");
  EXPECT_EQ(testing::readFile(path), before);
}

// Every malformed sample: rejected, or read with bounds. Writing to a copy either is refused or
// leaves a file that reads back.
TEST(CompoundFileMalformed, MalformedSamplesNeverCrashOrHang) {
  const auto folder = std::filesystem::path(VERBALON_SOURCE_DIR) / "tests/data/cfb/malformed";
  TempDir dir;
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().filename().string());
    ++count;
    const auto copy = dir.path() / entry.path().filename();
    std::filesystem::copy_file(entry.path(), copy);
    for (Access access : {Access::ReadOnly, Access::ReadWriteExclusive}) {
      uint32_t code = 0;
      const std::string msg = errorOf(
          [&] {
            auto file = CompoundFile::open(copy, access);
            for (const auto& item : testing::readTree(file))
              (void)item;
          },
          &code);
      if (!msg.empty()) {
        EXPECT_TRUE(code == hresult::kDocFileCorrupt || code == hresult::kFileAlreadyExists) << msg;
        EXPECT_EQ(msg.rfind(copy.filename().string() + ": ", 0), 0u) << msg;
      }
    }
    std::string writeError = errorOf([&] {
      auto file = CompoundFile::open(copy);
      testing::putStream(file.root(), u"added", pattern(5000, 7));
    });
    if (writeError.empty()) {
      auto file = CompoundFile::open(copy, Access::ReadOnly);
      EXPECT_EQ(readStream(file.root(), u"added"), pattern(5000, 7));
    }
  }
  EXPECT_EQ(count, 10u);
}

TEST(CompoundFileMalformed, SpecificMalformedSamplesFailWhereExpected) {
  const auto folder = std::filesystem::path(VERBALON_SOURCE_DIR) / "tests/data/cfb/malformed";
  EXPECT_CORRUPT(CompoundFile::open(folder / "no_sectors.doc", Access::ReadOnly),
                 "sector shift 25");
  EXPECT_CORRUPT(CompoundFile::open(folder / "empty_directory_chain.doc", Access::ReadOnly),
                 "no root entry");
  {
    auto file = CompoundFile::open(folder / "mediationform.doc", Access::ReadOnly);
    EXPECT_CORRUPT(file.root().openStream(u"\x01"
                                          u"CompObj"),
                   "loops at mini sector 0");
  }
  {
    auto file = CompoundFile::open(folder / "61300.bin", Access::ReadOnly);
    EXPECT_CORRUPT(file.root().openStream(u"\x05"
                                          u"SummaryInformation"),
                   "more than the file holds");
  }
}

}  // namespace
}  // namespace verbalon::storage
