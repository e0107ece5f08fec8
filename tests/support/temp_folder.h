#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

// One folder of a test's own under the system's temporary folder, removed with everything in it
// at destruction. The standard library only: the core's tests build without Qt.
namespace verbalon::testing {

class TempFolder {
 public:
  // Throws std::runtime_error when no folder can be made.
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "verbalon-test-XXXXXX").string();
    // mkdtemp picks a name no other test, process or run holds.
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("mkdtemp failed: " + pattern);
    m_path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

}  // namespace verbalon::testing
