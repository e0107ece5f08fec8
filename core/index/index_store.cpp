#include <algorithm>
#include <exception>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "common/cp1251.h"
#include "common/huge_pages.h"
#include "dicts/dict_package.h"
#include "index/detail/progress_texts.h"
#include "index/index_error.h"
#include "index/unopened_package.h"
#include "index/word_index.h"
#include "storage/storage.h"

namespace verbalon::index {
namespace {

constexpr std::string_view kDictListStream = "addeddicts.dat";
constexpr std::string_view kHistoryStream = "history.dat";
// The stored lists compress about 4:1. The block for their text is reserved at twice that, as
// address space only, so that it never moves while it fills; a text that compresses better
// still reads, growing the usual way.
constexpr size_t kTextPerCompressedByte = 8;

// The lines of a stream read raw, packed where they were inflated: no line gets a block of its
// own. Touches no storage: other threads may call it while stgRes is in use, which is only
// named in a message.
PackedLines decompressLines(const storage::CompoundFile& stgRes, std::string_view stream,
                            const storage::MemoryStream& raw, size_t limit) {
  storage::MemoryStream text;
  // A fresh block of tens of megabytes, filled once: see huge_pages.h.
  reserveWithHugePages(text.bytes(), std::min(raw.size() * kTextPerCompressedByte, limit));
  try {
    storage::DecompressStream(raw, text, limit);
  } catch (const storage::EDecompressionError& e) {
    throw storage::EDecompressionError(stgRes.path().filename().string(), std::string(stream),
                                       e.reason());
  }
  return PackedLines::fromText(std::move(text.bytes()));
}

// A line of the dictionary list names a file of the data folder, nothing outside it.
bool isPlainFileName(std::string_view name) {
  return name.find_first_of("/\\") == std::string_view::npos && name != "." && name != "..";
}

void checkDictList(const StringList& dictList) {
  for (const std::string& name : dictList) {
    if (!isPlainFileName(name)) {
      throw EIndexError(EIndexError::Fault::kDamaged,
                        "the list of installed dictionaries names \"" + cp1251::toUtf8(name) +
                            "\", which is not a file name");
    }
  }
}

std::string refusalAfter(const Error& e) {
  // The lists now lack the words of what did not load; saving them would overwrite the
  // complete index on disk with this smaller one.
  return std::string(
             "Installing and removing dictionaries is disabled until the program is "
             "restarted, because the dictionary index did not load: ") +
         e.what();
}

}  // namespace

// Whatever an answer, a package is either open in its slot or its slot is kept unopened, so
// every later slot keeps its number. Returns the slots the answers asked to take out.
std::vector<size_t> WordIndex::openListedDicts(
    const StringList& dictList, const std::filesystem::path& dataDir,
    storage::MemoryStream& ReadBuf, const std::vector<std::filesystem::path>& sharedDataDirs,
    UnopenedPackageQuestion* question) {
  std::vector<size_t> toRemove;
  for (const std::string& name : dictList) {
    try {
      // An empty name gives a path ending in a separator: a hole, nothing opened. The item
      // lists stay unread: these dictionaries are merged already, InstallDict reads the lists
      // only of a slot added in this run, and reading them would double what start-up loads.
      const dicts::PackageLocation where =
          dicts::locatePackage(dataDir, sharedDataDirs, cp1251::toUtf8(name));
      dicts::AddDict(m_dicts, where.path, ReadBuf, dicts::ItemLists::kSkip, where.access);
    } catch (const Error& e) {
      const std::string why =
          "the installed dictionary " + cp1251::toUtf8(name) + " could not be loaded: " + e.what();
      if (question == nullptr) {
        std::throw_with_nested(EIndexError(EIndexError::Fault::kNotLoaded, why));
      }
      const UnopenedPackageAnswer answer = question->packageNotOpened(name, e);
      if (answer == UnopenedPackageAnswer::kExit) {
        throw ELoadAbandoned(EIndexError::Fault::kNotLoaded,
                             "the program was ended at start-up, because " + why);
      }
      if (answer == UnopenedPackageAnswer::kRemove) toRemove.push_back(m_dicts.size());
      dicts::TDict unopened;
      unopened.FileName = name;
      m_dicts.push_back(std::move(unopened));
    }
  }
  return toRemove;
}

void WordIndex::loadDicts(const storage::CompoundFile& stgRes, const std::filesystem::path& dataDir,
                          storage::MemoryStream& ReadBuf,
                          const std::vector<std::filesystem::path>& sharedDataDirs,
                          UnopenedPackageQuestion* question) {
  m_refusal =
      "Installing and removing dictionaries is disabled in a run that did not load the "
      "word list";
  try {
    const StringList dictList = LoadDictList(stgRes, ReadBuf);
    checkDictList(dictList);
    // Nothing can be taken out in such a run: an answer to remove keeps the slot unopened too.
    openListedDicts(dictList, dataDir, ReadBuf, sharedDataDirs, question);
  } catch (const Error& e) {
    m_refusal = refusalAfter(e);
    throw;
  }
}

void WordIndex::AddDict(const std::filesystem::path& path, storage::MemoryStream& ReadBuf) {
  checkChangesAllowed();
  if (m_busy) {
    throw EIndexError(EIndexError::Fault::kBusy,
                      "another installation or removal is still running");
  }
  dicts::addDictToInstall(m_dicts, path, ReadBuf);
}

StringList WordIndex::LoadDictList(const storage::CompoundFile& stgRes,
                                   storage::MemoryStream& ReadBuf) {
  return storage::readLines(stgRes, kDictListStream, ReadBuf);
}

void WordIndex::LoadIndex(storage::CompoundFile& stgRes, const std::filesystem::path& dataDir,
                          storage::MemoryStream& ReadBuf,
                          const std::vector<std::filesystem::path>& sharedDataDirs,
                          LoadChoices choices) {
  try {
    // The history first, on its own: whatever fails later, the history of this run starts from
    // the stored one, and saving it cannot shorten it.
    m_history = storage::readLines(stgRes, kHistoryStream, ReadBuf);
    m_historyRead = true;
    const StringList dictList = LoadDictList(stgRes, ReadBuf);
    m_word.clear();
    m_index.clear();
    m_key.clear();
    checkDictList(dictList);
    // The packages open on this thread while a second one decompresses and splits the stored
    // index; this one then does the same for the word list. The two halves take about as long.
    // Both streams come out of stgRes raw first, since one file serves one thread at a time; a
    // failure there is raised after the packages, where a one-by-one load would meet it.
    storage::MemoryStream rawWords;
    storage::MemoryStream rawEntries;
    std::exception_ptr storedError;
    try {
      storage::ReadStream(stgRes, kWordStream, rawWords, storage::kPackageMode, false);
      storage::ReadStream(stgRes, kIndexStream, rawEntries, storage::kPackageMode, false);
    } catch (const Error&) {
      storedError = std::current_exception();
    }
    std::future<PackedLines> storedEntries;
    if (!storedError) {
      storedEntries = std::async(std::launch::async, [&stgRes, &rawEntries, this] {
        return decompressLines(stgRes, kIndexStream, rawEntries, m_storedLimit);
      });
    }
    const std::vector<size_t> toRemove =
        openListedDicts(dictList, dataDir, ReadBuf, sharedDataDirs, choices.question);
    if (storedError) std::rethrow_exception(storedError);
    PackedLines words = decompressLines(stgRes, kWordStream, rawWords, m_storedLimit);
    PackedLines entries = storedEntries.get();
    if (words.size() != entries.size()) {
      throw EIndexError(EIndexError::Fault::kDamaged,
                        "the stored word list has " + std::to_string(words.size()) +
                            " lines but the stored index has " + std::to_string(entries.size()));
    }
    m_word = std::move(words);
    m_index = std::move(entries);
    if (!toRemove.empty()) {
      NoProgress quiet;
      InstallProgress& progress = choices.progress ? *choices.progress : quiet;
      for (const size_t n : toRemove) {
        RemoveDict(n, progress);
      }
      SaveIndex(stgRes, progress);
    }
  } catch (const Error& e) {
    m_refusal = refusalAfter(e);
    throw;
  }
}

void WordIndex::SaveIndex(storage::CompoundFile& stgRes, InstallProgress& progress) {
  checkChangesAllowed();
  if (m_busy) {
    throw EIndexError(EIndexError::Fault::kBusy,
                      "another installation or removal is still running");
  }
  progress.setCounter("");
  progress.setStatus(detail::textSaving());
  progress.processMessages();

  // The same limit as LoadIndex reads with, checked before the transaction begins.
  for (const PackedLines* list : {&m_word, &m_index}) {
    if (const size_t bytes = storedTextSize(*list); bytes > m_storedLimit) {
      throw EIndexError(EIndexError::Fault::kTooLarge,
                        "the index is not saved: its " +
                            std::string(list == &m_word ? kWordStream : kIndexStream) +
                            " would hold " + std::to_string(bytes >> 20) + " MiB, more than the " +
                            std::to_string(m_storedLimit >> 20) + " MiB that can be read back");
    }
  }
  StringList dictList;
  dictList.reserve(m_dicts.size());
  for (const dicts::TDict& slot : m_dicts) {
    dictList.push_back(slot.FileName);
  }

  // The three streams are compressed together, all cores sharing their pieces; level 9 of the
  // word list and the index is most of what an installation costs.
  std::vector<std::string> stored;
  {
    const std::string words = joinLines(m_word);
    const std::string entries = joinLines(m_index);
    const std::string dicts = joinLines(dictList);
    stored = storage::deflateBuffers({words, entries, dicts});
  }
  // One transaction, so that the word list, the index and the dictionary list on disk always
  // belong together, whatever moment a crash picks.
  storage::CompoundFile::Transaction transaction = stgRes.beginTransaction();
  storage::WriteStream(stgRes, kWordStream, stored[0], false);
  storage::WriteStream(stgRes, kIndexStream, stored[1], false);
  storage::WriteStream(stgRes, kDictListStream, stored[2], false);
  transaction.commit();
  progress.setStatus("");
}

void WordIndex::SaveHistory(const storage::CompoundFile& stgRes) {
  if (!m_historyRead) return;
  storage::WriteStream(stgRes, kHistoryStream, joinLines(m_history), true);
}

}  // namespace verbalon::index
