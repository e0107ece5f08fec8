#include "import/importer.h"

#include <unordered_map>
#include <utility>
#include <vector>

#include "common/cp1251.h"
#include "common/html_escape.h"
#include "import/detail/cp1251_fold.h"
#include "import/import_error.h"
#include "import/package_writer.h"
#include "import/source_files.h"
#include "import/source_text.h"
#include "index/normalize.h"

namespace verbalon::import {
namespace {

namespace fs = std::filesystem;

// Joins the articles of one headword, so the page shows one fragment per dictionary.
constexpr std::string_view kArticleSeparator = "<hr>";

// One line of "~items.dat": a headword key, with every entry that leads to it.
struct Headword {
  std::string display;            // Windows-1251, the spelling first met
  std::string original;           // UTF-8 spelling before folding; empty when not folded
  std::vector<uint32_t> entries;  // source order
};

// A text for "~dict.ini" or "~info.dat": folded to the code page, without line breaks.
std::string settingText(std::string_view utf8) {
  std::string line;
  for (char c : utf8) {
    line += (c == '\r' || c == '\n') ? ' ' : c;
  }
  bool folded = false;
  std::optional<std::string> text = detail::foldToCp1251(line, folded);
  return text ? *text : cp1251::fromUtf8(line);
}

// The article as it stands in an item stream: Windows-1251 with character references, line
// breaks as the row delimiter, and no byte that would end the line or pose as a delimiter.
std::string storedArticle(std::string_view utf8) {
  std::string text;
  text.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\n') {
      text += kImportRowDelimiter;
    } else if (c == '\t') {
      text += ' ';
    } else if (static_cast<unsigned char>(c) < 0x20) {
      // CR and other control characters: nothing a page shows.
    } else if (c == '\xC2' && i + 1 < utf8.size() && utf8[i + 1] == '\xA6') {
      text += "&#166;";  // "¦" itself, kept apart from the delimiter
      ++i;
    } else {
      text += c;
    }
  }
  return detail::toCp1251WithReferences(text);
}

// Russian texts are written here in UTF-8 and stored in the code page.
std::string text(std::string_view utf8) {
  return cp1251::fromUtf8(utf8);
}

// The description for "~info.dat": its lines folded to the code page, CR LF between them.
std::string infoText(std::string_view description) {
  std::string info;
  size_t start = 0;
  while (start <= description.size()) {
    size_t end = description.find('\n', start);
    if (end == std::string_view::npos) end = description.size();
    if (start > 0) info += "\r\n";
    info += settingText(description.substr(start, end - start));
    start = end + 1;
  }
  while (info.ends_with("\r\n")) {
    info.resize(info.size() - 2);
  }
  return info;
}

std::string countsText(const ImportReport& report) {
  const auto line = [](std::string_view caption, size_t count) {
    return text(caption) + std::to_string(count);
  };
  return line("Статей: ", report.entries) + "\r\n" + line("Заголовков: ", report.headwords) +
         "\r\n" + line("Объединено со статьями того же слова: ", report.merged) + "\r\n" +
         line("Упрощено до букв Windows-1251: ", report.folded) + "\r\n" +
         line("Пропущено заголовков: ", report.skipped) + "\r\n" +
         line("Опущено звуков и изображений: ", report.mediaLeftOut);
}

class HeadwordTable {
 public:
  explicit HeadwordTable(const ImportOptions& options) : m_options(options) {}

  // Files one headword of entry under its key.
  void add(std::string_view utf8, uint32_t entry, ImportReport& report) {
    const std::string_view trimmed = cp1251::trimBlanks(utf8);
    if (trimmed.empty()) return;
    bool folded = false;
    std::optional<std::string> display = detail::foldToCp1251(trimmed, folded);
    if (!display || (folded && m_options.skipUnencodable) ||
        index::NormalizeWord(*display).empty()) {
      ++report.skipped;
      return;
    }
    if (folded) ++report.folded;
    std::string key = index::sortKeyOf(*display);
    const auto [it, added] = m_byKey.try_emplace(std::move(key), m_headwords.size());
    if (added) {
      m_headwords.push_back(
          {std::move(*display), folded ? std::string(trimmed) : std::string(), {entry}});
      return;
    }
    std::vector<uint32_t>& entries = m_headwords[it->second].entries;
    // Two spellings of one entry with one key ("ёлка", "елка") add nothing.
    if (entries.back() != entry) {
      entries.push_back(entry);
      ++report.merged;
    }
  }

  std::vector<Headword>& headwords() { return m_headwords; }

 private:
  const ImportOptions& m_options;
  std::unordered_map<std::string, size_t> m_byKey;
  std::vector<Headword> m_headwords;
};

}  // namespace

ImportReport writeDictionaryPackage(const DictionarySource& source, const fs::path& package,
                                    const ImportOptions& options,
                                    index::InstallProgress& progress) {
  if (source.entries.empty()) {
    throw EImportError(displayName(package) + ": the source holds no articles");
  }
  ImportReport report;
  report.entries = source.entries.size();
  report.mediaLeftOut = source.mediaLeftOut;

  const std::string title = settingText(!options.title.empty()  ? options.title
                                        : !source.title.empty() ? source.title
                                                                : package.stem().string());
  const std::string shortTitle =
      options.shortTitle.empty() ? title : settingText(options.shortTitle);

  progress.setStatus(text("Импорт словаря: ") + title);
  progress.setCounter("");
  progress.setGaugeMax(static_cast<int>(std::min<size_t>(source.entries.size(), INT32_MAX)));
  progress.setGaugeProgress(0);
  progress.showGauge();
  progress.processMessages();

  HeadwordTable table(options);
  for (size_t i = 0; i < source.entries.size(); ++i) {
    for (const std::string& headword : source.entries[i].headwords) {
      table.add(headword, static_cast<uint32_t>(i), report);
    }
  }
  std::vector<Headword>& headwords = table.headwords();
  if (headwords.empty()) {
    throw EImportError(displayName(package) + ": no headword of the source can be stored");
  }

  PackageWriter writer(package);
  // An entry that is a headword's only article is stored once, however many headwords share
  // it; joined articles get a line of their own.
  std::vector<std::string> locations(source.entries.size());
  for (size_t h = 0; h < headwords.size(); ++h) {
    Headword& headword = headwords[h];
    std::string location;
    if (headword.entries.size() == 1 && headword.original.empty()) {
      std::string& stored = locations[headword.entries.front()];
      if (stored.empty()) {
        stored = writer.addArticle(storedArticle(source.entries[headword.entries.front()].article));
      }
      location = stored;
    } else {
      std::string joined;
      if (!headword.original.empty()) joined = "<b>" + escapeHtml(headword.original) + "</b>\n";
      for (size_t k = 0; k < headword.entries.size(); ++k) {
        if (k > 0) joined += kArticleSeparator;
        joined += source.entries[headword.entries[k]].article;
      }
      location = writer.addArticle(storedArticle(joined));
    }
    writer.addItem(headword.display, location);
    if (h % 4096 == 0) {
      progress.setGaugeProgress(
          static_cast<int>(std::min<size_t>(headword.entries.front(), INT32_MAX)));
      progress.setCounter(std::to_string(h) + text(" из ") + std::to_string(headwords.size()));
      progress.processMessages();
    }
  }
  report.headwords = headwords.size();

  progress.setStatus(text("Сохранение словаря: ") + title);
  progress.processMessages();
  std::string ini = "Title=" + title + "\r\nShortTitle=" + shortTitle +
                    "\r\nviewcontrol=MEMO\r\nRowDelimiter=" + std::string(kImportRowDelimiter);
  std::string info = infoText(source.description);
  if (!info.empty()) info += "\r\n\r\n";
  info += countsText(report);
  writer.commit(ini, info);
  report.itemStreams = writer.itemStreamCount();
  progress.setGaugeProgress(static_cast<int>(std::min<size_t>(source.entries.size(), INT32_MAX)));
  progress.hideGauge();
  progress.setStatus("");
  progress.setCounter("");
  return report;
}

ImportReport importDictionary(const fs::path& source, std::optional<SourceFormat> format,
                              const fs::path& package, const ImportOptions& options,
                              index::InstallProgress& progress) {
  if (!format) format = guessFormat(source);
  if (!format) {
    throw EImportError(displayName(source) +
                       ": the format cannot be told from the name; give it with --format");
  }
  progress.setStatus(text("Чтение: ") + cp1251::fromUtf8(displayName(source)));
  progress.processMessages();
  const DictionarySource read = readSource(source, *format);
  return writeDictionaryPackage(read, package, options, progress);
}

}  // namespace verbalon::import
