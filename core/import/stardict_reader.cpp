#include "import/stardict_reader.h"

#include "import/import_error.h"

namespace verbalon::import {

DictionarySource readStarDict(const std::filesystem::path& ifoFile) {
  throw EImportError(ifoFile.string() + ": StarDict dictionaries cannot be read yet");
}

DictionarySource parseStarDict(std::string_view, std::string_view, std::string_view,
                               std::string_view, std::string_view sourceName) {
  throw EImportError(std::string(sourceName) + ": StarDict dictionaries cannot be read yet");
}

}  // namespace verbalon::import
