#pragma once

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

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The compound file format's numbers and records, and their little-endian encoding.
namespace verbalon::storage::detail {

inline constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
inline constexpr uint32_t kDifSect = 0xFFFFFFFC;
inline constexpr uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kFreeSect = 0xFFFFFFFF;
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;
inline constexpr uint64_t kMiniCutoff = 4096;
inline constexpr uint32_t kMiniSectorSize = 64;
inline constexpr size_t kHeaderDifatSlots = 109;

enum EntryType : uint8_t { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };

struct DirEntry {
  std::u16string name;
  uint8_t type = kUnused;
  uint8_t color = 1;     // 0 red, 1 black
  bool badName = false;  // the name length field is odd, zero or over 64
  uint32_t left = kNoStream;
  uint32_t right = kNoStream;
  uint32_t child = kNoStream;
  std::array<uint8_t, 16> clsid{};
  uint32_t stateBits = 0;
  uint64_t created = 0;
  uint64_t modified = 0;
  uint32_t start = 0;
  uint64_t size = 0;
  bool operator==(const DirEntry&) const = default;
};

inline constexpr std::array<uint8_t, 8> kSignature{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr size_t kEntrySize = 128;
// The v4 range-lock sector (bytes 0x7FFFFF00..0x7FFFFFFF) belongs to ole32's locking; no data
// may go there. v3 files end below it anyway (2 GB limit).
inline constexpr uint64_t kLockOffset = 0x7FFFFF00;

inline uint16_t rd16(const std::byte* p) {
  return static_cast<uint16_t>(std::to_integer<unsigned>(p[0]) |
                               (std::to_integer<unsigned>(p[1]) << 8));
}
inline uint32_t rd32(const std::byte* p) {
  return std::to_integer<uint32_t>(p[0]) | (std::to_integer<uint32_t>(p[1]) << 8) |
         (std::to_integer<uint32_t>(p[2]) << 16) | (std::to_integer<uint32_t>(p[3]) << 24);
}
inline uint64_t rd64(const std::byte* p) {
  return rd32(p) | (static_cast<uint64_t>(rd32(p + 4)) << 32);
}
inline void wr16(std::byte* p, uint16_t v) {
  p[0] = static_cast<std::byte>(v & 0xFF);
  p[1] = static_cast<std::byte>(v >> 8);
}
inline void wr32(std::byte* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
  }
}
inline void wr64(std::byte* p, uint64_t v) {
  wr32(p, static_cast<uint32_t>(v));
  wr32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline uint64_t ceilDiv(uint64_t a, uint64_t b) {
  return (a + b - 1) / b;
}

// A directory entry from its 128 bytes; v3 files keep only the low half of the size.
DirEntry parseEntry(const std::byte* p, bool v3);
// The 128 bytes of a directory entry, as Windows writes them.
void writeEntry(std::byte* p, const DirEntry& e, bool v3);

}  // namespace verbalon::storage::detail
