// Merging into, removing from, loading and saving the combined word index at the sizes of a
// large installation: a million words, dictionaries of a hundred thousand items.
#include <memory>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include "bench_words.h"
#include "index/word_filter.h"
#include "index/word_index.h"

namespace verbalon::bench {
namespace {

using index::NoProgress;
using index::WordIndex;

constexpr size_t kBaseWords = 1'000'000;
constexpr size_t kDictItems = 100'000;

dicts::TDict makeSlot(const std::string& name, StringList items, StringList locations) {
  dicts::TDict d;
  d.FileName = name;
  d.ShortTitle = name;
  d.ItemList = dicts::TextLines(items);
  d.IndexList = dicts::TextLines(locations);
  return d;
}

// A stored index of a million words from one dictionary, and a dictionary of a hundred thousand
// items of which half are words the index already holds.
struct Data {
  StringList baseItems;
  StringList baseLocations;
  StringList word;
  StringList entries;
  StringList dictItems;
  StringList dictLocations;

  Data() {
    RussianWords maker(2024);
    StringList all = maker.unique(kBaseWords + kDictItems / 2);
    baseItems.assign(all.begin(), all.begin() + kBaseWords);
    baseLocations = maker.locations(kBaseWords);
    WordIndex index;
    index.appendSlot(makeSlot("base.brd", baseItems, baseLocations));
    NoProgress none;
    index.InstallDict(0, none);
    word = index.slWord().toStringList();
    entries = index.slIndex().toStringList();
    std::mt19937 rng(7);
    for (size_t i = 0; i < kDictItems; ++i) {
      dictItems.push_back(i % 2 == 0 ? all[kBaseWords + i / 2] : all[rng() % kBaseWords]);
    }
    dictLocations = maker.locations(kDictItems);
  }
};

const Data& data() {
  static const Data instance;
  return instance;
}

// A run that has loaded the stored index: `slKey` is not built yet.
std::unique_ptr<WordIndex> loadedIndex() {
  auto index = std::make_unique<WordIndex>();
  index->appendSlot(makeSlot("base.brd", data().baseItems, data().baseLocations));
  // As loading reads them: split from the stored text, so the lists have the spare capacity
  // that growing them line by line leaves.
  index->assignLists(splitLines(joinLines(data().word)), splitLines(joinLines(data().entries)));
  return index;
}

void BM_InstallIntoEmptyIndex(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto index = std::make_unique<WordIndex>();
    index->appendSlot(makeSlot("d.brd", data().dictItems, data().dictLocations));
    NoProgress none;
    state.ResumeTiming();
    index->InstallDict(0, none);
    state.PauseTiming();
    index.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_InstallIntoEmptyIndex)->Unit(benchmark::kMillisecond)->Iterations(3);

// The first merge of a run builds `slKey` for the million stored words as well.
void BM_InstallIntoMillionFirstOfRun(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto index = loadedIndex();
    index->appendSlot(makeSlot("d.brd", data().dictItems, data().dictLocations));
    NoProgress none;
    state.ResumeTiming();
    index->InstallDict(1, none);
    state.PauseTiming();
    index.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_InstallIntoMillionFirstOfRun)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_InstallIntoMillionKeysBuilt(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto index = loadedIndex();
    NoProgress none;
    index->appendSlot(makeSlot("e.brd", {}, {}));
    index->InstallDict(1, none);  // builds the keys
    index->appendSlot(makeSlot("d.brd", data().dictItems, data().dictLocations));
    state.ResumeTiming();
    index->InstallDict(2, none);
    state.PauseTiming();
    index.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_InstallIntoMillionKeysBuilt)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RemoveFromMillionAndAHundredThousand(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto index = loadedIndex();
    NoProgress none;
    index->appendSlot(makeSlot("d.brd", data().dictItems, data().dictLocations));
    index->InstallDict(1, none);
    state.counters["words_before"] = static_cast<double>(index->slWord().size());
    state.ResumeTiming();
    index->RemoveDict(1, none);
    state.PauseTiming();
    state.counters["words_after"] = static_cast<double>(index->slWord().size());
    index.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RemoveFromMillionAndAHundredThousand)->Unit(benchmark::kMillisecond)->Iterations(3);

// Bytes allocated, from the heap and in mappings of their own (large blocks).
size_t allocatedBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Heap held by the three lists of a million words, before and after `slKey` is built.
void BM_MemoryOfMillionWordIndex(benchmark::State& state) {
  data();
  for (auto _ : state) {
    const size_t before = allocatedBytes();
    auto index = loadedIndex();
    const size_t loaded = allocatedBytes();
    NoProgress none;
    index->appendSlot(makeSlot("e.brd", {}, {}));
    index->InstallDict(1, none);
    const size_t keyed = allocatedBytes();
    // The base dictionary's own lists are part of Dicts, not of the index lists.
    const auto& slot = index->Dicts()[0];
    const size_t slotBytes = slot.ItemList.memoryBytes() + slot.IndexList.memoryBytes();
    state.counters["MB_slWord_slIndex"] = static_cast<double>(loaded - before - slotBytes) / 1e6;
    state.counters["MB_with_slKey"] = static_cast<double>(keyed - before - slotBytes) / 1e6;
    state.counters["MB_slKey_bytes"] = static_cast<double>(index->slKey().byteSize()) / 1e6;
  }
}
BENCHMARK(BM_MemoryOfMillionWordIndex)->Unit(benchmark::kMillisecond)->Iterations(1);

// The filter's scan of a million words, with a two-letter prefix and with a query that matches
// nothing; the window adds its result list and history to this.
void BM_FilterMillionWords(benchmark::State& state) {
  const std::string query = cp1251::fromUtf8(state.range(0) == 0 ? "ка" : "щщщ");
  const StringList& words = data().word;
  size_t matches = 0;
  for (auto _ : state)
    matches = index::filterWords(words, query).Words.size();
  state.counters["matches"] = static_cast<double>(matches);
}
BENCHMARK(BM_FilterMillionWords)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace verbalon::bench

BENCHMARK_MAIN();
