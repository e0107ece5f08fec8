#include "import/dsl_reader.h"

#include "import/import_error.h"

namespace verbalon::import {

DictionarySource readDsl(const std::filesystem::path& dslFile) {
  throw EImportError(dslFile.string() + ": DSL sources cannot be read yet");
}

DictionarySource parseDsl(std::string_view, std::string_view, std::string_view sourceName) {
  throw EImportError(std::string(sourceName) + ": DSL sources cannot be read yet");
}

}  // namespace verbalon::import
