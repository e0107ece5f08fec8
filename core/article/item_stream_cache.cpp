#include "article/item_stream_cache.h"

#include <cassert>

#include "article/detail/stream_lines.h"
#include "common/string_list.h"
#include "index/word_index.h"
#include "storage/storage.h"

namespace verbalon::article {
namespace {

// What an entry of a text with lines lines costs: the text, the place of each line in it, and
// the key's path. Known before anything is built, so a stream too large to keep never is.
size_t footprint(size_t textBytes, size_t lines, std::string_view path) {
  return sizeof(dicts::TextLines) + textBytes + lines * 8 + path.size();
}

}  // namespace

std::optional<std::string> ItemStreamCache::line(size_t dictNumber, const dicts::TDict& dict,
                                                 std::string_view path, size_t lineNumber,
                                                 storage::MemoryStream& ReadBuf,
                                                 size_t* lineCount) {
  Key key(dictNumber, std::string(path));
  std::shared_ptr<const dicts::TextLines> held;
  if (const auto found = m_byKey.find(key); found != m_byKey.end()) {
    m_entries.splice(m_entries.begin(), m_entries, found->second);
    held = found->second->lines;
  } else {
    assert(dict.Storage);
    storage::ReadStream(*dict.Storage, path, ReadBuf, storage::kPackageMode, true,
                        kItemStreamLimit);
    const size_t lines = countLines(ReadBuf.bytes());
    const size_t cost = footprint(ReadBuf.size(), lines, path);
    if (cost > m_capacity) {
      const std::optional<std::string_view> picked = detail::nthLine(ReadBuf.bytes(), lineNumber);
      std::optional<std::string> result;
      if (picked) result.emplace(*picked);
      ReadBuf.clear();
      if (!result && lineCount) *lineCount = lines;
      return result;
    }
    // A copy, not ReadBuf's block: that may have grown for a far larger stream before.
    held = std::make_shared<const dicts::TextLines>(std::string(ReadBuf.bytes()));
    ReadBuf.clear();
    evictTo(m_capacity - cost);
    m_entries.push_front(Entry{key, held, cost});
    m_byKey.emplace(std::move(key), m_entries.begin());
    m_bytes += cost;
  }
  if (lineNumber < held->size()) return std::string((*held)[lineNumber]);
  if (lineCount) *lineCount = held->size();
  return std::nullopt;
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
