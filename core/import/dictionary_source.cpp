#include "import/dictionary_source.h"

#include <array>
#include <utility>

#include "common/cp1251.h"
#include "import/dictd_reader.h"
#include "import/dsl_reader.h"
#include "import/stardict_reader.h"
#include "import/tab_reader.h"

namespace verbalon::import {
namespace {

namespace fs = std::filesystem;

struct Extension {
  std::string_view suffix;  // lower case
  SourceFormat format;
};

// Longer suffixes first, so ".dsl.dz" is taken whole.
constexpr std::array kExtensions{
    Extension{".dsl.dz", SourceFormat::kDsl},   Extension{".index", SourceFormat::kDictd},
    Extension{".ifo", SourceFormat::kStarDict}, Extension{".dsl", SourceFormat::kDsl},
    Extension{".txt", SourceFormat::kTab},      Extension{".tsv", SourceFormat::kTab},
};

constexpr std::array<std::pair<std::string_view, SourceFormat>, 4> kNames{{
    {"dictd", SourceFormat::kDictd},
    {"stardict", SourceFormat::kStarDict},
    {"dsl", SourceFormat::kDsl},
    {"tab", SourceFormat::kTab},
}};

const Extension* extensionOf(const fs::path& source) {
  const std::string name = cp1251::toLowerAscii(source.filename().string());
  for (const Extension& extension : kExtensions) {
    if (name.size() > extension.suffix.size() && name.ends_with(extension.suffix)) {
      return &extension;
    }
  }
  return nullptr;
}

}  // namespace

std::string_view formatName(SourceFormat format) {
  for (const auto& [name, value] : kNames) {
    if (value == format) return name;
  }
  return {};
}

std::optional<SourceFormat> formatFromName(std::string_view name) {
  for (const auto& [known, value] : kNames) {
    if (known == name) return value;
  }
  return std::nullopt;
}

std::optional<SourceFormat> guessFormat(const fs::path& source) {
  if (const Extension* extension = extensionOf(source)) return extension->format;
  return std::nullopt;
}

fs::path defaultPackageName(const fs::path& source) {
  std::string name = source.filename().string();
  if (const Extension* extension = extensionOf(source)) {
    name.resize(name.size() - extension->suffix.size());
  } else if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
    name.resize(dot);
  }
  return fs::path(name + ".brd");
}

DictionarySource readSource(const fs::path& source, SourceFormat format) {
  switch (format) {
    case SourceFormat::kDictd:
      return readDictd(source);
    case SourceFormat::kStarDict:
      return readStarDict(source);
    case SourceFormat::kDsl:
      return readDsl(source);
    case SourceFormat::kTab:
      return readTabText(source);
  }
  return {};
}

}  // namespace verbalon::import
