#include "lookup/lookup_cache.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "lookup/lookup_error.h"

// A cache file, in the byte order of the machine that wrote it (it never leaves that machine):
//   header        Header below, kHeaderSize bytes
//   word spans    lineCount records of (u32 begin, u32 length) into the word text
//   entry spans   the same into the entry text
//   word text     "items.dat" as inflated, line breaks and all
//   entry text    "index.dat" as inflated
// The header gives every section's offset and size, so a reader checks each against the file's
// size before it touches the section.
namespace verbalon::lookup {
namespace {

constexpr std::array<char, 8> kMagic{'V', 'R', 'B', 'X', 'L', 'K', 'C', '\n'};
constexpr uint32_t kVersion = 1;

struct Section {
  uint64_t offset;
  uint64_t size;
};

struct Header {
  std::array<char, 8> magic;
  uint32_t version;
  uint32_t headerSize;
  CacheStamp stamp;
  uint64_t lineCount;
  Section wordSpans;
  Section entrySpans;
  Section wordText;
  Section entryText;
  uint64_t fileSize;
};
constexpr size_t kHeaderSize = sizeof(Header);
static_assert(kHeaderSize == 8 + 8 + 9 * 8 + 8 + 4 * 16 + 8, "the header has no padding");

bool inside(const Section& s, size_t fileSize) {
  return s.offset <= fileSize && s.size <= fileSize - s.offset;
}

std::string_view textOf(std::span<const std::byte> bytes, const Section& s) {
  return {reinterpret_cast<const char*>(bytes.data()) + s.offset, static_cast<size_t>(s.size)};
}

// Writes all of data to fd; false on any failure.
bool writeAll(int fd, const void* data, size_t size) {
  const auto* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<CachedLists> readCache(std::span<const std::byte> bytes, const CacheStamp& stamp,
                                     std::string_view origin) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  Header h{};
  std::memcpy(&h, bytes.data(), kHeaderSize);
  if (h.magic != kMagic || h.version != kVersion || h.headerSize != kHeaderSize ||
      h.fileSize != bytes.size() || h.stamp != stamp) {
    return std::nullopt;
  }
  for (const Section& s : {h.wordSpans, h.entrySpans, h.wordText, h.entryText}) {
    if (!inside(s, bytes.size())) return std::nullopt;
  }
  // Both span sections hold exactly lineCount records; dividing avoids an overflowing product.
  for (const Section& s : {h.wordSpans, h.entrySpans}) {
    if (s.size % sizeof(LineSpan) != 0 || s.size / sizeof(LineSpan) != h.lineCount) {
      return std::nullopt;
    }
  }
  const auto count = static_cast<size_t>(h.lineCount);
  return CachedLists{
      LineTable(textOf(bytes, h.wordText), bytes.subspan(h.wordSpans.offset, h.wordSpans.size),
                count, origin),
      LineTable(textOf(bytes, h.entryText), bytes.subspan(h.entrySpans.offset, h.entrySpans.size),
                count, origin)};
}

void writeCache(const std::filesystem::path& path, const CacheStamp& stamp, ListToCache words,
                ListToCache entries) {
  Header h{};
  h.magic = kMagic;
  h.version = kVersion;
  h.headerSize = kHeaderSize;
  h.stamp = stamp;
  h.lineCount = words.spans.size();
  uint64_t at = kHeaderSize;
  auto place = [&at](uint64_t size) {
    const Section s{at, size};
    at += size;
    return s;
  };
  h.wordSpans = place(words.spans.size_bytes());
  h.entrySpans = place(entries.spans.size_bytes());
  h.wordText = place(words.text.size());
  h.entryText = place(entries.text.size());
  h.fileSize = at;

  // A name of this process's own, so that two commands making the cache at once do not write
  // into one file; the rename then picks one of two equal results.
  std::filesystem::path temporary = path;
  temporary += ".tmp" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    throw ELookupCacheError("cannot create " + temporary.string() + ": " +
                            std::generic_category().message(errno));
  }
  const bool written = writeAll(fd, &h, kHeaderSize) &&
                       writeAll(fd, words.spans.data(), words.spans.size_bytes()) &&
                       writeAll(fd, entries.spans.data(), entries.spans.size_bytes()) &&
                       writeAll(fd, words.text.data(), words.text.size()) &&
                       writeAll(fd, entries.text.data(), entries.text.size());
  const int error = errno;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int cause = written ? errno : error;
    ::unlink(temporary.c_str());
    throw ELookupCacheError("cannot write " + path.string() + ": " +
                            std::generic_category().message(cause));
  }
}

}  // namespace verbalon::lookup
