#include "index/key_list.h"

#include <cstring>
#include <limits>

#include "index/index_error.h"
#include "index/normalize.h"

namespace verbalon::index {

void KeyList::clear() {
  m_bytes.clear();
  m_ends.clear();
}

void KeyList::reserve(size_t keys, size_t bytes) {
  m_ends.reserve(keys);
  m_bytes.reserve(bytes);
}

void KeyList::checkRoom(size_t more) const {
  if (more > std::numeric_limits<uint32_t>::max() - m_bytes.size()) {
    throw EIndexError(EIndexError::Fault::kTooLarge, "the word keys exceed 4 GiB");
  }
}

void KeyList::push_back(std::string_view sortKey) {
  checkRoom(sortKey.size());
  m_bytes.append(sortKey);
  m_ends.push_back(static_cast<uint32_t>(m_bytes.size()));
}

void KeyList::append(const KeyList& other) {
  checkRoom(other.m_bytes.size());
  const auto base = static_cast<uint32_t>(m_bytes.size());
  m_bytes.append(other.m_bytes);
  for (const uint32_t end : other.m_ends) {
    m_ends.push_back(base + end);
  }
}

void KeyList::pushWord(std::string_view word) {
  const size_t before = m_bytes.size();
  appendSortKey(word, m_bytes);
  if (m_bytes.size() > std::numeric_limits<uint32_t>::max()) {
    m_bytes.resize(before);
    throw EIndexError(EIndexError::Fault::kTooLarge, "the word keys exceed 4 GiB");
  }
  m_ends.push_back(static_cast<uint32_t>(m_bytes.size()));
}

void KeyList::compact(const std::vector<bool>& keep) noexcept {
  uint32_t read = 0;
  uint32_t write = 0;
  size_t kept = 0;
  for (size_t i = 0; i < m_ends.size(); ++i) {
    const uint32_t end = m_ends[i];
    if (keep[i]) {
      const uint32_t length = end - read;
      // Keys only move towards the front, so the ranges may overlap but never clobber unread
      // bytes.
      if (write != read) std::memmove(m_bytes.data() + write, m_bytes.data() + read, length);
      write += length;
      m_ends[kept++] = write;
    }
    read = end;
  }
  m_ends.resize(kept);
  m_bytes.resize(write);
}

void KeyList::reserveMore(size_t keys, size_t bytes) {
  checkRoom(bytes);
  const size_t newCount = m_ends.size() + keys;
  const size_t newBytes = m_bytes.size() + bytes;
  if (m_bytes.capacity() < newBytes) m_bytes.reserve(newBytes + newBytes / 4);
  if (m_ends.capacity() < newCount) m_ends.reserve(newCount + newCount / 4);
}

void KeyList::insertSorted(const std::vector<KeyInsertion>& insertions) {
  size_t added = 0;
  for (const KeyInsertion& insertion : insertions) {
    added += insertion.sortKey.size();
  }
  reserveMore(insertions.size(), added);
  const size_t oldCount = m_ends.size();
  const size_t newCount = oldCount + insertions.size();
  const size_t newBytes = m_bytes.size() + added;
  m_bytes.resize(newBytes);
  m_ends.resize(newCount);
  char* bytes = m_bytes.data();
  size_t writeKey = newCount;
  size_t writeByte = newBytes;
  size_t read = oldCount;
  // Every old key moves towards the back; reading from the back never meets a key that has
  // been overwritten already.
  auto place = [&](const char* from, size_t length) {
    writeByte -= length;
    std::memmove(bytes + writeByte, from, length);
    m_ends[--writeKey] = static_cast<uint32_t>(writeByte + length);
  };
  for (size_t t = insertions.size(); t-- > 0;) {
    while (read > insertions[t].position) {
      --read;
      const uint32_t begin = read == 0 ? 0 : m_ends[read - 1];
      place(bytes + begin, m_ends[read] - begin);
    }
    place(insertions[t].sortKey.data(), insertions[t].sortKey.size());
  }
}

FindKeyResult findSortKey(std::string_view sortKey, const KeyList& keys) {
  FindKeyResult result;
  if (keys.empty()) return result;
  // Signed bounds, as the halving is written: hi may fall to -1.
  auto lo = static_cast<std::ptrdiff_t>(0);
  auto hi = static_cast<std::ptrdiff_t>(keys.size()) - 1;
  while (lo <= hi) {
    const std::ptrdiff_t mid = (lo + hi) / 2;
    const int cmp = compareSortKeys(sortKey, keys[static_cast<size_t>(mid)]);
    if (cmp > 0) {
      lo = mid + 1;
    } else if (cmp < 0) {
      hi = mid - 1;
    } else {
      result.found = true;
      result.position = static_cast<size_t>(mid);
      return result;
    }
  }
  result.position = static_cast<size_t>(lo);
  return result;
}

FindKeyResult FindKey(std::string_view word, const KeyList& keys) {
  FindKeyResult result = findSortKey(sortKeyOf(word), keys);
  result.key = NormalizeWord(word);
  return result;
}

}  // namespace verbalon::index
