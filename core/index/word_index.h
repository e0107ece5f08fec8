#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/packed_lines.h"
#include "common/string_list.h"
#include "dicts/tdict.h"
#include "index/install_progress.h"
#include "index/key_list.h"
#include "index/unopened_package.h"

namespace verbalon::storage {
class CompoundFile;
class MemoryStream;
}  // namespace verbalon::storage

// The combined word index: every headword of every installed dictionary in one ordered list,
// with, for each word, where each dictionary that knows it keeps its article.
//
// It is stored as four streams at the root of the resource package "vrbx.pde", each a
// zlib-compressed Windows-1251 text with CR LF after every line and no header:
//   "items.dat"       `slWord`, one display form per line
//   "index.dat"       `slIndex`, one index entry per line (see index_entry.h)
//   "addeddicts.dat"  one line per slot of `Dicts`: its FileName, an empty line for a hole
//   "history.dat"     `slHistory`, newest first
namespace verbalon::index {

// The streams of the resource package that hold `slWord` and `slIndex`.
inline constexpr std::string_view kWordStream = "items.dat";
inline constexpr std::string_view kIndexStream = "index.dat";

// The most bytes of text that "items.dat" or "index.dat" may hold, checked before either is
// written and again when it is read, so that the program never saves an index it cannot load.
// A merged word costs about 18 bytes of "index.dat" and 12 of "items.dat" with real
// dictionaries; this leaves room for 20 million words with entries three times as long.
inline constexpr size_t kStoredListLimit = size_t{1} << 30;

// The data of the index, which the main window owns for the whole run, and the operations that
// change it. Invariants between operations:
//   - `slWord` and `slIndex` have the same number of lines; line i of both is one word.
//   - `slKey` is empty (not built yet in this run) or holds the key of every line of `slWord`.
//   - Lines ascend by key (normalize.h) and no two keys are equal; guaranteed once `slKey` is
//     built, since lists saved by another comparison are put in order then.
//   - Every part of every entry names a slot of `Dicts` that holds a dictionary, as long as the
//     stored index came from this program (dictOfPart checks it where an entry is used).
class WordIndex {
 public:
  WordIndex() = default;
  WordIndex(const WordIndex&) = delete;
  WordIndex& operator=(const WordIndex&) = delete;

  const dicts::TDicts& Dicts() const { return m_dicts; }
  const PackedLines& slWord() const { return m_word; }
  const PackedLines& slIndex() const { return m_index; }
  const KeyList& slKey() const { return m_key; }
  StringList& slHistory() { return m_history; }
  const StringList& slHistory() const { return m_history; }

  // Opens the package that the user chose, exactly the file at path, and appends it as the next
  // slot with its item lists and its name in lower case (dicts::addDictToInstall, whose
  // refusals pass on). Refused (EIndexError) after a failed LoadIndex.
  void AddDict(const std::filesystem::path& path, storage::MemoryStream& ReadBuf);
  // Appends a slot that the caller has filled (an installer that opened the package itself).
  void appendSlot(dicts::TDict dict);
  // Replaces `slWord` and `slIndex` as if loaded from a stored index, and empties `slKey`.
  // Lists of different lengths raise EIndexError and change nothing.
  void assignLists(const StringList& words, const StringList& entries);

  // Merges the items of slot n into the index. Requires (EIndexError otherwise, nothing
  // changed): n is the last slot, holds a dictionary, and its ItemList and IndexList have equal
  // lengths; the dictionary is not merged yet. The first merge of a run builds `slKey` and puts
  // lists saved by another comparison in order. The result is exactly that of merging the items
  // one by one in item order: a new word takes the display form of its first item, parts follow
  // in merge order. Progress shows "Подготовка к установке...", then "Установка словаря: " and
  // the ShortTitle, and the counter "k из last" every 100th item.
  // A merge after which "items.dat" or "index.dat" would exceed storedListLimit() is refused
  // with EIndexError before anything changes. An error leaves the lists as they were
  // (everything that can fail happens before they change); the gauge then stays visible.
  void InstallDict(size_t n, InstallProgress& progress);

  // Takes every part of dictionary n out of the index, deletes words left without parts (from
  // `slKey` too when it is built), frees the slot and closes its package. The last slot is
  // dropped, any other becomes a hole, so later numbers stay valid. Returns false, changing
  // nothing, when n is a hole or no slot. The gauge is hidden and reset on the way out, also when
  // an error ends the removal; entries processed before the error stay processed.
  bool RemoveDict(size_t n, InstallProgress& progress);

  // Called with n whenever RemoveDict frees slot n, before the number can be given to another
  // package: for whoever keeps data of a slot's package (article::ItemStreamCache). An empty
  // function removes the listener.
  void setSlotFreedListener(std::function<void(size_t)> listener) {
    m_slotFreed = std::move(listener);
  }

  // The lines of "addeddicts.dat".
  static StringList LoadDictList(const storage::CompoundFile& stgRes,
                                 storage::MemoryStream& ReadBuf);

  // Reads the history, then the dictionary list, opens every listed package of dataDir as a
  // slot (an empty line gives a hole; ItemList and IndexList stay empty and their streams unread,
  // since these dictionaries are merged already: dicts::ItemLists::kSkip), then reads `slWord` and
  // `slIndex` (on a second thread, while the packages open; stgRes must not be used elsewhere
  // meanwhile). Runs once per run. A failure part way keeps what was loaded, raises an error that
  // names what failed (the package, for a package), and refuses every later change of the index in
  // this run: saving the partial index would lose the words of the dictionaries that did not load.
  // A package missing from dataDir is looked for in sharedDataDirs, the read-only folders of
  // the packages installed with the program (dicts::locatePackage).
  //
  // With choices.question, a package that cannot be opened is no failure: the question decides
  // (unopened_package.h). A kept dictionary gets a slot that isUnopened(); one to be taken out
  // gets such a slot too, and once the stored lists are read RemoveDict takes it out and
  // SaveIndex saves the index, both showing in choices.progress. kExit raises ELoadAbandoned.
  void LoadIndex(storage::CompoundFile& stgRes, const std::filesystem::path& dataDir,
                 storage::MemoryStream& ReadBuf,
                 const std::vector<std::filesystem::path>& sharedDataDirs = {},
                 LoadChoices choices = {});

  // Only the dictionaries of LoadIndex: the dictionary list is read and every listed package
  // opened as a slot, for a reader that takes the word list and the index from elsewhere (the
  // tool's look-up cache). `slWord`, `slIndex` and `slHistory` stay empty, and every change of
  // the index is refused in this run, since saving would write the empty lists. Errors as
  // LoadIndex raises them; with question, a package that cannot be opened is kept unopened
  // whatever the answer (nothing can be removed in such a run) unless it is kExit. Instead of
  // LoadIndex, once per run.
  void loadDicts(const storage::CompoundFile& stgRes, const std::filesystem::path& dataDir,
                 storage::MemoryStream& ReadBuf,
                 const std::vector<std::filesystem::path>& sharedDataDirs = {},
                 UnopenedPackageQuestion* question = nullptr);

  // Writes `slWord`, `slIndex` and the dictionary list in one transaction of stgRes: after a
  // crash the package holds either the old or the new three streams. Lists longer than
  // storedListLimit() raise EIndexError before anything is written; LoadIndex reads up to it. Shows
  // "Сохранение результатов..." meanwhile. "history.dat" is not written here.
  void SaveIndex(storage::CompoundFile& stgRes, InstallProgress& progress);

  // Writes `slHistory` to "history.dat" (at the end of the run, and after each query). Does
  // nothing unless LoadIndex has read the stored history: `slHistory` would then hold only this
  // run's queries, and writing it would lose the stored ones.
  void SaveHistory(const storage::CompoundFile& stgRes);

  // The limit that saving, loading and merging check, kStoredListLimit unless set otherwise (a
  // test cannot build a gigabyte of index).
  void setStoredListLimit(size_t bytes) { m_storedLimit = bytes; }
  size_t storedListLimit() const { return m_storedLimit; }

  // Why changes are refused in this run; empty while they are allowed.
  const std::string& refusal() const { return m_refusal; }
  // Raises EIndexError (Fault::kRefused) with the refusal while changes are refused.
  void checkChangesAllowed() const;

 private:
  struct InstallPlan;

  std::vector<size_t> openListedDicts(const StringList& dictList,
                                      const std::filesystem::path& dataDir,
                                      storage::MemoryStream& ReadBuf,
                                      const std::vector<std::filesystem::path>& sharedDataDirs,
                                      UnopenedPackageQuestion* question);
  void planKeys(InstallPlan& plan) const;
  // May fail; changes no line of the lists (it only reserves room in them).
  void planInstall(size_t n, InstallProgress& progress, InstallPlan& plan);
  // Cannot fail: InstallDict's "an error leaves the lists as they were" rests on this split.
  void applyInstall(InstallPlan& plan) noexcept;
  void applyRemoval(const std::vector<bool>& keep, const std::vector<bool>& rebuilt,
                    const PackedLines& rebuiltEntries, bool keysBuilt) noexcept;

  dicts::TDicts m_dicts;
  PackedLines m_word;
  KeyList m_key;
  PackedLines m_index;
  StringList m_history;
  std::string m_refusal;
  bool m_historyRead = false;
  bool m_busy = false;
  size_t m_storedLimit = kStoredListLimit;
  std::function<void(size_t)> m_slotFreed;
};

}  // namespace verbalon::index
