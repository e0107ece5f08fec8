#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/command.h"
#include "common/packed_lines.h"
#include "common/string_list.h"

namespace verbalon::cli {

// suggest: what the filter tab would offer for a word that the prefix filter does not find.
std::vector<Command> suggestCommands();

// Prints the suggestions for typed (Windows-1251) over slWord, one per line: the word, a tab and
// its source; returns how many. What `suggest` prints, and what `words` and `show` fall back to.
size_t printSuggestions(const PackedLines& slWord, const std::string& typed, Console& console);

}  // namespace verbalon::cli
