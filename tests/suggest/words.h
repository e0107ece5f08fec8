#pragma once

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include <unistd.h>

#include "common/cp1251.h"
#include "common/string_list.h"

namespace verbalon::suggest::testing {

// Windows-1251 from a UTF-8 literal, and back.
inline std::string w(const std::string& utf8) {
  return cp1251::fromUtf8(utf8);
}

inline std::string u(std::string_view text) {
  return cp1251::toUtf8(text);
}

inline StringList ws(std::initializer_list<const char*> utf8) {
  StringList out;
  for (const char* s : utf8)
    out.push_back(w(s));
  return out;
}

// A folder of small Hunspell dictionaries written by a test (UTF-8 text), removed afterwards.
class HunspellFolder {
 public:
  explicit HunspellFolder(const std::string& tag)
      : m_path(std::filesystem::temp_directory_path() /
               ("verbalon-hunspell-" + tag + "-" + std::to_string(getpid()))) {
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
  }
  ~HunspellFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  HunspellFolder(const HunspellFolder&) = delete;
  HunspellFolder& operator=(const HunspellFolder&) = delete;

  void write(const std::string& name, const std::string& aff, const std::string& dic) const {
    std::ofstream(m_path / (name + ".aff"), std::ios::binary) << aff;
    std::ofstream(m_path / (name + ".dic"), std::ios::binary) << dic;
  }
  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

// Plural instrumental endings, enough for «домами» and «книгами».
inline void writeSmallRussian(const HunspellFolder& folder, const std::string& name) {
  folder.write(name, "SET UTF-8\nSFX A Y 2\nSFX A 0 ами .\nSFX A а ами а\n", "2\nдом/A\nкнига/A\n");
}

}  // namespace verbalon::suggest::testing
