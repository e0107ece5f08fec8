#include "storage/memory_stream.h"

#include <algorithm>
#include <utility>

namespace verbalon::storage {

std::string_view MemoryStream::remaining() const {
  if (m_position >= m_bytes.size()) return {};
  return std::string_view(m_bytes).substr(m_position);
}

void MemoryStream::clear() {
  m_bytes.clear();
  m_position = 0;
}

void MemoryStream::assign(std::string bytes) {
  m_bytes = std::move(bytes);
  m_position = 0;
}

std::string MemoryStream::take() {
  std::string bytes = std::move(m_bytes);
  clear();
  return bytes;
}

size_t MemoryStream::read(std::span<char> out) {
  std::string_view rest = remaining();
  const size_t count = std::min(out.size(), rest.size());
  std::copy_n(rest.data(), count, out.data());
  m_position += count;
  return count;
}

void MemoryStream::write(std::string_view data) {
  if (m_position == m_bytes.size()) {
    m_bytes.append(data);
  } else {
    const size_t end = m_position + data.size();
    if (end > m_bytes.size()) m_bytes.resize(end, '\0');
    std::copy(data.begin(), data.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_position));
  }
  m_position += data.size();
}

}  // namespace verbalon::storage
