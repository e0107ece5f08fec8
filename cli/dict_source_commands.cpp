#include "cli/dict_source_commands.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "cli/app_folder.h"
#include "cli/local_files.h"
#include "cli/terminal_progress.h"
#include "common/cp1251.h"
#include "import/dictionary_source.h"
#include "import/importer.h"
#include "import/package_writer.h"

// A dictionary source file is UTF-8 text in three sections, each opened by a line of its own:
//
//   [dict.ini]      settings lines, stored as they stand in "~dict.ini"
//   [info]          free text, stored as "~info.dat" (trailing blank lines dropped)
//   [entries]       one entry per line: headword, a tab, the article (the rest of the line)
//
// Blank lines among the entries are skipped. Lines may end in LF or CR LF; the package's
// streams get CR LF. Articles are stored, in source order, by the importer's package writer.
namespace verbalon::cli {
namespace {

namespace fs = std::filesystem;

// Length of the UTF-8 sequence that begins with lead (1 for a stray byte, which then fails the
// round trip below).
size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// The Windows-1251 form of one source line; a character without one is refused by name.
std::string toWindows1251(std::string_view utf8, const std::string& where) {
  std::string result = cp1251::fromUtf8(utf8);
  if (cp1251::toUtf8(result) == utf8) return result;
  for (size_t i = 0; i < utf8.size();) {
    const size_t length =
        std::min(sequenceLength(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
    const std::string_view character = utf8.substr(i, length);
    if (cp1251::toUtf8(cp1251::fromUtf8(character)) != character) {
      throw EToolError(where + ": the character \"" + std::string(character) +
                       "\" has no Windows-1251 form");
    }
    i += length;
  }
  throw EToolError(where + ": the text is not valid UTF-8");
}

struct DictSource {
  std::string ini;                                           // Windows-1251, CR LF after every line
  std::string info;                                          // Windows-1251, CR LF after every line
  std::vector<std::pair<std::string, std::string>> entries;  // headword, article (Windows-1251)
};

DictSource parseSource(const fs::path& path) {
  std::string text = readLocalFile(path);
  // Editors on some systems begin UTF-8 text with a byte-order mark.
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  enum class Section { None, Ini, Info, Entries } section = Section::None;
  DictSource source;
  size_t lineNumber = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string where = path.filename().string() + ", line " + std::to_string(lineNumber);
    if (line == "[dict.ini]") {
      section = Section::Ini;
    } else if (line == "[info]") {
      section = Section::Info;
    } else if (line == "[entries]") {
      section = Section::Entries;
    } else if (section == Section::Ini) {
      if (!line.empty()) source.ini += toWindows1251(line, where) + "\r\n";
    } else if (section == Section::Info) {
      source.info += toWindows1251(line, where) + "\r\n";
    } else if (section == Section::Entries) {
      if (line.empty()) continue;
      const size_t tab = line.find('\t');
      if (tab == std::string_view::npos || tab == 0) {
        throw EToolError(where + ": an entry is a headword, a tab and the article");
      }
      if (line.find('\r') != std::string_view::npos) {
        throw EToolError(where + ": a lone carriage return would split the article");
      }
      source.entries.emplace_back(toWindows1251(line.substr(0, tab), where),
                                  toWindows1251(line.substr(tab + 1), where));
    } else if (!line.empty()) {
      throw EToolError(where + ": text before the first section ([dict.ini], [info], [entries])");
    }
  }
  while (source.info.ends_with("\r\n\r\n")) {
    source.info.resize(source.info.size() - 2);
  }
  if (source.info == "\r\n") source.info.clear();
  if (source.entries.empty()) throw EToolError(path.string() + ": no entries");
  return source;
}

void writePackage(const DictSource& source, const fs::path& package) {
  import::PackageWriter writer(package);
  for (const auto& [headword, article] : source.entries) {
    writer.addItem(headword, writer.addArticle(article));
  }
  writer.commit(source.ini, source.info);
}

int runPackDict(const Arguments& arguments, Console&) {
  writePackage(parseSource(arguments[0]), arguments[1]);
  return kExitOk;
}

int runImport(const Arguments& arguments, Console& console) {
  const fs::path source = arguments[0];
  std::optional<import::SourceFormat> format;
  if (const std::optional<std::string> name = arguments.value("--format")) {
    format = import::formatFromName(*name);
    if (!format) throw EUsageError("unknown format " + *name + " (dictd, stardict, dsl, tab)");
  } else if (!(format = import::guessFormat(source))) {
    throw EUsageError(source.filename().string() +
                      ": the format cannot be told from the name; give it with --format");
  }
  const fs::path package = arguments.size() > 1
                               ? fs::path(arguments[1])
                               : appFolder(arguments) / "data" / import::defaultPackageName(source);
  import::ImportOptions options;
  options.title = arguments.value("--title").value_or("");
  options.shortTitle = arguments.value("--short-title").value_or("");
  options.skipUnencodable = arguments.has("--skip-unencodable");
  TerminalProgress progress(console.err, console.interactive);
  const import::ImportReport report =
      import::importDictionary(source, format, package, options, progress);
  progress.done();
  console.out << package.string() << "\n"
              << "entries: " << report.entries << "\n"
              << "headwords: " << report.headwords << "\n"
              << "merged: " << report.merged << "\n"
              << "folded: " << report.folded << "\n"
              << "skipped: " << report.skipped << "\n"
              << "media left out: " << report.mediaLeftOut << "\n"
              << "item streams: " << report.itemStreams << "\n";
  return kExitOk;
}

}  // namespace

std::vector<Command> dictSourceCommands() {
  return {
      {"pack-dict",
       "pack-dict SOURCE PACKAGE",
       "Make a dictionary package from a source file",
       "Creates PACKAGE, which must not exist, from SOURCE, a UTF-8 text in three sections,\n"
       "each opened by a line of its own:\n"
       "  [dict.ini]  settings lines (Title=..., ShortTitle=..., viewcontrol=MEMO or LIST,\n"
       "              RowDelimiter=..., FormDelimiter=..., ItemDelimiter=...)\n"
       "  [info]      free text about the dictionary\n"
       "  [entries]   one entry per line: the headword, a tab, the article\n"
       "Blank entry lines are skipped. Texts are stored in Windows-1251; a character it cannot\n"
       "hold is an error naming the line. Articles go, in source order, into the item streams\n"
       "a\\1, a\\2, ... of at most 500 articles and 64 KiB each.",
       {},
       2,
       runPackDict},
      {"import",
       "import [--format F] [--title T] [--short-title S] [--skip-unencodable] SOURCE [PACKAGE]"
       "   [--app FOLDER]",
       "Make a dictionary package from a dictd, StarDict, DSL or tab-separated source",
       "Reads SOURCE and writes the dictionary package PACKAGE, which must not exist; by default\n"
       "the source's base name with \".brd\" in the data folder of the application folder\n"
       "(--app, or the tool's own folder), ready to install.\n"
       "  --format F          dictd (SOURCE is NAME.index, with NAME.dict or NAME.dict.dz),\n"
       "                      stardict (NAME.ifo, with .idx, .dict[.dz] and an optional .syn),\n"
       "                      dsl (NAME.dsl or NAME.dsl.dz), tab (headword, tab, article);\n"
       "                      guessed from the name when not given\n"
       "  --title T           the dictionary's title instead of the source's own\n"
       "  --short-title S     the short title shown above its articles (default: the title)\n"
       "  --skip-unencodable  leave out headwords that Windows-1251 cannot hold, instead of\n"
       "                      folding them to the nearest letters (é -> e, ß -> ss)\n"
       "Articles of one headword are joined into one. Prints the counts at the end; on any\n"
       "error no package is left behind.",
       {"--format=", "--title=", "--short-title=", "--skip-unencodable", "--app="},
       1,
       runImport,
       1},
  };
}

}  // namespace verbalon::cli
