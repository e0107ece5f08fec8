// Feeds a stored index of arbitrary content to the merge and the removal: the input's lines
// alternate between "items.dat" and "index.dat" lines, as a damaged or foreign resource package
// could hold them (any order, equal keys, malformed entries). A dictionary made of the first
// lines is merged, which builds the keys and puts the lists in order, then dictionary 0 is
// removed; every entry that reads must compose again to the same text. After each step the lists
// must be aligned, ascending and free of equal keys. Any error but verbalon::Error is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/error.h"
#include "common/string_list.h"
#include "index/index_entry.h"
#include "index/normalize.h"
#include "index/word_index.h"

namespace {

using verbalon::StringList;
using verbalon::index::WordIndex;

void check(bool condition) {
  if (!condition) std::abort();
}

void checkInvariants(const WordIndex& index) {
  check(index.slWord().size() == index.slIndex().size());
  const auto& keys = index.slKey();
  check(keys.empty() || keys.size() == index.slWord().size());
  for (size_t i = 0; i < keys.size(); ++i) {
    check(keys[i] == verbalon::index::sortKeyOf(index.slWord()[i]));
    if (i > 0) check(keys[i - 1] < keys[i]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const StringList lines = verbalon::splitLines(text);
  StringList words;
  StringList entries;
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    words.push_back(lines[i]);
    entries.push_back(lines[i + 1]);
  }
  verbalon::index::NoProgress none;
  WordIndex index;
  for (int slot = 0; slot < 3; ++slot) {
    verbalon::dicts::TDict dict;
    dict.FileName = "d" + std::to_string(slot) + ".brd";
    index.appendSlot(std::move(dict));
  }
  index.assignLists(words, entries);
  verbalon::dicts::TDict added;
  added.FileName = "new.brd";
  StringList items;
  StringList locations;
  for (size_t i = 0; i < lines.size() && i < 8; ++i) {
    items.push_back(lines[i]);
    locations.push_back("s:" + std::to_string(i));
  }
  added.ItemList = verbalon::dicts::TextLines(items);
  added.IndexList = verbalon::dicts::TextLines(locations);
  index.appendSlot(std::move(added));
  try {
    index.InstallDict(3, none);
    checkInvariants(index);
    index.RemoveDict(0, none);
    checkInvariants(index);
    index.RemoveDict(3, none);
    checkInvariants(index);
  } catch (const verbalon::Error&) {
  }
  for (size_t i = 0; i < index.slIndex().size(); ++i) {
    const verbalon::index::IndexEntry entry(index.slIndex()[i], index.slWord()[i]);
    try {
      std::string again;
      for (const verbalon::index::IndexPart& part : entry) {
        verbalon::index::dictOfPart(index.Dicts(), part);
        verbalon::index::IndexEntry::appendPart(again, part.dict, part.location);
      }
      // An entry that reads is composed again to the same text.
      check(again == entry.text());
    } catch (const verbalon::Error&) {
    }
  }
  return 0;
}
