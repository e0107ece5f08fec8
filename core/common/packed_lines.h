#pragma once

#include <cassert>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "common/line_iterator.h"
#include "common/string_list.h"

namespace verbalon {

// Raised when the lines of a PackedLines would pass the 4 GiB its offsets can address.
class ELinesTooLarge : public Error {
 public:
  using Error::Error;
};

// An ordered list of single-byte lines packed into one buffer, with the end offset of each line
// beside it: a line costs its bytes plus four, where a list of strings costs 32 bytes a line and
// a heap block for most of them. The word list, the index entries and their sort keys hold
// millions of lines each, read once at start-up and changed only in whole passes (a merge, a
// removal), which is what this list offers. Lines hold no line break.
class PackedLines {
 public:
  PackedLines() = default;
  // The given lines, copied.
  explicit PackedLines(const StringList& lines);

  // The lines of text as splitLines finds them (CR LF, a lone CR or a lone LF; a break at the
  // very end adds no empty line), packed inside text's own buffer: the breaks are squeezed out
  // in one pass, nothing is allocated per line. Raises ELinesTooLarge for 4 GiB of text or more.
  static PackedLines fromText(std::string text);

  size_t size() const { return m_ends.size(); }
  bool empty() const { return m_ends.empty(); }
  std::string_view operator[](size_t i) const {
    assert(i < m_ends.size());
    const uint32_t begin = i == 0 ? 0 : m_ends[i - 1];
    return std::string_view(m_bytes).substr(begin, m_ends[i] - begin);
  }
  std::string_view back() const { return (*this)[size() - 1]; }
  // The bytes of all lines, without breaks.
  size_t byteSize() const { return m_bytes.size(); }
  StringList toStringList() const { return copyLines(*this); }
  // Heap bytes held.
  size_t memoryBytes() const { return m_bytes.capacity() + m_ends.capacity() * sizeof(uint32_t); }

  using Iterator = LineIterator<PackedLines>;
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, size()); }

  void clear() noexcept;
  void reserve(size_t lines, size_t bytes);
  void push_back(std::string_view line);
  // Appends the lines of other, in order. Raises ELinesTooLarge past 4 GiB, changing nothing.
  void append(const PackedLines& other);
  // Appends one line made by write(buffer), which may only append to buffer: a line built in
  // place without a string of its own. If write throws, the list stays as it was.
  template <typename Write>
  void pushWritten(Write&& write) {
    const size_t before = m_bytes.size();
    try {
      write(m_bytes);
    } catch (...) {
      m_bytes.resize(before);
      throw;
    }
    sealLine(before);
  }

  // Makes room for `lines` more lines of `bytes` more bytes in all, with some to spare so that
  // the next merges grow without copying, and so that a following insertSorted that adds no
  // more allocates nothing and cannot fail. Raises ELinesTooLarge past 4 GiB.
  void reserveMore(size_t lines, size_t bytes);

  // Puts inserted[t] before old line insertAt[t] for every t, and replacements[r] in place of
  // old line replaceAt[r] for every r, in one pass from the back, so every line moves at most
  // once. Requires: the room reserved (reserveMore); both position lists ascending (several
  // insertions at one position keep their order and go before a replacement there); no
  // replacement shorter than the line it replaces; no argument viewing into this list.
  void insertSorted(std::span<const size_t> insertAt, const PackedLines& inserted,
                    std::span<const size_t> replaceAt, const PackedLines& replacements) noexcept;
  void insertSorted(std::span<const size_t> insertAt, const PackedLines& inserted) noexcept;

  // Keeps the lines whose keep flag is true, in order, in one pass from the front; the r-th line
  // whose replaced flag is true (kept or not) gives way to replacements[r]. Requires:
  // keep.size() == size(); replaced empty or of size() flags, as many true as replacements has
  // lines; no replacement longer than the line it replaces.
  void compact(const std::vector<bool>& keep, const std::vector<bool>& replaced,
               const PackedLines& replacements) noexcept;
  void compact(const std::vector<bool>& keep) noexcept;

  // Gives back the room of a list that has shrunk to less than half of it (after the removal
  // of a large dictionary). Without the memory for the smaller copy the room stays.
  void releaseSpareRoom() noexcept;

  friend bool operator==(const PackedLines& a, const PackedLines& b) {
    return a.m_ends == b.m_ends && a.m_bytes == b.m_bytes;
  }
  friend bool operator==(const PackedLines& a, const StringList& b) { return sameLines(a, b); }

 private:
  void sealLine(size_t begin);

  std::string m_bytes;           // the lines one after another, nothing else
  std::vector<uint32_t> m_ends;  // end offset of each line in m_bytes
};

// The bytes the list takes as stored text: each line and its CR LF.
inline size_t storedTextSize(const PackedLines& lines) {
  return lines.byteSize() + 2 * lines.size();
}

// The stored form of the list: every line followed by CR LF, the last one too.
std::string joinLines(const PackedLines& lines);

}  // namespace verbalon
