#include "cli/dict_commands.h"

#include <charconv>
#include <exception>
#include <filesystem>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>

#include "article/article_page.h"
#include "article/page_resources.h"
#include "cli/app_folder.h"
#include "cli/suggest_commands.h"
#include "cli/terminal_progress.h"
#include "common/cp1251.h"
#include "common/string_list.h"
#include "dicts/dict_package.h"
#include "index/install_progress.h"
#include "index/unopened_package.h"
#include "index/word_filter.h"
#include "index/word_index.h"
#include "index/word_search.h"
#include "lookup/index_lists.h"
#include "lookup/lookup_error.h"
#include "lookup/word_counts.h"
#include "session/session.h"
#include "storage/storage.h"
#include "suggest/wildcard.h"

namespace verbalon::cli {
namespace {

namespace fs = std::filesystem;

// The session of the application folder; commands that only read share the resource package.
std::unique_ptr<session::Session> openSession(
    const Arguments& arguments, storage::Access access = storage::Access::ReadWriteExclusive) {
  session::AppLocation location = appLocation(arguments);
  auto opened = std::make_unique<session::Session>(location.appDir, access);
  opened->setSharedDataDirs(std::move(location.sharedDataDirs));
  return opened;
}

// The tool asks nobody: a listed package that cannot be opened is kept without its articles
// for the run, with one warning naming it. `remove` can then take it out like any other.
class KeepUnopened final : public index::UnopenedPackageQuestion {
 public:
  explicit KeepUnopened(std::ostream& err) : m_err(err) {}

  index::UnopenedPackageAnswer packageNotOpened(const std::string& fileName,
                                                const Error& reason) override {
    m_err << "vrbx-tool: warning: the installed dictionary " << cp1251::toUtf8(fileName)
          << " could not be opened, its articles are left out: " << reason.what() << "\n";
    return index::UnopenedPackageAnswer::kKeepForRun;
  }

 private:
  std::ostream& m_err;
};

// LoadIndex for a command: packages that cannot be opened are kept, with a warning each.
void loadIndex(session::Session& app, Console& console) {
  KeepUnopened keep(console.err);
  app.LoadIndex({&keep, nullptr});
}

// The same for a command that takes the lists from the look-up cache.
void loadDicts(session::Session& app, Console& console) {
  KeepUnopened keep(console.err);
  app.loadDicts(&keep);
}

// The package file the user named: in the data folder, or else in a shared one.
fs::path chosenPackage(const session::Session& app, const std::string& name) {
  for (const fs::path& shared : app.sharedDataDirs()) {
    std::error_code ec;
    if (!fs::exists(app.DataDir() / name, ec) && fs::exists(shared / name, ec)) {
      return shared / name;
    }
  }
  return app.DataDir() / name;
}

// A package name as the installation dialog keeps it: a file of the data folder, its ASCII
// letters in lower case.
fs::path packagePath(const session::Session& app, const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    throw EToolError("\"" + name + "\" is not the file name of a package in " +
                     app.DataDir().string());
  }
  const std::optional<std::string> installed = dicts::installedName(name);
  if (!installed) {
    throw EToolError("\"" + name + "\" has characters that Windows-1251 cannot hold");
  }
  return app.DataDir() / cp1251::toUtf8(*installed);
}

// Runs a read-only command on the word list and the index of app's resource package, taken
// through the tool's look-up cache (lookup/index_lists.h). What run prints is held back until it
// returns: should a line of the cache turn out damaged, the cache is made again from the package
// and run runs once more, with nothing printed twice.
template <typename Run>
int withIndexLists(session::Session& app, Console& console, Run run) {
  const fs::path cacheFile = lookup::cacheFileFor(app.AppDir());
  const size_t limit = app.index().storedListLimit();
  auto attempt = [&](const lookup::IndexLists& lists) {
    std::ostringstream out;
    std::ostringstream err;
    Console held{out, err, console.interactive};
    const int status = run(lists, held);
    console.out << out.str();
    console.err << err.str();
    return status;
  };
  try {
    return attempt(lookup::IndexLists::open(app.stgRes(), cacheFile, limit));
  } catch (const lookup::ELookupCacheError&) {
    return attempt(lookup::IndexLists::remake(app.stgRes(), cacheFile, limit));
  }
}

int runList(const Arguments& arguments, Console& console) {
  std::unique_ptr<session::Session> opened = openSession(arguments, storage::Access::ReadOnly);
  session::Session& app = *opened;
  const StringList names = index::WordIndex::LoadDictList(app.stgRes(), app.ReadBuf());
  lookup::WordCounts counts(lookup::wordCountFileFor(lookup::cacheFileFor(app.AppDir())));
  int status = kExitOk;
  for (size_t slot = 0; slot < names.size(); ++slot) {
    const std::string name = cp1251::toUtf8(names[slot]);
    if (name.empty()) {
      console.out << slot << "\t(removed)\n";
      continue;
    }
    try {
      const dicts::PackageLocation where =
          dicts::locatePackage(app.DataDir(), app.sharedDataDirs(), name);
      dicts::TDict package;
      dicts::OpenDictPackage(package, where.path, app.ReadBuf(), where.access);
      const std::string title = settingValue(package.IniList, "Title");
      const size_t words = counts.countOf(*package.Storage, [&] {
        // Counted in the text: the lines themselves are not needed.
        return countLines(storage::ReadStream(*package.Storage, "~items.dat", app.ReadBuf(),
                                              storage::kPackageMode, true)
                              .bytes());
      });
      dicts::FreeDict(package);
      console.out << slot << "\t" << name << "\t" << cp1251::toUtf8(title) << "\t" << words << "\n";
    } catch (const Error& e) {
      console.out << slot << "\t" << name << "\t(cannot be opened)\n";
      console.err << "vrbx-tool list: " << e.what() << "\n";
      status = kExitFailure;
    }
  }
  counts.save();
  return status;
}

int runInstall(const Arguments& arguments, Console& console) {
  std::unique_ptr<session::Session> opened = openSession(arguments);
  session::Session& app = *opened;
  loadIndex(app, console);
  const fs::path path = packagePath(app, arguments[0]);
  if (dicts::FindDict(app.index().Dicts(), path) >= 0) {
    throw EToolError(path.filename().string() + " is installed already");
  }
  TerminalProgress progress(console.err, console.interactive);
  // The file exactly as named; only the slot keeps the lower-cased name.
  app.install(chosenPackage(app, arguments[0]), progress);
  progress.done();
  console.err << path.filename().string() << " installed; the index holds "
              << app.index().slWord().size() << " words\n";
  return kExitOk;
}

int runRemove(const Arguments& arguments, Console& console) {
  std::unique_ptr<session::Session> opened = openSession(arguments);
  session::Session& app = *opened;
  loadIndex(app, console);
  const fs::path path = packagePath(app, arguments[0]);
  const int n = dicts::FindDict(app.index().Dicts(), path);
  if (n < 0) throw EToolError(path.filename().string() + " is not installed");
  TerminalProgress progress(console.err, console.interactive);
  app.remove(static_cast<size_t>(n), progress);
  progress.done();
  console.err << path.filename().string() << " removed; the index holds "
              << app.index().slWord().size() << " words\n";
  return kExitOk;
}

int runWords(const Arguments& arguments, Console& console) {
  std::unique_ptr<session::Session> opened = openSession(arguments, storage::Access::ReadOnly);
  // The packages are opened although no page is built: an index whose dictionaries do not all
  // load is refused, as the program refuses it.
  loadDicts(*opened, console);
  const std::string typed = cp1251::fromUtf8(arguments[0]);
  const std::string query = index::filterQuery(typed);
  return withIndexLists(*opened, console, [&](const lookup::IndexLists& lists, Console& out) {
    const index::TFilteredListWord found = index::filterWords(lists.words(), query);
    // Nothing begins with it, or it is a pattern: what the filter tab would offer instead.
    if (found.Words.empty() || suggest::hasWildcard(query)) {
      printSuggestions(suggest::WordLines(lists.words()), typed, nullptr, out);
      return kExitOk;
    }
    for (size_t i = 0; i < found.Words.size(); ++i) {
      const auto position = static_cast<size_t>(found.Indexes[i]);
      out.out << cp1251::toUtf8(found.Words[i]) << "\t" << cp1251::toUtf8(lists.entries()[position])
              << "\n";
    }
    return kExitOk;
  });
}

// The value of a numeric option, or fallback when it is not given.
template <typename Number>
Number numberOption(const Arguments& arguments, std::string_view option, Number fallback) {
  const std::optional<std::string> text = arguments.value(option);
  if (!text) return fallback;
  Number value{};
  const char* end = text->data() + text->size();
  const auto [stop, ec] = std::from_chars(text->data(), end, value);
  if (text->empty() || ec != std::errc() || stop != end) {
    throw EUsageError(std::string(option) + " takes a number, not \"" + *text + "\"");
  }
  return value;
}

// The page has a note in place of each dictionary whose article could not be read; the reason
// goes to the terminal.
void warnOfBrokenDictionaries(session::Session& app, Console& console) {
  for (const article::BrokenPart& part : app.takeNewlyBroken()) {
    try {
      std::rethrow_exception(part.error);
    } catch (const std::exception& e) {
      console.err << "vrbx-tool show: warning: dictionary " << part.dict
                  << " is left out of the page: " << e.what() << "\n";
    }
  }
}

int runShow(const Arguments& arguments, Console& console) {
  const int width = numberOption(arguments, "--width", 600);
  const uint64_t draws = numberOption<uint64_t>(arguments, "--advert-draws", 0);
  std::unique_ptr<session::Session> opened = openSession(arguments, storage::Access::ReadOnly);
  session::Session& app = *opened;
  // The word list and the index come from the look-up cache; only the packages open here.
  loadDicts(app, console);
  const std::string typed = cp1251::fromUtf8(arguments[0]);
  return withIndexLists(app, console, [&](const lookup::IndexLists& lists, Console& out) {
    if (const std::optional<size_t> w = index::findWordLine(lists.words(), typed)) {
      // Both lines are read before the draw moves on, so that a second run starts it alike.
      const std::string_view entry = lists.entries()[*w];
      const std::string_view headword = lists.words()[*w];
      app.advert().skipDraws(draws);
      const std::string page = app.page(entry, headword, width, false);
      out.out << (arguments.has("--raw") ? page : cp1251::toUtf8(page));
      warnOfBrokenDictionaries(app, out);
      return kExitOk;
    }
    out.err << "vrbx-tool show: \"" << arguments[0] << "\" is not in the index\n";
    printSuggestions(suggest::WordLines(lists.words()), typed, nullptr, out);
    return kExitFailure;
  });
}

}  // namespace

std::vector<Command> dictCommands() {
  static const std::string listHelp =
      "Prints one line per slot of the installed dictionaries: the dictionary number, the\n"
      "package's file name, its title and its number of words, separated by tabs. A removed\n"
      "dictionary whose number stays taken shows as \"(removed)\".\n" +
      std::string(kAppFolderHelp);
  static const std::string installHelp =
      "NAME is the file name of a package in the folder's \"data/\" (or among the packages\n"
      "installed with the program); it is kept with its ASCII letters in lower case, as the\n"
      "program keeps it. Merges the dictionary's words into the combined index and saves the\n"
      "index. On a terminal the progress shows on one line of standard error; the result\n"
      "follows there.\n" +
      std::string(kAppFolderHelp);
  static const std::string removeHelp =
      "Takes the dictionary's words out of the combined index, closes its package and saves\n"
      "the index. The package file is not needed: one that is gone or cannot be opened is\n"
      "removed all the same. On a terminal the progress shows on one line of standard error;\n"
      "the result follows there.\n" +
      std::string(kAppFolderHelp);
  static const std::string wordsHelp =
      "Prints every word of the combined index that begins with PREFIX, letter case ignored\n"
      "(\"ё\" and \"е\" differ), as the find box lists them: one per line, the word, a tab and\n"
      "its index entry (dictionary:stream:line, several joined by \"|\"). When no word begins\n"
      "with it, or PREFIX is a pattern with \"*\" or \"?\", prints what `suggest` prints but\n"
      "the dictionary forms (Hunspell's dictionaries would take longer to load than the rest).\n" +
      std::string(kAppFolderHelp);
  static const std::string showHelp =
      "Prints the article page of the indexed word whose key equals WORD's key (letter case,\n"
      "\"ё\" against \"е\", hyphens, dots and spaces do not count), as the program loads it\n"
      "into the article view: the templates and advertisement records of \"vrbx.pde\", the\n"
      "article of every dictionary that knows the word. A word not in the index: a message,\n"
      "the suggestions as `suggest` prints them but the dictionary forms, and exit status 1.\n"
      "--width PIXELS      the width of the view, which sets the column count of \"LIST\"\n"
      "                    dictionaries; 600 by default.\n"
      "--advert-draws N    start the advertisement draw as if N pages had been built before.\n"
      "--raw               print the page's Windows-1251 bytes instead of UTF-8.\n" +
      std::string(kAppFolderHelp);
  return {
      {"list",
       "list [--app FOLDER]",
       "List the installed dictionaries of an application folder",
       listHelp,
       {"--app="},
       0,
       runList},
      {"install",
       "install [--app FOLDER] NAME",
       "Install a dictionary package of the data folder",
       installHelp,
       {"--app="},
       1,
       runInstall},
      {"remove",
       "remove [--app FOLDER] NAME",
       "Remove an installed dictionary",
       removeHelp,
       {"--app="},
       1,
       runRemove},
      {"words",
       "words [--app FOLDER] PREFIX",
       "List the indexed words that begin with PREFIX",
       wordsHelp,
       {"--app="},
       1,
       runWords},
      {"show",
       "show [--app FOLDER] [--width PIXELS] [--advert-draws N] [--raw] WORD",
       "Print the article page of a word",
       showHelp,
       {"--app=", "--width=", "--advert-draws=", "--raw"},
       1,
       runShow},
  };
}

}  // namespace verbalon::cli
