#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "dicts/tdict.h"
#include "storage/memory_stream.h"

// Decoded item streams of dictionary packages, kept so that a second article from the same
// stream costs no decompression. An entry is the stream's text with where each line lies in it
// (lines end at CR LF, CR or LF, as article lines are picked), keyed by the dictionary number and
// the storage path as the index entry spells it. Bounded by the bytes the entries hold; the
// least recently used streams go first.
//
// An entry stays valid while its slot holds the same open package. Whoever removes a dictionary
// must drop its entries before the number can be given to another package:
// index::WordIndex::RemoveDict reports every freed slot to the listener set with
// WordIndex::setSlotFreedListener, and the owner of the index and the cache connects it to
// dropDict once (see connectTo).
namespace verbalon::index {
class WordIndex;
}

namespace verbalon::article {

// The most bytes one item stream may decompress to when an article is read from it. The largest
// item streams of real dictionaries hold a few megabytes; a package of a few hundred kilobytes
// can claim gigabytes, which a page would then have to hold.
inline constexpr size_t kItemStreamLimit = size_t{64} << 20;

class ItemStreamCache {
 public:
  static constexpr size_t kDefaultCapacity = size_t{64} << 20;  // 64 MiB

  explicit ItemStreamCache(size_t capacityBytes = kDefaultCapacity) : m_capacity(capacityBytes) {}
  ItemStreamCache(const ItemStreamCache&) = delete;
  ItemStreamCache& operator=(const ItemStreamCache&) = delete;

  // Line lineNumber of the stream at path of dictionary dictNumber (whose slot is dict), the
  // stream read and decompressed through ReadBuf when not held (at most kItemStreamLimit bytes).
  // nullopt when the stream has no such line; lineCount, when given, then receives the number
  // of lines. A stream that would cost more than the capacity is not kept, and costs no more
  // memory than its text then. Errors of ReadStream pass on; nothing is kept then. Requires: dict
  // holds an open package.
  std::optional<std::string> line(size_t dictNumber, const dicts::TDict& dict,
                                  std::string_view path, size_t lineNumber,
                                  storage::MemoryStream& ReadBuf, size_t* lineCount = nullptr);

  // Forgets every stream of dictionary dictNumber.
  void dropDict(size_t dictNumber);

  // Makes index drop this cache's entries of every slot it frees. Requires: the cache outlives
  // index, or is disconnected first (index.setSlotFreedListener({})).
  void connectTo(index::WordIndex& index);

  size_t bytes() const { return m_bytes; }
  size_t capacity() const { return m_capacity; }
  size_t streamCount() const { return m_entries.size(); }

 private:
  using Key = std::pair<size_t, std::string>;
  struct Entry {
    Key key;
    std::shared_ptr<const dicts::TextLines> lines;
    size_t bytes = 0;
  };

  void evictTo(size_t limit);

  size_t m_capacity;
  size_t m_bytes = 0;
  std::list<Entry> m_entries;  // most recently used first
  std::map<Key, std::list<Entry>::iterator> m_byKey;
};

}  // namespace verbalon::article
