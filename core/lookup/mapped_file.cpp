#include "lookup/mapped_file.h"

#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace verbalon::lookup {

std::optional<MappedFile> MappedFile::open(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<MappedFile> mapped;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    const auto size = static_cast<size_t>(info.st_size);
    if (size == 0) {
      mapped = MappedFile(nullptr, 0);
    } else if (void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
               data != MAP_FAILED) {
      mapped = MappedFile(static_cast<const std::byte*>(data), size);
    }
  }
  // The mapping stays valid without the descriptor.
  ::close(fd);
  return mapped;
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  MappedFile taken(std::move(other));
  std::swap(m_data, taken.m_data);
  std::swap(m_size, taken.m_size);
  return *this;
}

MappedFile::~MappedFile() {
  if (m_data != nullptr) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): munmap takes a plain pointer.
    ::munmap(const_cast<std::byte*>(m_data), m_size);
  }
}

}  // namespace verbalon::lookup
