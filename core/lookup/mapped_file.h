#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>

namespace verbalon::lookup {

// A whole file mapped read-only into memory, unmapped when the object goes. Only for files that
// are replaced by renaming, never shortened in place: a file shortened under a mapping would
// fault on the bytes it lost.
class MappedFile {
 public:
  // The file at path, or nothing when it does not exist or cannot be read or mapped.
  static std::optional<MappedFile> open(const std::filesystem::path& path);

  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  std::span<const std::byte> bytes() const { return {m_data, m_size}; }

 private:
  MappedFile(const std::byte* data, size_t size) : m_data(data), m_size(size) {}

  const std::byte* m_data = nullptr;
  size_t m_size = 0;
};

}  // namespace verbalon::lookup
