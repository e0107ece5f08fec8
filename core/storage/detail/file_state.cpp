// Opening a compound file: the header, the FAT, the directory and its trees, checked as they are
// read; reading stream content; and the structure check that runs before the first write. The
// format itself is described in on_disk.h.
#include "storage/detail/file_state.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "common/utf8.h"
#include "storage/detail/names.h"

namespace verbalon::storage::detail {
namespace {

// The most one read of stream data asks for at once.
constexpr uint64_t kMaxRead = uint64_t{1} << 20;

// The smallest sector that chain holds more than once: a chain that loops.
std::optional<uint32_t> repeatedSector(std::vector<uint32_t> chain) {
  std::sort(chain.begin(), chain.end());
  const auto dup = std::adjacent_find(chain.begin(), chain.end());
  if (dup == chain.end()) return std::nullopt;
  return *dup;
}

}  // namespace

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
  file->m_name = std::move(name);
  file->load();
  return file;
}

void FileState::fail(uint32_t code, const std::string& what, const std::string& element) const {
  throw EStorageError(code, m_name, what, element);
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
    out += utf16ToUtf8(m_live.dir[*it].name);
  }
  return out;
}

// --- Loading ---------------------------------------------------------------------------------

void FileState::initEmpty() {
  m_ss = 512;
  m_perFat = 128;
  m_perDir = 4;
  for (size_t i = 0; i < 8; ++i) {
    m_header[i] = static_cast<std::byte>(kSignature[i]);
  }
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
  const HeaderFields header = loadHeader();
  loadFat(loadFatLocations(header));
  loadDirectory(header.dirStart);
  m_live.miniFatStart = header.miniFatStart;
  buildTree();

  m_committedFat = m_fat;
  m_committedSpecial.insert(m_live.fatSectors.begin(), m_live.fatSectors.end());
  m_committedSpecial.insert(m_live.difatSectors.begin(), m_live.difatSectors.end());
  m_committed = m_live;
  m_serials.assign(m_live.dir.size(), 0);
  m_serials[0] = 1;
  for (size_t i = 1; i < m_live.dir.size(); ++i) {
    if (m_live.parent[i] != kNoStream) m_serials[i] = 1;
  }
}

FileState::HeaderFields FileState::loadHeader() {
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

  HeaderFields fields;
  fields.numFat = rd32(h + 0x2C);
  fields.dirStart = rd32(h + 0x30);
  if (rd32(h + 0x38) != kMiniCutoff) {
    corrupt("header: mini stream cutoff " + std::to_string(rd32(h + 0x38)) + ", not 4096");
  }
  fields.miniFatStart = rd32(h + 0x3C);
  fields.difatStart = rd32(h + 0x44);
  fields.difatCount = rd32(h + 0x48);
  if (fields.numFat > m_fileSectors) {
    corrupt("header: " + std::to_string(fields.numFat) + " FAT sectors in a file of " +
            std::to_string(m_fileSectors) + " sectors");
  }
  if (fields.difatCount > m_fileSectors) {
    corrupt("header: " + std::to_string(fields.difatCount) + " DIFAT sectors in a file of " +
            std::to_string(m_fileSectors) + " sectors");
  }
  return fields;
}

// The FAT's own locations, from the header's slots and then the DIFAT chain. The list ends at
// the count, ENDOFCHAIN or FREESECT, whichever comes first (Excel writes FREESECT ends); slots
// beyond the count are ignored.
const std::vector<uint32_t>& FileState::loadFatLocations(const HeaderFields& header) {
  const std::byte* h = m_header.data();
  std::vector<uint32_t>& locs = m_live.fatSectors;
  bool ended = false;
  for (size_t i = 0; i < kHeaderDifatSlots && locs.size() < header.numFat; ++i) {
    const uint32_t v = rd32(h + 0x4C + 4 * i);
    if (v == kFreeSect || v == kEndOfChain) {
      ended = true;
      break;
    }
    locs.push_back(v);
  }
  std::vector<std::byte> buf(m_ss);
  std::unordered_set<uint32_t> seenDifat;
  uint32_t next = header.difatStart;
  while (!ended && locs.size() < header.numFat && next != kEndOfChain && next != kFreeSect) {
    if (next > kMaxRegSect || next >= m_fileSectors) {
      corrupt("DIFAT chain points to sector " + std::to_string(next) + " beyond the file");
    }
    if (!seenDifat.insert(next).second) {
      corrupt("DIFAT chain loops at sector " + std::to_string(next));
    }
    m_live.difatSectors.push_back(next);
    readSector(next, buf);
    for (size_t i = 0; i + 1 < m_perFat && locs.size() < header.numFat; ++i) {
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
  return locs;
}

void FileState::loadFat(const std::vector<uint32_t>& locations) {
  std::vector<std::byte> buf(m_ss);
  m_fat.assign(locations.size() * size_t{m_perFat}, kFreeSect);
  for (size_t k = 0; k < locations.size(); ++k) {
    // A FAT sector past the end of the file reads as free in a tolerant read; the structure
    // check refuses to write such a file.
    if (locations[k] >= m_fileSectors) continue;
    readSector(locations[k], buf);
    for (size_t i = 0; i < m_perFat; ++i) {
      m_fat[k * m_perFat + i] = rd32(&buf[4 * i]);
    }
  }
  // Entries for sectors past the end of the file count as free, whatever they say.
  for (size_t i = m_fileSectors; i < m_fat.size(); ++i) {
    m_fat[i] = kFreeSect;
  }
}

void FileState::loadDirectory(uint32_t dirStart) {
  m_live.dirChain = walkChain(dirStart, m_fat.size() + 1, "the directory");
  if (m_live.dirChain.empty()) corrupt("the directory is empty: no root entry");
  const bool v3 = m_major == 3;
  std::vector<std::byte> buf(m_ss);
  m_live.dir.resize(m_live.dirChain.size() * m_perDir);
  for (size_t k = 0; k < m_live.dirChain.size(); ++k) {
    readSector(m_live.dirChain[k], buf);
    for (size_t i = 0; i < m_perDir; ++i) {
      m_live.dir[k * m_perDir + i] = parseEntry(&buf[i * kEntrySize], v3);
    }
  }
  if (m_live.dir[0].type != kRoot) corrupt("directory entry 0 is not the root entry");
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
  if (const auto dup = repeatedSector(chain)) {
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
  if (const auto dup = repeatedSector(chain)) {
    corrupt("mini sector chain of " + what + " loops at mini sector " + std::to_string(*dup));
  }
  return chain;
}

void FileState::ensureMini() {
  if (m_live.miniLoaded) {
    if (!m_live.miniError.empty()) corrupt(m_live.miniError);
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
      for (size_t i = 0; i < m_perFat; ++i) {
        m_live.miniFat[k * m_perFat + i] = rd32(&buf[4 * i]);
      }
    }
  } catch (const EStorageError& e) {
    m_live.miniError = e.detail();
    m_live.rootChain.clear();
    m_live.miniFatChain.clear();
    m_live.miniFat.clear();
  }
  m_committed.miniLoaded = true;
  m_committed.miniError = m_live.miniError;
  m_committed.miniFat = m_live.miniFat;
  m_committed.miniFatChain = m_live.miniFatChain;
  m_committed.rootChain = m_live.rootChain;
  if (!m_live.miniError.empty()) corrupt(m_live.miniError);
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
  if (m_check == Check::Failed) corrupt(m_checkError);
  try {
    checkStructure();
    m_check = Check::Passed;
  } catch (const EStorageError& e) {
    m_check = Check::Failed;
    m_checkError = e.detail();
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
  for (uint32_t s : m_live.fatSectors) {
    claim(s, "the FAT");
  }
  for (uint32_t s : m_live.difatSectors) {
    claim(s, "the DIFAT");
  }
  for (uint32_t s : m_live.dirChain) {
    claim(s, "the directory");
  }
  for (uint32_t s : m_live.miniFatChain) {
    claim(s, "the mini FAT");
  }
  const uint64_t rootSize = m_live.dir[0].size;
  // An empty mini stream has no chain, whatever its start says.
  m_live.rootChain = rootSize == 0
                         ? std::vector<uint32_t>{}
                         : walkChain(m_live.dir[0].start, m_fat.size() + 1, "the mini stream");
  if (uint64_t{m_live.rootChain.size()} * m_ss < rootSize) {
    corrupt("sector chain of the mini stream is shorter than its size");
  }
  for (uint32_t s : m_live.rootChain) {
    claim(s, "the mini stream");
  }

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
      for (uint32_t s : chain) {
        claim(s, what);
      }
    }
  }
  m_committed.rootChain = m_live.rootChain;
}

}  // namespace verbalon::storage::detail
