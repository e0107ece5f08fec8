#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "lookup/lookup_cache.h"

namespace verbalon::storage {
class CompoundFile;
}  // namespace verbalon::storage

namespace verbalon::lookup {

// The word counts of dictionary packages that the tool's `list` prints, remembered in a small
// cache file, since counting means inflating a package's whole item list. A count is used only
// while its package's stamp (stampOf over "~items.dat" and "~index.dat") is unchanged.
//
// The file is text, one line per package: the count, a tab, the nine stamp values separated by
// blanks, a tab and the package's path. A line that does not read so is ignored.
class WordCounts {
 public:
  // The counts remembered in file (none when it is missing or empty); an empty file name keeps
  // nothing between runs.
  explicit WordCounts(std::filesystem::path file);

  // The word count of package: the remembered one while its stamp matches, else count()'s
  // result, which is then remembered. count's errors pass on.
  size_t countOf(const storage::CompoundFile& package, const std::function<size_t()>& count);

  // Writes the file when a count changed, through a temporary file renamed over it. A file that
  // cannot be written is left as it was: the counts are only made again next time.
  void save() const;

 private:
  struct Remembered {
    CacheStamp stamp{};
    size_t count = 0;
  };

  std::filesystem::path m_file;
  std::map<std::string, Remembered> m_counts;  // by package path
  bool m_changed = false;
};

// The word-count file beside the look-up cache file cacheFile (cacheFileFor); empty for empty.
std::filesystem::path wordCountFileFor(const std::filesystem::path& cacheFile);

}  // namespace verbalon::lookup
