#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "common/string_list.h"
#include "lookup/line_table.h"

// The tool's look-up cache: a derived, uncompressed copy of the word list ("items.dat") and the
// index ("index.dat") of one resource package, laid out so that a command maps it and reads the
// few lines it needs instead of inflating and splitting both streams on every call. The streams
// stay the truth: a cache whose stamp does not match the package, or that does not hold
// together, is not used.
namespace verbalon::lookup {

// What identifies one committed state of a resource package: any commit changes at least one
// value (see stampOf in index_lists.h).
using CacheStamp = std::array<uint64_t, 9>;

// The two lists of a cache file, pointing into its bytes.
struct CachedLists {
  LineTable words;
  LineTable entries;
};

// The lists of a cache file's bytes, if they hold together and carry stamp: the header is whole
// and current, every section lies inside bytes and both lists have the header's line count.
// Lines themselves are checked when read (LineTable). Nothing otherwise, never an error: a
// cache that does not match is simply made again. origin names the bytes in later messages and
// must outlive the result, as must bytes.
std::optional<CachedLists> readCache(std::span<const std::byte> bytes, const CacheStamp& stamp,
                                     std::string_view origin);

// One list to store: its text and the spans of its lines in that text.
struct ListToCache {
  std::string_view text;
  std::span<const LineSpan> spans;
};

// Writes a cache file at path: into a temporary file of the same folder, renamed over path when
// complete, so that a reader meets the old file or the new one, never a part. Requires:
// words.spans.size() == entries.spans.size(). Raises ELookupCacheError when the file cannot be
// written (nothing is left behind then).
void writeCache(const std::filesystem::path& path, const CacheStamp& stamp, ListToCache words,
                ListToCache entries);

}  // namespace verbalon::lookup
