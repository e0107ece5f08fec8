#include "storage/storage.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>
#include <utility>

#include "common/cp1251.h"

namespace verbalon::storage {
namespace {

// Reads go through chunks of 8096 bytes and writes through chunks of 65536, the sizes packages
// have always been copied with.
constexpr size_t kReadChunk = 8096;
constexpr size_t kWriteChunk = 65536;

// Messages are UTF-8, like those of the compound file.
std::string fileLabel(const CompoundFile& root) {
  std::string name = root.path().filename().string();
  return name.empty() ? root.path().string() : name;
}

// The names of a path that must name a stream: at least one.
StringList streamNames(const CompoundFile& root, std::string_view path) {
  StringList names = splitStoragePath(path);
  if (names.empty()) {
    throw EStorageError(hresult::kInvalidName, fileLabel(root),
                        "the storage path is empty, so it names no stream");
  }
  return names;
}

// Opens the storages named by names[0..count) one inside the other, starting at the root.
Storage openStorages(const CompoundFile& root, const StringList& names, size_t count) {
  Storage current = root.root();
  for (size_t i = 0; i < count; ++i) {
    current = current.openStorage(cp1251::toUtf16(names[i]));
  }
  return current;
}

void checkMode(const CompoundFile& root, uint32_t mode) {
  const uint32_t access = mode & 0x3;
  const bool known = (mode & ~(0x3u | kStgmShareExclusive)) == 0;
  if (!known || access == 0x3 || (mode & kStgmShareExclusive) == 0) {
    throw EStorageError(
        hresult::kInvalidParameter, fileLabel(root),
        "access mode " + std::to_string(mode) + " cannot open an element inside a compound file");
  }
}

std::span<std::byte> asBytes(char* data, size_t size) {
  return {reinterpret_cast<std::byte*>(data), size};
}

// The stream's recorded size comes from the file; the file's own size bounds what to reserve.
size_t plausibleSize(const CompoundFile& root, const Stream& stream) {
  std::error_code ec;
  const uintmax_t fileSize = std::filesystem::file_size(root.path(), ec);
  return ec ? 0 : static_cast<size_t>(std::min<uint64_t>(stream.size(), fileSize));
}

// Hands the stream to consume in chunks of kReadChunk bytes until a read delivers fewer (the
// end of the stream) or consume returns false. The compound file raises when a read fails, so
// a damaged file never passes for a shorter stream.
template <typename Consume>
void readChunks(Stream& stream, Consume consume) {
  std::array<char, kReadChunk> chunk;
  for (;;) {
    const size_t got = stream.read(asBytes(chunk.data(), chunk.size()));
    if (!consume(std::string_view(chunk.data(), got)) || got < chunk.size()) return;
  }
}

// The name, as the storage spells it, of the element whose name equals name ignoring case.
std::optional<std::u16string> findIgnoringCase(const Storage& storage, std::string_view name) {
  const std::string wanted = cp1251::toUpper(name);
  ElementEnumerator elements = storage.enumElements();
  while (std::optional<ElementInfo> element = elements.next()) {
    if (cp1251::toUpper(cp1251::fromUtf16(element->name)) == wanted) return element->name;
  }
  return std::nullopt;
}

}  // namespace

StringList splitStoragePath(std::string_view path) {
  std::string lines(path);
  std::replace(lines.begin(), lines.end(), '\\', '\n');
  return splitLines(lines);
}

MemoryStream& ReadStream(const CompoundFile& root, std::string_view path, MemoryStream& dest,
                         uint32_t mode, bool decompress, size_t limit) {
  dest.clear();
  checkMode(root, mode);
  const StringList names = streamNames(root, path);

  Storage parent = openStorages(root, names, names.size() - 1);
  Stream stream = parent.openStream(cp1251::toUtf16(names.back()));
  // Nothing is written, so the stream is released without a commit: a commit would only
  // rewrite the file's header for no change.
  if (!decompress) {
    std::string& bytes = dest.bytes();
    try {
      bytes.reserve(plausibleSize(root, stream));
      readChunks(stream, [&bytes](std::string_view chunk) {
        bytes.append(chunk);
        return true;
      });
    } catch (...) {
      dest.clear();
      throw;
    }
    return dest;
  }
  // Chunks go straight into inflate, so the compressed bytes are never gathered in memory and
  // the shared destination block is reused; the rest of the stream after the end of its zlib
  // stream (left by a longer, earlier content) is not even read.
  try {
    Inflater inflater(dest.bytes(), plausibleSize(root, stream), 0, limit);
    bool anyBytes = false;
    readChunks(stream, [&](std::string_view chunk) {
      anyBytes = anyBytes || !chunk.empty();
      return !inflater.feed(chunk);
    });
    // A stream of no bytes at all holds empty content.
    if (anyBytes) inflater.finish();
  } catch (const EDecompressionError& e) {
    throw EDecompressionError(fileLabel(root), cp1251::toUtf8(path), e.reason());
  }
  return dest;
}

void WriteStream(const CompoundFile& root, std::string_view path, std::string_view content,
                 bool compress) {
  const StringList names = streamNames(root, path);
  // Compressed first, so that a failure leaves no newly created, empty stream behind.
  std::string compressed;
  if (compress) compressed = DeflateBuffer(content);
  const std::string_view stored = compress ? std::string_view(compressed) : content;

  Storage parent = openStorages(root, names, names.size() - 1);
  std::optional<std::u16string> existing = findIgnoringCase(parent, names.back());
  Stream stream =
      existing ? parent.openStream(*existing) : parent.createStream(cp1251::toUtf16(names.back()));

  stream.seek(0);
  for (size_t offset = 0; offset < stored.size(); offset += kWriteChunk) {
    const size_t count = std::min(kWriteChunk, stored.size() - offset);
    const auto* chunk = reinterpret_cast<const std::byte*>(stored.data() + offset);
    const size_t written = stream.write(std::span<const std::byte>(chunk, count));
    if (written != count) {
      throw EStorageError(hresult::kWriteFault, fileLabel(root),
                          "stream \"" + cp1251::toUtf8(path) + "\": wrote " +
                              std::to_string(written) + " of " + std::to_string(count) + " bytes");
    }
  }
  // Old bytes past the new end would be ignored by every reader, but they would keep content
  // the caller meant to replace (a cleared history, say) in the file.
  if (stream.size() > stored.size()) stream.setSize(stored.size());
  stream.commit();
}

void WriteStream(const CompoundFile& root, std::string_view path, MemoryStream& source,
                 bool compress) {
  source.seek(0);
  WriteStream(root, path, std::string_view(source.bytes()), compress);
}

StringList readLines(const CompoundFile& root, std::string_view path, MemoryStream& ReadBuf) {
  ReadStream(root, path, ReadBuf, kPackageMode, true);
  StringList lines = splitLines(ReadBuf.bytes());
  ReadBuf.clear();
  return lines;
}

StringList ListElements(const CompoundFile& root, std::string_view path) {
  const StringList names = splitStoragePath(path);
  Storage storage = openStorages(root, names, names.size());
  StringList result;
  ElementEnumerator elements = storage.enumElements();
  while (std::optional<ElementInfo> element = elements.next()) {
    result.push_back(cp1251::fromUtf16(element->name));
  }
  return result;
}

void CompressStream(MemoryStream& source, MemoryStream& dest) {
  source.seek(0);
  dest.write(DeflateBuffer(source.bytes()));
}

void DecompressStream(const MemoryStream& source, MemoryStream& dest, size_t limit) {
  if (&source == &dest) {
    // dest is about to change, and source is dest: the copy is what keeps the input.
    const MemoryStream copy = source;  // NOLINT(performance-unnecessary-copy-initialization)
    DecompressStream(copy, dest, limit);
    return;
  }
  const std::string_view compressed = source.remaining();
  // Straight into dest's block: ReadBuf, reused for every read, keeps its capacity.
  if (!compressed.empty()) inflateAppend(compressed, dest.bytes(), 0, limit);
  dest.seek(0);
}

std::string StreamText(const MemoryStream& source) {
  std::string text = joinLines(splitLines(source.remaining()));
  if (!text.empty()) text.resize(text.size() - 2);
  return text;
}

}  // namespace verbalon::storage
