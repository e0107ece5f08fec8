// DSL is the text source of Lingvo dictionaries. What this reader takes from it:
//
// - Encoding: UTF-16 (little- or big-endian) with a byte-order mark, UTF-8 with or without one,
//   or a single-byte code page named by a #CODEPAGE or #SOURCE_CODE_PAGE header ("Cyrillic" is
//   Windows-1251, anything else is read as Latin-1). Without a mark, UTF-16 shows itself by the
//   NUL halves of its ASCII characters, UTF-8 by being valid, and what is neither is read as
//   Windows-1251 unless a header says otherwise.
// - Headers: lines starting with "#" at the top, `#NAME "value"`; #NAME, #INDEX_LANGUAGE and
//   #CONTENTS_LANGUAGE are used, the rest (#INCLUDE among them) is ignored.
// - Cards: one or more headword lines (starting in the first column) and the body lines after
//   them (starting with a blank or a tab). A blank line ends a card; body lines with no headword
//   before them and headwords with no body are skipped.
// - Headwords: "{...}" is shown but not indexed, "(...)" is optional (the card is found with
//   and without it), "\" takes the next character literally.
// - Bodies: markup in square brackets ([b], [c red], [m1], [p], [trn], [ref] ...), "<<word>>"
//   links, "{{...}}" comments, "~" for the headword, "\" escapes; a line starting with "@"
//   opens a sub-entry, shown here as a plain line. detail/dsl_markup.h turns a body into HTML.
//
// The abbreviations of [p] come from NAME_abrv.dsl, a DSL source of its own whose cards have an
// abbreviation as headword and its expansion as body.
#include "import/dsl_reader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/cp1251.h"
#include "import/detail/dsl_headword.h"
#include "import/detail/dsl_markup.h"
#include "import/import_error.h"
#include "import/source_files.h"
#include "import/source_text.h"

namespace verbalon::import {
namespace {

using detail::collapseBlanks;
using detail::DslAbbreviations;
using detail::DslArticleBuilder;

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

// Whether line is the header name ("#NAME"), not one whose name merely starts the same.
bool isHeader(std::string_view line, std::string_view name) {
  if (!startsWithIgnoringCase(line, name)) return false;
  return line.size() == name.size() || line[name.size()] == ' ' || line[name.size()] == '\t' ||
         line[name.size()] == '"';
}

bool isBlankLine(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

// Splits text into lines at LF, CR LF or CR, counting them from 1.
class LineSplitter {
 public:
  explicit LineSplitter(std::string_view text) : m_text(text) {}

  bool next(std::string_view& line) {
    if (m_pos >= m_text.size()) return false;
    const size_t end = m_text.find_first_of("\r\n", m_pos);
    const size_t stop = end == std::string_view::npos ? m_text.size() : end;
    line = m_text.substr(m_pos, stop - m_pos);
    m_pos = stop;
    if (m_pos < m_text.size()) {
      if (m_text[m_pos] == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n') ++m_pos;
      ++m_pos;
    }
    ++m_number;
    return true;
  }
  size_t number() const { return m_number; }
  size_t offset() const { return m_pos; }

 private:
  std::string_view m_text;
  size_t m_pos = 0;
  size_t m_number = 0;
};

// The value of a header line ("#NAME "English"" -> English): between its first and its last
// double quote, or everything after the name when it has no quotes.
std::string_view headerValue(std::string_view line) {
  const size_t blank = line.find_first_of(" \t");
  if (blank == std::string_view::npos) return {};
  std::string_view value = line.substr(blank);
  const size_t open = value.find('"');
  const size_t close = value.rfind('"');
  if (open != std::string_view::npos && close > open) {
    value = value.substr(open + 1, close - open - 1);
  } else if (open != std::string_view::npos) {
    value = value.substr(open + 1);
  }
  const size_t first = value.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

// The code page the headers name, read from the raw bytes: a single-byte source spells its
// headers in ASCII.
std::string declaredCodePage(std::string_view bytes) {
  LineSplitter lines(bytes);
  std::string_view line;
  while (lines.next(line)) {
    if (isBlankLine(line)) continue;
    if (!line.starts_with('#')) break;
    if (isHeader(line, "#CODEPAGE") || isHeader(line, "#SOURCE_CODE_PAGE")) {
      return std::string(headerValue(line));
    }
  }
  return {};
}

// The byte order of UTF-16 without a byte-order mark, told by where the NUL bytes fall in the
// first kilobyte: the high halves of ASCII characters, which headers and markup are made of.
std::optional<bool> utf16ByteOrder(std::string_view bytes) {
  const size_t pairs = std::min<size_t>(bytes.size(), 1024) / 2;
  if (pairs < 2) return std::nullopt;
  size_t evenNuls = 0;
  size_t oddNuls = 0;
  for (size_t i = 0; i < pairs; ++i) {
    evenNuls += bytes[2 * i] == '\0' ? 1u : 0u;
    oddNuls += bytes[2 * i + 1] == '\0' ? 1u : 0u;
  }
  // Text in a single-byte code page or UTF-8 has no NULs at all; a few on one side only, and
  // a quarter of the characters at least, are UTF-16.
  if (oddNuls >= 2 && oddNuls * 4 >= pairs && evenNuls * 8 <= oddNuls) return false;
  if (evenNuls >= 2 && evenNuls * 4 >= pairs && oddNuls * 8 <= evenNuls) return true;
  return std::nullopt;
}

size_t lineNumberAt(std::string_view text, size_t pos) {
  LineSplitter lines(text.substr(0, pos));
  std::string_view line;
  while (lines.next(line)) {
  }
  // A position right after a line end starts the next line.
  const bool atLineStart = pos == 0 || text[pos - 1] == '\n' || text[pos - 1] == '\r';
  return lines.number() + (atLineStart ? 1 : 0);
}

// The source as UTF-8, whatever it was written in. Raises EImportError when it is no text.
std::string decodeText(std::string_view bytes, std::string_view name) {
  const std::string where(name);
  if (bytes.starts_with("\x1F\x8B")) {
    throw EImportError(where + ": the file is gzip-compressed; name it .dsl.dz to import it");
  }
  std::string text;
  if (bytes.starts_with("\xFF\xFE")) {
    text = utf8FromUtf16(bytes.substr(2), false);
  } else if (bytes.starts_with("\xFE\xFF")) {
    text = utf8FromUtf16(bytes.substr(2), true);
  } else if (bytes.starts_with("\xEF\xBB\xBF")) {
    text = repairUtf8(bytes.substr(3));
  } else if (const std::optional<bool> bigEndian = utf16ByteOrder(bytes)) {
    text = utf8FromUtf16(bytes, *bigEndian);
  } else if (isValidUtf8(bytes)) {
    text = bytes;
  } else {
    const std::string codePage = declaredCodePage(bytes);
    if (codePage.empty() || startsWithIgnoringCase(codePage, "CYRILLIC")) {
      text = cp1251::toUtf8(bytes);
    } else {
      text = utf8FromLatin1(bytes);
    }
  }
  // Some editors end a file with NUL characters; anywhere else a NUL means the bytes were not
  // text in the encoding they were taken for, and reading on would misread the whole source.
  while (!text.empty() && text.back() == '\0') {
    text.pop_back();
  }
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    throw EImportError(where + ", line " + std::to_string(lineNumberAt(text, nul)) +
                       ": a NUL character; the file is not DSL text");
  }
  return text;
}

struct Card {
  std::vector<std::string_view> headwordLines;
  std::vector<std::string_view> bodyLines;
  size_t bytes = 0;

  void clear() {
    headwordLines.clear();
    bodyLines.clear();
    bytes = 0;
  }
};

// Walks the cards of a decoded source: calls handle(card) for each card that has both
// headwords and a body, and fills the headers it meets at the top.
struct Headers {
  std::string name;
  std::string indexLanguage;
  std::string contentsLanguage;
};

template <typename Handler>
void forEachCard(std::string_view text, Headers& headers, Handler handle) {
  LineSplitter lines(text);
  std::string_view line;
  Card card;
  bool inHeaders = true;
  const auto finish = [&] {
    if (!card.headwordLines.empty() && !card.bodyLines.empty()) handle(card);
    card.clear();
  };
  while (lines.next(line)) {
    if (inHeaders) {
      if (isBlankLine(line)) continue;
      if (line.starts_with('#')) {
        const std::string value = collapseBlanks(headerValue(line));
        if (isHeader(line, "#NAME")) headers.name = value;
        if (isHeader(line, "#INDEX_LANGUAGE")) headers.indexLanguage = value;
        if (isHeader(line, "#CONTENTS_LANGUAGE")) headers.contentsLanguage = value;
        continue;
      }
      inHeaders = false;
    }
    if (isBlankLine(line)) {
      finish();
      continue;
    }
    if (line.front() == ' ' || line.front() == '\t') {
      // A body with no headword before it belongs to no card.
      if (card.headwordLines.empty()) continue;
      card.bodyLines.push_back(line);
    } else {
      // Late header lines are ignored, as Lingvo does.
      if (line.front() == '#') continue;
      if (!card.bodyLines.empty()) finish();
      card.headwordLines.push_back(line);
    }
    card.bytes += line.size() + 1;
  }
  finish();
}

// A body line without its indent, and without the "@" that opens a sub-entry.
std::string_view bodyText(std::string_view line) {
  const auto dropBlanks = [](std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
  };
  line = dropBlanks(line);
  if (line.starts_with('@')) line = dropBlanks(line.substr(1));
  return line;
}

DslAbbreviations parseAbbreviations(std::string_view bytes, std::string_view name) {
  DslAbbreviations abbreviations;
  if (bytes.empty()) return abbreviations;
  const std::string text = decodeText(bytes, name);
  Headers headers;
  forEachCard(text, headers, [&](const Card& card) {
    std::string expansion;
    for (std::string_view line : card.bodyLines) {
      const std::string plain = detail::dslPlainText(bodyText(line));
      if (plain.empty()) continue;
      if (!expansion.empty()) expansion += ' ';
      expansion += plain;
    }
    if (expansion.empty()) return;
    for (std::string_view line : card.headwordLines) {
      for (std::string& key : detail::parseDslHeadword(line).variants) {
        abbreviations.emplace(std::move(key), expansion);
      }
    }
  });
  return abbreviations;
}

// "en-ru.dsl" -> "en-ru_abrv.dsl", for messages about the abbreviations.
std::string abbreviationFileName(std::string_view sourceName) {
  for (std::string_view suffix : {".DSL.DZ", ".DSL"}) {
    if (sourceName.size() > suffix.size() &&
        startsWithIgnoringCase(sourceName.substr(sourceName.size() - suffix.size()), suffix)) {
      return std::string(sourceName.substr(0, sourceName.size() - suffix.size())) + "_abrv.dsl";
    }
  }
  return std::string(sourceName) + " (abbreviations)";
}

}  // namespace

DictionarySource parseDsl(std::string_view bytes, std::string_view abbreviations,
                          std::string_view sourceName) {
  const std::string text = decodeText(bytes, sourceName);
  const DslAbbreviations expansions =
      parseAbbreviations(abbreviations, abbreviationFileName(sourceName));

  DictionarySource source;
  Headers headers;
  DslArticleBuilder builder(expansions);
  std::unordered_set<std::string> seen;
  forEachCard(text, headers, [&](const Card& card) {
    SourceEntry entry;
    seen.clear();
    std::string tilde;
    for (std::string_view line : card.headwordLines) {
      detail::DslHeadword headword = detail::parseDslHeadword(line);
      if (tilde.empty()) tilde = std::move(headword.display);
      for (std::string& variant : headword.variants) {
        if (seen.insert(variant).second) entry.headwords.push_back(std::move(variant));
      }
    }
    if (entry.headwords.empty()) return;
    builder.beginCard(tilde, card.bytes);
    for (std::string_view line : card.bodyLines) {
      const std::string_view body = bodyText(line);
      if (!body.empty()) builder.addLine(body);
    }
    entry.article = builder.finishCard();
    if (entry.article.empty()) return;
    source.entries.push_back(std::move(entry));
  });
  if (source.entries.empty()) {
    throw EImportError(std::string(sourceName) + ": no card with a headword and a body");
  }
  source.title = headers.name;
  if (!headers.indexLanguage.empty() && !headers.contentsLanguage.empty()) {
    source.description = headers.indexLanguage + " \xE2\x86\x92 " + headers.contentsLanguage;
  } else {
    source.description = headers.indexLanguage + headers.contentsLanguage;
  }
  source.mediaLeftOut = builder.mediaLeftOut();
  return source;
}

DictionarySource readDsl(const std::filesystem::path& dslFile) {
  const std::string name = displayName(dslFile);
  // The companions share the source's name without ".dsl" or ".dsl.dz".
  std::string base = dslFile.filename().string();
  for (std::string_view suffix : {".DZ", ".DSL"}) {
    if (base.size() > suffix.size() &&
        startsWithIgnoringCase(std::string_view(base).substr(base.size() - suffix.size()),
                               suffix)) {
      base.resize(base.size() - suffix.size());
    }
  }
  const std::filesystem::path stem = dslFile.parent_path() / base;
  const std::string bytes = readMaybeCompressed(dslFile);
  std::string abbreviations;
  std::filesystem::path abbreviationPath = stem;
  abbreviationPath += "_abrv";
  if (const auto file = findCompanion(abbreviationPath, {".dsl", ".dsl.dz"})) {
    abbreviations = readMaybeCompressed(*file);
  }
  DictionarySource source = parseDsl(bytes, abbreviations, name);

  // The annotation, when there is one, is the dictionary's own description.
  if (const auto file = findCompanion(stem, {".ann"})) {
    const std::string text = decodeText(readSourceFile(*file), displayName(*file));
    std::string annotation;
    LineSplitter annotationLines(text);
    std::string_view line;
    while (annotationLines.next(line)) {
      const std::string_view trimmed = cp1251::trimBlanks(line);
      if (trimmed.empty() && annotation.empty()) continue;
      annotation += trimmed;
      annotation += '\n';
    }
    while (!annotation.empty() && annotation.back() == '\n') {
      annotation.pop_back();
    }
    if (!annotation.empty()) {
      if (!source.description.empty()) source.description += '\n';
      source.description += annotation;
    }
  }
  return source;
}

}  // namespace verbalon::import
