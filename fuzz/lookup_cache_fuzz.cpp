// Feeds arbitrary bytes to the reader of the tool's look-up cache, as a damaged, truncated or
// foreign file in the user's cache folder could hold them. The stamp the bytes claim is the one
// expected, so that the input reaches past that check. Every line of both lists is read; one
// that reads must lie inside the input. Any error but verbalon::Error is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "lookup/lookup_cache.h"
#include "lookup/lookup_error.h"

namespace {

using verbalon::lookup::CacheStamp;
using verbalon::lookup::LineTable;

void check(bool condition) {
  if (!condition) std::abort();
}

// Where the stamp lies in a cache file's header: after the magic, the version and the size.
constexpr size_t kStampOffset = 16;

void readAll(const LineTable& table, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < table.size(); ++i) {
    try {
      const std::string_view line = table[i];
      const auto* begin = reinterpret_cast<const uint8_t*>(line.data());
      check(begin >= data && begin + line.size() <= data + size);
    } catch (const verbalon::lookup::ELookupCacheError&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CacheStamp stamp{};
  if (size >= kStampOffset + sizeof(stamp)) std::memcpy(&stamp, data + kStampOffset, sizeof(stamp));
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  const auto lists = verbalon::lookup::readCache(bytes, stamp, "the input");
  if (!lists) return 0;
  check(lists->words.size() == lists->entries.size());
  readAll(lists->words, data, size);
  readAll(lists->entries, data, size);
  return 0;
}
