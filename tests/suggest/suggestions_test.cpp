#include "suggest/suggestions.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "index/normalize.h"
#include "suggest/dictionary_forms.h"
#include "suggest/key_search.h"
#include "suggest/near_spellings.h"
#include "suggest/wildcard.h"
#include "words.h"

namespace verbalon::suggest {
namespace {

using testing::HunspellFolder;
using testing::u;
using testing::w;
using testing::ws;

// "word source" per suggestion, in order.
std::vector<std::string> shown(const Suggestions& found, const PackedLines& slWord) {
  std::vector<std::string> out;
  for (const Suggestion& s : found.items) {
    out.push_back(u(slWord[s.position]) + " " + std::string(sourceTag(s.source)));
  }
  return out;
}

class SuggestFor : public ::testing::Test {
 protected:
  SuggestFor()
      : slWord(
            PackedLines(inKeyOrder(ws({"дом", "дома", "домик", "книга", "кот", "лдом", "sound"})))),
        folder("suggest"),
        keys(slWord),
        nearSpellings(slWord),
        forms((testing::writeSmallRussian(folder, "ru_TEST"), folder.path()), {"ru_TEST"}) {}

  static StringList inKeyOrder(StringList words) {
    std::sort(words.begin(), words.end(), [](const std::string& a, const std::string& b) {
      return index::compareKeys(index::NormalizeWord(a), index::NormalizeWord(b)) < 0;
    });
    return words;
  }

  std::vector<std::string> suggest(const char* typed) {
    return shown(suggestFor(w(typed), slWord, {&keys, &forms, &nearSpellings}), slWord);
  }

  PackedLines slWord;
  HunspellFolder folder;
  KeySearch keys;
  NearSpellings nearSpellings;
  DictionaryForms forms;
};

TEST_F(SuggestFor, SourcesInOrderEachWordOnce) {
  EXPECT_EQ(suggest("домами"),
            (std::vector<std::string>{"дом dictionary-form", "дома near-spelling"}));
  // «книга» is the dictionary form and two edits away; it is offered once, as the form.
  EXPECT_EQ(suggest(" книгами "), (std::vector<std::string>{"книга dictionary-form"}));
  EXPECT_EQ(suggest("ljv"), (std::vector<std::string>{"дом other-layout", "дома other-layout",
                                                      "домик other-layout"}));
  EXPECT_EQ(suggest("ыщгтв"), (std::vector<std::string>{"sound other-layout"}));
  EXPECT_EQ(suggest("ljvbr"), (std::vector<std::string>{"домик other-layout"}));
  EXPECT_EQ(suggest("ДОМЫ"), (std::vector<std::string>{"дом near-spelling", "дома near-spelling"}));
  EXPECT_EQ(suggest("лдома"),
            (std::vector<std::string>{"дома near-spelling", "лдом near-spelling"}));
}

TEST_F(SuggestFor, PatternsGetWildcardMatchesOnly) {
  EXPECT_EQ(suggest("до*"),
            (std::vector<std::string>{"дом wildcard", "дома wildcard", "домик wildcard"}));
  EXPECT_EQ(suggest("?ом"), (std::vector<std::string>{"дом wildcard"}));
  EXPECT_FALSE(suggestFor("*", slWord, {}).cut);
  const PackedLines many(StringList(kWildcardLimit + 1, "x"));
  const Suggestions cut = suggestFor("?", many, {});
  EXPECT_TRUE(cut.cut);
  EXPECT_EQ(cut.items.size(), kWildcardLimit);
}

// A list in key order needs no keys: stems and the other layout's words are found by halving,
// with what a pass over the list finds.
TEST_F(SuggestFor, ListInKeyOrderNeedsNoKeys) {
  const SuggestSources ordered{nullptr, &forms, &nearSpellings, true};
  for (const char* typed :
       {"домами", " книгами ", "ljv", "ыщгтв", "ljvbr", "ДОМЫ", "лдома", "ljvfn", "k"}) {
    EXPECT_EQ(shown(suggestFor(w(typed), slWord, ordered), slWord), suggest(typed)) << typed;
  }
}

TEST_F(SuggestFor, MissingSourcesAreSkipped) {
  EXPECT_TRUE(suggest("").empty());
  EXPECT_TRUE(suggest(" \t").empty());
  // Without keys a stem cannot be checked against the index, so forms are skipped too.
  EXPECT_EQ(shown(suggestFor(w("домами"), slWord, {nullptr, &forms, nullptr}), slWord),
            std::vector<std::string>{});
  EXPECT_EQ(
      shown(suggestFor("ljv", slWord, {}), slWord),
      (std::vector<std::string>{"дом other-layout", "дома other-layout", "домик other-layout"}));
}

}  // namespace
}  // namespace verbalon::suggest
