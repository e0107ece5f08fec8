#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/command.h"
#include "suggest/word_lines.h"

namespace verbalon::suggest {
class DictionaryForms;
}  // namespace verbalon::suggest

namespace verbalon::cli {

// suggest: what the filter tab would offer for a word that the prefix filter does not find.
std::vector<Command> suggestCommands();

// Prints the suggestions for typed (Windows-1251) over the word list, one per line: the word, a
// tab and its source; returns how many. What `suggest` prints, and, without forms, what `words`
// and `show` fall back to. Nothing is built over the whole list (one query would not pay it
// back): near spellings and dictionary forms are found by halving over the list, which must
// ascend by key. forms may be nullptr: Hunspell's dictionaries take about a second to load, far
// more than the rest of a look-up, so the commands that look words up go without them.
size_t printSuggestions(const suggest::WordLines& words, const std::string& typed,
                        suggest::DictionaryForms* forms, Console& console);

}  // namespace verbalon::cli
