#include "import/tab_reader.h"

#include "import/import_error.h"

namespace verbalon::import {

DictionarySource readTabText(const std::filesystem::path& file) {
  throw EImportError(file.string() + ": not yet");
}

DictionarySource parseTabText(std::string_view, std::string_view sourceName) {
  throw EImportError(std::string(sourceName) + ": not yet");
}

}  // namespace verbalon::import
