#include "import/tab_reader.h"

#include "common/cp1251.h"
#include "import/import_error.h"
#include "import/source_files.h"
#include "import/source_text.h"

namespace verbalon::import {
namespace {

constexpr std::string_view kTitleLine = "#title=";

// The article as written, "\n" (backslash, n) meaning a line break and "\\" a backslash.
std::string articleText(std::string_view written) {
  std::string text;
  text.reserve(written.size());
  for (size_t i = 0; i < written.size(); ++i) {
    if (written[i] == '\\' && i + 1 < written.size()) {
      if (written[i + 1] == 'n') {
        text += '\n';
        ++i;
        continue;
      }
      if (written[i + 1] == '\\') {
        text += '\\';
        ++i;
        continue;
      }
    }
    text += written[i];
  }
  return text;
}

}  // namespace

DictionarySource readTabText(const std::filesystem::path& file) {
  return parseTabText(readSourceFile(file), displayName(file));
}

DictionarySource parseTabText(std::string_view bytes, std::string_view sourceName) {
  const std::string_view withoutBom = stripUtf8Bom(bytes);
  // Text that is not UTF-8 is taken for Windows-1251, where every byte is a character.
  const std::string text =
      isValidUtf8(withoutBom) ? std::string(withoutBom) : cp1251::toUtf8(withoutBom);
  DictionarySource source;
  size_t lineNumber = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++lineNumber;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (lineNumber == 1 && line.starts_with(kTitleLine)) {
      source.title = std::string(cp1251::trimBlanks(line.substr(kTitleLine.size())));
      continue;
    }
    if (cp1251::trimBlanks(line).empty()) continue;
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
      throw EImportError(std::string(sourceName) + ", line " + std::to_string(lineNumber) +
                         ": an entry is a headword, a tab and the article");
    }
    const std::string_view headword = cp1251::trimBlanks(line.substr(0, tab));
    if (headword.empty()) {
      throw EImportError(std::string(sourceName) + ", line " + std::to_string(lineNumber) +
                         ": the headword is empty");
    }
    source.entries.push_back(
        {{std::string(headword)}, plainTextToHtml(articleText(line.substr(tab + 1)))});
  }
  return source;
}

}  // namespace verbalon::import
