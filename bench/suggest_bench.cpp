// The find box at the sizes it must serve: the full list following the typing over five million
// words, near spellings over a million.
#include <algorithm>
#include <chrono>
#include <numeric>
#include <random>

#include <benchmark/benchmark.h>

#include "bench_words.h"
#include "index/key_list.h"
#include "suggest/dictionary_forms.h"
#include "suggest/key_search.h"
#include "suggest/layout_swap.h"
#include "suggest/near_spellings.h"
#include "suggest/suggestions.h"
#include "suggest/wildcard.h"

namespace verbalon::bench {
namespace {

constexpr size_t kListWords = 5'000'000;
constexpr size_t kSpellingWords = 1'000'000;
constexpr size_t kPageRows = 40;  // rows of the list on a tall screen

// count unique words in the index's key order, as slWord holds them after an install.
StringList sortedWords(size_t count, uint32_t seed) {
  StringList words = RussianWords(seed).unique(count);
  index::KeyList keys;
  for (const std::string& word : words)
    keys.pushWord(word);
  std::vector<uint32_t> order(words.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
  StringList sorted;
  sorted.reserve(words.size());
  for (uint32_t i : order)
    sorted.push_back(std::move(words[i]));
  return sorted;
}

const PackedLines& listWords() {
  static const PackedLines words(sortedWords(kListWords, 5));
  return words;
}

const PackedLines& spellingWords() {
  static const PackedLines words(sortedWords(kSpellingWords, 1));
  return words;
}

// What a person types: the first one to eight letters of a word of the list, in any case.
std::vector<std::string> typedTexts(const PackedLines& words, size_t count) {
  std::mt19937 rng(3);
  std::vector<std::string> out;
  for (size_t i = 0; i < count; ++i) {
    const std::string_view word = words[rng() % words.size()];
    std::string text(word.substr(0, 1 + rng() % 8));
    if (rng() % 4 == 0) text = cp1251::toUpper(text);
    out.push_back(text);
  }
  return out;
}

// Misspellings of words of the list: one or two letters changed, dropped or doubled.
std::vector<std::string> misspellings(const PackedLines& words, size_t count) {
  std::mt19937 rng(9);
  const std::string letters = cp1251::fromUtf8("абвгдежзиклмнопрстуфхцчшщыэюя");
  std::vector<std::string> out;
  while (out.size() < count) {
    std::string word(words[rng() % words.size()]);
    const size_t edits = word.size() <= 5 ? 1 : 2;
    for (size_t e = 0; e < edits && word.size() > 1; ++e) {
      const size_t at = rng() % word.size();
      switch (rng() % 3) {
        case 0:
          word[at] = letters[rng() % letters.size()];
          break;
        case 1:
          word.erase(at, 1);
          break;
        default:
          word.insert(at, 1, word[at]);
      }
    }
    if (word.size() >= 3) out.push_back(word);
  }
  return out;
}

void BM_KeySearchBuild(benchmark::State& state) {
  const PackedLines& words = listWords();
  size_t bytes = 0;
  for (auto _ : state) {
    suggest::KeySearch keys(words);
    bytes = keys.memoryBytes();
    benchmark::DoNotOptimize(keys);
  }
  state.counters["words"] = static_cast<double>(words.size());
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_KeySearchBuild)->Unit(benchmark::kMillisecond)->Iterations(2);

// One keystroke: the look-up, then the page of rows from there converted for the list widget.
void BM_FollowTyping(benchmark::State& state) {
  const PackedLines& words = listWords();
  static const suggest::KeySearch keys(words);
  const std::vector<std::string> texts = typedTexts(words, 4096);
  std::vector<std::u16string> page(kPageRows);
  size_t t = 0;
  for (auto _ : state) {
    const size_t top = keys.firstNotLess(texts[t++ % texts.size()]);
    const size_t first = std::min(top, words.size() - kPageRows);
    for (size_t r = 0; r < kPageRows; ++r)
      page[r] = cp1251::toUtf16(words[first + r]);
    benchmark::DoNotOptimize(page.data());
  }
  state.counters["words"] = static_cast<double>(words.size());
}
BENCHMARK(BM_FollowTyping)->Unit(benchmark::kMicrosecond);

void BM_NearSpellingsBuild(benchmark::State& state) {
  const PackedLines& words = spellingWords();
  size_t bytes = 0;
  for (auto _ : state) {
    suggest::NearSpellings near(words);
    bytes = near.memoryBytes();
    benchmark::DoNotOptimize(near);
  }
  state.counters["words"] = static_cast<double>(words.size());
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_NearSpellingsBuild)->Unit(benchmark::kMillisecond)->Iterations(2);

// state.range(0) picks the queries: 0 misspellings of every length, 3 to 5 only short ones
// (one edit), 6 the long ones (two edits).
void BM_NearSpellings(benchmark::State& state) {
  const PackedLines& words = spellingWords();
  static const suggest::NearSpellings near(words);
  std::vector<std::string> queries;
  for (const std::string& q : misspellings(words, 20000)) {
    const auto wanted = static_cast<size_t>(state.range(0));
    if (wanted == 0 || (wanted < 6 && q.size() == wanted) || (wanted == 6 && q.size() >= 6)) {
      queries.push_back(q);
    }
    if (queries.size() == 512) break;
  }
  size_t q = 0;
  size_t found = 0;
  for (auto _ : state) {
    found += near.find(queries[q++ % queries.size()]).size();
  }
  state.counters["found/query"] =
      static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_NearSpellings)->Arg(0)->Arg(3)->Arg(5)->Arg(6)->Unit(benchmark::kMillisecond);

// Queries with so few distinct letter pairs that the pair count proves nothing, so every word
// of a length in reach is compared: the slowest case.
void BM_NearSpellingsRepetitive(benchmark::State& state) {
  const PackedLines& words = spellingWords();
  static const suggest::NearSpellings near(words);
  const std::vector<std::string> queries = {cp1251::fromUtf8("аааааа"), cp1251::fromUtf8("ооооооо"),
                                            cp1251::fromUtf8("папапа")};
  size_t q = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(near.find(queries[q++ % queries.size()]));
  }
}
BENCHMARK(BM_NearSpellingsRepetitive)->Unit(benchmark::kMillisecond);

// Everything the filter tab asks when the prefix filter is empty (Hunspell left out: its cost
// does not grow with the index).
void BM_SuggestForMisspelling(benchmark::State& state) {
  const PackedLines& words = spellingWords();
  static const suggest::KeySearch keys(words);
  static const suggest::NearSpellings near(words);
  const std::vector<std::string> queries = misspellings(words, 256);
  size_t q = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        suggest::suggestFor(queries[q++ % queries.size()], words, {&keys, nullptr, &near}));
  }
}
BENCHMARK(BM_SuggestForMisspelling)->Unit(benchmark::kMillisecond);

// Loading the system's dictionaries (once per run) and stemming one word.
void BM_DictionaryFormsLoad(benchmark::State& state) {
  for (auto _ : state) {
    suggest::DictionaryForms forms;
    if (!forms.enabled()) state.SkipWithError("no Hunspell dictionaries in /usr/share/hunspell");
    benchmark::DoNotOptimize(forms);
  }
}
BENCHMARK(BM_DictionaryFormsLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DictionaryFormsStem(benchmark::State& state) {
  static suggest::DictionaryForms forms;
  if (!forms.enabled()) state.SkipWithError("no Hunspell dictionaries in /usr/share/hunspell");
  const std::vector<std::string> words = {cp1251::fromUtf8("домами"), cp1251::fromUtf8("книгами"),
                                          "houses", cp1251::fromUtf8("ljvfvb")};
  size_t w = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(forms.stems(words[w++ % words.size()]));
  }
}
BENCHMARK(BM_DictionaryFormsStem)->Unit(benchmark::kMicrosecond);

void BM_Wildcard(benchmark::State& state) {
  const PackedLines& words = spellingWords();
  const std::vector<std::string> patterns = {cp1251::fromUtf8("*ость"), cp1251::fromUtf8("к?т*"),
                                             cp1251::fromUtf8("*а*о*е*"), "*"};
  size_t p = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(suggest::matchWildcard(patterns[p++ % patterns.size()], words));
  }
}
BENCHMARK(BM_Wildcard)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace verbalon::bench

BENCHMARK_MAIN();
