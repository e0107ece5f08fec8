#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "common/cp1251.h"
#include "common/string_list.h"
#include "storage/compound_file.h"
#include "storage/storage.h"

// Dictionary packages and resource packages made by the tests. The user links storage.
namespace verbalon::testing {

// Streams by name (Windows-1251 names and content), each written compressed.
using Streams = std::map<std::string, std::string>;

inline void writePackage(const std::filesystem::path& path, const Streams& streams) {
  storage::CompoundFile file = storage::CompoundFile::create(path);
  for (const auto& [name, content] : streams) {
    storage::WriteStream(file, name, content, true);
  }
}

// A dictionary package with the four required streams; texts are UTF-8 here.
inline Streams dictStreams(const std::string& iniUtf8, const StringList& itemsUtf8,
                           const StringList& locations, const std::string& infoUtf8 = "Info") {
  StringList items;
  for (const std::string& s : itemsUtf8)
    items.push_back(cp1251::fromUtf8(s));
  return {{"~dict.ini", cp1251::fromUtf8(iniUtf8)},
          {"~info.dat", cp1251::fromUtf8(infoUtf8)},
          {"~items.dat", joinLines(items)},
          {"~index.dat", joinLines(locations)}};
}

}  // namespace verbalon::testing
