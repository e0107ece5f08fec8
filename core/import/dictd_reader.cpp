// dictd databases.
//
// NAME.index is text, one line per headword, lines ending in LF (CR LF accepted):
//   headword TAB offset TAB length [TAB anything]
// offset and length are numbers in dictd's base64: digits "A-Z a-z 0-9 + /" for 0..63, most
// significant first, no padding. They select length bytes at offset of NAME.dict, which may be
// stored as NAME.dict.dz (dictzip, a gzip file whose header also holds a table for random access;
// a whole read does not need it). Articles are plain text, usually opening with the headword on a
// line of its own.
//
// Headwords beginning "00-" or "00database" are the database's own records: 00-database-short
// (title), 00-database-info (description), 00-database-utf8 (the texts are UTF-8; without it
// they are ISO-8859-1), and others such as -url or -alphabet. The older dictfmt spells them
// without dashes ("00databaseshort"). Several index lines may select the same bytes; dict-gcide
// lists its 126,240 articles under 203,645 names.
#include "import/dictd_reader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <unicode/uchar.h>

#include "common/cp1251.h"
#include "import/import_error.h"
#include "import/source_files.h"
#include "import/source_text.h"

namespace verbalon::import {
namespace {

// Real databases select every byte of the article file once (shared articles are the same
// range, not overlapping ones). This much overlap is allowed before an index counts as hostile:
// it keeps the texts we build within a fixed multiple of the article file.
constexpr uint64_t kMaxSelectedPerArticleByte = 4;

enum class MetaKind { kNone, kShort, kInfo, kUtf8, kOther };

MetaKind metaKind(std::string_view name) {
  if (name == "00-database-short" || name == "00databaseshort") return MetaKind::kShort;
  if (name == "00-database-info" || name == "00databaseinfo") return MetaKind::kInfo;
  if (name == "00-database-utf8" || name == "00databaseutf8") return MetaKind::kUtf8;
  if (name.starts_with("00-") || name.starts_with("00database")) return MetaKind::kOther;
  return MetaKind::kNone;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view firstLine(std::string_view text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

// text from its first line that holds more than blanks, that line's indentation kept.
std::string_view withoutLeadingBlankLines(std::string_view text) {
  while (true) {
    const std::string_view line = firstLine(text);
    if (line.size() == text.size() || !cp1251::trimBlanks(line).empty()) return text;
    text.remove_prefix(line.size());
    text.remove_prefix(text.starts_with("\r\n") ? 2 : 1);
  }
}

int base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// One index line being read, so that every complaint names the file and the line.
class IndexLine {
 public:
  IndexLine(std::string_view indexName, size_t number) : m_indexName(indexName), m_number(number) {}

  [[noreturn]] void fail(const std::string& what) const {
    throw EImportError(std::string(m_indexName) + ", line " + std::to_string(m_number) + ": " +
                       what);
  }

  uint64_t number(std::string_view field, const char* what) const {
    if (field.empty()) fail(std::string("the ") + what + " is empty");
    uint64_t value = 0;
    for (char c : field) {
      const int digit = base64Digit(c);
      if (digit < 0) fail(std::string("the ") + what + " is not base64");
      if (value > (UINT64_MAX >> 6)) fail(std::string("the ") + what + " is too large");
      value = value << 6 | static_cast<uint64_t>(digit);
    }
    return value;
  }

 private:
  std::string_view m_indexName;
  size_t m_number;
};

struct IndexRecord {
  std::string_view headword;  // trimmed, still in the database's encoding
  uint64_t offset = 0;
  uint64_t length = 0;
};

IndexRecord parseIndexLine(std::string_view line, const IndexLine& where) {
  const size_t firstTab = line.find('\t');
  if (firstTab == std::string_view::npos) where.fail("no TAB before the offset");
  const size_t secondTab = line.find('\t', firstTab + 1);
  if (secondTab == std::string_view::npos) where.fail("no TAB before the length");
  // A fourth field (dictfmt's original headword for a folded one) is not needed.
  const size_t thirdTab = line.find('\t', secondTab + 1);
  IndexRecord record;
  record.headword = cp1251::trimBlanks(line.substr(0, firstTab));
  record.offset = where.number(line.substr(firstTab + 1, secondTab - firstTab - 1), "offset");
  record.length = where.number(
      line.substr(secondTab + 1, thirdTab == std::string_view::npos ? std::string_view::npos
                                                                    : thirdTab - secondTab - 1),
      "length");
  return record;
}

// Calls visit(line, number) for every line of the index, without its line end.
template <typename Visit>
void forEachLine(std::string_view index, Visit&& visit) {
  size_t number = 0;
  while (!index.empty()) {
    ++number;
    const size_t end = index.find('\n');
    std::string_view line = index.substr(0, end);
    index.remove_prefix(end == std::string_view::npos ? index.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    visit(line, number);
  }
}

// The letters and digits of text, case-folded: what remains of a headword once letter case,
// blanks and punctuation no longer count. text must be valid UTF-8.
std::u32string comparisonKey(std::string_view text) {
  std::u32string key;
  for (size_t pos = 0; pos < text.size();) {
    const auto c = static_cast<UChar32>(nextCodePoint(text, pos));
    if (u_isalnum(c)) key += static_cast<char32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
  }
  return key;
}

// Drops the line that repeats a record's own name ahead of its text, as dictfmt writes it.
// Blank lines around it are dropped too.
std::string_view withoutNameLine(std::string_view text) {
  text = withoutLeadingBlankLines(text);
  const std::string_view line = firstLine(text);
  if (metaKind(cp1251::trimBlanks(line)) != MetaKind::kNone) text.remove_prefix(line.size());
  text = withoutLeadingBlankLines(text);
  while (!text.empty() && isBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::string descriptionText(std::string_view text) {
  std::string out;
  const std::string_view body = withoutNameLine(text);
  out.reserve(body.size());
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\r') {
      if (i + 1 < body.size() && body[i + 1] == '\n') ++i;
      out += '\n';
    } else {
      out += body[i];
    }
  }
  return out;
}

using Range = std::pair<uint64_t, uint64_t>;  // offset, length

struct RangeHash {
  size_t operator()(const Range& range) const {
    return std::hash<uint64_t>()(range.first * 0x9E3779B97F4A7C15ull ^ range.second);
  }
};

class DictdParser {
 public:
  DictdParser(std::string_view index, std::string_view articles, std::string_view indexName,
              std::string_view articlesName)
      : m_index(stripUtf8Bom(index)),
        m_articles(articles),
        m_indexName(indexName),
        m_articlesName(articlesName) {}

  DictionarySource parse() {
    // The encoding is declared by a record that may stand anywhere in the index, and it
    // governs the headwords too, so it is looked for before anything is converted.
    forEachLine(m_index, [&](std::string_view line, size_t) {
      if (metaKind(cp1251::trimBlanks(line.substr(0, line.find('\t')))) == MetaKind::kUtf8) {
        m_utf8 = true;
      }
    });
    forEachLine(m_index, [&](std::string_view line, size_t number) { readLine(line, number); });

    DictionarySource source;
    if (m_short) {
      source.title = std::string(cp1251::trimBlanks(firstLine(withoutNameLine(*m_short))));
    }
    if (m_info) source.description = descriptionText(*m_info);
    // The map has done its work; its nodes need not live on beside the articles.
    m_entryOf = {};
    for (size_t i = 0; i < m_entries.size(); ++i) {
      finishEntry(m_entries[i], m_ranges[i]);
    }
    source.entries = std::move(m_entries);
    return source;
  }

 private:
  std::string toUtf8(std::string_view bytes) const {
    return m_utf8 ? repairUtf8(bytes) : utf8FromLatin1(bytes);
  }

  void checkRange(const IndexRecord& record, const IndexLine& where) const {
    const uint64_t size = m_articles.size();
    if (record.offset > size || record.length > size - record.offset) {
      where.fail("the article at offset " + std::to_string(record.offset) + ", length " +
                 std::to_string(record.length) + " lies past the end of " +
                 std::string(m_articlesName) + " (" + std::to_string(size) + " bytes)");
    }
  }

  // The bytes of a text about to be built, counted against how much the index has selected
  // so far. Requires: checkRange passed.
  std::string_view select(const IndexRecord& record, const IndexLine& where) {
    const uint64_t size = m_articles.size();
    m_selected += record.length;
    if (m_selected > kMaxSelectedPerArticleByte * size) {
      where.fail("the index selects the bytes of " + std::string(m_articlesName) + " more than " +
                 std::to_string(kMaxSelectedPerArticleByte) + " times over");
    }
    return m_articles.substr(static_cast<size_t>(record.offset),
                             static_cast<size_t>(record.length));
  }

  void readLine(std::string_view line, size_t number) {
    if (line.empty()) return;
    const IndexLine where(m_indexName, number);
    const IndexRecord record = parseIndexLine(line, where);
    checkRange(record, where);
    switch (metaKind(record.headword)) {
      case MetaKind::kShort:
        if (!m_short) m_short = toUtf8(select(record, where));
        return;
      case MetaKind::kInfo:
        if (!m_info) m_info = toUtf8(select(record, where));
        return;
      case MetaKind::kUtf8:
      case MetaKind::kOther:
        return;
      case MetaKind::kNone:
        break;
    }
    if (record.headword.empty()) return;
    std::string headword = toUtf8(record.headword);
    const Range range(record.offset, record.length);
    const auto [it, added] = m_entryOf.try_emplace(range, m_entries.size());
    if (added) {
      select(record, where);
      m_entries.emplace_back();
      m_ranges.push_back(range);
    }
    m_entries[it->second].headwords.push_back(std::move(headword));
  }

  // Gives entry, which holds the index spellings of its headwords, its article.
  void finishEntry(SourceEntry& entry, const Range& range) const {
    std::string text = toUtf8(
        m_articles.substr(static_cast<size_t>(range.first), static_cast<size_t>(range.second)));
    while (!text.empty() && isBlank(text.back())) {
      text.pop_back();
    }

    // dict-de-en's index drops punctuation the article's first line keeps ("go ahead well
    // catch up with you" for "Go ahead. We’ll catch up with you."): the line is the better
    // spelling of a headword it matches. The line's key is built once, however many names
    // the article has.
    const std::string_view heading = cp1251::trimBlanks(firstLine(text));
    const std::u32string headingKey = comparisonKey(heading);

    std::vector<std::string> names = std::move(entry.headwords);
    entry.headwords.clear();
    entry.headwords.reserve(names.size());
    std::unordered_set<std::string> seen;
    for (std::string& headword : names) {
      if (!headingKey.empty() && comparisonKey(headword) == headingKey) {
        headword = std::string(heading);
      }
      if (names.size() > 1 && !seen.insert(headword).second) continue;
      entry.headwords.push_back(std::move(headword));
    }
    entry.article = plainTextToHtml(text);
  }

  std::string_view m_index;
  std::string_view m_articles;
  std::string_view m_indexName;
  std::string_view m_articlesName;
  bool m_utf8 = false;
  uint64_t m_selected = 0;
  std::optional<std::string> m_short;
  std::optional<std::string> m_info;
  // Entries in the order their articles first appear in the index, with the bytes each selects.
  std::vector<SourceEntry> m_entries;
  std::vector<Range> m_ranges;
  std::unordered_map<Range, size_t, RangeHash> m_entryOf;
};

}  // namespace

DictionarySource readDictd(const std::filesystem::path& indexFile) {
  std::filesystem::path base = indexFile;
  if (base.extension() == ".index") base.replace_extension();
  const std::optional<std::filesystem::path> articleFile =
      findCompanion(base, {".dict", ".dict.dz"});
  if (!articleFile) {
    const std::string name = displayName(base);
    throw EImportError(displayName(indexFile) + ": neither " + name + ".dict nor " + name +
                       ".dict.dz is beside it");
  }
  const std::string index = readSourceFile(indexFile);
  const std::string articles = readMaybeCompressed(*articleFile);
  return DictdParser(index, articles, displayName(indexFile), displayName(*articleFile)).parse();
}

DictionarySource parseDictd(std::string_view index, std::string_view articles,
                            std::string_view sourceName) {
  return DictdParser(index, articles, sourceName, "the article file").parse();
}

}  // namespace verbalon::import
