#pragma once

#include <filesystem>
#include <string_view>

#include "import/dictionary_source.h"

// dictd databases: NAME.index with NAME.dict or NAME.dict.dz beside it.
namespace verbalon::import {

// Reads the database whose index file is indexFile. Raises EImportError.
DictionarySource readDictd(const std::filesystem::path& indexFile);

// The same for the two files' bytes (the article file already decompressed); sourceName names
// the source in messages.
DictionarySource parseDictd(std::string_view index, std::string_view articles,
                            std::string_view sourceName);

}  // namespace verbalon::import
