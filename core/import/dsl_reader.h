#pragma once

#include <filesystem>
#include <string_view>

#include "import/dictionary_source.h"

// DSL sources (the text format of Lingvo dictionaries): NAME.dsl or NAME.dsl.dz, with an
// optional abbreviation file NAME_abrv.dsl beside it.
namespace verbalon::import {

// Reads the source at dslFile, with the expansions of its abbreviations from NAME_abrv.dsl (or
// .dsl.dz) and its description from NAME.ann when they lie beside it. Raises EImportError for a
// file that cannot be read, that is no DSL text (NUL characters, gzip data under a plain name)
// or that holds no card with both a headword and a body; markup is read leniently.
DictionarySource readDsl(const std::filesystem::path& dslFile);

// The same for the bytes of the source (decompressed) and of its abbreviation file (empty when
// there is none); sourceName names the source in messages.
DictionarySource parseDsl(std::string_view bytes, std::string_view abbreviations,
                          std::string_view sourceName);

}  // namespace verbalon::import
