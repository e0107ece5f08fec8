#include "lookup/word_counts.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>
#include <utility>

#include <unistd.h>

#include "common/string_list.h"
#include "lookup/index_lists.h"
#include "storage/compound_file.h"

namespace verbalon::lookup {

namespace fs = std::filesystem;

namespace {

// Reads one decimal number from the front of text and drops it and one following separator;
// false when text does not begin with a number.
template <typename Number>
bool takeNumber(std::string_view& text, Number& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data()) return false;
  text.remove_prefix(static_cast<size_t>(end - text.data()));
  if (!text.empty()) text.remove_prefix(1);
  return true;
}

}  // namespace

WordCounts::WordCounts(fs::path file) : m_file(std::move(file)) {
  if (m_file.empty()) return;
  std::ifstream in(m_file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  for (const std::string& line : splitLines(bytes.str())) {
    std::string_view rest = line;
    Remembered r;
    bool ok = takeNumber(rest, r.count);
    for (uint64_t& value : r.stamp) {
      ok = ok && takeNumber(rest, value);
    }
    if (ok && !rest.empty()) m_counts[std::string(rest)] = r;
  }
}

size_t WordCounts::countOf(const storage::CompoundFile& package,
                           const std::function<size_t()>& count) {
  const CacheStamp stamp = stampOf(package, "~items.dat", "~index.dat");
  const std::string key = package.path().string();
  if (const auto found = m_counts.find(key);
      found != m_counts.end() && found->second.stamp == stamp) {
    return found->second.count;
  }
  const size_t counted = count();
  m_counts[key] = {stamp, counted};
  m_changed = true;
  return counted;
}

void WordCounts::save() const {
  if (!m_changed || m_file.empty()) return;
  std::string text;
  for (const auto& [path, r] : m_counts) {
    text += std::to_string(r.count);
    char separator = '\t';
    for (const uint64_t value : r.stamp) {
      text += separator;
      text += std::to_string(value);
      separator = ' ';
    }
    text += '\t' + path + '\n';
  }
  std::error_code ec;
  fs::create_directories(m_file.parent_path(), ec);
  fs::path temporary = m_file;
  temporary += ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
      fs::remove(temporary, ec);
      return;
    }
  }
  fs::rename(temporary, m_file, ec);
  if (ec) fs::remove(temporary, ec);
}

fs::path wordCountFileFor(const fs::path& cacheFile) {
  if (cacheFile.empty()) return {};
  fs::path file = cacheFile;
  file.replace_extension(".counts");
  return file;
}

}  // namespace verbalon::lookup
