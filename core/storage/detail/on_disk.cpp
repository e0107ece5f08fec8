#include "storage/detail/on_disk.h"

#include <algorithm>
#include <cstring>

namespace verbalon::storage::detail {

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

}  // namespace verbalon::storage::detail
