// The rules a writer must follow for Windows and Office to accept its files, checked on the raw
// bytes of files we write, after creation and after every kind of change.
#include <cstring>
#include <set>

#include <gtest/gtest.h>

#include "compound_file_test_util.h"
#include "storage/compound_file.h"
#include "storage/detail/names.h"

namespace verbalon::storage {
namespace {

using testing::pattern;
using testing::putStream;
using testing::readStream;
using testing::TempDir;

constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kNone = 0xFFFFFFFF;

// A plain reading of a file, trusting it: good enough for files we wrote ourselves.
struct RawView {
  struct Entry {
    std::u16string name;
    uint8_t type = 0, color = 0;
    uint32_t left = 0, right = 0, child = 0, start = 0;
    uint64_t size = 0, created = 0, modified = 0;
    const std::byte* raw = nullptr;
  };

  explicit RawView(const std::filesystem::path& path) : data(testing::readFile(path)) {
    ss = 1u << u16(0x1E);
    const uint32_t numFat = u32(0x2C);
    for (size_t i = 0; i < 109 && fatSectors.size() < numFat; ++i) {
      fatSectors.push_back(u32(0x4C + 4 * i));
    }
    for (uint32_t d = u32(0x44); d != kEnd && fatSectors.size() < numFat; d = at(d, ss / 4 - 1)) {
      difatSectors.push_back(d);
      for (size_t i = 0; i + 1 < ss / 4 && fatSectors.size() < numFat; ++i) {
        fatSectors.push_back(at(d, i));
      }
    }
    for (uint32_t s : fatSectors) {
      for (size_t i = 0; i < ss / 4; ++i)
        fat.push_back(at(s, i));
    }
    dirChain = chain(u32(0x30));
    for (uint32_t s : dirChain) {
      for (size_t i = 0; i < ss / 128; ++i) {
        const std::byte* p = data.data() + (size_t{s} + 1) * ss + 128 * i;
        Entry e;
        const size_t units = std::max<size_t>(get16(p + 64), 2) / 2 - 1;
        for (size_t k = 0; k < units; ++k)
          e.name.push_back(static_cast<char16_t>(get16(p + 2 * k)));
        e.type = std::to_integer<uint8_t>(p[66]);
        e.color = std::to_integer<uint8_t>(p[67]);
        e.left = get32(p + 68);
        e.right = get32(p + 72);
        e.child = get32(p + 76);
        e.created = get32(p + 100) | (uint64_t{get32(p + 104)} << 32);
        e.modified = get32(p + 108) | (uint64_t{get32(p + 112)} << 32);
        e.start = get32(p + 116);
        e.size = get32(p + 120) | (uint64_t{get32(p + 124)} << 32);
        e.raw = p;
        dir.push_back(e);
      }
    }
    miniFatChain = chain(u32(0x3C));
    for (uint32_t s : miniFatChain) {
      for (size_t i = 0; i < ss / 4; ++i)
        miniFat.push_back(at(s, i));
    }
  }

  static uint16_t get16(const std::byte* p) {
    return static_cast<uint16_t>(std::to_integer<unsigned>(p[0]) |
                                 (std::to_integer<unsigned>(p[1]) << 8));
  }
  static uint32_t get32(const std::byte* p) {
    return get16(p) | (static_cast<uint32_t>(get16(p + 2)) << 16);
  }
  uint16_t u16(size_t off) const { return get16(data.data() + off); }
  uint32_t u32(size_t off) const { return get32(data.data() + off); }
  uint32_t at(uint32_t sector, size_t index) const {
    return u32((size_t{sector} + 1) * ss + 4 * index);
  }
  std::vector<uint32_t> chain(uint32_t s) const {
    std::vector<uint32_t> out;
    while (s != kEnd && out.size() <= fat.size()) {
      out.push_back(s);
      s = fat.at(s);
    }
    return out;
  }
  std::vector<uint32_t> miniChain(uint32_t s) const {
    std::vector<uint32_t> out;
    while (s != kEnd && out.size() <= miniFat.size()) {
      out.push_back(s);
      s = miniFat.at(s);
    }
    return out;
  }

  std::vector<std::byte> data;
  uint32_t ss = 512;
  std::vector<uint32_t> fatSectors, difatSectors, fat, dirChain, miniFatChain, miniFat;
  std::vector<Entry> dir;
};

// Checks one storage's tree: search order by the format's name rule, no red child of a red
// node, the same number of black nodes on every path; adds its storages to `storages`.
void checkTree(const RawView& v, uint32_t storage, std::vector<uint32_t>& storages,
               std::vector<int>& owner) {
  std::set<int> nilBlacks;
  std::vector<uint32_t> inOrder;
  // Recursion is fine here: these are our own balanced trees.
  std::function<void(uint32_t, int, bool)> visit = [&](uint32_t id, int b, bool parentRed) {
    if (id == kNone) {
      nilBlacks.insert(b);
      return;
    }
    ASSERT_LT(id, v.dir.size());
    const auto& e = v.dir[id];
    ASSERT_EQ(owner[id], -1) << "entry " << id << " reached twice";
    owner[id] = static_cast<int>(storage);
    const bool red = e.color == 0;
    EXPECT_FALSE(red && parentRed) << "red entry " << testing::utf8(e.name) << " under a red one";
    visit(e.left, b + (red ? 0 : 1), red);
    inOrder.push_back(id);
    if (e.type == 1) storages.push_back(id);
    visit(e.right, b + (red ? 0 : 1), red);
  };
  visit(v.dir[storage].child, 0, false);
  EXPECT_LE(nilBlacks.size(), 1u) << "unequal black heights under " << storage;
  for (size_t i = 1; i < inOrder.size(); ++i) {
    EXPECT_LT(detail::compareNames(v.dir[inOrder[i - 1]].name, v.dir[inOrder[i]].name), 0)
        << "sibling order under " << storage;
  }
}

// `allOurs`: every element was made by us, so times and CLSIDs must be zero (we keep those of
// elements other writers made).
void checkWriterRules(const std::filesystem::path& path, bool allOurs = true) {
  SCOPED_TRACE(path.filename().string());
  const RawView v(path);
  const bool v4 = v.ss == 4096;
  EXPECT_EQ(v.u16(0x18), 0x3E);
  EXPECT_EQ(v.u16(0x1A), v4 ? 4 : 3);
  for (size_t i = 0x08; i < 0x18; ++i)
    EXPECT_EQ(v.data[i], std::byte{0}) << "header CLSID";
  EXPECT_EQ(v.u32(0x28), v4 ? v.dirChain.size() : 0u) << "directory sector count";
  EXPECT_EQ(v.u32(0x34), 0u);
  EXPECT_EQ(v.u32(0x38), 4096u);
  for (size_t i = v.fatSectors.size(); i < 109; ++i)
    EXPECT_EQ(v.u32(0x4C + 4 * i), kFree);
  if (v4) {
    for (size_t i = 512; i < 4096; ++i)
      ASSERT_EQ(v.data[i], std::byte{0}) << "header padding";
  }

  // Whole sectors; every sector the FAT uses is inside the file, everything past it is free.
  ASSERT_EQ(v.data.size() % v.ss, 0u);
  const size_t sectors = v.data.size() / v.ss - 1;
  for (size_t i = sectors; i < v.fat.size(); ++i)
    ASSERT_EQ(v.fat[i], kFree) << "FAT " << i;

  // Every used sector belongs to exactly one owner: no sharing, no leaks.
  std::vector<int> sectorOwner(sectors, 0);
  const auto claim = [&](uint32_t s) {
    ASSERT_LT(s, sectors);
    EXPECT_EQ(sectorOwner[s]++, 0) << "sector " << s << " used twice";
  };
  for (uint32_t s : v.fatSectors) {
    claim(s);
    EXPECT_EQ(v.fat[s], 0xFFFFFFFDu);
  }
  for (uint32_t s : v.difatSectors) {
    claim(s);
    EXPECT_EQ(v.fat[s], 0xFFFFFFFCu);
  }
  for (uint32_t s : v.dirChain)
    claim(s);
  for (uint32_t s : v.miniFatChain)
    claim(s);

  ASSERT_GE(v.dir.size(), 1u);
  const auto& root = v.dir[0];
  EXPECT_EQ(root.type, 5);
  EXPECT_EQ(root.name, u"Root Entry");
  EXPECT_EQ(root.left, kNone);
  EXPECT_EQ(root.right, kNone);
  for (uint32_t s : v.chain(root.start))
    claim(s);

  std::vector<int> owner(v.dir.size(), -1);
  owner[0] = 0;
  std::vector<uint32_t> storages{0};
  std::vector<uint8_t> miniUsed(v.miniFat.size(), 0);
  for (size_t k = 0; k < storages.size(); ++k)
    checkTree(v, storages[k], storages, owner);
  for (size_t id = 1; id < v.dir.size(); ++id) {
    const auto& e = v.dir[id];
    if (e.type == 0) {
      std::array<std::byte, 128> unused{};
      std::memset(unused.data() + 68, 0xFF, 12);
      EXPECT_EQ(std::memcmp(e.raw, unused.data(), 128), 0) << "unused entry " << id;
      continue;
    }
    EXPECT_NE(owner[id], -1) << "entry " << id << " is in no tree";
    if (e.type != 2) continue;
    if (allOurs) {
      for (size_t i = 80; i < 96; ++i)
        EXPECT_EQ(e.raw[i], std::byte{0}) << "CLSID of " << id;
      EXPECT_EQ(e.created, 0u);
      EXPECT_EQ(e.modified, 0u);
    }
    if (e.size == 0) {
      EXPECT_EQ(e.start, kEnd);
    } else if (e.size < 4096) {
      const auto c = v.miniChain(e.start);
      EXPECT_EQ(c.size(), (e.size + 63) / 64) << testing::utf8(e.name);
      for (uint32_t m : c) {
        ASSERT_LT(m, miniUsed.size());
        EXPECT_EQ(miniUsed[m]++, 0);
      }
    } else {
      const auto c = v.chain(e.start);
      EXPECT_EQ(c.size(), (e.size + v.ss - 1) / v.ss) << testing::utf8(e.name);
      for (uint32_t s : c)
        claim(s);
    }
  }
  for (size_t i = 0; i < sectors; ++i) {
    EXPECT_EQ(sectorOwner[i] != 0, i < v.fat.size() && v.fat[i] != kFree) << "sector " << i;
  }
  // The mini stream ends with its last used mini sector; the mini FAT covers it, no more.
  size_t used = v.miniFat.size();
  while (used > 0 && v.miniFat[used - 1] == kFree)
    --used;
  EXPECT_EQ(root.size, used * 64u);
  for (size_t i = 0; i < used; ++i)
    EXPECT_EQ(miniUsed[i] != 0, v.miniFat[i] != kFree);
  EXPECT_EQ(v.miniFatChain.size(), (used + v.ss / 4 - 1) / (v.ss / 4));
  EXPECT_EQ(v.u32(0x40), v.miniFatChain.size());
}

TEST(CompoundFileFormat, WrittenFilesFollowTheWriterRules) {
  TempDir dir;
  const auto path = dir / "a.cfb";
  { CompoundFile::create(path); }
  checkWriterRules(path);
  {
    auto file = CompoundFile::open(path);
    putStream(file.root(), u"empty", {});
    putStream(file.root(), u"mini", pattern(63, 1));
    putStream(file.root(), u"edge", pattern(4095, 2));
    putStream(file.root(), u"regular", pattern(4096, 3));
    Storage st = file.root().createStorage(u"Словарь");
    putStream(st, u"ёлка", pattern(64, 4));
    st.createStorage(u"пустое");
  }
  checkWriterRules(path);
  {
    auto file = CompoundFile::open(path);
    putStream(file.root(), u"mini", pattern(9000, 5));  // leaves the mini stream
    putStream(file.root(), u"edge", pattern(1, 6));
    putStream(file.root(), u"regular", {});
    auto txn = file.beginTransaction();
    putStream(file.root(), u"rolled back", pattern(100000, 7));
  }
  checkWriterRules(path);
  {
    auto file = CompoundFile::open(path);
    putStream(file.root(), u"mini", pattern(10, 8));
    putStream(file.root(), u"edge", {});
    putStream(file.root().openStorage(u"Словарь"), u"ёлка", {});  // the mini stream empties
  }
  checkWriterRules(path);
}

TEST(CompoundFileFormat, SiblingTreesAreValidRedBlackTreesForAnyCount) {
  TempDir dir;
  const auto path = dir / "a.cfb";
  {
    auto file = CompoundFile::create(path);
    auto txn = file.beginTransaction();
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 14, 15, 16, 17, 31, 33, 64, 100}) {
      const std::string name = "n" + std::to_string(n);
      Storage st = file.root().createStorage(std::u16string(name.begin(), name.end()));
      // Reverse order and mixed case, so that the tree cannot simply follow insertion.
      for (int i = n; i > 0; --i) {
        const std::string child = (i % 2 ? "Item" : "item") + std::to_string(i * 7919 % 1000);
        st.createStream(std::u16string(child.begin(), child.end()));
      }
    }
    txn.commit();
  }
  checkWriterRules(path);
}

TEST(CompoundFileFormat, ModifyingAVersion4FileKeepsVersion4) {
  const auto sample = std::filesystem::path(VERBALON_SOURCE_DIR) / "tests/data/cfb/other/empty.aaf";
  TempDir dir;
  const auto path = dir / "v4.aaf";
  std::filesystem::copy_file(sample, path);
  const RawView before(path);
  {
    auto file = CompoundFile::open(path);
    putStream(file.root(), u"added", pattern(5000, 1));
    putStream(file.root(), u"small", pattern(100, 2));
    // Enough new entries for new directory sectors (32 per 4096-byte sector).
    Storage st = file.root().createStorage(u"many");
    auto txn = file.beginTransaction();
    for (int i = 0; i < 70; ++i) {
      const std::string n = "s" + std::to_string(i);
      st.createStream(std::u16string(n.begin(), n.end()));
    }
    txn.commit();
  }
  checkWriterRules(path, false);
  const RawView after(path);
  EXPECT_GT(after.dirChain.size(), before.dirChain.size());
  // The root keeps its CLSID; the rest of the tree is unchanged.
  EXPECT_EQ(std::memcmp(after.dir[0].raw + 80, before.dir[0].raw + 80, 16), 0);
  auto file = CompoundFile::open(path, Access::ReadOnly);
  EXPECT_EQ(readStream(file.root(), u"added"), pattern(5000, 1));
}

TEST(CompoundFileFormat, NamesCompareByLengthThenSimpleUpperCase) {
  using detail::compareNames;
  EXPECT_LT(compareNames(u"zz", u"aaa"), 0);
  EXPECT_EQ(compareNames(u"ABC", u"abc"), 0);
  EXPECT_EQ(compareNames(u"àéîõü", u"ÀÉÎÕÜ"), 0);
  EXPECT_EQ(compareNames(u"ÿ", u"Ÿ"), 0);
  EXPECT_NE(compareNames(u"ß", u"S"), 0);  // no one-unit upper case: stays
  EXPECT_EQ(compareNames(u"словарь", u"СЛОВАРЬ"), 0);
  EXPECT_EQ(compareNames(u"ёж", u"ЁЖ"), 0);
  EXPECT_EQ(compareNames(u"ўі", u"ЎІ"), 0);
  EXPECT_LT(compareNames(u"Ёж", u"Аж"), 0);  // Ё (U+0401) sorts before А (U+0410)
  EXPECT_GT(compareNames(u"_", u"a"), 0);    // "a" compares as "A" (0x41), below "_" (0x5F)
  // Excel's order in ConditionalFormattingSamples.xls; "ß" as "SS" would reverse it.
  EXPECT_LT(compareNames(u"UFÝÝÉLÝÁßEOIÛÊÍÙAÒÍßÝA==", u"ßYSTÞSÊZBÄSÝÌÕÌRE×WWZA=="), 0);
}

}  // namespace
}  // namespace verbalon::storage
