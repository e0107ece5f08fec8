#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "storage/compound_file.h"
#include "storage/detail/device.h"
#include "storage/detail/on_disk.h"

// The in-memory model of one open compound file and everything that reads or changes it. The
// public handles (compound_file.h) are thin views over it.
namespace verbalon::storage::detail {

// What the header references, except the FAT (kept apart in FileState because it is large and
// is restored by sector rather than copied).
struct Model {
  std::vector<uint32_t> fatSectors;
  std::vector<uint32_t> difatSectors;
  std::vector<DirEntry> dir;
  std::vector<uint32_t> dirChain;
  // Filled on first use of a mini stream (always before any change).
  bool miniLoaded = false;
  std::string miniError;
  uint32_t miniFatStart = kEndOfChain;
  std::vector<uint32_t> miniFat;
  std::vector<uint32_t> miniFatChain;
  std::vector<uint32_t> rootChain;  // regular sectors of the mini stream
  // Children of each storage in sibling order, and the parent of each element.
  std::vector<std::vector<uint32_t>> children;
  std::vector<uint32_t> parent;
};

// Where a stream's bytes are: mini sectors of the mini stream, or regular sectors.
struct Layout {
  bool mini = false;
  uint64_t size = 0;
  std::vector<uint32_t> chain;
};

// The changes a stream handle holds until it commits: the new size, whole pages (one regular
// sector each) that were written, and how much of the stored content survives beneath them
// (bytes from `keep` on that are in no page read as zero, after a shrink).
struct StreamChanges {
  uint64_t size = 0;
  uint64_t keep = 0;
  std::map<uint64_t, std::vector<std::byte>> pages;
};

class FileState {
 public:
  static std::shared_ptr<FileState> open(const std::filesystem::path& path, Access access);
  static std::shared_ptr<FileState> create(const std::filesystem::path& path);
  static std::shared_ptr<FileState> openMemory(std::vector<std::byte> data, std::string name,
                                               Access access);

  FileState(const FileState&) = delete;
  FileState& operator=(const FileState&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  const std::string& name() const { return m_name; }
  bool readOnly() const { return m_access == Access::ReadOnly; }
  uint32_t sectorSize() const { return m_ss; }
  // Version 3 stream sizes are 32-bit.
  bool version3() const { return m_major == 3; }
  // Bumped by every change of the model; handles compare it to drop cached layouts.
  uint64_t generation() const { return m_gen; }

  // Element handles carry (entry, serial); a serial no longer current means the element was
  // discarded by a rollback.
  uint64_t serial(uint32_t id) const { return id < m_serials.size() ? m_serials[id] : 0; }
  void checkHandle(uint32_t id, uint64_t serial) const;
  const DirEntry& entry(uint32_t id) const { return m_live.dir[id]; }
  const std::vector<uint32_t>& children(uint32_t storage) const { return m_live.children[storage]; }
  std::optional<uint32_t> findChild(uint32_t storage, std::u16string_view name) const;
  // "templates/default.html"; for messages.
  std::string pathOf(uint32_t id) const;

  uint32_t createElement(uint32_t storage, std::u16string_view name, EntryType type);

  // Where a stream's content lies, checked against the file (raises STG_E_DOCFILECORRUPT).
  Layout streamLayout(uint32_t id);
  void readStored(const Layout& layout, uint64_t offset, std::span<std::byte> out);

  // Raises unless the file may be changed: opened read-write, and its structure checked once
  // (every chain inside the file, no sector used twice).
  void requireWritable();
  void commitStream(uint32_t id, const StreamChanges& changes);
  // Writes pending element creations when no transaction is active.
  void commitPending();

  void beginTransaction();
  void commitTransaction();
  void rollbackTransaction() noexcept;
  bool inTransaction() const { return m_txnBase.has_value(); }

  [[noreturn]] void fail(uint32_t code, const std::string& what,
                         const std::string& element = {}) const;
  [[noreturn]] void corrupt(const std::string& what) const;

 private:
  FileState(std::unique_ptr<Device> device, const std::filesystem::path& path, Access access);
  // Reading an existing file, in the order load() runs the steps: the header's fields, the
  // FAT's locations (header slots, then the DIFAT chain), the FAT, the directory.
  struct HeaderFields {
    uint32_t numFat = 0;
    uint32_t dirStart = 0;
    uint32_t miniFatStart = 0;
    uint32_t difatStart = 0;
    uint32_t difatCount = 0;
  };
  void load();
  HeaderFields loadHeader();
  const std::vector<uint32_t>& loadFatLocations(const HeaderFields& header);
  void loadFat(const std::vector<uint32_t>& locations);
  void loadDirectory(uint32_t dirStart);
  void initEmpty();
  void buildTree();
  void ensureMini();
  uint64_t miniCapacity() const;

  std::vector<uint32_t> walkChain(uint32_t start, uint64_t limit, const std::string& what) const;
  std::vector<uint32_t> walkMiniChain(uint32_t start, uint64_t limit, uint64_t capacity,
                                      const std::string& what) const;
  void checkStructure();

  void readSector(uint32_t sector, std::span<std::byte> out);
  void writeSector(uint32_t sector, std::span<const std::byte> in);

  bool isPinned(uint32_t sector) const;
  bool reusable(uint32_t sector) const;
  uint32_t allocate();
  void setFat(uint32_t index, uint32_t value);
  uint32_t allocateMini();
  std::vector<uint32_t> rewriteChain(
      const std::vector<uint32_t>& old, size_t count, const std::function<bool(size_t)>& dirty,
      const std::function<void(size_t, std::span<std::byte>)>& content);
  std::vector<uint32_t> placeMini(std::vector<uint32_t> chain, std::span<const std::byte> data);
  void resizeMiniStream(const std::map<size_t, std::vector<std::byte>>& touched);
  void rebuildTree(uint32_t storage);

  void applyStream(uint32_t id, const StreamChanges& changes);
  void flush();
  void finalizeFat();
  void moveSpecialSector(std::vector<uint32_t>& locations, size_t i, uint32_t marker);
  std::vector<std::byte> difatSector(const Model& model, size_t index) const;
  bool difatChanged(size_t index) const;
  void writeHeader();
  void afterCommit();
  void trimTail();
  void restore(const Model& base) noexcept;

  std::unique_ptr<Device> m_dev;
  std::filesystem::path m_path;
  std::string m_name;
  Access m_access;
  std::array<std::byte, 512> m_header{};
  uint16_t m_major = 3;
  uint32_t m_ss = 512;
  uint32_t m_perFat = 128;  // entries per FAT (and mini FAT) sector
  uint32_t m_perDir = 4;
  uint64_t m_fileSectors = 0;  // sectors present in the file, the last one possibly short

  std::vector<uint32_t> m_fat;
  std::vector<uint32_t> m_committedFat;
  std::set<size_t> m_dirtyFat;  // FAT sector indexes changed since the last commit
  std::unordered_set<uint32_t> m_committedSpecial;  // FAT and DIFAT sectors of the header state
  // Since the last commit: indexes of FAT locations set or added, and FAT or DIFAT sectors moved
  // away from.
  std::set<size_t> m_movedFat;
  std::vector<uint32_t> m_releasedSpecial;
  Model m_live;
  Model m_committed;
  std::optional<Model> m_txnBase;
  bool m_txnFailed = false;
  bool m_modified = false;

  enum class Check { NotYet, Passed, Failed } m_check = Check::NotYet;
  std::string m_checkError;

  std::vector<uint64_t> m_serials;
  uint64_t m_nextSerial = 2;
  uint64_t m_gen = 0;
  // Allocation never scans the whole FAT: below m_scanFrom every free sector that may be reused
  // is in m_spare (which may also hold stale entries; allocate() checks each), and sectors freed
  // while the header state still uses them wait in m_freedPinned until the next header is out.
  uint32_t m_scanFrom = 0;
  std::set<uint32_t> m_spare;
  std::vector<uint32_t> m_freedPinned;
};

}  // namespace verbalon::storage::detail
