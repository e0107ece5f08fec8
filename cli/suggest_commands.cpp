#include "cli/suggest_commands.h"

#include <filesystem>
#include <string>

#include "cli/app_folder.h"
#include "common/cp1251.h"
#include "storage/storage.h"
#include "suggest/dictionary_forms.h"
#include "suggest/sorted_near_spellings.h"
#include "suggest/suggestions.h"
#include "suggest/wildcard.h"

namespace verbalon::cli {

size_t printSuggestions(const suggest::WordLines& words, const std::string& typed,
                        suggest::DictionaryForms* forms, Console& console) {
  const suggest::SortedNearSpellings nearSpellings(words);
  const suggest::Suggestions found =
      suggest::suggestFor(typed, words, {nullptr, forms, &nearSpellings, true});
  for (const suggest::Suggestion& s : found.items) {
    console.out << cp1251::toUtf8(words[s.position]) << "\t" << suggest::sourceTag(s.source)
                << "\n";
  }
  if (found.cut) {
    console.err << "vrbx-tool: more words match; the first " << suggest::kWildcardLimit
                << " are shown\n";
  }
  return found.items.size();
}

namespace {

int runSuggest(const Arguments& arguments, Console& console) {
  // Only the word list is needed, so the packages of "data/" stay closed, and the resource
  // package is opened read-only, as the other commands that only read open it.
  const storage::CompoundFile stgRes =
      storage::CompoundFile::open(appFolder(arguments) / "vrbx.pde", storage::Access::ReadOnly);
  storage::MemoryStream ReadBuf;
  const StringList slWord = storage::readLines(stgRes, "items.dat", ReadBuf);
  suggest::DictionaryForms forms;
  printSuggestions(suggest::WordLines(slWord), cp1251::fromUtf8(arguments[0]), &forms, console);
  return kExitOk;
}

}  // namespace

std::vector<Command> suggestCommands() {
  static const std::string help =
      "Prints what the filter tab offers for WORD, whether or not words begin with it: one\n"
      "suggestion per line, the word, a tab and its source, in this order:\n"
      "  dictionary-form  a dictionary form that Hunspell gives (\"домами\" -> \"дом\"), from\n"
      "                   the ru_RU and en_US dictionaries of " +
      std::string(suggest::kSystemHunspellFolder) +
      "\n"
      "  other-layout     the words that begin with WORD typed in the other keyboard layout\n"
      "                   (\"ljv\" -> \"дом\")\n"
      "  near-spelling    up to 20 words one edit away (WORD of 3 to 5 letters) or two\n"
      "                   (longer), case ignored and \"ё\" as \"е\"; nearest first\n"
      "A WORD with \"*\" (any run) or \"?\" (one character) is a pattern instead, matching whole\n"
      "words: \"wildcard\", at most " +
      std::to_string(suggest::kWildcardLimit) +
      " (a note on standard error when cut).\n"
      "--app FOLDER  the application folder, holding \"vrbx.pde\"; by default the folder of\n"
      "              vrbx-tool itself.";
  return {
      {"suggest",
       "suggest [--app FOLDER] WORD",
       "List the indexed words that WORD probably meant",
       help,
       {"--app="},
       1,
       runSuggest},
  };
}

}  // namespace verbalon::cli
