// On-disk layout (all integers little-endian). The file is a header sector followed by sectors
// numbered from 0; sector n starts at (n + 1) * sector size. The header (first 512 bytes):
//   0x00 signature D0 CF 11 E0 A1 B1 1A E1    0x08 CLSID (ignored)
//   0x18 minor version (0x3E; 0x3B seen)      0x1A major version 3 or 4
//   0x1C byte order FFFE                      0x1E sector shift 9 or 12    0x20 mini shift 6
//   0x28 directory sector count (0 in v3)     0x2C FAT sector count        0x30 first dir sector
//   0x34 transaction signature                0x38 mini stream cutoff 4096
//   0x3C first mini FAT sector, 0x40 count    0x44 first DIFAT sector, 0x48 count
//   0x4C 109 FAT sector locations; the rest live in the DIFAT chain (each DIFAT sector: the
//        locations, then the next DIFAT sector).
// The FAT links each sector to the next of its chain. Directory entries (128 bytes) form, for
// each storage, a binary search tree of its children; entry 0 is the root, whose chain is the
// mini stream: 64-byte mini sectors linked by the mini FAT, holding every stream under 4096
// bytes.
#include "storage/detail/file_state.h"

#include <algorithm>
#include <cstring>

#include "storage/detail/names.h"

namespace verbalon::storage::detail {
namespace {

constexpr std::array<uint8_t, 8> kSignature{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kEntrySize = 128;
// The v4 range-lock sector (bytes 0x7FFFFF00..0x7FFFFFFF) belongs to ole32's locking; no data
// may go there. v3 files end below it anyway (2 GB limit).
constexpr uint64_t kLockOffset = 0x7FFFFF00;
// The most one read of stream data asks for at once.
constexpr uint64_t kMaxRead = uint64_t{1} << 20;

uint16_t rd16(const std::byte* p) {
  return static_cast<uint16_t>(std::to_integer<unsigned>(p[0]) |
                               (std::to_integer<unsigned>(p[1]) << 8));
}
uint32_t rd32(const std::byte* p) {
  return std::to_integer<uint32_t>(p[0]) | (std::to_integer<uint32_t>(p[1]) << 8) |
         (std::to_integer<uint32_t>(p[2]) << 16) | (std::to_integer<uint32_t>(p[3]) << 24);
}
uint64_t rd64(const std::byte* p) {
  return rd32(p) | (static_cast<uint64_t>(rd32(p + 4)) << 32);
}
void wr16(std::byte* p, uint16_t v) {
  p[0] = static_cast<std::byte>(v & 0xFF);
  p[1] = static_cast<std::byte>(v >> 8);
}
void wr32(std::byte* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
}
void wr64(std::byte* p, uint64_t v) {
  wr32(p, static_cast<uint32_t>(v));
  wr32(p + 4, static_cast<uint32_t>(v >> 32));
}

uint64_t ceilDiv(uint64_t a, uint64_t b) {
  return (a + b - 1) / b;
}

std::string quoted(std::u16string_view name) {
  return "'" + toUtf8(name) + "'";
}

DirEntry parseEntry(const std::byte* p, bool v3) {
  DirEntry e;
  const uint16_t nameBytes = rd16(p + 64);
  e.type = std::to_integer<uint8_t>(p[66]);
  e.color = std::to_integer<uint8_t>(p[67]);
  e.left = rd32(p + 68);
  e.right = rd32(p + 72);
  e.child = rd32(p + 76);
  for (size_t i = 0; i < 16; ++i)
    e.clsid[i] = std::to_integer<uint8_t>(p[80 + i]);
  e.stateBits = rd32(p + 96);
  e.created = rd64(p + 100);
  e.modified = rd64(p + 108);
  e.start = rd32(p + 116);
  // Version 3 sizes are 32-bit; old writers left garbage in the high half.
  e.size = v3 ? rd32(p + 120) : rd64(p + 120);
  e.badName = nameBytes == 0 || nameBytes > 64 || nameBytes % 2 != 0;
  const size_t units = e.badName ? 0 : nameBytes / 2 - 1;
  for (size_t i = 0; i < units; ++i) {
    const auto c = static_cast<char16_t>(rd16(p + 2 * i));
    if (c == 0) break;
    e.name.push_back(c);
  }
  return e;
}

void writeEntry(std::byte* p, const DirEntry& e, bool v3) {
  std::memset(p, 0, kEntrySize);
  if (e.type == kUnused) {
    // Exactly what Windows writes for a free slot.
    wr32(p + 68, kNoStream);
    wr32(p + 72, kNoStream);
    wr32(p + 76, kNoStream);
    return;
  }
  for (size_t i = 0; i < e.name.size() && i < 31; ++i)
    wr16(p + 2 * i, e.name[i]);
  wr16(p + 64, static_cast<uint16_t>((std::min<size_t>(e.name.size(), 31) + 1) * 2));
  p[66] = static_cast<std::byte>(e.type);
  p[67] = static_cast<std::byte>(e.color);
  wr32(p + 68, e.left);
  wr32(p + 72, e.right);
  wr32(p + 76, e.child);
  for (size_t i = 0; i < 16; ++i)
    p[80 + i] = static_cast<std::byte>(e.clsid[i]);
  wr32(p + 96, e.stateBits);
  wr64(p + 100, e.created);
  wr64(p + 108, e.modified);
  wr32(p + 116, e.start);
  wr64(p + 120, v3 ? (e.size & 0xFFFFFFFFu) : e.size);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

FileState::FileState(std::unique_ptr<Device> device, const std::filesystem::path& path,
                     Access access)
    : m_dev(std::move(device)), m_path(path), m_name(displayName(path)), m_access(access) {}

std::shared_ptr<FileState> FileState::open(const std::filesystem::path& path, Access access) {
  std::shared_ptr<FileState> file(new FileState(openFileDevice(path, access, false), path, access));
  file->load();
  return file;
}

std::shared_ptr<FileState> FileState::create(const std::filesystem::path& path) {
  std::shared_ptr<FileState> file(new FileState(
      openFileDevice(path, Access::ReadWriteExclusive, true), path, Access::ReadWriteExclusive));
  file->initEmpty();
  try {
    file->flush();
  } catch (const EStorageError&) {
    // A half-written new file is no compound file; it goes rather than blocking the name.
    std::error_code ec;
    std::filesystem::remove(path, ec);
    throw;
  }
  return file;
}

std::shared_ptr<FileState> FileState::openMemory(std::vector<std::byte> data, std::string name,
                                                 Access access) {
  std::shared_ptr<FileState> file(new FileState(memoryDevice(std::move(data)), name, access));
  file->m_name = name;
  file->load();
  return file;
}

void FileState::fail(uint32_t code, const std::string& what) const {
  throw EStorageError(code, m_name + ": " + what);
}

void FileState::corrupt(const std::string& what) const {
  fail(hresult::kDocFileCorrupt, what);
}

void FileState::checkHandle(uint32_t id, uint64_t serial) const {
  if (serial == 0 || this->serial(id) != serial) {
    fail(hresult::kReverted, "the element was discarded when a transaction was rolled back");
  }
}

std::string FileState::pathOf(uint32_t id) const {
  std::vector<uint32_t> ids;
  for (size_t guard = 0; id != 0 && id < m_live.parent.size() && guard < m_live.dir.size();
       ++guard) {
    ids.push_back(id);
    id = m_live.parent[id];
  }
  if (ids.empty()) return "Root Entry";
  std::string out;
  for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
    if (!out.empty()) out += '/';
    out += toUtf8(m_live.dir[*it].name);
  }
  return out;
}

// --- Loading ---------------------------------------------------------------------------------

void FileState::initEmpty() {
  m_ss = 512;
  m_perFat = 128;
  m_perDir = 4;
  for (size_t i = 0; i < 8; ++i)
    m_header[i] = static_cast<std::byte>(kSignature[i]);
  wr16(&m_header[0x1A], 3);
  wr16(&m_header[0x1C], 0xFFFE);
  wr16(&m_header[0x1E], 9);
  wr16(&m_header[0x20], 6);
  DirEntry root;
  root.name = u"Root Entry";
  root.type = kRoot;
  root.color = 0;  // Windows writes the root red
  root.start = kEndOfChain;
  m_live.dir.assign(m_perDir, DirEntry{});
  m_live.dir[0] = root;
  m_live.children.assign(m_perDir, {});
  m_live.parent.assign(m_perDir, kNoStream);
  m_live.miniLoaded = true;
  m_committed = m_live;
  m_committed.dir.clear();
  m_serials.assign(m_perDir, 0);
  m_serials[0] = 1;
  m_check = Check::Passed;
  m_modified = true;
}

void FileState::load() {
  const uint64_t fileSize = m_dev->size();
  if (fileSize < 512) fail(hresult::kFileAlreadyExists, "not a compound file (too short)");
  if (m_dev->readAt(0, m_header) != m_header.size()) {
    fail(hresult::kFileAlreadyExists, "not a compound file (too short)");
  }
  for (size_t i = 0; i < 8; ++i) {
    if (std::to_integer<uint8_t>(m_header[i]) != kSignature[i]) {
      fail(hresult::kFileAlreadyExists, "not a compound file (no compound file signature)");
    }
  }
  const std::byte* h = m_header.data();
  const uint16_t major = rd16(h + 0x1A);
  if (rd16(h + 0x1C) != 0xFFFE) corrupt("header: bad byte order mark");
  if (major != 3 && major != 4) corrupt("header: unknown major version " + std::to_string(major));
  m_major = major;
  // Checked before any shift: a hostile shift would overflow it.
  const uint16_t shift = rd16(h + 0x1E);
  if (shift != 9 && shift != 12) corrupt("header: sector shift " + std::to_string(shift));
  if (rd16(h + 0x20) != 6) corrupt("header: mini sector shift " + std::to_string(rd16(h + 0x20)));
  m_ss = 1u << shift;
  m_perFat = m_ss / 4;
  m_perDir = m_ss / static_cast<uint32_t>(kEntrySize);
  // A short last sector still counts; reads zero-fill it.
  m_fileSectors = fileSize <= m_ss ? 0 : ceilDiv(fileSize - m_ss, m_ss);
  if (m_fileSectors > uint64_t{kMaxRegSect} + 1) m_fileSectors = uint64_t{kMaxRegSect} + 1;

  const uint32_t numFat = rd32(h + 0x2C);
  const uint32_t dirStart = rd32(h + 0x30);
  if (rd32(h + 0x38) != kMiniCutoff) {
    corrupt("header: mini stream cutoff " + std::to_string(rd32(h + 0x38)) + ", not 4096");
  }
  const uint32_t difatStart = rd32(h + 0x44);
  const uint32_t difatCount = rd32(h + 0x48);
  if (numFat > m_fileSectors) {
    corrupt("header: " + std::to_string(numFat) + " FAT sectors in a file of " +
            std::to_string(m_fileSectors) + " sectors");
  }
  if (difatCount > m_fileSectors) {
    corrupt("header: " + std::to_string(difatCount) + " DIFAT sectors in a file of " +
            std::to_string(m_fileSectors) + " sectors");
  }

  // The FAT's own locations. The list ends at the count, ENDOFCHAIN or FREESECT, whichever
  // comes first (Excel writes FREESECT ends); slots beyond the count are ignored.
  std::vector<uint32_t>& locs = m_live.fatSectors;
  bool ended = false;
  for (size_t i = 0; i < kHeaderDifatSlots && locs.size() < numFat; ++i) {
    const uint32_t v = rd32(h + 0x4C + 4 * i);
    if (v == kFreeSect || v == kEndOfChain) {
      ended = true;
      break;
    }
    locs.push_back(v);
  }
  std::vector<std::byte> buf(m_ss);
  std::unordered_set<uint32_t> seenDifat;
  uint32_t next = difatStart;
  while (!ended && locs.size() < numFat && next != kEndOfChain && next != kFreeSect) {
    if (next > kMaxRegSect || next >= m_fileSectors) {
      corrupt("DIFAT chain points to sector " + std::to_string(next) + " beyond the file");
    }
    if (!seenDifat.insert(next).second) {
      corrupt("DIFAT chain loops at sector " + std::to_string(next));
    }
    m_live.difatSectors.push_back(next);
    readSector(next, buf);
    for (size_t i = 0; i + 1 < m_perFat && locs.size() < numFat; ++i) {
      const uint32_t v = rd32(&buf[4 * i]);
      if (v == kFreeSect || v == kEndOfChain) {
        ended = true;
        break;
      }
      locs.push_back(v);
    }
    next = rd32(&buf[m_ss - 4]);
  }

  for (uint32_t loc : locs) {
    if (loc > kMaxRegSect) corrupt("FAT sector number " + std::to_string(loc) + " is invalid");
  }
  m_fat.assign(locs.size() * size_t{m_perFat}, kFreeSect);
  for (size_t k = 0; k < locs.size(); ++k) {
    // A FAT sector past the end of the file reads as free in a tolerant read; the structure
    // check refuses to write such a file.
    if (locs[k] >= m_fileSectors) continue;
    readSector(locs[k], buf);
    for (size_t i = 0; i < m_perFat; ++i)
      m_fat[k * m_perFat + i] = rd32(&buf[4 * i]);
  }
  // Entries for sectors past the end of the file count as free, whatever they say.
  for (size_t i = m_fileSectors; i < m_fat.size(); ++i)
    m_fat[i] = kFreeSect;

  m_live.dirChain = walkChain(dirStart, m_fat.size() + 1, "the directory");
  if (m_live.dirChain.empty()) corrupt("the directory is empty: no root entry");
  const bool v3 = major == 3;
  m_live.dir.resize(m_live.dirChain.size() * m_perDir);
  for (size_t k = 0; k < m_live.dirChain.size(); ++k) {
    readSector(m_live.dirChain[k], buf);
    for (size_t i = 0; i < m_perDir; ++i) {
      m_live.dir[k * m_perDir + i] = parseEntry(&buf[i * kEntrySize], v3);
    }
  }
  if (m_live.dir[0].type != kRoot) corrupt("directory entry 0 is not the root entry");
  m_live.miniFatStart = rd32(h + 0x3C);
  buildTree();

  m_committedFat = m_fat;
  m_committedSpecial.insert(locs.begin(), locs.end());
  m_committedSpecial.insert(m_live.difatSectors.begin(), m_live.difatSectors.end());
  m_committed = m_live;
  m_serials.assign(m_live.dir.size(), 0);
  m_serials[0] = 1;
  for (size_t i = 1; i < m_live.dir.size(); ++i) {
    if (m_live.parent[i] != kNoStream) m_serials[i] = 1;
  }
}

// Lists each storage's children by walking its tree in order, iteratively (trees in the wild
// are thousands deep), and makes sure every entry is reached once at most.
void FileState::buildTree() {
  const size_t n = m_live.dir.size();
  m_live.children.assign(n, {});
  m_live.parent.assign(n, kNoStream);
  std::vector<uint8_t> seen(n, 0);
  seen[0] = 1;
  std::vector<uint32_t> storages{0};
  std::vector<uint32_t> stack;
  while (!storages.empty()) {
    const uint32_t storage = storages.back();
    storages.pop_back();
    std::vector<uint32_t>& list = m_live.children[storage];
    uint32_t cur = m_live.dir[storage].child;
    stack.clear();
    while (cur != kNoStream || !stack.empty()) {
      while (cur != kNoStream) {
        if (cur >= n) {
          corrupt("directory entry " + std::to_string(cur) + " (in storage '" + pathOf(storage) +
                  "') is beyond the " + std::to_string(n) + " entries");
        }
        if (seen[cur]) {
          corrupt("directory entry " + std::to_string(cur) +
                  " is reached twice (a cycle or a "
                  "shared subtree)");
        }
        const DirEntry& e = m_live.dir[cur];
        if (e.type != kStorage && e.type != kStream) {
          corrupt("directory entry " + std::to_string(cur) + " in storage '" + pathOf(storage) +
                  "' has type " + std::to_string(e.type));
        }
        if (e.badName) {
          corrupt("directory entry " + std::to_string(cur) + " has a bad name length");
        }
        seen[cur] = 1;
        m_live.parent[cur] = storage;
        stack.push_back(cur);
        cur = e.left;
      }
      cur = stack.back();
      stack.pop_back();
      list.push_back(cur);
      const DirEntry& e = m_live.dir[cur];
      if (e.type == kStorage) {
        storages.push_back(cur);
      } else if (e.child != kNoStream) {
        corrupt("stream '" + pathOf(cur) + "' has children");
      }
      cur = e.right;
    }
  }
}

std::vector<uint32_t> FileState::walkChain(uint32_t start, uint64_t limit,
                                           const std::string& what) const {
  std::vector<uint32_t> chain;
  uint32_t s = start;
  // No chain is longer than the FAT; past that, it loops.
  const uint64_t bound = std::min<uint64_t>(limit, m_fat.size() + 1);
  while (chain.size() < bound && s != kEndOfChain) {
    if (s == kFreeSect) corrupt("sector chain of " + what + " runs into a free sector");
    if (s > kMaxRegSect || s >= m_fileSectors || s >= m_fat.size()) {
      corrupt("sector chain of " + what + " points to sector " + std::to_string(s) +
              " beyond the end of the file");
    }
    chain.push_back(s);
    s = m_fat[s];
  }
  std::vector<uint32_t> sorted = chain;
  std::sort(sorted.begin(), sorted.end());
  const auto dup = std::adjacent_find(sorted.begin(), sorted.end());
  if (dup != sorted.end()) {
    corrupt("sector chain of " + what + " loops at sector " + std::to_string(*dup));
  }
  return chain;
}

std::vector<uint32_t> FileState::walkMiniChain(uint32_t start, uint64_t limit, uint64_t capacity,
                                               const std::string& what) const {
  const std::vector<uint32_t>& fat = m_live.miniFat;
  std::vector<uint32_t> chain;
  uint32_t s = start;
  const uint64_t bound = std::min<uint64_t>(limit, fat.size() + 1);
  while (chain.size() < bound && s != kEndOfChain) {
    if (s == kFreeSect) corrupt("mini sector chain of " + what + " runs into a free mini sector");
    if (s >= fat.size() || (uint64_t{s} + 1) * kMiniSectorSize > capacity) {
      corrupt("mini sector chain of " + what + " points to mini sector " + std::to_string(s) +
              " beyond the mini stream");
    }
    chain.push_back(s);
    s = fat[s];
  }
  std::vector<uint32_t> sorted = chain;
  std::sort(sorted.begin(), sorted.end());
  const auto dup = std::adjacent_find(sorted.begin(), sorted.end());
  if (dup != sorted.end()) {
    corrupt("mini sector chain of " + what + " loops at mini sector " + std::to_string(*dup));
  }
  return chain;
}

void FileState::ensureMini() {
  if (m_live.miniLoaded) {
    if (!m_live.miniError.empty()) throw EStorageError(hresult::kDocFileCorrupt, m_live.miniError);
    return;
  }
  m_live.miniLoaded = true;
  try {
    const DirEntry& root = m_live.dir[0];
    if (root.size > 0) {
      if (root.size > m_fileSectors * m_ss) {
        corrupt("the mini stream declares " + std::to_string(root.size) +
                " bytes, more than the file holds");
      }
      // Only the part that the root's size covers is used; longer chains are tolerated.
      m_live.rootChain = walkChain(root.start, ceilDiv(root.size, m_ss), "the mini stream");
    }
    m_live.miniFatChain = walkChain(m_live.miniFatStart, m_fat.size() + 1, "the mini FAT");
    m_live.miniFat.assign(m_live.miniFatChain.size() * size_t{m_perFat}, kFreeSect);
    std::vector<std::byte> buf(m_ss);
    for (size_t k = 0; k < m_live.miniFatChain.size(); ++k) {
      readSector(m_live.miniFatChain[k], buf);
      for (size_t i = 0; i < m_perFat; ++i)
        m_live.miniFat[k * m_perFat + i] = rd32(&buf[4 * i]);
    }
  } catch (const EStorageError& e) {
    m_live.miniError = e.what();
    m_live.rootChain.clear();
    m_live.miniFatChain.clear();
    m_live.miniFat.clear();
  }
  m_committed.miniLoaded = true;
  m_committed.miniError = m_live.miniError;
  m_committed.miniFat = m_live.miniFat;
  m_committed.miniFatChain = m_live.miniFatChain;
  m_committed.rootChain = m_live.rootChain;
  if (!m_live.miniError.empty()) throw EStorageError(hresult::kDocFileCorrupt, m_live.miniError);
}

// Bytes of the mini stream that mini sectors may use: its size, rounded up to whole mini sectors
// (Zeiss writes sizes that are not), as far as its chain reaches.
uint64_t FileState::miniCapacity() const {
  const uint64_t rounded = ceilDiv(m_live.dir[0].size, kMiniSectorSize) * kMiniSectorSize;
  return std::min<uint64_t>(rounded, uint64_t{m_live.rootChain.size()} * m_ss);
}

Layout FileState::streamLayout(uint32_t id) {
  const DirEntry& e = m_live.dir[id];
  Layout layout;
  layout.size = e.size;
  if (e.size == 0) return layout;
  const std::string what = "stream '" + pathOf(id) + "'";
  if (e.size < kMiniCutoff) {
    ensureMini();
    layout.mini = true;
    const uint64_t capacity = miniCapacity();
    if (e.size > capacity) {
      corrupt(what + " declares " + std::to_string(e.size) + " bytes, more than the mini stream");
    }
    const uint64_t needed = ceilDiv(e.size, kMiniSectorSize);
    layout.chain = walkMiniChain(e.start, needed, capacity, what);
    if (layout.chain.size() < needed) {
      corrupt("mini sector chain of " + what + " ends after " +
              std::to_string(layout.chain.size()) + " mini sectors; its size needs " +
              std::to_string(needed));
    }
  } else {
    // Checked before anything is allocated for it: sizes of gigabytes on two sectors exist.
    if (e.size > m_fileSectors * m_ss) {
      corrupt(what + " declares " + std::to_string(e.size) + " bytes, more than the file holds");
    }
    const uint64_t needed = ceilDiv(e.size, m_ss);
    layout.chain = walkChain(e.start, needed, what);
    if (layout.chain.size() < needed) {
      corrupt("sector chain of " + what + " ends after " + std::to_string(layout.chain.size()) +
              " sectors; its size needs " + std::to_string(needed));
    }
  }
  return layout;
}

void FileState::readStored(const Layout& layout, uint64_t offset, std::span<std::byte> out) {
  if (offset >= layout.size) return;
  size_t done = 0;
  const size_t total = static_cast<size_t>(std::min<uint64_t>(out.size(), layout.size - offset));
  while (done < total) {
    const uint64_t pos = offset + done;
    uint64_t fileOffset = 0;
    size_t n = 0;
    if (layout.mini) {
      const uint64_t m =
          uint64_t{layout.chain[pos / kMiniSectorSize]} * kMiniSectorSize + pos % kMiniSectorSize;
      const uint32_t reg = m_live.rootChain[m / m_ss];
      fileOffset = (uint64_t{reg} + 1) * m_ss + m % m_ss;
      n = static_cast<size_t>(
          std::min<uint64_t>(total - done, kMiniSectorSize - pos % kMiniSectorSize));
    } else {
      // Consecutive sectors are read in one call, up to kMaxRead bytes.
      size_t k = static_cast<size_t>(pos / m_ss);
      const uint32_t s = layout.chain[k];
      fileOffset = (uint64_t{s} + 1) * m_ss + pos % m_ss;
      uint64_t span = m_ss - pos % m_ss;
      while (span < total - done && span < kMaxRead && k + 1 < layout.chain.size() &&
             layout.chain[k + 1] == layout.chain[k] + 1) {
        span += m_ss;
        ++k;
      }
      n = static_cast<size_t>(std::min<uint64_t>(total - done, span));
    }
    std::span<std::byte> part = out.subspan(done, n);
    const size_t got = m_dev->readAt(fileOffset, part);
    // The last sector of a file may be short; its missing tail reads as zeros.
    std::fill(part.begin() + static_cast<std::ptrdiff_t>(got), part.end(), std::byte{0});
    done += n;
  }
}

void FileState::readSector(uint32_t sector, std::span<std::byte> out) {
  const size_t got = m_dev->readAt((uint64_t{sector} + 1) * m_ss, out);
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), std::byte{0});
}

void FileState::writeSector(uint32_t sector, std::span<const std::byte> in) {
  m_dev->writeAt((uint64_t{sector} + 1) * m_ss, in);
  if (sector >= m_fileSectors) m_fileSectors = uint64_t{sector} + 1;
}

std::optional<uint32_t> FileState::findChild(uint32_t storage, std::u16string_view name) const {
  for (uint32_t id : m_live.children[storage]) {
    if (compareNames(m_live.dir[id].name, name) == 0) return id;
  }
  return std::nullopt;
}

// --- Structure check before writing ----------------------------------------------------------

void FileState::requireWritable() {
  if (readOnly()) fail(hresult::kAccessDenied, "the file is open for reading only");
  if (m_check == Check::Passed) return;
  if (m_check == Check::Failed) throw EStorageError(hresult::kDocFileCorrupt, m_checkError);
  try {
    checkStructure();
    m_check = Check::Passed;
  } catch (const EStorageError& e) {
    m_check = Check::Failed;
    m_checkError = e.what();
    throw;
  }
}

// Writing frees and reuses sectors, so every chain must be sound and own its sectors alone:
// two chains sharing a sector would let one stream's write destroy another's data.
void FileState::checkStructure() {
  ensureMini();
  std::vector<uint32_t> owner(m_fat.size(), kNoStream);
  std::vector<std::string> owners;
  const auto claim = [&](uint32_t s, const std::string& what) {
    if (s >= m_fileSectors || s >= owner.size()) {
      corrupt(what + " uses sector " + std::to_string(s) + " beyond the end of the file");
    }
    if (owner[s] != kNoStream) {
      corrupt("sector " + std::to_string(s) + " is used by both " + owners[owner[s]] + " and " +
              what);
    }
    if (owners.empty() || owners.back() != what) owners.push_back(what);
    owner[s] = static_cast<uint32_t>(owners.size() - 1);
  };
  for (uint32_t s : m_live.fatSectors)
    claim(s, "the FAT");
  for (uint32_t s : m_live.difatSectors)
    claim(s, "the DIFAT");
  for (uint32_t s : m_live.dirChain)
    claim(s, "the directory");
  for (uint32_t s : m_live.miniFatChain)
    claim(s, "the mini FAT");
  const uint64_t rootSize = m_live.dir[0].size;
  // An empty mini stream has no chain, whatever its start says.
  m_live.rootChain = rootSize == 0
                         ? std::vector<uint32_t>{}
                         : walkChain(m_live.dir[0].start, m_fat.size() + 1, "the mini stream");
  if (uint64_t{m_live.rootChain.size()} * m_ss < rootSize) {
    corrupt("sector chain of the mini stream is shorter than its size");
  }
  for (uint32_t s : m_live.rootChain)
    claim(s, "the mini stream");

  std::vector<uint8_t> miniOwned(m_live.miniFat.size(), 0);
  for (size_t id = 1; id < m_live.dir.size(); ++id) {
    const DirEntry& e = m_live.dir[id];
    if (m_live.parent[id] == kNoStream || e.type != kStream || e.size == 0) continue;
    const std::string what = "stream '" + pathOf(static_cast<uint32_t>(id)) + "'";
    if (e.size < kMiniCutoff) {
      const auto chain = walkMiniChain(e.start, m_live.miniFat.size() + 1, miniCapacity(), what);
      if (uint64_t{chain.size()} * kMiniSectorSize < e.size) {
        corrupt("mini sector chain of " + what + " is shorter than its size");
      }
      for (uint32_t m : chain) {
        if (miniOwned[m]) {
          corrupt("mini sector " + std::to_string(m) + " is used twice (" + what + ")");
        }
        miniOwned[m] = 1;
      }
    } else {
      if (e.size > m_fileSectors * m_ss) {
        corrupt(what + " declares " + std::to_string(e.size) + " bytes, more than the file holds");
      }
      const auto chain = walkChain(e.start, m_fat.size() + 1, what);
      if (uint64_t{chain.size()} * m_ss < e.size) {
        corrupt("sector chain of " + what + " is shorter than its size");
      }
      for (uint32_t s : chain)
        claim(s, what);
    }
  }
  m_committed.rootChain = m_live.rootChain;
}

// --- Allocation ------------------------------------------------------------------------------

// A sector the header on disk uses (directly or through a chain) must survive until the next
// header is written; everything written before that goes elsewhere.
bool FileState::isPinned(uint32_t sector) const {
  return (sector < m_committedFat.size() && m_committedFat[sector] != kFreeSect) ||
         m_committedSpecial.count(sector) != 0;
}

void FileState::setFat(uint32_t index, uint32_t value) {
  if (index >= m_fat.size()) {
    m_fat.resize(ceilDiv(uint64_t{index} + 1, m_perFat) * m_perFat, kFreeSect);
  }
  if (m_fat[index] == value) return;
  if (value == kFreeSect) {
    if (isPinned(index)) {
      m_freedPinned.push_back(index);
    } else if (index < m_scanFrom) {
      m_spare.insert(index);
    }
  }
  m_fat[index] = value;
  m_dirtyFat.insert(index / m_perFat);
  m_modified = true;
}

// Free, outside the range-lock sector, and not needed by the header on disk.
bool FileState::reusable(uint32_t sector) const {
  const uint64_t begin = (uint64_t{sector} + 1) * m_ss;
  if (begin < kLockOffset + 0x100 && begin + m_ss > kLockOffset) return false;
  if (sector < m_fat.size() && m_fat[sector] != kFreeSect) return false;
  return !isPinned(sector);
}

// The lowest reusable sector: from the known spare ones, else the first the scan reaches. Each
// sector is scanned past once between loads, so a commit costs what it allocates, not the size
// of the file.
uint32_t FileState::allocate() {
  while (!m_spare.empty()) {
    const uint32_t s = *m_spare.begin();
    m_spare.erase(m_spare.begin());
    if (reusable(s)) {
      setFat(s, kEndOfChain);
      return s;
    }
  }
  const uint64_t maxBytes = m_ss == 512 ? 0x80000000ull : 0xFFFFFFFBull * m_ss;
  for (uint64_t i = m_scanFrom;; ++i) {
    const uint64_t begin = (i + 1) * m_ss;
    if (begin + m_ss > maxBytes || i > kMaxRegSect) {
      fail(hresult::kMediumFull, "the file has reached the format's size limit");
    }
    const auto s = static_cast<uint32_t>(i);
    if (!reusable(s)) continue;
    m_scanFrom = s + 1;
    setFat(s, kEndOfChain);
    return s;
  }
}

uint32_t FileState::allocateMini() {
  std::vector<uint32_t>& fat = m_live.miniFat;
  auto it = std::find(fat.begin(), fat.end(), kFreeSect);
  size_t index = static_cast<size_t>(it - fat.begin());
  if (it == fat.end()) fat.resize(fat.size() + m_perFat, kFreeSect);
  fat[index] = kEndOfChain;
  return static_cast<uint32_t>(index);
}

// Gives an object of regular sectors (a stream, the mini stream, the mini FAT, the directory)
// `count` sectors: sectors that `dirty` names get the bytes `content` fills in, the others keep
// theirs. A dirty sector that the header state uses moves to a fresh sector; one written since
// the last commit is overwritten where it is.
std::vector<uint32_t> FileState::rewriteChain(
    const std::vector<uint32_t>& old, size_t count, const std::function<bool(size_t)>& dirty,
    const std::function<void(size_t, std::span<std::byte>)>& content) {
  std::vector<uint32_t> chain(count);
  std::vector<std::byte> buf(m_ss);
  // Runs of consecutive sectors go out in one write: a big stream costs a few calls, not one per
  // sector.
  std::vector<std::byte> run;
  uint32_t runStart = 0;
  const auto flushRun = [&] {
    if (run.empty()) return;
    m_dev->writeAt((uint64_t{runStart} + 1) * m_ss, run);
    const uint64_t end = runStart + run.size() / m_ss;
    if (end > m_fileSectors) m_fileSectors = end;
    run.clear();
  };
  for (size_t i = 0; i < count; ++i) {
    if (i < old.size() && !dirty(i)) {
      chain[i] = old[i];
      continue;
    }
    std::fill(buf.begin(), buf.end(), std::byte{0});
    content(i, buf);
    uint32_t s = 0;
    if (i < old.size() && !isPinned(old[i])) {
      s = old[i];
    } else {
      s = allocate();
      if (i < old.size()) setFat(old[i], kFreeSect);
    }
    if (run.empty() || s != runStart + run.size() / m_ss || run.size() >= (size_t{1} << 20)) {
      flushRun();
      runStart = s;
    }
    run.insert(run.end(), buf.begin(), buf.end());
    chain[i] = s;
  }
  flushRun();
  for (size_t i = count; i < old.size(); ++i)
    setFat(old[i], kFreeSect);
  for (size_t i = 0; i < count; ++i) {
    setFat(chain[i], i + 1 < count ? chain[i + 1] : kEndOfChain);
  }
  return chain;
}

// --- Changing streams ------------------------------------------------------------------------

// Gives a stream of data.size() bytes (under the cutoff) its mini sectors, reusing `chain`, and
// writes the bytes into the mini stream.
std::vector<uint32_t> FileState::placeMini(std::vector<uint32_t> chain,
                                           std::span<const std::byte> data) {
  const size_t count = static_cast<size_t>(ceilDiv(data.size(), kMiniSectorSize));
  for (size_t i = count; i < chain.size(); ++i)
    m_live.miniFat[chain[i]] = kFreeSect;
  chain.resize(std::min(chain.size(), count));
  while (chain.size() < count)
    chain.push_back(allocateMini());
  for (size_t i = 0; i < count; ++i) {
    m_live.miniFat[chain[i]] = i + 1 < count ? chain[i + 1] : kEndOfChain;
  }
  std::map<size_t, std::vector<std::byte>> touched;
  for (size_t i = 0; i < count; ++i) {
    const uint64_t offset = uint64_t{chain[i]} * kMiniSectorSize;
    const auto reg = static_cast<size_t>(offset / m_ss);
    auto [it, fresh] = touched.try_emplace(reg);
    if (fresh) {
      it->second.assign(m_ss, std::byte{0});
      if (reg < m_live.rootChain.size()) readSector(m_live.rootChain[reg], it->second);
    }
    const size_t begin = i * kMiniSectorSize;
    const size_t n = std::min<size_t>(kMiniSectorSize, data.size() - begin);
    std::byte* dst = it->second.data() + offset % m_ss;
    std::memset(dst, 0, kMiniSectorSize);
    std::memcpy(dst, data.data() + begin, n);
  }
  resizeMiniStream(touched);
  return chain;
}

// Sizes the mini stream to its last used mini sector (the rule signtool and Windows follow) and
// writes the regular sectors in `touched`, moving those the header state uses.
void FileState::resizeMiniStream(const std::map<size_t, std::vector<std::byte>>& touched) {
  const std::vector<uint32_t>& fat = m_live.miniFat;
  size_t used = fat.size();
  while (used > 0 && fat[used - 1] == kFreeSect)
    --used;
  const uint64_t rootSize = uint64_t{used} * kMiniSectorSize;
  const auto count = static_cast<size_t>(ceilDiv(rootSize, m_ss));
  m_live.rootChain = rewriteChain(
      m_live.rootChain, count, [&](size_t i) { return touched.count(i) != 0; },
      [&](size_t i, std::span<std::byte> out) {
        const auto it = touched.find(i);
        if (it != touched.end()) std::memcpy(out.data(), it->second.data(), m_ss);
      });
  DirEntry& root = m_live.dir[0];
  root.start = m_live.rootChain.empty() ? kEndOfChain : m_live.rootChain[0];
  root.size = rootSize;
}

void FileState::applyStream(uint32_t id, const StreamChanges& changes) {
  ensureMini();
  const uint64_t oldSize = m_live.dir[id].size;
  const bool oldMini = oldSize < kMiniCutoff;
  const std::string what = "stream '" + pathOf(id) + "'";
  std::vector<uint32_t> oldChain;
  if (oldSize > 0) {
    oldChain = oldMini ? walkMiniChain(m_live.dir[id].start, m_live.miniFat.size() + 1,
                                       miniCapacity(), what)
                       : walkChain(m_live.dir[id].start, m_fat.size() + 1, what);
  }
  const Layout oldLayout{oldMini, oldSize, oldChain};
  const uint64_t newSize = changes.size;
  const uint64_t keep = std::min(changes.keep, oldSize);

  // One page of the new content (a page is one regular sector of the stream).
  std::vector<std::byte> oldBytes;  // the old content when it moves out of the mini stream
  const auto page = [&](size_t index, std::span<std::byte> out) {
    const auto it = changes.pages.find(index);
    const uint64_t begin = uint64_t{index} * m_ss;
    if (it != changes.pages.end()) {
      std::memcpy(out.data(), it->second.data(), m_ss);
    } else if (begin < keep) {
      const auto n = static_cast<size_t>(std::min<uint64_t>(m_ss, keep - begin));
      if (oldMini) {
        std::memcpy(out.data(), oldBytes.data() + begin, n);
      } else {
        readStored(oldLayout, begin, out.first(n));
      }
    }
    if (begin + m_ss > newSize) {
      const size_t from = begin >= newSize ? 0 : static_cast<size_t>(newSize - begin);
      std::fill(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), std::byte{0});
    }
  };
  if (oldMini) {
    oldBytes.resize(static_cast<size_t>(oldSize));
    readStored(oldLayout, 0, oldBytes);
  }

  DirEntry& e = m_live.dir[id];
  if (newSize < kMiniCutoff) {
    std::vector<std::byte> data(static_cast<size_t>(ceilDiv(newSize, m_ss) * m_ss));
    for (size_t i = 0; i * m_ss < newSize; ++i) {
      page(i, std::span<std::byte>(data).subspan(i * m_ss, m_ss));
    }
    data.resize(static_cast<size_t>(newSize));
    if (!oldMini) {
      for (uint32_t s : oldChain)
        setFat(s, kFreeSect);
      oldChain.clear();
    }
    const auto chain = placeMini(oldChain, data);
    e.start = chain.empty() ? kEndOfChain : chain[0];
  } else {
    std::vector<uint32_t> base;
    if (oldMini) {
      if (!oldChain.empty()) {
        for (uint32_t m : oldChain)
          m_live.miniFat[m] = kFreeSect;
        resizeMiniStream({});
      }
    } else {
      base = oldChain;
    }
    const uint64_t lastOld = oldSize % m_ss != 0 ? oldSize / m_ss : UINT64_MAX;
    const auto dirty = [&](size_t i) {
      const uint64_t begin = uint64_t{i} * m_ss;
      // Written pages; sectors whose old bytes a shrink cut off; and the old last sector, whose
      // tail past the old size may hold anything and now becomes content.
      return changes.pages.count(i) != 0 || (begin + m_ss > keep && begin < oldSize) ||
             (i == lastOld && newSize > oldSize);
    };
    const auto chain = rewriteChain(base, static_cast<size_t>(ceilDiv(newSize, m_ss)), dirty, page);
    e.start = chain[0];
  }
  e.size = newSize;
  m_modified = true;
  ++m_gen;
}

void FileState::commitStream(uint32_t id, const StreamChanges& changes) {
  requireWritable();
  if (m_txnFailed) fail(hresult::kReverted, "an earlier commit of this transaction failed");
  try {
    applyStream(id, changes);
    if (!inTransaction()) flush();
  } catch (...) {
    if (inTransaction()) {
      m_txnFailed = true;
      restore(*m_txnBase);
    } else {
      restore(m_committed);
    }
    throw;
  }
}

void FileState::commitPending() {
  if (readOnly() || inTransaction() || !m_modified) return;
  try {
    flush();
  } catch (...) {
    restore(m_committed);
    throw;
  }
}

// --- Elements --------------------------------------------------------------------------------

uint32_t FileState::createElement(uint32_t storage, std::u16string_view name, EntryType type) {
  requireWritable();
  if (findChild(storage, name)) {
    fail(hresult::kFileAlreadyExists,
         "'" + pathOf(storage) + "' already has an element named " + quoted(name));
  }
  std::vector<DirEntry>& dir = m_live.dir;
  size_t slot = 1;
  while (slot < dir.size() && (dir[slot].type != kUnused || m_live.parent[slot] != kNoStream)) {
    ++slot;
  }
  if (slot == dir.size()) {
    dir.resize(dir.size() + m_perDir);
    m_live.children.resize(dir.size());
    m_live.parent.resize(dir.size(), kNoStream);
  }
  if (m_serials.size() < dir.size()) m_serials.resize(dir.size(), 0);
  DirEntry e;
  e.name = std::u16string(name);
  e.type = type;
  e.start = type == kStream ? kEndOfChain : 0;
  dir[slot] = e;
  const auto id = static_cast<uint32_t>(slot);
  m_live.parent[slot] = storage;
  m_live.children[slot].clear();
  auto& list = m_live.children[storage];
  list.insert(std::upper_bound(list.begin(), list.end(), id,
                               [&](uint32_t a, uint32_t b) {
                                 return compareNames(dir[a].name, dir[b].name) < 0;
                               }),
              id);
  rebuildTree(storage);
  m_serials[slot] = m_nextSerial++;
  m_modified = true;
  ++m_gen;
  return id;
}

// Lays a storage's children out as a balanced tree: the middle name at the top. Every level is
// black except an incomplete last one, which is red: a valid red-black tree for any count.
void FileState::rebuildTree(uint32_t storage) {
  std::vector<uint32_t> list = m_live.children[storage];
  std::sort(list.begin(), list.end(), [&](uint32_t a, uint32_t b) {
    return compareNames(m_live.dir[a].name, m_live.dir[b].name) < 0;
  });
  m_live.children[storage] = list;
  const size_t n = list.size();
  size_t height = 0;  // depth of the deepest level
  while ((size_t{2} << height) - 1 < n)
    ++height;
  const bool full = n == (size_t{2} << height) - 1;
  struct Range {
    size_t lo, hi, depth;
    uint32_t* link;
  };
  std::vector<Range> todo{{0, n, 0, &m_live.dir[storage].child}};
  while (!todo.empty()) {
    const Range r = todo.back();
    todo.pop_back();
    if (r.lo >= r.hi) {
      *r.link = kNoStream;
      continue;
    }
    const size_t mid = r.lo + (r.hi - r.lo) / 2;
    DirEntry& e = m_live.dir[list[mid]];
    *r.link = list[mid];
    e.color = (r.depth == height && !full) ? 0 : 1;
    todo.push_back({r.lo, mid, r.depth + 1, &e.left});
    todo.push_back({mid + 1, r.hi, r.depth + 1, &e.right});
  }
}

// --- Committing ------------------------------------------------------------------------------

std::vector<std::byte> FileState::difatSector(const Model& model, size_t index) const {
  std::vector<std::byte> buf(m_ss);
  const size_t per = m_perFat - 1;
  for (size_t i = 0; i < per; ++i) {
    const size_t k = kHeaderDifatSlots + index * per + i;
    wr32(&buf[4 * i], k < model.fatSectors.size() ? model.fatSectors[k] : kFreeSect);
  }
  wr32(&buf[m_ss - 4],
       index + 1 < model.difatSectors.size() ? model.difatSectors[index + 1] : kEndOfChain);
  return buf;
}

// Whether DIFAT sector `index` differs from the header state's, from the FAT locations this
// commit changed rather than from both sectors' bytes: a commit checks every DIFAT sector.
bool FileState::difatChanged(size_t index) const {
  if (index >= m_committed.difatSectors.size()) return true;
  const size_t first = kHeaderDifatSlots + index * (m_perFat - 1);
  const auto moved = m_movedFat.lower_bound(first);
  if (moved != m_movedFat.end() && *moved < first + m_perFat - 1) return true;
  const auto next = [&](const Model& model) {
    return index + 1 < model.difatSectors.size() ? model.difatSectors[index + 1] : kEndOfChain;
  };
  return next(m_live) != next(m_committed);
}

// Gives the FAT enough sectors to describe every sector, and the DIFAT enough to list them;
// moves every changed FAT and DIFAT sector that the header state uses. Each move changes FAT
// entries in turn, so this runs until nothing moves (each sector moves once at most).
void FileState::finalizeFat() {
  Model& m = m_live;
  for (;;) {
    bool changed = false;
    while (m.fatSectors.size() * size_t{m_perFat} < m_fat.size()) {
      const uint32_t s = allocate();
      setFat(s, kFatSect);
      m_movedFat.insert(m.fatSectors.size());
      m.fatSectors.push_back(s);
      changed = true;
    }
    const size_t over =
        m.fatSectors.size() > kHeaderDifatSlots ? m.fatSectors.size() - kHeaderDifatSlots : 0;
    while (m.difatSectors.size() < ceilDiv(over, m_perFat - 1)) {
      const uint32_t s = allocate();
      setFat(s, kDifSect);
      m.difatSectors.push_back(s);
      changed = true;
    }
    for (size_t k : std::vector<size_t>(m_dirtyFat.begin(), m_dirtyFat.end())) {
      if (k >= m.fatSectors.size() || !isPinned(m.fatSectors[k])) continue;
      const uint32_t old = m.fatSectors[k];
      const uint32_t s = allocate();
      setFat(s, kFatSect);
      setFat(old, kFreeSect);
      m.fatSectors[k] = s;
      m_movedFat.insert(k);
      m_releasedSpecial.push_back(old);
      changed = true;
    }
    for (size_t j = 0; j < m.difatSectors.size(); ++j) {
      if (!isPinned(m.difatSectors[j])) continue;
      if (!difatChanged(j)) continue;
      const uint32_t old = m.difatSectors[j];
      const uint32_t s = allocate();
      setFat(s, kDifSect);
      setFat(old, kFreeSect);
      m.difatSectors[j] = s;
      m_releasedSpecial.push_back(old);
      changed = true;
    }
    if (!changed) break;
  }
}

void FileState::flush() {
  Model& m = m_live;
  // The version follows the sector size. Zeiss writes version 3 with 4096-byte sectors, which
  // 7-Zip and strict readers refuse; what we write of such a file is a proper version 4 file.
  const uint16_t major = m_ss == 4096 ? 4 : 3;
  // Version 3 entries may hold garbage in the high half of their sizes, which a version 4
  // reader would take at its word: every directory sector is written anew then.
  const bool rewriteDirectory = major != m_major;
  const bool v3 = major == 3;
  std::vector<std::byte> buf(m_ss);

  // The mini FAT covers the mini stream exactly (in whole sectors).
  const auto miniFatSectors =
      static_cast<size_t>(ceilDiv(ceilDiv(m.dir[0].size, kMiniSectorSize), m_perFat));
  m.miniFat.resize(miniFatSectors * m_perFat, kFreeSect);
  const auto miniRange = [&](const Model& model, size_t k, size_t i) {
    const size_t x = k * m_perFat + i;
    return x < model.miniFat.size() ? model.miniFat[x] : kFreeSect;
  };
  m.miniFatChain = rewriteChain(
      m.miniFatChain, miniFatSectors,
      [&](size_t k) {
        if (k >= m_committed.miniFatChain.size()) return true;
        for (size_t i = 0; i < m_perFat; ++i) {
          if (miniRange(m, k, i) != miniRange(m_committed, k, i)) return true;
        }
        return false;
      },
      [&](size_t k, std::span<std::byte> out) {
        for (size_t i = 0; i < m_perFat; ++i)
          wr32(&out[4 * i], miniRange(m, k, i));
      });

  m.dirChain = rewriteChain(
      m.dirChain, m.dir.size() / m_perDir,
      [&](size_t k) {
        if (rewriteDirectory || k >= m_committed.dirChain.size()) return true;
        for (size_t i = k * m_perDir; i < (k + 1) * m_perDir; ++i) {
          if (i >= m_committed.dir.size() || !(m.dir[i] == m_committed.dir[i])) return true;
        }
        return false;
      },
      [&](size_t k, std::span<std::byte> out) {
        for (size_t i = 0; i < m_perDir; ++i) {
          writeEntry(&out[i * kEntrySize], m.dir[k * m_perDir + i], v3);
        }
      });

  finalizeFat();
  for (size_t k : m_dirtyFat) {
    if (k >= m.fatSectors.size()) continue;
    for (size_t i = 0; i < m_perFat; ++i)
      wr32(&buf[4 * i], m_fat[k * m_perFat + i]);
    writeSector(m.fatSectors[k], buf);
  }
  for (size_t j = 0; j < m.difatSectors.size(); ++j) {
    if (j < m_committed.difatSectors.size() && m.difatSectors[j] == m_committed.difatSectors[j] &&
        !difatChanged(j)) {
      continue;
    }
    writeSector(m.difatSectors[j], difatSector(m, j));
  }
  // Everything the new header points to is on disk before the header is.
  m_dev->sync();
  m_major = major;
  writeHeader();
  // From here the new state is the file's, even if what follows fails.
  afterCommit();
  m_dev->sync();
  trimTail();
}

void FileState::writeHeader() {
  const Model& m = m_live;
  std::byte* h = m_header.data();
  std::fill(h + 0x08, h + 0x18, std::byte{0});  // the header CLSID must be null
  wr16(h + 0x18, 0x3E);
  wr16(h + 0x1A, m_major);
  // Outlook refuses a version 3 file with a count here; ole32 misses entries of a version 4 file
  // whose count is stale.
  wr32(h + 0x28, m_major == 3 ? 0 : static_cast<uint32_t>(m.dirChain.size()));
  wr32(h + 0x2C, static_cast<uint32_t>(m.fatSectors.size()));
  wr32(h + 0x30, m.dirChain[0]);
  wr32(h + 0x34, 0);
  wr32(h + 0x38, static_cast<uint32_t>(kMiniCutoff));
  wr32(h + 0x3C, m.miniFatChain.empty() ? kEndOfChain : m.miniFatChain[0]);
  wr32(h + 0x40, static_cast<uint32_t>(m.miniFatChain.size()));
  wr32(h + 0x44, m.difatSectors.empty() ? kEndOfChain : m.difatSectors[0]);
  wr32(h + 0x48, static_cast<uint32_t>(m.difatSectors.size()));
  for (size_t i = 0; i < kHeaderDifatSlots; ++i) {
    wr32(h + 0x4C + 4 * i, i < m.fatSectors.size() ? m.fatSectors[i] : kFreeSect);
  }
  std::vector<std::byte> sector(m_ss);
  std::memcpy(sector.data(), m_header.data(), m_header.size());
  m_dev->writeAt(0, sector);
}

void FileState::afterCommit() {
  if (m_committedFat.size() < m_fat.size()) m_committedFat.resize(m_fat.size(), kFreeSect);
  for (size_t k : m_dirtyFat) {
    std::copy_n(m_fat.begin() + static_cast<std::ptrdiff_t>(k * m_perFat), m_perFat,
                m_committedFat.begin() + static_cast<std::ptrdiff_t>(k * m_perFat));
  }
  m_dirtyFat.clear();
  // The new header releases what the old one used: sectors freed since, and FAT or DIFAT sectors
  // that it no longer lists (some writers mark those free in the FAT already).
  for (uint32_t s : m_releasedSpecial) {
    m_committedSpecial.erase(s);
    m_freedPinned.push_back(s);
  }
  for (size_t k : m_movedFat)
    m_committedSpecial.insert(m_live.fatSectors[k]);
  m_committedSpecial.insert(m_live.difatSectors.begin(), m_live.difatSectors.end());
  m_movedFat.clear();
  m_releasedSpecial.clear();
  for (uint32_t s : m_freedPinned) {
    if (s < m_scanFrom && reusable(s)) m_spare.insert(s);
  }
  m_freedPinned.clear();
  m_live.miniFatStart = m_live.miniFatChain.empty() ? kEndOfChain : m_live.miniFatChain[0];
  m_committed = m_live;
  if (m_txnBase) m_txnBase = m_live;  // a failure after this point must not roll back
  m_modified = false;
}

// Free sectors at the end are dropped: the header no longer needs them. A short last sector
// (files in the wild have them) is completed with the zeros readers assume. A crash before this,
// or a failure of it, only leaves the file longer or shorter than whole sectors.
void FileState::trimTail() {
  size_t used = m_fat.size();
  while (used > 0 && m_fat[used - 1] == kFreeSect)
    --used;
  try {
    const uint64_t whole = (uint64_t{used} + 1) * m_ss;
    if (m_dev->size() != whole) {
      m_dev->truncate(whole);
      m_fileSectors = used;
    }
  } catch (const EStorageError&) {
  }
}

void FileState::restore(const Model& base) noexcept {
  for (size_t k : m_dirtyFat) {
    for (size_t i = k * m_perFat; i < (k + 1) * m_perFat && i < m_fat.size(); ++i) {
      const uint32_t was = m_fat[i];
      m_fat[i] = i < m_committedFat.size() ? m_committedFat[i] : kFreeSect;
      // Sectors allocated since the last commit are free again.
      if (was != kFreeSect && m_fat[i] == kFreeSect && i < m_scanFrom) {
        m_spare.insert(static_cast<uint32_t>(i));
      }
    }
  }
  m_fat.resize(std::max(m_committedFat.size(), m_committed.fatSectors.size() * m_perFat),
               kFreeSect);
  m_dirtyFat.clear();
  m_movedFat.clear();
  m_releasedSpecial.clear();
  m_live = base;
  for (size_t i = 1; i < m_serials.size(); ++i) {
    if (i >= m_live.dir.size() || m_live.parent[i] == kNoStream) m_serials[i] = 0;
  }
  m_modified = !(m_live.dir == m_committed.dir);
  ++m_gen;
}

void FileState::beginTransaction() {
  requireWritable();
  if (inTransaction()) fail(hresult::kInvalidFunction, "a transaction is already active");
  m_txnBase = m_live;
  m_txnFailed = false;
}

void FileState::commitTransaction() {
  if (!inTransaction()) fail(hresult::kInvalidFunction, "no transaction is active");
  if (m_txnFailed) {
    rollbackTransaction();
    fail(hresult::kReverted, "an earlier commit of this transaction failed; nothing was written");
  }
  try {
    if (m_modified) flush();
  } catch (...) {
    rollbackTransaction();
    throw;
  }
  m_txnBase.reset();
}

void FileState::rollbackTransaction() noexcept {
  if (!inTransaction()) return;
  restore(*m_txnBase);
  m_txnBase.reset();
  m_txnFailed = false;
}

}  // namespace verbalon::storage::detail
