#pragma once

#include <string>
#include <string_view>

// Normalised keys and the one comparison that orders the combined index.
//
// The comparison is ICU's root collation (the CLDR order: Latin before Cyrillic, the Russian
// alphabet in its own order) at secondary strength, so letter case is ignored and nothing else
// is. It is fixed here and never taken from the environment's locale, because a stored index
// must stay ordered whatever locale a later run has.
namespace verbalon::index {

// The key of a word: every "ё"/"Ё" becomes "е", and every "-", "." and " " is removed. Case and
// every other character stay as they are.
std::string NormalizeWord(std::string_view word);

// The ICU sort key of NormalizeWord(word) (normalisation included, so callers pass the word as
// displayed). Two words compare as their sort keys compare bytewise; equal sort keys mean equal
// keys. The text is Windows-1251.
std::string sortKeyOf(std::string_view word);

// Appends sortKeyOf(word) to out, reusing out's capacity; returns the key's length.
size_t appendSortKey(std::string_view word, std::string& out);

// Negative, zero or positive as key a orders before, equal to or after key b. Both are sort keys
// made by sortKeyOf.
int compareSortKeys(std::string_view a, std::string_view b);

// The comparison of two normalised keys (not sort keys), for callers that hold plain text.
int compareKeys(std::string_view a, std::string_view b);

}  // namespace verbalon::index
