#include "suggest/suggestions.h"

#include <optional>
#include <unordered_set>

#include "common/cp1251.h"
#include "index/word_filter.h"
#include "index/word_search.h"
#include "suggest/dictionary_forms.h"
#include "suggest/key_runs.h"
#include "suggest/key_search.h"
#include "suggest/layout_swap.h"
#include "suggest/near_spellings.h"
#include "suggest/wildcard.h"

namespace verbalon::suggest {
namespace {

// Collects suggestions, each position once: a word offered by an earlier source is not
// repeated by a later one.
class Collector {
 public:
  void add(size_t position, Source source) {
    if (m_seen.insert(position).second) m_out.items.push_back({position, source});
  }
  Suggestions& result() { return m_out; }

 private:
  Suggestions m_out;
  std::unordered_set<size_t> m_seen;
};

}  // namespace

std::string_view sourceTag(Source source) {
  switch (source) {
    case Source::kDictionaryForm:
      return "dictionary-form";
    case Source::kOtherLayout:
      return "other-layout";
    case Source::kNearSpelling:
      return "near-spelling";
    case Source::kWildcard:
      return "wildcard";
  }
  return "";
}

std::string headingText() {
  return cp1251::fromUtf8("Возможно, вы искали:");
}

std::string cutNoteText(size_t limit) {
  return cp1251::fromUtf8("Показаны первые " + std::to_string(limit) + " совпадений");
}

Suggestions suggestFor(std::string_view typedText, const WordLines& words,
                       const SuggestSources& sources) {
  Collector collector;
  const std::string_view query = cp1251::trimBlanks(typedText);
  if (query.empty()) return collector.result();

  if (hasWildcard(query)) {
    const WildcardMatches matches = matchWildcard(query, words);
    for (size_t position : matches.positions) {
      collector.add(position, Source::kWildcard);
    }
    collector.result().cut = matches.cut;
    return collector.result();
  }

  if (sources.forms && (sources.keys || sources.listInKeyOrder)) {
    for (const std::string& stem : sources.forms->stems(query)) {
      const std::optional<size_t> row =
          sources.keys ? sources.keys->find(stem) : index::findWordLine(words, stem);
      if (row) collector.add(*row, Source::kDictionaryForm);
    }
  }

  const std::string swapped = layoutSwap(query);
  if (swapped != query) {
    const std::string filter = index::filterQuery(swapped);
    if (sources.listInKeyOrder) {
      // Every word that begins with the text has a key that begins with its key.
      const auto [first, last] = keyPrefixRange(words, filter);
      for (size_t i = first; i < last; ++i) {
        if (index::beginsWithQuery(words[i], filter)) collector.add(i, Source::kOtherLayout);
      }
    } else {
      for (int32_t position : index::filterWords(words, filter).Indexes) {
        collector.add(static_cast<size_t>(position), Source::kOtherLayout);
      }
    }
  }

  if (sources.nearSpellings) {
    for (const NearSpellingFinder::Match& match : sources.nearSpellings->find(query)) {
      collector.add(match.position, Source::kNearSpelling);
    }
  }
  return collector.result();
}

}  // namespace verbalon::suggest
