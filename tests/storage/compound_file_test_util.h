#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "storage/compound_file.h"
#include "support/temp_folder.h"

// Helpers shared by the compound-file tests.
namespace verbalon::storage::testing {

// The compound-file tests call their temporary folder TempDir.
using TempDir = verbalon::testing::TempFolder;

std::vector<std::byte> bytes(std::string_view text);
// n bytes: byte i = (i * 7 + seed) mod 251, so that shifted or mixed-up sectors show.
std::vector<std::byte> pattern(size_t n, unsigned seed = 0);

std::vector<std::byte> readAll(Stream& stream);
std::vector<std::byte> readStream(const Storage& storage, std::u16string_view name);
// Creates (or opens) the stream, replaces its content and commits it.
void putStream(Storage storage, std::u16string_view name, std::span<const std::byte> data);

std::vector<std::byte> readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::span<const std::byte> data);

// Visits every element of the file without recursion, storages before their content. path is
// the element's name spelled by nameOf, below its storages' names each followed by "/"; parent
// is the storage that holds the element.
void walkTree(const CompoundFile& file,
              const std::function<std::string(std::u16string_view)>& nameOf,
              const std::function<void(const std::string& path, const ElementInfo& info,
                                       const Storage& parent)>& visit);

// A whole tree, flattened: "dir/", "dir/stream=<size>", in enumeration order, with content.
struct TreeItem {
  std::string path;  // UTF-8, "/" between names; storages end with "/"
  std::vector<std::byte> data;
  bool operator==(const TreeItem&) const = default;
};
std::vector<TreeItem> readTree(const CompoundFile& file);

// Runs a command; returns its exit status, with stdout and stderr captured.
struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};
CommandResult run(const std::string& command);

std::string utf8(std::u16string_view text);

}  // namespace verbalon::storage::testing
