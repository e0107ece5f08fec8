#pragma once

#include <filesystem>
#include <string_view>

#include "import/dictionary_source.h"

// StarDict dictionaries: NAME.ifo with NAME.idx (or .idx.gz), NAME.dict (or .dict.dz) and an
// optional NAME.syn beside it.
namespace verbalon::import {

// Reads the dictionary whose description file is ifoFile. Raises EImportError.
DictionarySource readStarDict(const std::filesystem::path& ifoFile);

// The files' bytes, the compressed ones already decompressed; syn is empty when the dictionary
// has no synonym file. sourceName names the source in messages.
DictionarySource parseStarDict(std::string_view ifo, std::string_view idx,
                               std::string_view articles, std::string_view syn,
                               std::string_view sourceName);

}  // namespace verbalon::import
