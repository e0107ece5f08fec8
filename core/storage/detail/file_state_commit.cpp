// Making changes durable: new FAT, DIFAT and directory sectors are written and synced before
// the header that points at them, so a crash leaves the old or the new file; and the
// transactions that group several commits.
#include <algorithm>
#include <cstring>

#include "storage/detail/file_state.h"

namespace verbalon::storage::detail {

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

// Moves sector i of locations (FAT or DIFAT sectors, marked as marker in the FAT) to a newly
// allocated place; the old place stays reserved until the next header no longer names it.
void FileState::moveSpecialSector(std::vector<uint32_t>& locations, size_t i, uint32_t marker) {
  const uint32_t old = locations[i];
  const uint32_t moved = allocate();
  setFat(moved, marker);
  setFat(old, kFreeSect);
  locations[i] = moved;
  m_releasedSpecial.push_back(old);
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
      moveSpecialSector(m.fatSectors, k, kFatSect);
      m_movedFat.insert(k);
      changed = true;
    }
    for (size_t j = 0; j < m.difatSectors.size(); ++j) {
      if (!isPinned(m.difatSectors[j])) continue;
      if (!difatChanged(j)) continue;
      moveSpecialSector(m.difatSectors, j, kDifSect);
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
