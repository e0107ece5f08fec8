#include "common/packed_lines.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "common/detail/line_breaks.h"
#include "common/huge_pages.h"

namespace verbalon {
namespace {

constexpr size_t kMaxBytes = std::numeric_limits<uint32_t>::max();

}  // namespace

PackedLines::PackedLines(const StringList& lines) {
  size_t bytes = 0;
  for (const std::string& line : lines) {
    bytes += line.size();
  }
  reserve(lines.size(), bytes);
  for (const std::string& line : lines) {
    push_back(line);
  }
}

PackedLines PackedLines::fromText(std::string text) {
  if (text.size() > kMaxBytes) {
    throw ELinesTooLarge("a text of 4 GiB or more cannot be split into lines");
  }
  PackedLines lines;
  // Stored texts end every line in CR LF, so the LFs count the lines; a text of lone CRs
  // only grows the list the usual way. Sized once: a list grown by doubling touches twice the
  // memory it ends up with.
  reserveWithHugePages(lines.m_ends,
                       static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  char* data = text.data();
  uint32_t write = 0;
  // A line moves towards the front by the breaks before it, so it never reaches bytes the
  // search has still to read (its own break and what follows).
  detail::forEachLine(text, [&](size_t begin, size_t length) {
    if (write != begin) std::memmove(data + write, data + begin, length);
    write += static_cast<uint32_t>(length);
    lines.m_ends.push_back(write);
  });
  text.resize(write);
  lines.m_bytes = std::move(text);
  return lines;
}

void PackedLines::clear() noexcept {
  m_bytes.clear();
  m_ends.clear();
}

void PackedLines::reserve(size_t lines, size_t bytes) {
  m_ends.reserve(lines);
  m_bytes.reserve(bytes);
}

void PackedLines::sealLine(size_t begin) {
  try {
    if (m_bytes.size() > kMaxBytes) throw ELinesTooLarge("the lines exceed 4 GiB");
    m_ends.push_back(static_cast<uint32_t>(m_bytes.size()));
  } catch (...) {
    m_bytes.resize(begin);
    throw;
  }
}

void PackedLines::push_back(std::string_view line) {
  pushWritten([line](std::string& bytes) { bytes.append(line); });
}

void PackedLines::append(const PackedLines& other) {
  if (other.m_bytes.size() > kMaxBytes - m_bytes.size()) {
    throw ELinesTooLarge("the lines exceed 4 GiB");
  }
  const auto base = static_cast<uint32_t>(m_bytes.size());
  m_ends.reserve(m_ends.size() + other.m_ends.size());
  m_bytes.append(other.m_bytes);
  for (const uint32_t end : other.m_ends) {
    m_ends.push_back(base + end);
  }
}

void PackedLines::reserveMore(size_t lines, size_t bytes) {
  if (bytes > kMaxBytes - m_bytes.size()) throw ELinesTooLarge("the lines exceed 4 GiB");
  const size_t newCount = m_ends.size() + lines;
  const size_t newBytes = m_bytes.size() + bytes;
  if (m_bytes.capacity() < newBytes) m_bytes.reserve(newBytes + newBytes / 4);
  if (m_ends.capacity() < newCount) m_ends.reserve(newCount + newCount / 4);
}

void PackedLines::insertSorted(std::span<const size_t> insertAt, const PackedLines& inserted,
                               std::span<const size_t> replaceAt,
                               const PackedLines& replacements) noexcept {
  assert(insertAt.size() == inserted.size() && replaceAt.size() == replacements.size());
  size_t replacedBytes = 0;
  for (const size_t line : replaceAt) {
    replacedBytes += (*this)[line].size();
  }
  const size_t oldCount = size();
  const size_t newCount = oldCount + insertAt.size();
  const size_t newBytes =
      m_bytes.size() + inserted.byteSize() + replacements.byteSize() - replacedBytes;
  assert(m_bytes.capacity() >= newBytes && m_ends.capacity() >= newCount);
  m_bytes.resize(newBytes);
  m_ends.resize(newCount);
  char* bytes = m_bytes.data();
  size_t writeLine = newCount;
  size_t writeByte = newBytes;
  // Every old line moves towards the back, by what is inserted or grows before it; reading
  // from the back never meets a line that has been overwritten already.
  auto place = [&](const char* from, size_t length) {
    writeByte -= length;
    std::memmove(bytes + writeByte, from, length);
    m_ends[--writeLine] = static_cast<uint32_t>(writeByte + length);
  };
  size_t read = oldCount;
  size_t t = insertAt.size();
  size_t r = replaceAt.size();
  while (t > 0 || read > 0) {
    if (t > 0 && insertAt[t - 1] >= read) {
      --t;
      place(inserted[t].data(), inserted[t].size());
      continue;
    }
    --read;
    if (r > 0 && replaceAt[r - 1] == read) {
      --r;
      place(replacements[r].data(), replacements[r].size());
    } else {
      const uint32_t begin = read == 0 ? 0 : m_ends[read - 1];
      place(bytes + begin, m_ends[read] - begin);
    }
  }
}

void PackedLines::insertSorted(std::span<const size_t> insertAt,
                               const PackedLines& inserted) noexcept {
  insertSorted(insertAt, inserted, {}, PackedLines());
}

void PackedLines::compact(const std::vector<bool>& keep, const std::vector<bool>& replaced,
                          const PackedLines& replacements) noexcept {
  assert(keep.size() == size() && (replaced.empty() || replaced.size() == size()));
  char* bytes = m_bytes.data();
  uint32_t read = 0;
  uint32_t write = 0;
  size_t kept = 0;
  size_t r = 0;
  for (size_t i = 0; i < m_ends.size(); ++i) {
    const uint32_t end = m_ends[i];
    const bool replacedHere = !replaced.empty() && replaced[i];
    if (keep[i]) {
      const std::string_view line =
          replacedHere ? replacements[r] : std::string_view(bytes + read, end - read);
      assert(line.size() <= end - read);
      // Lines only move towards the front, so the ranges may overlap but never clobber
      // unread bytes.
      if (line.data() != bytes + write) std::memmove(bytes + write, line.data(), line.size());
      write += static_cast<uint32_t>(line.size());
      m_ends[kept++] = write;
    }
    if (replacedHere) ++r;
    read = end;
  }
  assert(r == replacements.size());
  m_ends.resize(kept);
  m_bytes.resize(write);
}

void PackedLines::compact(const std::vector<bool>& keep) noexcept {
  compact(keep, {}, PackedLines());
}

void PackedLines::releaseSpareRoom() noexcept {
  if (m_bytes.capacity() / 2 <= m_bytes.size() && m_ends.capacity() / 2 <= m_ends.size()) {
    return;
  }
  try {
    m_bytes.shrink_to_fit();
    m_ends.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    // Kept as it was.
  }
}

std::string joinLines(const PackedLines& lines) {
  std::string text;
  text.reserve(storedTextSize(lines));
  for (const std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace verbalon
