#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/packed_lines.h"
#include "suggest/word_lines.h"

// What the filter tab offers when the prefix filter finds nothing: words of the index that the
// typed text probably meant, from several sources, each word once.
//
// The window shows them under headingText(), a row that cannot be chosen, when the prefix
// filter's result is empty, and always for a pattern (hasWildcard): patterns get wildcard
// matches only, since no other source makes sense of "*" and "?".
namespace verbalon::suggest {

class DictionaryForms;
class KeySearch;
class NearSpellingFinder;

// In the order they are offered.
enum class Source {
  kDictionaryForm,  // a stem that Hunspell gives for the query
  kOtherLayout,     // the prefix filter of the query typed in the other keyboard layout
  kNearSpelling,    // one or two edits away
  kWildcard,        // matches the query as a pattern
};

// A short ASCII tag for the tool's output: "dictionary-form", "other-layout", "near-spelling",
// "wildcard".
std::string_view sourceTag(Source source);

// «Возможно, вы искали:» (Windows-1251).
std::string headingText();
// The note under a cut wildcard list (Windows-1251), naming the limit.
std::string cutNoteText(size_t limit);

struct Suggestion {
  size_t position;  // in slWord
  Source source;
};

struct Suggestions {
  std::vector<Suggestion> items;  // sources in the order of Source, each word once
  bool cut = false;               // the wildcard matches were cut at kWildcardLimit
};

// The sources to ask. A missing one (nullptr) is skipped. A stem counts only when the index has a
// word of its key, looked up in keys, or without them by halving over the list itself when it
// ascends by key (listInKeyOrder); with neither the forms are skipped. Every object must have
// been built from the list passed along.
struct SuggestSources {
  const KeySearch* keys = nullptr;
  DictionaryForms* forms = nullptr;
  const NearSpellingFinder* nearSpellings = nullptr;
  // The list ascends by the index's comparison, so the other layout's words are found by halving
  // (key_runs.h) instead of a pass over the list, and stems without keys. For a caller with one
  // query and no keys built; a stored list saved by another comparison may miss words this way.
  bool listInKeyOrder = false;
};

// The suggestions for typedText (as typed into the find box, Windows-1251), whatever the
// prefix filter finds: blanks at the ends do not count; an empty query has none.
Suggestions suggestFor(std::string_view typedText, const WordLines& words,
                       const SuggestSources& sources);
inline Suggestions suggestFor(std::string_view typedText, const PackedLines& slWord,
                              const SuggestSources& sources) {
  return suggestFor(typedText, WordLines(slWord), sources);
}

}  // namespace verbalon::suggest
