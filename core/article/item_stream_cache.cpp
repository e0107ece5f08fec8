#include "article/item_stream_cache.h"

#include <cassert>

#include "index/word_index.h"
#include "storage/storage.h"

namespace verbalon::article {
namespace {

// What an entry costs: the line bytes and each line's string object, plus the key's path.
size_t footprint(const StringList& lines, std::string_view path) {
  size_t total = path.size() + sizeof(StringList);
  for (const std::string& line : lines)
    total += line.size() + sizeof(std::string);
  return total;
}

}  // namespace

std::shared_ptr<const StringList> ItemStreamCache::lines(size_t dictNumber,
                                                         const dicts::TDict& dict,
                                                         std::string_view path,
                                                         storage::MemoryStream& ReadBuf) {
  Key key(dictNumber, std::string(path));
  if (const auto found = m_byKey.find(key); found != m_byKey.end()) {
    m_entries.splice(m_entries.begin(), m_entries, found->second);
    return found->second->lines;
  }

  assert(dict.Storage);
  storage::ReadStream(*dict.Storage, path, ReadBuf, storage::kPackageMode, true);
  auto decoded = std::make_shared<const StringList>(splitLines(ReadBuf.bytes()));
  ReadBuf.clear();
  const size_t cost = footprint(*decoded, path);
  if (cost > m_capacity) return decoded;

  evictTo(m_capacity - cost);
  m_entries.push_front(Entry{key, decoded, cost});
  m_byKey.emplace(std::move(key), m_entries.begin());
  m_bytes += cost;
  return decoded;
}

void ItemStreamCache::dropDict(size_t dictNumber) {
  auto it = m_byKey.lower_bound(Key(dictNumber, std::string()));
  while (it != m_byKey.end() && it->first.first == dictNumber) {
    m_bytes -= it->second->bytes;
    m_entries.erase(it->second);
    it = m_byKey.erase(it);
  }
}

void ItemStreamCache::connectTo(index::WordIndex& index) {
  index.setSlotFreedListener([this](size_t n) { dropDict(n); });
}

void ItemStreamCache::evictTo(size_t limit) {
  while (m_bytes > limit && !m_entries.empty()) {
    const Entry& last = m_entries.back();
    m_bytes -= last.bytes;
    m_byKey.erase(last.key);
    m_entries.pop_back();
  }
}

}  // namespace verbalon::article
