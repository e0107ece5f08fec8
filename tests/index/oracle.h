#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "common/cp1251.h"
#include "common/string_list.h"
#include "index/install_progress.h"

// The installation and removal of dictionaries written plainly, item by item, exactly as the
// algorithm reads: a halving search per item, one list insertion per new word, one deletion per
// emptied line. Slow, but obviously right; the fast merge of WordIndex must match it.
namespace verbalon::index::testing {

struct OracleDict {
  std::string fileName;  // empty: a hole
  std::string shortTitle;
  StringList items;
  StringList locations;
};

class OracleIndex {
 public:
  OracleIndex() {
    UErrorCode status = U_ZERO_ERROR;
    m_collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    m_collator->setStrength(icu::Collator::SECONDARY);
  }

  std::vector<OracleDict> dicts;
  StringList word;
  StringList key;
  StringList index;

  static std::string normalize(const std::string& w) {
    std::string k;
    for (char c : w) {
      if (c == '\xB8' || c == '\xA8') {
        k += '\xE5';
      } else if (c != '-' && c != '.' && c != ' ') {
        k += c;
      }
    }
    return k;
  }

  int compare(const std::string& a, const std::string& b) const {
    std::u16string ua = cp1251::toUtf16(a);
    std::u16string ub = cp1251::toUtf16(b);
    UErrorCode status = U_ZERO_ERROR;
    return m_collator->compare(ua.data(), static_cast<int32_t>(ua.size()), ub.data(),
                               static_cast<int32_t>(ub.size()), status);
  }

  bool findKey(const std::string& w, std::string& k, size_t& position) const {
    k = normalize(w);
    position = 0;
    if (key.empty()) return false;
    long lo = 0;
    long hi = static_cast<long>(key.size()) - 1;
    while (lo <= hi) {
      long mid = (lo + hi) / 2;
      int cmp = compare(k, key[static_cast<size_t>(mid)]);
      if (cmp > 0) {
        lo = mid + 1;
      } else if (cmp < 0) {
        hi = mid - 1;
      } else {
        position = static_cast<size_t>(mid);
        return true;
      }
    }
    position = static_cast<size_t>(lo);
    return false;
  }

  void install(size_t n, InstallProgress& progress) {
    progress.setStatus(cp1251::fromUtf8("Подготовка к установке..."));
    progress.showGauge();
    int step = 0;
    progress.setGaugeProgress(step);
    if (key.empty()) {
      key = word;
      for (size_t i = 0; i < word.size(); ++i)
        key[i] = normalize(word[i]);
    }
    const OracleDict& d = dicts[n];
    const long count = static_cast<long>(d.items.size());
    progress.setGaugeMax(static_cast<int>(std::trunc((static_cast<double>(count) - 1) / 100)));
    const std::string last = std::to_string(count - 1);
    long first = 0;
    const std::string num = std::to_string(n);
    if (word.empty() && count > 0) {
      word.insert(word.begin(), d.items[0]);
      key.insert(key.begin(), normalize(d.items[0]));
      index.insert(index.begin(), num + ":" + d.locations[0]);
      first = 1;
    }
    progress.setStatus(cp1251::fromUtf8("Установка словаря: ") + d.shortTitle);
    for (long k = first; k < count; ++k) {
      const auto uk = static_cast<size_t>(k);
      std::string nk;
      size_t p = 0;
      if (findKey(d.items[uk], nk, p)) {
        index[p] = index[p] + "|" + num + ":" + d.locations[uk];
      } else {
        const auto at = static_cast<std::ptrdiff_t>(p);
        word.insert(word.begin() + at, d.items[uk]);
        key.insert(key.begin() + at, nk);
        index.insert(index.begin() + at, num + ":" + d.locations[uk]);
      }
      if (k % 100 == 0) {
        progress.setGaugeProgress(++step);
        progress.setCounter(std::to_string(k) + cp1251::fromUtf8(" из ") + last);
        progress.processMessages();
      }
    }
    progress.hideGauge();
  }

  void remove(size_t n, InstallProgress& progress) {
    progress.setStatus(cp1251::fromUtf8("Подготовка к удалению..."));
    progress.setStatus(cp1251::fromUtf8("Удаление словаря: ") + dicts[n].shortTitle);
    const std::string num = std::to_string(n);
    const std::string anchored = "|" + num + ":";
    const bool keysBuilt = !key.empty();
    progress.showGauge();
    int step = 0;
    progress.setGaugeProgress(step);
    // The one liberty taken: an empty index asks for a maximum of 0, not -1.
    progress.setGaugeMax(index.empty() ? 0 : static_cast<int>(index.size()) - 1);
    size_t i = 0;
    while (i < index.size()) {
      if (("|" + index[i]).find(anchored) == std::string::npos) {
        ++i;
      } else {
        std::string rebuilt;
        bool firstKept = true;
        size_t start = 0;
        const std::string& e = index[i];
        for (;;) {
          size_t bar = e.find('|', start);
          std::string part = e.substr(start, bar == std::string::npos ? bar : bar - start);
          if (part.substr(0, part.find(':')) != num) {
            if (!firstKept) rebuilt += "|";
            rebuilt += part;
            firstKept = false;
          }
          if (bar == std::string::npos) break;
          start = bar + 1;
        }
        if (!rebuilt.empty()) {
          index[i] = rebuilt;
          ++i;
        } else {
          const auto at = static_cast<std::ptrdiff_t>(i);
          index.erase(index.begin() + at);
          word.erase(word.begin() + at);
          if (keysBuilt) key.erase(key.begin() + at);
        }
      }
      progress.setGaugeProgress(++step);
      progress.processMessages();
    }
    dicts[n].items.clear();
    dicts[n].locations.clear();
    if (n + 1 == dicts.size()) {
      dicts.pop_back();
    } else {
      dicts[n].fileName.clear();
    }
    progress.hideGauge();
    progress.setGaugeProgress(0);
  }

 private:
  std::unique_ptr<icu::Collator> m_collator;
};

}  // namespace verbalon::index::testing
