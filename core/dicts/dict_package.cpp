#include "dicts/dict_package.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

#include "common/cp1251.h"
#include "common/string_list.h"
#include "dicts/article_location.h"
#include "storage/storage.h"

namespace verbalon::dicts {

EDictError::EDictError(Fault fault, std::string file, const std::string& detail)
    : Error(file + ": " + detail), m_fault(fault), m_file(std::move(file)) {}

namespace {

// Only the first 5 characters of a delimiter count.
constexpr size_t kDelimiterLength = 5;

// A real dictionary spends several compressed bytes on each item: its headword and its article
// location are different texts for every item. zlib packs up to about 1000 bytes of repetitive
// text into one, so a package of a few hundred kilobytes can claim tens of millions of items;
// merging those takes minutes and gigabytes before anything could fail. No sensible package comes
// near this many items per stored byte of "~items.dat" and "~index.dat" together.
constexpr size_t kItemsPerStoredByte = 16;

// The stream's lines, keeping the decompressed text itself; ReadBuf is left empty. storedBytes
// receives the stream's size in the package.
TextLines readTextLines(const storage::CompoundFile& package, std::string_view stream,
                        storage::MemoryStream& ReadBuf, size_t& storedBytes) {
  storage::ReadStream(package, stream, ReadBuf, storage::kPackageMode, false);
  storedBytes = ReadBuf.size();
  storage::MemoryStream text;
  storage::DecompressStream(ReadBuf, text);
  ReadBuf.clear();
  return TextLines(text.take());
}

// An article location becomes part of an index entry as it stands, after "n:", so a package
// whose locations break the entry format could reach into other dictionaries' articles; such a
// package is refused here, before merging.
void checkLocations(const TDict& dict) {
  ArticleLocation read;
  for (size_t k = 0; k < dict.IndexList.size(); ++k) {
    const std::string_view location = dict.IndexList[k];
    if (const char* fault = readArticleLocation(location, read)) {
      throw EDictError(EDictError::Fault::kDamaged, cp1251::toUtf8(dict.FileName),
                       "line " + std::to_string(k) + " of \"~index.dat\", '" +
                           cp1251::toUtf8(location) + "', is no article location: it " + fault);
    }
  }
}

char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string fileNamePart(const std::filesystem::path& path) {
  return cp1251::fromUtf8(path.filename().string());
}

namespace {

// The files of path's folder whose names equal path's file name ignoring ASCII case.
std::vector<std::filesystem::path> caseTwins(const std::filesystem::path& path) {
  std::vector<std::filesystem::path> matches;
  const std::string wanted = path.filename().string();
  if (wanted.empty()) return matches;
  const std::filesystem::path folder =
      path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (equalsIgnoringAsciiCase(it->path().filename().string(), wanted)) {
      matches.push_back(it->path());
    }
  }
  std::sort(matches.begin(), matches.end());
  return matches;
}

std::string namesOf(const std::vector<std::filesystem::path>& files) {
  std::string names;
  for (const std::filesystem::path& file : files) {
    names += names.empty() ? "" : ", ";
    names += file.filename().string();
  }
  return names;
}

}  // namespace

// Several candidates are an error even when one of them is spelled exactly as the stored name:
// the slot may have been installed from any of them, and its index entries would then show
// another package's articles.
std::filesystem::path resolvePackagePath(const std::filesystem::path& path) {
  const std::vector<std::filesystem::path> matches = caseTwins(path);
  if (matches.size() == 1) return matches.front();
  if (matches.size() > 1) {
    throw EDictError(EDictError::Fault::kAmbiguousName, path.filename().string(),
                     "several files match this name: " + namesOf(matches) +
                         "; which of them was installed cannot be told");
  }
  return path;
}

void OpenDictPackage(TDict& dict, const std::filesystem::path& path, storage::MemoryStream& ReadBuf,
                     storage::Access access) {
  dict.IniList.clear();
  dict.ItemList = {};
  dict.IndexList = {};
  dict.Storage.reset();
  dict.FileName = fileNamePart(path);
  if (dict.FileName.empty()) return;
  dict.Storage.emplace(storage::CompoundFile::open(resolvePackagePath(path), access));
  try {
    dict.IniList = storage::readLines(*dict.Storage, "~dict.ini", ReadBuf);
  } catch (...) {
    dict.Storage.reset();
    throw;
  }
}

void AddDict(TDicts& Dicts, const std::filesystem::path& path, storage::MemoryStream& ReadBuf,
             ItemLists lists, storage::Access access) {
  TDict dict;
  try {
    OpenDictPackage(dict, path, ReadBuf, access);
    if (!dict.FileName.empty()) {
      const storage::CompoundFile& package = *dict.Storage;
      dict.Info = storage::StreamText(
          storage::ReadStream(package, "~info.dat", ReadBuf, storage::kPackageMode, true));
      dict.ItemDelimiter = settingValue(dict.IniList, "ItemDelimiter").substr(0, kDelimiterLength);
      dict.RowDelimiter = settingValue(dict.IniList, "RowDelimiter").substr(0, kDelimiterLength);
      dict.FormDelimiter = settingValue(dict.IniList, "FormDelimiter").substr(0, kDelimiterLength);
      dict.ShortTitle = settingValue(dict.IniList, "ShortTitle");
      dict.Title = settingValue(dict.IniList, "Title");
      dict.ViewControl = settingValue(dict.IniList, "viewcontrol");
    }
    if (!dict.FileName.empty() && lists == ItemLists::kLoad) {
      const storage::CompoundFile& package = *dict.Storage;
      size_t storedItems = 0;
      size_t storedLocations = 0;
      dict.ItemList = readTextLines(package, "~items.dat", ReadBuf, storedItems);
      dict.IndexList = readTextLines(package, "~index.dat", ReadBuf, storedLocations);
      // Line k of one belongs to line k of the other; a package where they disagree would put
      // articles under the wrong words, or under none.
      if (dict.ItemList.size() != dict.IndexList.size()) {
        throw EDictError(EDictError::Fault::kDamaged, cp1251::toUtf8(dict.FileName),
                         "\"~items.dat\" has " + std::to_string(dict.ItemList.size()) +
                             " lines but \"~index.dat\" has " +
                             std::to_string(dict.IndexList.size()));
      }
      const size_t stored = storedItems + storedLocations;
      if (dict.ItemList.size() > stored * kItemsPerStoredByte) {
        throw EDictError(EDictError::Fault::kDamaged, cp1251::toUtf8(dict.FileName),
                         std::to_string(dict.ItemList.size()) + " items in " +
                             std::to_string(stored) +
                             " stored bytes of \"~items.dat\" and \"~index.dat\" are more than a " +
                             "dictionary can hold; the package is refused");
      }
      checkLocations(dict);
    }
    Dicts.push_back(std::move(dict));
  } catch (...) {
    ReadBuf.clear();
    throw;
  }
  ReadBuf.clear();
}

void addDictToInstall(TDicts& Dicts, const std::filesystem::path& path,
                      storage::MemoryStream& ReadBuf, storage::Access access) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw EDictError(EDictError::Fault::kMissing, path.filename().string(),
                     "no such package in " + path.parent_path().string());
  }
  const std::vector<std::filesystem::path> matches = caseTwins(path);
  if (matches.size() > 1) {
    throw EDictError(EDictError::Fault::kAmbiguousName, path.filename().string(),
                     "cannot be installed while another file of its folder has the same name "
                     "in lower case: " +
                         namesOf(matches));
  }
  const std::optional<std::string> name = installedName(path.filename().string());
  if (!name) {
    throw EDictError(EDictError::Fault::kUnstorableName, path.filename().string(),
                     "the name has characters that Windows-1251 "
                     "cannot hold, so it cannot be kept in the list of installed dictionaries");
  }
  AddDict(Dicts, path, ReadBuf, ItemLists::kLoad, access);
  Dicts.back().FileName = *name;
}

PackageLocation locatePackage(const std::filesystem::path& dataDir,
                              const std::vector<std::filesystem::path>& sharedDataDirs,
                              const std::string& fileName) {
  const auto present = [&](const std::filesystem::path& folder) {
    std::error_code ec;
    return std::filesystem::exists(folder / fileName, ec) || !caseTwins(folder / fileName).empty();
  };
  if (present(dataDir)) return {dataDir / fileName, storage::Access::ReadWriteExclusive};
  for (const std::filesystem::path& shared : sharedDataDirs) {
    if (present(shared)) return {shared / fileName, storage::Access::ReadOnly};
  }
  return {dataDir / fileName, storage::Access::ReadWriteExclusive};
}

storage::Access accessFor(const std::filesystem::path& package,
                          const std::vector<std::filesystem::path>& sharedDataDirs) {
  for (const std::filesystem::path& shared : sharedDataDirs) {
    std::error_code ec;
    if (std::filesystem::equivalent(package.parent_path(), shared, ec)) {
      return storage::Access::ReadOnly;
    }
  }
  return storage::Access::ReadWriteExclusive;
}

std::optional<std::string> installedName(std::string_view fileName) {
  const std::string name = cp1251::fromUtf8(fileName);
  if (cp1251::toUtf8(name) != fileName) return std::nullopt;
  return cp1251::toLowerAscii(name);
}

int FindDict(const TDicts& Dicts, const std::filesystem::path& path) {
  const std::string name = fileNamePart(path);
  for (size_t i = 0; i < Dicts.size(); ++i) {
    if (Dicts[i].FileName == name) return static_cast<int>(i);
  }
  return -1;
}

std::string GetDictValue(const TDicts& Dicts, const std::filesystem::path& path,
                         std::string_view key, storage::MemoryStream& ReadBuf,
                         storage::Access access) {
  const int n = FindDict(Dicts, path);
  if (n >= 0) return settingValue(Dicts[static_cast<size_t>(n)].IniList, key);
  TDict temporary;
  OpenDictPackage(temporary, path, ReadBuf, access);
  std::string value = settingValue(temporary.IniList, key);
  FreeDict(temporary);
  return value;
}

}  // namespace verbalon::dicts
