// A StarDict dictionary is three or four files named alike:
//
// NAME.ifo   UTF-8 text. The first line is "StarDict's dict ifo file"; then "key=value" lines:
//            version (2.4.2 or 3.0.0), bookname, wordcount, synwordcount, idxfilesize,
//            idxoffsetbits (32, or 64 from 3.0.0 on), sametypesequence, description (one line,
//            "<br>" for its line breaks), author, email, website, date.
// NAME.idx   (or NAME.idx.gz) One entry per word, back to back: the word in UTF-8 ended by a
//            NUL, the article's offset in NAME.dict (4 bytes, or 8 with idxoffsetbits=64) and
//            its size (4 bytes), both big-endian. Entries that share offset and size share the
//            article.
// NAME.dict  (or NAME.dict.dz, dictzip: gzip that reads whole) The articles. Without
//            sametypesequence an article is a row of fields, each a type byte and its data: a
//            lower-case type's data is text ended by a NUL, an upper-case type's a 4-byte
//            big-endian size and that many bytes. With sametypesequence the type bytes are left
//            out, one field per letter in that order, and the last field has neither NUL nor
//            size: it takes the rest of the article.
// NAME.syn   (optional) One entry per synonym: the synonym ended by a NUL and a 4-byte
//            big-endian number of the .idx entry it leads to, counted from 0.
//
// Type letters: m, t, y, l plain text; g Pango markup; h HTML; x XDXF; r resource list; W
// sound; P picture; n WordNet; X reserved. Only text reaches the package.
#include "import/stardict_reader.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "import/detail/stardict_markup.h"
#include "import/import_error.h"
#include "import/source_files.h"
#include "import/source_text.h"

namespace verbalon::import {
namespace {

constexpr std::string_view kIfoMagic = "StarDict's dict ifo file";

// Distinct articles may overlap in the .dict, but a handful of .idx entries that each claim
// almost the whole file would make us convert it once per entry. Real dictionaries read each
// byte once, so more than this many passes over the .dict is refused.
constexpr uint64_t kMaxDictPasses = 4;

// How the message of an error names one of the dictionary's files.
struct FileNames {
  std::string ifo;
  std::string idx;
  std::string dict;
  std::string syn;

  explicit FileNames(std::string_view base)
      : ifo(std::string(base) + ".ifo"),
        idx(std::string(base) + ".idx"),
        dict(std::string(base) + ".dict"),
        syn(std::string(base) + ".syn") {}
};

[[noreturn]] void fail(const std::string& file, std::string_view what) {
  throw EImportError(file + ": " + std::string(what));
}

[[noreturn]] void failAt(const std::string& file, std::string_view unit, size_t number,
                         std::string_view what) {
  throw EImportError(file + ", " + std::string(unit) + " " + std::to_string(number) + ": " +
                     std::string(what));
}

uint64_t readBigEndian(std::string_view bytes, size_t pos, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    value = value << 8 | static_cast<unsigned char>(bytes[pos + i]);
  }
  return value;
}

std::string_view trimLine(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<uint64_t> parseCount(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

struct Ifo {
  std::string bookname;
  std::string description;
  std::string author;
  std::string website;
  std::optional<uint64_t> wordcount;
  int offsetBits = 32;
  std::string sameTypeSequence;
};

// The description is one line of loose HTML: "<br>" in its forms breaks it, entities stand for
// characters; it ends up plain text.
std::string descriptionText(std::string_view raw) {
  std::string text;
  size_t pos = 0;
  while (pos < raw.size()) {
    if (raw[pos] == '<') {
      size_t i = pos + 1;
      if (i + 1 < raw.size() && (raw[i] == 'b' || raw[i] == 'B') &&
          (raw[i + 1] == 'r' || raw[i + 1] == 'R')) {
        i += 2;
        while (i < raw.size() && (raw[i] == ' ' || raw[i] == '/')) {
          ++i;
        }
        if (i < raw.size() && raw[i] == '>') {
          text += '\n';
          pos = i + 1;
          continue;
        }
      }
    }
    text += raw[pos++];
  }
  return detail::decodeEntities(text);
}

Ifo parseIfo(std::string_view bytes, const FileNames& names) {
  std::string_view rest = stripUtf8Bom(bytes);
  Ifo ifo;
  size_t lineNumber = 0;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = trimLine(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    ++lineNumber;
    if (lineNumber == 1) {
      if (line != kIfoMagic) {
        fail(names.ifo, "not a StarDict description: the first line is not \"" +
                            std::string(kIfoMagic) + "\"");
      }
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = trimLine(line.substr(0, equals));
    const std::string_view value = trimLine(line.substr(equals + 1));
    if (key == "bookname") {
      ifo.bookname = repairUtf8(value);
    } else if (key == "description") {
      ifo.description = repairUtf8(descriptionText(value));
    } else if (key == "author") {
      ifo.author = repairUtf8(value);
    } else if (key == "website") {
      ifo.website = repairUtf8(value);
    } else if (key == "wordcount") {
      // Only a hint: the .idx itself says how many words there are.
      ifo.wordcount = parseCount(value);
    } else if (key == "idxoffsetbits") {
      if (value != "32" && value != "64") {
        failAt(names.ifo, "line", lineNumber, "idxoffsetbits is neither 32 nor 64");
      }
      ifo.offsetBits = value == "64" ? 64 : 32;
    } else if (key == "sametypesequence") {
      for (char c : value) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
          failAt(names.ifo, "line", lineNumber, "sametypesequence holds a type that is no letter");
        }
      }
      ifo.sameTypeSequence = std::string(value);
    }
  }
  if (lineNumber == 0) fail(names.ifo, "the file is empty");
  return ifo;
}

struct IdxEntry {
  std::string_view word;
  uint64_t offset = 0;
  uint64_t size = 0;
};

enum class IdxLayout {
  kOffset32,
  kOffset64,
  // What Debian 12's dictd2dic writes: both numbers as 8-byte fields holding htonl() of the
  // value in a little-endian long, so each is 4 big-endian bytes followed by 4 zero bytes,
  // while the .ifo still says idxoffsetbits=32.
  kWideHtonl,
};

std::vector<IdxEntry> walkIdx(std::string_view idx, IdxLayout layout, size_t dictSize,
                              const FileNames& names) {
  const size_t offsetWidth = layout == IdxLayout::kOffset32 ? 4 : 8;
  const size_t sizeWidth = layout == IdxLayout::kWideHtonl ? 8 : 4;
  std::vector<IdxEntry> entries;
  size_t pos = 0;
  while (pos < idx.size()) {
    const size_t number = entries.size() + 1;
    const size_t nul = idx.find('\0', pos);
    if (nul == std::string_view::npos) {
      failAt(names.idx, "entry", number, "the word has no terminating NUL");
    }
    IdxEntry entry;
    entry.word = idx.substr(pos, nul - pos);
    pos = nul + 1;
    if (idx.size() - pos < offsetWidth + sizeWidth) {
      failAt(names.idx, "entry", number, "the entry is cut short after its word");
    }
    if (layout == IdxLayout::kWideHtonl) {
      if (readBigEndian(idx, pos + 4, 4) != 0 || readBigEndian(idx, pos + 12, 4) != 0) {
        failAt(names.idx, "entry", number, "the entry does not have the dictd2dic layout");
      }
      entry.offset = readBigEndian(idx, pos, 4);
      entry.size = readBigEndian(idx, pos + 8, 4);
    } else {
      entry.offset = readBigEndian(idx, pos, offsetWidth);
      entry.size = readBigEndian(idx, pos + offsetWidth, 4);
    }
    pos += offsetWidth + sizeWidth;
    if (entry.offset > dictSize || entry.size > dictSize - entry.offset) {
      failAt(names.idx, "entry", number, "the article lies beyond the end of " + names.dict);
    }
    entries.push_back(entry);
  }
  return entries;
}

// The 32-bit layout unless it breaks or contradicts the word count where dictd2dic's layout
// fits and agrees; then the broken layout, which no correct file can look like by accident.
std::vector<IdxEntry> readIdx(std::string_view idx, const Ifo& ifo, size_t dictSize,
                              const FileNames& names) {
  if (ifo.offsetBits == 64) return walkIdx(idx, IdxLayout::kOffset64, dictSize, names);
  std::optional<std::vector<IdxEntry>> regular;
  std::optional<EImportError> regularError;
  try {
    regular = walkIdx(idx, IdxLayout::kOffset32, dictSize, names);
  } catch (const EImportError& e) {
    regularError = e;
  }
  if (regular && (!ifo.wordcount || regular->size() == *ifo.wordcount)) return std::move(*regular);
  try {
    std::vector<IdxEntry> wide = walkIdx(idx, IdxLayout::kWideHtonl, dictSize, names);
    if (!regular || (ifo.wordcount && wide.size() == *ifo.wordcount)) return wide;
  } catch (const EImportError&) {
  }
  if (regular) return std::move(*regular);
  throw *regularError;
}

struct Synonym {
  std::string_view word;
  size_t target = 0;
};

std::vector<Synonym> readSyn(std::string_view syn, size_t idxEntries, const FileNames& names) {
  std::vector<Synonym> synonyms;
  size_t pos = 0;
  while (pos < syn.size()) {
    const size_t number = synonyms.size() + 1;
    const size_t nul = syn.find('\0', pos);
    if (nul == std::string_view::npos) {
      failAt(names.syn, "entry", number, "the synonym has no terminating NUL");
    }
    Synonym synonym;
    synonym.word = syn.substr(pos, nul - pos);
    pos = nul + 1;
    if (syn.size() - pos < 4) {
      failAt(names.syn, "entry", number, "the entry is cut short after its synonym");
    }
    const uint64_t target = readBigEndian(syn, pos, 4);
    pos += 4;
    if (target >= idxEntries) {
      failAt(names.syn, "entry", number,
             "the synonym leads to word " + std::to_string(target) + " (from 0), but " + names.idx +
                 " has " + std::to_string(idxEntries));
    }
    synonym.target = static_cast<size_t>(target);
    synonyms.push_back(synonym);
  }
  return synonyms;
}

struct Field {
  char type = 0;
  std::string_view data;
};

bool isBinaryType(char type) {
  return type >= 'A' && type <= 'Z';
}

std::vector<Field> splitFields(std::string_view data, const std::string& sameTypeSequence,
                               const FileNames& names, size_t entryNumber) {
  std::vector<Field> fields;
  size_t pos = 0;
  const auto takeField = [&](char type, bool last) {
    Field field{type, {}};
    if (last) {
      field.data = data.substr(pos);
      pos = data.size();
    } else if (isBinaryType(type)) {
      if (data.size() - pos < 4) {
        failAt(names.dict, "entry", entryNumber,
               std::string("the size of field '") + type + "' is cut short");
      }
      const uint64_t size = readBigEndian(data, pos, 4);
      pos += 4;
      if (size > data.size() - pos) {
        failAt(names.dict, "entry", entryNumber,
               std::string("field '") + type + "' runs past the end of the article");
      }
      field.data = data.substr(pos, static_cast<size_t>(size));
      pos += static_cast<size_t>(size);
    } else {
      const size_t nul = data.find('\0', pos);
      if (nul == std::string_view::npos) {
        failAt(names.dict, "entry", entryNumber,
               std::string("field '") + type + "' has no terminating NUL");
      }
      field.data = data.substr(pos, nul - pos);
      pos = nul + 1;
    }
    fields.push_back(field);
  };
  if (!sameTypeSequence.empty()) {
    for (size_t i = 0; i < sameTypeSequence.size(); ++i) {
      takeField(sameTypeSequence[i], i + 1 == sameTypeSequence.size());
    }
  } else {
    while (pos < data.size()) {
      const char type = data[pos++];
      takeField(type, false);
    }
  }
  return fields;
}

std::string_view trimTrailingBreaks(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                           text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

// A text field as valid UTF-8 without the control characters some converters leave in (a NUL
// that ends the last field anyway, say); tabs and line breaks stay for the conversions.
std::string fieldText(std::string_view data) {
  std::string text = repairUtf8(data);
  std::erase_if(text, [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F;
  });
  return text;
}

// The article fragment of one field; empty for a part the package cannot hold, which is
// counted.
std::string fieldToHtml(const Field& field, size_t& mediaLeftOut) {
  switch (field.type) {
    case 'm':
    case 't':
    case 'y':
    case 'l':
      return plainTextToHtml(trimTrailingBreaks(fieldText(field.data)));
    case 'g':
      return detail::sanitizeMarkup(trimTrailingBreaks(fieldText(field.data)), true, mediaLeftOut);
    case 'h':
      return detail::sanitizeMarkup(fieldText(field.data), false, mediaLeftOut);
    case 'x':
      return detail::xdxfToHtml(trimTrailingBreaks(fieldText(field.data)), mediaLeftOut);
    default:
      ++mediaLeftOut;
      return {};
  }
}

std::string articleHtml(std::string_view data, const std::string& sameTypeSequence,
                        const FileNames& names, size_t entryNumber, size_t& mediaLeftOut) {
  std::string article;
  for (const Field& field : splitFields(data, sameTypeSequence, names, entryNumber)) {
    std::string html = fieldToHtml(field, mediaLeftOut);
    if (trimLine(html).empty()) continue;
    if (!article.empty()) article += '\n';
    article += html;
  }
  return article;
}

// A headword as the package wants it: valid UTF-8 without control characters or outer blanks.
std::string cleanHeadword(std::string_view word) {
  std::string text = repairUtf8(word);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return std::string(trimLine(text));
}

struct RangeKey {
  uint64_t offset;
  uint64_t size;
  bool operator==(const RangeKey&) const = default;
};

struct RangeKeyHash {
  size_t operator()(const RangeKey& key) const {
    // splitmix64's finaliser, so that offsets in steps of a page do not share buckets.
    uint64_t x = key.offset * 0x9E3779B97F4A7C15ull ^ key.size;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<size_t>(x ^ (x >> 31));
  }
};

}  // namespace

DictionarySource readStarDict(const std::filesystem::path& ifoFile) {
  const std::string ifo = readSourceFile(ifoFile);
  std::filesystem::path base = ifoFile;
  base.replace_extension();
  const std::string name = displayName(base);
  const auto idxFile = findCompanion(base, {".idx", ".idx.gz"});
  if (!idxFile) {
    fail(name + ".ifo", "neither " + name + ".idx nor " + name + ".idx.gz is beside it");
  }
  const auto dictFile = findCompanion(base, {".dict", ".dict.dz"});
  if (!dictFile) {
    fail(name + ".ifo", "neither " + name + ".dict nor " + name + ".dict.dz is beside it");
  }
  const auto synFile = findCompanion(base, {".syn"});
  const std::string idx = readMaybeCompressed(*idxFile);
  const std::string articles = readMaybeCompressed(*dictFile);
  const std::string syn = synFile ? readSourceFile(*synFile) : std::string();
  return parseStarDict(ifo, idx, articles, syn, name);
}

DictionarySource parseStarDict(std::string_view ifoBytes, std::string_view idxBytes,
                               std::string_view articles, std::string_view synBytes,
                               std::string_view sourceName) {
  const FileNames names(sourceName);
  const Ifo ifo = parseIfo(ifoBytes, names);

  DictionarySource source;
  source.title = ifo.bookname;
  source.description = ifo.description;
  if (!ifo.author.empty()) {
    if (!source.description.empty()) source.description += '\n';
    source.description += "Author: " + ifo.author;
  }
  if (!ifo.website.empty()) {
    if (!source.description.empty()) source.description += '\n';
    source.description += "Website: " + ifo.website;
  }

  const std::vector<IdxEntry> idx = readIdx(idxBytes, ifo, articles.size(), names);
  const std::vector<Synonym> synonyms = readSyn(synBytes, idx.size(), names);

  // Which article each .idx entry shares, and the first entry of each, which names it in
  // messages.
  std::unordered_map<RangeKey, size_t, RangeKeyHash> articleOfRange;
  std::vector<size_t> articleOfEntry(idx.size());
  std::vector<size_t> firstEntry;
  uint64_t bytesToRead = 0;
  for (size_t i = 0; i < idx.size(); ++i) {
    const auto [it, added] =
        articleOfRange.try_emplace(RangeKey{idx[i].offset, idx[i].size}, firstEntry.size());
    if (added) {
      bytesToRead += idx[i].size;
      if (bytesToRead > kMaxDictPasses * std::max<uint64_t>(articles.size(), 1)) {
        failAt(names.idx, "entry", i + 1,
               "the articles overlap so much that they would read " + names.dict + " over " +
                   std::to_string(kMaxDictPasses) + " times");
      }
      firstEntry.push_back(i);
    }
    articleOfEntry[i] = it->second;
  }

  std::vector<SourceEntry> entries(firstEntry.size());
  for (size_t a = 0; a < firstEntry.size(); ++a) {
    const IdxEntry& first = idx[firstEntry[a]];
    entries[a].article = articleHtml(
        articles.substr(static_cast<size_t>(first.offset), static_cast<size_t>(first.size)),
        ifo.sameTypeSequence, names, firstEntry[a] + 1, source.mediaLeftOut);
  }

  // One headword twice under an article (a synonym that repeats its word) would be listed twice.
  std::unordered_set<std::string> seen;
  const auto addHeadword = [&](size_t article, std::string_view raw) {
    std::string word = cleanHeadword(raw);
    if (word.empty()) return;
    std::string key = std::to_string(article) + '\0' + word;
    if (!seen.insert(std::move(key)).second) return;
    entries[article].headwords.push_back(std::move(word));
  };
  for (size_t i = 0; i < idx.size(); ++i) {
    addHeadword(articleOfEntry[i], idx[i].word);
  }
  for (const Synonym& synonym : synonyms) {
    addHeadword(articleOfEntry[synonym.target], synonym.word);
  }

  for (SourceEntry& entry : entries) {
    if (entry.headwords.empty() || entry.article.empty()) continue;
    source.entries.push_back(std::move(entry));
  }
  return source;
}

}  // namespace verbalon::import
