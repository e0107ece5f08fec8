#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "import/dictionary_source.h"
#include "index/install_progress.h"

// Turns a source read by one of the readers into a dictionary package that installs like any
// other.
//
// What the writer does for every format:
// - Entries whose headwords share a key (NormalizeWord and the index's comparison) become one
//   article, their texts joined in source order under a rule, so that one dictionary gives one
//   fragment on a page. The headword keeps the spelling it first had.
// - Articles become Windows-1251: a character the code page cannot hold becomes an HTML numeric
//   character reference, so IPA and accents still render. "\n" becomes the row delimiter.
// - A headword the code page cannot hold is folded to the nearest letters it can (é -> e,
//   ß -> ss, by ICU's transliteration) and its own spelling is put at the head of its article;
//   with skipUnencodable such entries are left out instead. A headword that folds to nothing,
//   or to an empty key, is always left out.
// - "~dict.ini" gets Title, ShortTitle, viewcontrol=MEMO and the delimiters; "~info.dat" the
//   source's description and the counts below.
namespace verbalon::import {

struct ImportOptions {
  std::string title;       // UTF-8; replaces the source's own when not empty
  std::string shortTitle;  // UTF-8; defaults to the title
  bool skipUnencodable = false;
};

struct ImportReport {
  size_t entries = 0;       // articles the source holds
  size_t headwords = 0;     // lines of "~items.dat": headwords that lead to an article
  size_t merged = 0;        // headwords whose articles were joined with others of the same key
  size_t folded = 0;        // headwords stored folded to Windows-1251
  size_t skipped = 0;       // headwords left out
  size_t mediaLeftOut = 0;  // media parts of articles left out
  size_t itemStreams = 0;
};

// The row delimiter of imported packages: a character escaped wherever an article holds it, so
// it stands only for line breaks.
inline constexpr std::string_view kImportRowDelimiter = "\xA6";  // ¦

// Writes source as a new package. Progress goes through the same interface the merge uses.
// Raises EImportError (an empty source, say) or the storage error; no package is left behind
// then.
ImportReport writeDictionaryPackage(const DictionarySource& source,
                                    const std::filesystem::path& package,
                                    const ImportOptions& options, index::InstallProgress& progress);

// Reads the source (its format guessed from the name when not given) and writes the package.
ImportReport importDictionary(const std::filesystem::path& source,
                              std::optional<SourceFormat> format,
                              const std::filesystem::path& package, const ImportOptions& options,
                              index::InstallProgress& progress);

}  // namespace verbalon::import
