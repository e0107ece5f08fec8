#include "index/word_index.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <future>
#include <limits>
#include <new>
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

// Makes room for `extra` more lines, with some to spare so that the next merges grow without
// copying; capacity that is never used costs no memory.
void reserveRoom(StringList& lines, size_t extra) {
  const size_t needed = lines.size() + extra;
  if (lines.capacity() < needed) lines.reserve(needed + needed / 4);
}

// Inserts newLines[t] before old line insertions[t].position, in one pass from the back, so
// every line moves at most once. Requires: room reserved; insertions in ascending position
// (several at one position keep their order).
void insertInPlace(StringList& lines, const std::vector<KeyInsertion>& insertions,
                   StringList& newLines) noexcept {
  const size_t oldCount = lines.size();
  const size_t newCount = oldCount + insertions.size();
  lines.resize(newCount);
  size_t write = newCount;
  size_t read = oldCount;
  for (size_t t = insertions.size(); t-- > 0;) {
    while (read > insertions[t].position) {
      lines[--write] = std::move(lines[--read]);
    }
    lines[--write] = std::move(newLines[t]);
  }
}

// Gives back the room of a list that has shrunk to less than half of it: after the removal of a
// large dictionary the lists would otherwise keep its size for the rest of the run. Without the
// memory for the smaller copy the list keeps its room, which does no harm.
void releaseSpareRoom(StringList& lines) noexcept {
  if (lines.capacity() / 2 <= lines.size()) return;
  try {
    lines.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    // Kept as it was.
  }
}

}  // namespace

size_t storedTextSize(const StringList& lines) {
  size_t bytes = 0;
  for (const std::string& line : lines) {
    bytes += line.size() + 2;
  }
  return bytes;
}

void WordIndex::appendSlot(dicts::TDict dict) {
  checkChangesAllowed();
  m_dicts.push_back(std::move(dict));
}

void WordIndex::assignLists(StringList words, StringList entries) {
  if (words.size() != entries.size()) {
    throw EIndexError(EIndexError::Fault::kDamaged,
                      "the word list has " + std::to_string(words.size()) +
                          " lines but the index has " + std::to_string(entries.size()));
  }
  m_word = std::move(words);
  m_index = std::move(entries);
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
  StringList words;
  StringList entries;
  KeyList itemKeys;  // what `insertions` point into
  std::vector<KeyInsertion> insertions;
  StringList newWords;
  StringList newEntries;
  std::vector<std::pair<size_t, std::string>> grownEntries;
};

// Builds `slKey` from `slWord` into the plan. A stored list that another comparison ordered
// (another program, or an older version of this one) may be out of order under ours or hold keys
// that ours finds equal; searching such a list would misplace words, so it is sorted again first
// (stably) and lines of equal keys become one, keeping the first display form and all parts in
// their order. The lists themselves stay as they are until the plan is applied.
void WordIndex::planKeys(InstallPlan& plan) const {
  KeyList keys;
  size_t bytes = 0;
  for (const std::string& word : m_word) {
    bytes += word.size();
  }
  keys.reserve(m_word.size(), bytes * 2);
  for (const std::string& word : m_word) {
    keys.pushWord(word);
  }
  plan.buildsKeys = true;
  if (strictlyAscending(keys)) {
    plan.keys = std::move(keys);
    return;
  }

  const std::vector<uint32_t> order = stableKeyOrder(keys);
  plan.reorders = true;
  plan.words.reserve(m_word.size());
  plan.entries.reserve(m_word.size());
  plan.keys.reserve(m_word.size(), keys.byteSize());
  for (size_t g = 0; g < order.size();) {
    const std::string_view key = keys[order[g]];
    std::string entry = m_index[order[g]];
    plan.words.push_back(m_word[order[g]]);
    size_t h = g + 1;
    for (; h < order.size() && keys[order[h]] == key; ++h) {
      IndexEntry::appendEntry(entry, m_index[order[h]]);
    }
    plan.entries.push_back(std::move(entry));
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
  const StringList& words = plan.reorders ? plan.words : m_word;
  const StringList& entries = plan.reorders ? plan.entries : m_index;

  const size_t count = items.size();
  // (count - 1) / 100 in floating point, truncated: 0 up to 100 items, and for none.
  progress.setGaugeMax(
      gaugeValue(static_cast<long long>(std::trunc((static_cast<double>(count) - 1) / 100))));
  const std::string last = std::to_string(static_cast<long long>(count) - 1);
  // Into an empty index the first item goes in without a search and without a progress step.
  const size_t first = words.empty() && count > 0 ? 1 : 0;
  progress.setStatus(detail::textInstalling() + dict.ShortTitle);

  KeyList& itemKeys = plan.itemKeys;
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
  size_t newKeyBytes = 0;
  size_t grownBytes = 0;
  size_t j = 0;
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
    std::string entry = existing ? entries[j] : std::string();
    for (size_t r = g; r < h; ++r) {
      IndexEntry::appendPart(entry, n, locations[order[r]]);
    }
    if (existing) {
      grownBytes += entry.size() - entries[j].size();
      plan.grownEntries.emplace_back(j, std::move(entry));
      ++j;
    } else {
      plan.insertions.push_back({j, key});
      plan.newWords.emplace_back(items[order[g]]);
      plan.newEntries.push_back(std::move(entry));
      newKeyBytes += key.size();
    }
    g = h;
  }
  // Checked before the lists grow: an index saved past the limit could never be read again.
  size_t wordBytes = storedTextSize(words);
  for (const std::string& word : plan.newWords) {
    wordBytes += word.size() + 2;
  }
  size_t entryBytes = storedTextSize(entries) + grownBytes;
  for (const std::string& entry : plan.newEntries) {
    entryBytes += entry.size() + 2;
  }
  if (wordBytes > m_storedLimit || entryBytes > m_storedLimit) {
    throw EIndexError(
        EIndexError::Fault::kTooLarge,
        cp1251::toUtf8(dict.FileName) + " is not installed: the stored index would grow to " +
            std::to_string(std::max(wordBytes, entryBytes) >> 20) + " MiB, more than the " +
            std::to_string(m_storedLimit >> 20) + " MiB that can be read back");
  }
  const size_t added = plan.insertions.size();
  reserveRoom(plan.reorders ? plan.words : m_word, added);
  reserveRoom(plan.reorders ? plan.entries : m_index, added);
  (plan.buildsKeys ? plan.keys : m_key).reserveMore(added, newKeyBytes);
}

// Moves the plan in. Every allocation has happened, so nothing here can fail.
void WordIndex::applyInstall(InstallPlan& plan) noexcept {
  if (plan.reorders) {
    m_word = std::move(plan.words);
    m_index = std::move(plan.entries);
  }
  if (plan.buildsKeys) m_key = std::move(plan.keys);
  for (auto& [line, entry] : plan.grownEntries) {
    m_index[line].swap(entry);
  }
  insertInPlace(m_word, plan.insertions, plan.newWords);
  insertInPlace(m_index, plan.insertions, plan.newEntries);
  m_key.insertSorted(plan.insertions);
}

void WordIndex::applyRemoval(const std::vector<bool>& keep, bool keysBuilt) noexcept {
  if (keep.empty()) return;
  size_t kept = 0;
  for (size_t i = 0; i < m_index.size(); ++i) {
    if (!keep[i]) continue;
    if (kept != i) {
      m_index[kept] = std::move(m_index[i]);
      m_word[kept] = std::move(m_word[i]);
    }
    ++kept;
  }
  m_index.resize(kept);
  m_word.resize(kept);
  if (keysBuilt) m_key.compact(keep);
  releaseSpareRoom(m_index);
  releaseSpareRoom(m_word);
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

  std::vector<bool> keep;
  try {
    int step = 0;
    for (size_t i = 0; i < count; ++i) {
      std::string& entry = m_index[i];
      const IndexEntry read(entry, m_word[i]);
      // Only an entry with a part of n is read in full and rebuilt.
      if (read.mentions(mark)) {
        std::string rebuilt = read.without(n);
        if (rebuilt.empty()) {
          if (keep.empty()) keep.assign(count, true);
          keep[i] = false;
        }
        entry = std::move(rebuilt);
      }
      progress.setGaugeProgress(++step);
      progress.processMessages();
    }
  } catch (...) {
    applyRemoval(keep, keysBuilt);
    progress.hideGauge();
    progress.setGaugeProgress(0);
    throw;
  }
  applyRemoval(keep, keysBuilt);

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
