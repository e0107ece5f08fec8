#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

#include "dicts/article_location.h"
#include "dicts/tdict.h"

// The index entry format: one line of `slIndex` (and of "index.dat") lists where each dictionary
// that knows the word keeps its article, for example "0:a\items:12|3:b:0".
//   - An entry is parts separated by "|"; the empty entry has none. No part is empty, so an
//     entry never starts or ends with "|" and never holds two in a row.
//   - A part is a dictionary number, ":", and an article location of that dictionary
//     (dicts/article_location.h: stream path ":" line number, the path without ":" or "|").
//   - A dictionary number is 1 to dicts::kLocationDigits decimal digits without sign or leading
//     zero ("0", "12"; never "00" or "012"): a dictionary is known by its number's text, which
//     is how a removal finds its parts.
//   - Parts stand in merge order: dictionaries in installation order, and within one dictionary
//     in item order; a dictionary may have several parts in one entry.
// Entries this program writes always follow the format. A stored index may come from elsewhere,
// so every reader goes through IndexEntry, which raises EIndexError for an entry that does not.
namespace verbalon::index {

// One part of an entry, read. The views point into the entry's text.
struct IndexPart {
  size_t dict = 0;
  std::string_view path;      // the stream path inside the package
  size_t line = 0;            // the line of that stream, counted from 0
  std::string_view text;      // the whole part as written
  std::string_view location;  // the part after its dictionary number and ":"
};

// A view of one entry, the line of word. The entry's text must outlive the view; word only
// names the entry in errors. Reading allocates nothing.
class IndexEntry {
 public:
  IndexEntry(std::string_view text, std::string_view word) noexcept : m_text(text), m_word(word) {}

  std::string_view text() const { return m_text; }

  // Reads the parts in order, each as the iteration reaches it. A malformed part raises
  // EIndexError naming the word, the part's position and what is wrong with it; the parts
  // before it have been seen by then.
  class Iterator {
   public:
    using value_type = IndexPart;
    using difference_type = std::ptrdiff_t;

    Iterator() = default;
    const IndexPart& operator*() const { return m_part; }
    const IndexPart* operator->() const { return &m_part; }
    Iterator& operator++();
    void operator++(int) { ++*this; }
    bool operator==(std::default_sentinel_t) const { return m_done; }

   private:
    friend class IndexEntry;
    explicit Iterator(const IndexEntry& entry);

    const IndexEntry* m_entry = nullptr;
    size_t m_next = 0;    // where the text of the part after m_part begins
    size_t m_number = 0;  // m_part's position in the entry, from 1
    IndexPart m_part;
    bool m_done = true;
  };
  Iterator begin() const { return Iterator(*this); }
  std::default_sentinel_t end() const { return {}; }

  // Whether the entry has a part of dictionary dict, judged by its text alone (a part of dict
  // starts the entry or follows a "|"); exact for an entry of the format, and quick enough to
  // ask of every entry of the index.
  bool mentions(size_t dict) const noexcept { return mentions(DictMark(dict)); }
  // The same, with the number's text made once for a pass over many entries.
  class DictMark {
   public:
    explicit DictMark(size_t dict) noexcept;
    std::string_view barNumberColon() const { return {m_text, m_size}; }  // "|n:"

   private:
    char m_text[24];
    size_t m_size;
  };
  bool mentions(const DictMark& mark) const noexcept;

  // The entry without the parts of dictionary dict, the others in their order; empty when no
  // part is left. A malformed entry raises EIndexError.
  std::string without(size_t dict) const;

  // Appends the part dict ":" location to entry, after a "|" unless entry is empty.
  // Requires: location follows the format (readArticleLocation accepts it).
  static void appendPart(std::string& entry, size_t dict, std::string_view location);
  // Appends the parts of the entry other to entry, after a "|" unless either is empty.
  static void appendEntry(std::string& entry, std::string_view other);

 private:
  [[noreturn]] void malformed(size_t number, std::string_view part, const char* fault) const;

  std::string_view m_text;
  std::string_view m_word;
};

// The slot a part refers to. A number past the last slot, or naming a hole, raises EIndexError
// rather than reaching a dictionary that is not there.
const dicts::TDict& dictOfPart(const dicts::TDicts& dicts, const IndexPart& part);

}  // namespace verbalon::index
