#include "index/word_index.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <future>
#include <limits>
#include <numeric>
#include <thread>
#include <utility>

#include "common/cp1251.h"
#include "dicts/article_location.h"
#include "index/detail/progress_texts.h"
#include "index/index_entry.h"
#include "index/index_error.h"

namespace verbalon::index {
namespace {

// The progress interface counts in int, as a gauge does.
int gaugeValue(long long value) {
  return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

// Marks the index busy for the length of a merge or removal. Both let window messages run,
// and a second operation started from there would work on lists the first one is changing.
class BusyGuard {
 public:
  explicit BusyGuard(bool& busy) : m_busy(busy) {
    if (m_busy) {
      throw EIndexError(EIndexError::Fault::kBusy,
                        "another installation or removal is still running");
    }
    m_busy = true;
  }
  ~BusyGuard() { m_busy = false; }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  bool& m_busy;
};

// The positions 0..keys.size()-1 in ascending key order; equal keys keep their list order.
std::vector<uint32_t> stableKeyOrder(const KeyList& keys) {
  std::vector<uint32_t> order(keys.size());
  std::iota(order.begin(), order.end(), 0U);
  std::stable_sort(order.begin(), order.end(),
                   [&keys](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
  return order;
}

bool strictlyAscending(const KeyList& keys) {
  for (size_t i = 1; i < keys.size(); ++i) {
    if (!(keys[i - 1] < keys[i])) return false;
  }
  return true;
}

// Below this many items one core makes the keys faster than a second thread is started.
constexpr size_t kKeysOnTwoCores = 20000;

}  // namespace

void WordIndex::appendSlot(dicts::TDict dict) {
  checkChangesAllowed();
  m_dicts.push_back(std::move(dict));
}

void WordIndex::assignLists(const StringList& words, const StringList& entries) {
  if (words.size() != entries.size()) {
    throw EIndexError(EIndexError::Fault::kDamaged,
                      "the word list has " + std::to_string(words.size()) +
                          " lines but the index has " + std::to_string(entries.size()));
  }
  PackedLines packedWords(words);
  PackedLines packedEntries(entries);
  m_word = std::move(packedWords);
  m_index = std::move(packedEntries);
  m_key.clear();
}

void WordIndex::checkChangesAllowed() const {
  if (!m_refusal.empty()) throw EIndexError(EIndexError::Fault::kRefused, m_refusal);
}

// What a merge changes, worked out in full before anything changes: the lists to be (when the
// first merge of a run builds `slKey` and puts a stored list in order) and the lines to insert
// or grow.
struct WordIndex::InstallPlan {
  bool buildsKeys = false;  // `keys` becomes `slKey`
  KeyList keys;
  bool reorders = false;  // `words` and `entries` replace `slWord` and `slIndex`
  PackedLines words;
  PackedLines entries;
  std::vector<size_t> insertAt;  // the line each new word goes before, ascending
  KeyList newKeys;
  PackedLines newWords;
  PackedLines newEntries;
  std::vector<size_t> grownAt;  // the lines whose entries gain parts, ascending
  PackedLines grownEntries;     // their entries with the parts added
};

// Builds `slKey` from `slWord` into the plan. A stored list that another comparison ordered
// (another program, or an older version of this one) may be out of order under ours or hold keys
// that ours finds equal; searching such a list would misplace words, so it is sorted again first
// (stably) and lines of equal keys become one, keeping the first display form and all parts in
// their order. The lists themselves stay as they are until the plan is applied.
void WordIndex::planKeys(InstallPlan& plan) const {
  KeyList keys;
  keys.reserve(m_word.size(), m_word.byteSize() * 2);
  for (const std::string_view word : m_word) {
    keys.pushWord(word);
  }
  plan.buildsKeys = true;
  if (strictlyAscending(keys)) {
    plan.keys = std::move(keys);
    return;
  }

  const std::vector<uint32_t> order = stableKeyOrder(keys);
  plan.reorders = true;
  plan.words.reserve(m_word.size(), m_word.byteSize());
  plan.entries.reserve(m_word.size(), m_index.byteSize() + m_word.size());
  plan.keys.reserve(m_word.size(), keys.byteSize());
  std::string entry;
  for (size_t g = 0; g < order.size();) {
    const std::string_view key = keys[order[g]];
    entry.assign(m_index[order[g]]);
    plan.words.push_back(m_word[order[g]]);
    size_t h = g + 1;
    for (; h < order.size() && keys[order[h]] == key; ++h) {
      IndexEntry::appendEntry(entry, m_index[order[h]]);
    }
    plan.entries.push_back(entry);
    plan.keys.push_back(key);
    g = h;
  }
}

// The items are not inserted one by one: with a million words each insertion moves a million
// lines. Their keys are sorted stably instead and merged with the index in one pass. Because the
// index holds distinct keys in order and the sort keeps item order among equal keys, each line
// comes out as the one-by-one merge leaves it: an existing word keeps its display form and gains
// the parts of its items in item order, and a new word takes its first item's display form.
void WordIndex::InstallDict(size_t n, InstallProgress& progress) {
  checkChangesAllowed();
  BusyGuard busy(m_busy);
  InstallPlan plan;
  planInstall(n, progress, plan);
  applyInstall(plan);
  progress.hideGauge();
}

// Everything that can fail: the checks, the progress calls (which let window messages run), the
// sort, the new and grown entries, the limit and every allocation. In the lists themselves it
// only reserves room, which changes no line of them.
void WordIndex::planInstall(size_t n, InstallProgress& progress, InstallPlan& plan) {
  if (n >= m_dicts.size() || n + 1 != m_dicts.size()) {
    throw EIndexError(
        EIndexError::Fault::kInternal,
        "dictionary " + std::to_string(n) + " is not the last slot and cannot be merged");
  }
  const dicts::TDict& dict = m_dicts[n];
  if (dict.isEmptySlot()) {
    throw EIndexError(EIndexError::Fault::kInternal,
                      "slot " + std::to_string(n) + " holds no dictionary to merge");
  }
  const dicts::TextLines& items = dict.ItemList;
  const dicts::TextLines& locations = dict.IndexList;
  if (items.size() != locations.size()) {
    throw EIndexError(EIndexError::Fault::kInternal,
                      cp1251::toUtf8(dict.FileName) + ": " + std::to_string(items.size()) +
                          " items but " + std::to_string(locations.size()) + " article locations");
  }
  if (items.size() > std::numeric_limits<uint32_t>::max()) {
    throw EIndexError(EIndexError::Fault::kInternal,
                      cp1251::toUtf8(dict.FileName) + ": too many items");
  }
  // A location goes into entries as it stands. AddDict has checked those of a package it
  // opened, but a slot may have been filled by its caller.
  dicts::ArticleLocation read;
  for (size_t k = 0; k < locations.size(); ++k) {
    if (const char* fault = dicts::readArticleLocation(locations[k], read)) {
      throw EIndexError(EIndexError::Fault::kInternal,
                        cp1251::toUtf8(dict.FileName) + ": article location " + std::to_string(k) +
                            ", '" + cp1251::toUtf8(locations[k]) + "', " + fault);
    }
  }

  progress.setStatus(detail::textPreparingInstall());
  progress.showGauge();
  progress.setGaugeProgress(0);
  if (m_key.empty() && !m_word.empty()) planKeys(plan);
  const KeyList& keys = plan.buildsKeys ? plan.keys : m_key;
  const PackedLines& words = plan.reorders ? plan.words : m_word;
  const PackedLines& entries = plan.reorders ? plan.entries : m_index;

  const size_t count = items.size();
  // (count - 1) / 100 in floating point, truncated: 0 up to 100 items, and for none.
  progress.setGaugeMax(
      gaugeValue(static_cast<long long>(std::trunc((static_cast<double>(count) - 1) / 100))));
  const std::string last = std::to_string(static_cast<long long>(count) - 1);
  // Into an empty index the first item goes in without a search and without a progress step.
  const size_t first = words.empty() && count > 0 ? 1 : 0;
  progress.setStatus(detail::textInstalling() + dict.ShortTitle);

  KeyList itemKeys;
  size_t bytes = 0;
  for (std::string_view item : items) {
    bytes += item.size();
  }
  itemKeys.reserve(count, bytes * 2);
  // Collation is most of the merge of a large dictionary: the keys of the second half are made on
  // another core meanwhile (the collator is per thread), and the progress of that half follows.
  const size_t half =
      count >= kKeysOnTwoCores && std::thread::hardware_concurrency() > 1 ? count / 2 : count;
  std::future<KeyList> laterKeys;
  if (half < count) {
    laterKeys = std::async(std::launch::async, [&items, half, count, bytes] {
      KeyList secondHalf;
      secondHalf.reserve(count - half, bytes);
      for (size_t k = half; k < count; ++k) {
        secondHalf.pushWord(items[k]);
      }
      return secondHalf;
    });
  }
  int step = 0;
  for (size_t k = 0; k < count; ++k) {
    if (k < half) {
      itemKeys.pushWord(items[k]);
    } else if (k == half) {
      itemKeys.append(laterKeys.get());
    }
    if (k >= first && k % 100 == 0) {
      progress.setGaugeProgress(++step);
      progress.setCounter(std::to_string(k) + detail::textOf() + last);
      progress.processMessages();
    }
  }
  if (count == 0) return;

  const std::vector<uint32_t> order = stableKeyOrder(itemKeys);
  // One pass over the index and the sorted items together: a run of equal item keys either
  // meets a word of the index, whose entry gains the run's parts (as the one-by-one merge
  // appends them), or becomes a new word to be inserted before index line `position`.
  const size_t oldCount = words.size();
  size_t grownBytes = 0;
  size_t j = 0;
  std::string entry;
  for (size_t g = 0; g < count;) {
    const std::string_view key = itemKeys[order[g]];
    size_t h = g + 1;
    while (h < count && itemKeys[order[h]] == key) {
      ++h;
    }
    while (j < oldCount && keys[j] < key) {
      ++j;
    }
    const bool existing = j < oldCount && keys[j] == key;
    entry.assign(existing ? entries[j] : std::string_view());
    for (size_t r = g; r < h; ++r) {
      IndexEntry::appendPart(entry, n, locations[order[r]]);
    }
    if (existing) {
      grownBytes += entry.size() - entries[j].size();
      plan.grownAt.push_back(j);
      plan.grownEntries.push_back(entry);
      ++j;
    } else {
      plan.insertAt.push_back(j);
      plan.newKeys.push_back(key);
      plan.newWords.push_back(items[order[g]]);
      plan.newEntries.push_back(entry);
    }
    g = h;
  }
  // Checked before the lists grow: an index saved past the limit could never be read again.
  const size_t wordBytes = storedTextSize(words) + storedTextSize(plan.newWords);
  const size_t entryBytes = storedTextSize(entries) + grownBytes + storedTextSize(plan.newEntries);
  if (wordBytes > m_storedLimit || entryBytes > m_storedLimit) {
    throw EIndexError(
        EIndexError::Fault::kTooLarge,
        cp1251::toUtf8(dict.FileName) + " is not installed: the stored index would grow to " +
            std::to_string(std::max(wordBytes, entryBytes) >> 20) + " MiB, more than the " +
            std::to_string(m_storedLimit >> 20) + " MiB that can be read back");
  }
  const size_t added = plan.insertAt.size();
  (plan.reorders ? plan.words : m_word).reserveMore(added, plan.newWords.byteSize());
  (plan.reorders ? plan.entries : m_index)
      .reserveMore(added, plan.newEntries.byteSize() + grownBytes);
  (plan.buildsKeys ? plan.keys : m_key).reserveMore(added, plan.newKeys.byteSize());
}

// Moves the plan in. Every allocation has happened, so nothing here can fail.
void WordIndex::applyInstall(InstallPlan& plan) noexcept {
  if (plan.reorders) {
    m_word = std::move(plan.words);
    m_index = std::move(plan.entries);
  }
  if (plan.buildsKeys) m_key = std::move(plan.keys);
  m_word.insertSorted(plan.insertAt, plan.newWords);
  m_index.insertSorted(plan.insertAt, plan.newEntries, plan.grownAt, plan.grownEntries);
  m_key.insertSorted(plan.insertAt, plan.newKeys);
}

void WordIndex::applyRemoval(const std::vector<bool>& keep, const std::vector<bool>& rebuilt,
                             const PackedLines& rebuiltEntries, bool keysBuilt) noexcept {
  m_index.compact(keep, rebuilt, rebuiltEntries);
  m_word.compact(keep);
  if (keysBuilt) m_key.compact(keep);
  m_index.releaseSpareRoom();
  m_word.releaseSpareRoom();
}

// One pass over the entries. Words left without parts are only marked while the pass runs and
// are dropped from all lists together at its end, instead of deleting each line on its own
// (which moves every later line each time).
bool WordIndex::RemoveDict(size_t n, InstallProgress& progress) {
  checkChangesAllowed();
  BusyGuard busy(m_busy);
  if (n >= m_dicts.size() || m_dicts[n].isEmptySlot()) return false;

  progress.setStatus(detail::textPreparingRemoval());
  // A dictionary kept without its package has no title loaded: its file name stands in.
  const dicts::TDict& dict = m_dicts[n];
  progress.setStatus(detail::textRemoving() + (dict.isUnopened() && dict.ShortTitle.empty()
                                                   ? dict.FileName
                                                   : dict.ShortTitle));
  const bool keysBuilt = !m_key.empty();
  const size_t count = m_index.size();
  const IndexEntry::DictMark mark(n);

  progress.showGauge();
  progress.setGaugeProgress(0);
  // An empty index would ask for a maximum of -1; a gauge has nothing to show then.
  progress.setGaugeMax(gaugeValue(std::max<long long>(static_cast<long long>(count) - 1, 0)));

  // The lists change only at the end, in one pass; meanwhile the rebuilt entries gather apart
  // and the window messages that run between see the index as it was.
  std::vector<bool> keep(count, true);
  std::vector<bool> rebuilt(count, false);
  PackedLines rebuiltEntries;
  try {
    int step = 0;
    for (size_t i = 0; i < count; ++i) {
      const IndexEntry read(m_index[i], m_word[i]);
      // Only an entry with a part of n is read in full and rebuilt.
      if (read.mentions(mark)) {
        const std::string entry = read.without(n);
        if (entry.empty()) {
          keep[i] = false;
        } else {
          rebuiltEntries.push_back(entry);
          rebuilt[i] = true;
        }
      }
      progress.setGaugeProgress(++step);
      progress.processMessages();
    }
  } catch (...) {
    applyRemoval(keep, rebuilt, rebuiltEntries, keysBuilt);
    progress.hideGauge();
    progress.setGaugeProgress(0);
    throw;
  }
  applyRemoval(keep, rebuilt, rebuiltEntries, keysBuilt);

  dicts::FreeDict(m_dicts[n]);
  if (n + 1 == m_dicts.size()) {
    m_dicts.pop_back();
  } else {
    m_dicts[n].FileName.clear();
  }
  if (m_slotFreed) m_slotFreed(n);
  progress.hideGauge();
  progress.setGaugeProgress(0);
  return true;
}

}  // namespace verbalon::index
