#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

// Builds a new dictionary package file: "~dict.ini", "~info.dat", the item streams holding the
// articles, and "~items.dat" with "~index.dat" listing the headwords and their locations.
//
// Articles go, in the order they are added, into the item streams "a\1", "a\2", ... of at most
// kMaxStreamArticles articles and kMaxStreamBytes bytes each, so that showing one article never
// inflates much text. Full item streams are compressed on every core in the background (they
// are independent zlib streams) while more articles come, and written as they are done, so the
// writer holds a few streams of text at a time, never the whole text.
//
// Everything goes into the file in one transaction at commit(): a writer destroyed before that,
// after an error say, removes the file it created, so no half-written package is left behind.
namespace verbalon::import {

inline constexpr size_t kMaxStreamArticles = 500;
inline constexpr size_t kMaxStreamBytes = size_t{64} * 1024;

class PackageWriter {
 public:
  // Creates the package file. Raises EImportError when something is in the way, the storage
  // error when the file cannot be created.
  explicit PackageWriter(const std::filesystem::path& package);
  PackageWriter(const PackageWriter&) = delete;
  PackageWriter& operator=(const PackageWriter&) = delete;
  ~PackageWriter();

  // Adds one article (Windows-1251, no CR or LF) and returns its location: the stream path,
  // ":" and the line number in that stream.
  std::string addArticle(std::string_view article);
  // Adds one line to "~items.dat" and the matching line to "~index.dat". Requires: headword
  // and location hold no CR or LF.
  void addItem(std::string_view headword, std::string_view location);

  // Writes what is left and the description streams (Windows-1251 text, lines separated by
  // CR LF; the last line gets one too), and commits the file.
  void commit(std::string_view ini, std::string_view info);

  size_t itemStreamCount() const;
  size_t itemCount() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace verbalon::import
