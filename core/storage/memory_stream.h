#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace verbalon::storage {

// A block of bytes in memory with a read/write position: what package reads fill and package
// writes take. The program keeps one, ReadBuf, for every read; its content is valid until the
// next read into it, so callers copy what they keep.
class MemoryStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::string bytes) : m_bytes(std::move(bytes)) {}

  const std::string& bytes() const { return m_bytes; }
  // The content itself, for filling in place: what is appended here keeps the block's spare
  // capacity in use instead of allocating a new one. The position is not adjusted.
  std::string& bytes() { return m_bytes; }
  size_t size() const { return m_bytes.size(); }
  size_t position() const { return m_position; }
  // The position may lie beyond the end; a write there first fills the gap with zero bytes.
  void seek(size_t position) { m_position = position; }
  // The bytes from the position to the end (none when the position is at or beyond the end).
  std::string_view remaining() const;

  // Empty, position 0.
  void clear();
  // Replaces the content; position 0.
  void assign(std::string bytes);
  // Hands the content over and leaves the stream empty.
  std::string take();

  // Copies up to out.size() bytes from the position, advances it and returns the count.
  size_t read(std::span<char> out);
  // Writes at the position, overwriting and growing as needed, and advances the position.
  void write(std::string_view data);

 private:
  std::string m_bytes;
  size_t m_position = 0;
};

}  // namespace verbalon::storage
