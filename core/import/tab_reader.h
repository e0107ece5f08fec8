#pragma once

#include <filesystem>
#include <string_view>

#include "import/dictionary_source.h"

// Tab-separated text: one entry a line, the headword, a tab and the article, in which "\n"
// (a backslash and an n) is a line break. UTF-8 (with or without a byte-order mark) or, when
// the text is not valid UTF-8, Windows-1251. An optional first line "#title=..." names the
// dictionary; blank lines are skipped.
namespace verbalon::import {

// Raises EImportError.
DictionarySource readTabText(const std::filesystem::path& file);

// The same for the file's bytes; sourceName names the source in messages.
DictionarySource parseTabText(std::string_view bytes, std::string_view sourceName);

}  // namespace verbalon::import
