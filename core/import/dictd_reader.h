#pragma once

#include <filesystem>
#include <string_view>

#include "import/dictionary_source.h"

// dictd databases: NAME.index with NAME.dict or NAME.dict.dz beside it.
//
// What a database gives:
// - One entry per distinct article; every index line that selects the same bytes adds a
//   headword to it, in the order the index lists them (a name listed twice counts once).
// - The title from the 00-database-short record, the description from 00-database-info (or
//   their older spellings 00databaseshort, 00databaseinfo), without the line that repeats the
//   record's name. No record ("00-..." or "00database...") becomes a headword.
// - Texts in UTF-8 when the database has a 00-database-utf8 record, otherwise in ISO-8859-1.
// - Articles as plain text (their heading line kept), trailing blank lines dropped.
// - A headword spelled as the article's first line when the two agree but for letter case,
//   blanks and punctuation, which some indexes leave out.
namespace verbalon::import {

// Reads the database whose index file is indexFile (NAME is its path without ".index").
// Raises EImportError, naming the index line for a line that is broken or selects bytes past
// the end of the article file, and naming what was looked for when there is no article file.
DictionarySource readDictd(const std::filesystem::path& indexFile);

// The same for the two files' bytes (the article file already decompressed); sourceName names
// the source in messages.
DictionarySource parseDictd(std::string_view index, std::string_view articles,
                            std::string_view sourceName);

}  // namespace verbalon::import
