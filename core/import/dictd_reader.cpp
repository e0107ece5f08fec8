#include "import/dictd_reader.h"

#include "import/import_error.h"

namespace verbalon::import {

DictionarySource readDictd(const std::filesystem::path& indexFile) {
  throw EImportError(indexFile.string() + ": dictd databases cannot be read yet");
}

DictionarySource parseDictd(std::string_view, std::string_view, std::string_view sourceName) {
  throw EImportError(std::string(sourceName) + ": dictd databases cannot be read yet");
}

}  // namespace verbalon::import
