#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What every reader of a foreign dictionary format produces, and what the package writer
// (importer.h) takes: the headwords and articles of a whole source, in Unicode.
//
// Texts here are UTF-8. The writer alone turns them into the Windows-1251 of a package, so no
// reader has to know what that code page can hold.
namespace verbalon::import {

// One article of the source with the headwords that lead to it. Several headwords share an
// article when the format says so (a DSL card with two headword lines, a StarDict synonym, a
// dictd article listed under several names).
struct SourceEntry {
  // At least one; in the source's own spelling, without markup.
  std::vector<std::string> headwords;
  // An HTML fragment, everything the format's plain text needs escaped already. "\n" is a line
  // break, which the writer turns into the package's row delimiter; a reader of a format whose
  // articles are HTML replaces the source's own line breaks by blanks first.
  std::string article;
};

struct DictionarySource {
  std::string title;        // empty when the source names none
  std::string description;  // plain text about the dictionary, "\n" between lines
  std::vector<SourceEntry> entries;
  // Parts of articles the package cannot hold (sounds, pictures, resources), left out.
  size_t mediaLeftOut = 0;
};

enum class SourceFormat { kDictd, kStarDict, kDsl, kTab };

// "dictd", "stardict", "dsl", "tab": the names the tool's --format takes.
std::string_view formatName(SourceFormat format);
std::optional<SourceFormat> formatFromName(std::string_view name);

// The format a file name suggests: ".index" dictd, ".ifo" StarDict, ".dsl" or ".dsl.dz" DSL,
// ".txt" or ".tsv" tab-separated text (letter case ignored); none for anything else.
std::optional<SourceFormat> guessFormat(const std::filesystem::path& source);

// The file name a source's package gets by default: its base name without the format's
// extensions, with ".brd" ("mueller7.index" -> "mueller7.brd", "en-ru.dsl.dz" -> "en-ru.brd").
std::filesystem::path defaultPackageName(const std::filesystem::path& source);

// Reads a source of the given format; the path is the file guessFormat looks at (the ".index"
// of a dictd database, the ".ifo" of a StarDict dictionary). Raises EImportError.
DictionarySource readSource(const std::filesystem::path& source, SourceFormat format);

}  // namespace verbalon::import
