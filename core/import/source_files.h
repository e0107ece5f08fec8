#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reading the files of a source. Only regular files are read (a FIFO or a device named by a
// hostile source would block or never end), and no file, compressed or not, may bring more
// than kMaxSourceBytes into memory.
namespace verbalon::import {

inline constexpr size_t kMaxSourceBytes = size_t{1} << 30;

// How a file name reads in messages: its last component, as UTF-8.
std::string displayName(const std::filesystem::path& file);

// The whole content of file. Raises EImportError naming it.
std::string readSourceFile(const std::filesystem::path& file);

// The content of file, inflated when its name ends in ".gz" or ".dz" (gzip; dictzip is gzip
// with a random-access table in its header, which a whole read does not need).
std::string readMaybeCompressed(const std::filesystem::path& file);

// Inflates gzip data: one member or several in a row, as gzip itself reads them. name names
// the data in messages. Raises EImportError for damaged or truncated data and for output
// beyond limit bytes.
std::string inflateGzip(std::string_view bytes, std::string_view name,
                        size_t limit = kMaxSourceBytes);

// The first of base + suffix, for each suffix in order, that exists as a file; none when
// there is none. ("mueller7" with {".dict", ".dict.dz"}.)
std::optional<std::filesystem::path> findCompanion(const std::filesystem::path& base,
                                                   const std::vector<std::string_view>& suffixes);

}  // namespace verbalon::import
