// Changing an open compound file: allocating sectors away from what the header on disk still
// uses, rewriting streams and the mini stream, and creating elements. A change is applied to the
// in-memory model first and handed to flush (file_state_commit.cpp), which makes it durable; a
// failure puts the model back as it was.
#include <algorithm>
#include <cstring>

#include "common/utf8.h"
#include "storage/detail/file_state.h"
#include "storage/detail/names.h"

namespace verbalon::storage::detail {
namespace {

std::string quoted(std::u16string_view name) {
  return "'" + utf16ToUtf8(name) + "'";
}

}  // namespace

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

}  // namespace verbalon::storage::detail
