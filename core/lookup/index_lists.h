#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "lookup/line_table.h"
#include "lookup/lookup_cache.h"

namespace verbalon::storage {
class CompoundFile;
}  // namespace verbalon::storage

// The word list and the index of a resource package as the tool's read-only commands take them:
// from the look-up cache of the application folder, made when it is missing or stale, or, when
// no cache can be written, straight from the package's streams.
namespace verbalon::lookup {

// Where the lists of an IndexLists came from.
enum class ListSource {
  Cache,    // a cache file that matched the package
  Made,     // the streams, and the cache file was written from them
  Streams,  // the streams; no cache could be written
};

class IndexLists {
 public:
  // The lists of stgRes, which stays open (read-only or exclusive) for the call, so that no
  // writer commits meanwhile. cacheFile is the cache to use (cacheFileFor), or empty for none.
  // A stream is read up to limit bytes of text, as the index loads it. Errors of the package
  // pass on (storage errors, EDecompressionError, and EIndexError when the two lists differ in
  // length); those of the cache never do: it is then made again, or left out.
  static IndexLists open(const storage::CompoundFile& stgRes,
                         const std::filesystem::path& cacheFile, size_t limit);
  // The same, the cache file being left aside whatever it holds: for a caller whose first
  // IndexLists met a damaged line (ELookupCacheError).
  static IndexLists remake(const storage::CompoundFile& stgRes,
                           const std::filesystem::path& cacheFile, size_t limit);

  IndexLists(IndexLists&&) noexcept;
  IndexLists& operator=(IndexLists&&) noexcept;
  ~IndexLists();

  // `slWord` and `slIndex`, line i of both being one word. Valid while this object lives.
  const LineTable& words() const { return m_lists.words; }
  const LineTable& entries() const { return m_lists.entries; }
  ListSource source() const { return m_source; }

 private:
  struct Held;
  IndexLists(std::unique_ptr<Held> held, CachedLists lists, ListSource source);

  std::unique_ptr<Held> m_held;  // the memory the tables point into
  CachedLists m_lists;
  ListSource m_source;
};

// What identifies the committed state of stgRes: its file's device, inode, size and times of
// change (nanoseconds), and the first sector and size of "items.dat" and "index.dat". A commit
// rewrites the file, so its change time moves; a second commit within the clock's granularity
// still moves the streams to new sectors, as writing is copy-on-write.
CacheStamp stampOf(const storage::CompoundFile& stgRes);
// The same for any package and two streams at its root (a missing one counts as 0 and 0).
CacheStamp stampOf(const storage::CompoundFile& package, std::string_view first,
                   std::string_view second);

// The cache file of the application folder appDir: in $XDG_CACHE_HOME/verbalon, or
// $HOME/.cache/verbalon when that is not set to an absolute folder, named after a hash of the
// folder's canonical path. Empty when neither variable gives an absolute folder.
std::filesystem::path cacheFileFor(const std::filesystem::path& appDir);

}  // namespace verbalon::lookup
