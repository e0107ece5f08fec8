#include "session/folder_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "article/item_stream_cache.h"
#include "common/cp1251.h"
#include "common/string_list.h"
#include "dicts/dict_package.h"
#include "index/index_entry.h"
#include "index/index_error.h"
#include "index/normalize.h"
#include "index/word_index.h"
#include "storage/compound_file.h"
#include "storage/storage.h"
#include "storage/storage_error.h"

namespace verbalon::session {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kResourcePackage = "vrbx.pde";
constexpr std::string_view kWordStream = "items.dat";
constexpr std::string_view kIndexStream = "index.dat";
constexpr std::string_view kDictListStream = "addeddicts.dat";
constexpr std::string_view kHistoryStream = "history.dat";

// What became of one line of the dictionary list.
enum class SlotState { Hole, Loaded, Failed };

// The line count of an item stream, or why it cannot be read.
struct ItemStream {
  size_t lines = 0;
  std::string failure;  // UTF-8; empty when the stream reads
};

std::string quotedText(std::string_view cp1251Text) {
  return "\"" + cp1251::toUtf8(cp1251Text) + "\"";
}

class Checker {
 public:
  Checker(const AppLocation& location, size_t perKind) : m_location(location), m_perKind(perKind) {}

  FolderCheck run() {
    try {
      m_stgRes.emplace(storage::CompoundFile::open(m_location.appDir / kResourcePackage,
                                                   storage::Access::ReadOnly));
    } catch (const Error& e) {
      report(ProblemKind::ResourcePackage, kResourcePackage, std::nullopt, e.what());
      return std::move(m_result);
    }
    std::optional<StringList> names = readIndexStream(kDictListStream);
    m_historyBroken = !readIndexStream(kHistoryStream);
    std::optional<StringList> words = readIndexStream(kWordStream, index::kStoredListLimit);
    std::optional<StringList> entries = readIndexStream(kIndexStream, index::kStoredListLimit);
    m_indexBroken = !names || !words || !entries;
    m_listRead = names.has_value();
    if (names) loadSlots(*names);
    if (words) {
      m_result.words = words->size();
      checkWords(*words);
    }
    if (entries) {
      const StringList none;
      const StringList& forWords = words ? *words : none;
      if (words && words->size() != entries->size()) {
        const size_t shorter = std::min(words->size(), entries->size());
        report(ProblemKind::LineCountMismatch, kIndexStream, shorter,
               "items.dat has " + std::to_string(words->size()) + " lines but index.dat has " +
                   std::to_string(entries->size()) + ": the lines from " + std::to_string(shorter) +
                   " on have no partner");
      }
      checkEntries(*entries, forWords);
    }
    chooseMends();
    return std::move(m_result);
  }

 private:
  void report(ProblemKind kind, std::string_view stream, std::optional<size_t> line,
              std::string text) {
    if (m_result.found[static_cast<size_t>(kind)]++ < m_perKind) {
      m_result.problems.push_back({kind, std::string(stream), line, std::move(text)});
    }
  }

  // The lines of one of the four streams, or none (reported) when it is missing or damaged.
  std::optional<StringList> readIndexStream(std::string_view name,
                                            size_t limit = storage::kDefaultInflateLimit) {
    try {
      storage::ReadStream(*m_stgRes, name, m_readBuf, storage::kPackageMode, true, limit);
      StringList lines = splitLines(m_readBuf.bytes());
      m_readBuf.clear();
      return lines;
    } catch (const storage::EStorageError& e) {
      const bool missing = e.code() == storage::hresult::kFileNotFound;
      report(missing ? ProblemKind::MissingStream : ProblemKind::DamagedStream, name, std::nullopt,
             e.what());
    } catch (const Error& e) {
      report(ProblemKind::DamagedStream, name, std::nullopt, e.what());
    }
    return std::nullopt;
  }

  // Opens every listed package as the program's start-up does (its settings and information
  // read, the item lists not), but read-only.
  void loadSlots(const StringList& names) {
    for (size_t slot = 0; slot < names.size(); ++slot) {
      const std::string name = cp1251::toUtf8(names[slot]);
      m_names.push_back(name);
      if (name.empty()) {
        m_dicts.emplace_back();
        m_states.push_back(SlotState::Hole);
        continue;
      }
      if (name.find_first_of("/\\") != std::string::npos || name == "." || name == "..") {
        report(ProblemKind::UnusableName, kDictListStream, slot,
               "\"" + name + "\" is not the file name of a package in the data folder");
        failSlot();
        continue;
      }
      try {
        const dicts::PackageLocation where =
            dicts::locatePackage(m_location.dataDir, m_location.sharedDataDirs, name);
        dicts::AddDict(m_dicts, where.path, m_readBuf, dicts::ItemLists::kSkip,
                       storage::Access::ReadOnly);
        m_states.push_back(SlotState::Loaded);
        ++m_result.dictionaries;
      } catch (const Error& e) {
        report(ProblemKind::UnloadablePackage, kDictListStream, slot,
               "the installed dictionary " + name + " cannot be loaded: " + e.what());
        failSlot();
      }
    }
  }

  void failSlot() {
    m_dicts.emplace_back();
    m_states.push_back(SlotState::Failed);
  }

  void checkWords(const StringList& words) {
    std::string previous;
    std::string key;
    for (size_t w = 0; w < words.size(); ++w) {
      key.clear();
      index::appendSortKey(words[w], key);
      if (w > 0) {
        const int order = index::compareSortKeys(previous, key);
        if (order > 0) {
          report(ProblemKind::UnorderedWords, kWordStream, w,
                 quotedText(words[w]) + " orders before " + quotedText(words[w - 1]) +
                     " on the line above it");
        } else if (order == 0) {
          report(ProblemKind::EqualKeys, kWordStream, w,
                 quotedText(words[w]) + " has the same key as " + quotedText(words[w - 1]) +
                     " on the line above it");
        }
      }
      std::swap(previous, key);
    }
  }

  void checkEntries(const StringList& entries, const StringList& words) {
    for (size_t w = 0; w < entries.size(); ++w) {
      const std::string_view word = w < words.size() ? std::string_view(words[w]) : "";
      const index::IndexEntry entry(entries[w], word);
      if (entries[w].empty()) {
        report(ProblemKind::MalformedEntry, kIndexStream, w,
               "the entry of " + quotedText(word) + " has no parts");
        continue;
      }
      size_t number = 0;
      try {
        for (const index::IndexPart& part : entry) {
          ++number;
          // Without the dictionary list, there are no slots to hold the parts against.
          if (m_listRead) checkPart(w, number, part);
        }
      } catch (const index::EIndexError& e) {
        report(ProblemKind::MalformedEntry, kIndexStream, w, e.what());
      }
    }
  }

  void checkPart(size_t w, size_t number, const index::IndexPart& part) {
    const std::string which = "part " + std::to_string(number) + " " + quotedText(part.text);
    if (part.dict >= m_dicts.size()) {
      report(ProblemKind::UnloadedSlot, kIndexStream, w,
             which + " names dictionary " + std::to_string(part.dict) +
                 ", but the dictionary list has " + std::to_string(m_dicts.size()) + " slots");
      return;
    }
    switch (m_states[part.dict]) {
      case SlotState::Failed:
        return;  // the package is reported already
      case SlotState::Hole:
        report(ProblemKind::UnloadedSlot, kIndexStream, w,
               which + " names dictionary " + std::to_string(part.dict) + ", which was removed");
        return;
      case SlotState::Loaded:
        break;
    }
    const ItemStream& stream = itemStream(part.dict, part.path);
    const std::string where = "stream " + quotedText(part.path) + " of " + m_names[part.dict];
    if (!stream.failure.empty()) {
      report(ProblemKind::MissingItemStream, kIndexStream, w,
             which + " names " + where + ", which cannot be read: " + stream.failure);
      m_badParts.insert(part.dict);
    } else if (part.line >= stream.lines) {
      report(ProblemKind::LineBeyondStream, kIndexStream, w,
             which + " names line " + std::to_string(part.line) + " of " + where + ", which has " +
                 std::to_string(stream.lines) + " lines");
      m_badParts.insert(part.dict);
    }
  }

  // Each item stream is read once, and only its line count is kept.
  const ItemStream& itemStream(size_t dict, std::string_view path) {
    if (m_streams.size() < m_dicts.size()) m_streams.resize(m_dicts.size());
    std::map<std::string, ItemStream, std::less<>>& ofDict = m_streams[dict];
    if (const auto known = ofDict.find(path); known != ofDict.end()) return known->second;
    ItemStream stream;
    try {
      storage::ReadStream(*m_dicts[dict].Storage, path, m_readBuf, storage::kPackageMode, true,
                          article::kItemStreamLimit);
      stream.lines = countLines(m_readBuf.bytes());
    } catch (const Error& e) {
      stream.failure = e.what();
    }
    m_readBuf.clear();
    return ofDict.emplace(std::string(path), std::move(stream)).first->second;
  }

  void chooseMends() {
    if (m_result.ok()) return;
    std::vector<FolderMend>& mends = m_result.mends;
    if (m_historyBroken) mends.push_back({FolderMend::Kind::EmptyHistory, {}});
    // A package that is missing or does not open does not stop the index from loading: the
    // program keeps such a dictionary without its articles, and a removal needs only the index.
    const bool unloadable = m_indexBroken || m_result.count(ProblemKind::UnusableName) > 0 ||
                            m_result.count(ProblemKind::LineCountMismatch) > 0 ||
                            m_result.count(ProblemKind::MalformedEntry) > 0 ||
                            m_result.count(ProblemKind::UnloadedSlot) > 0;
    const bool disordered = m_result.count(ProblemKind::UnorderedWords) > 0 ||
                            m_result.count(ProblemKind::EqualKeys) > 0;
    std::vector<std::string> loaded;
    for (size_t slot = 0; slot < m_states.size(); ++slot) {
      if (m_states[slot] == SlotState::Loaded) loaded.push_back(m_names[slot]);
    }
    // A removal loads the index first, and only reaches the parts of a slot that holds a
    // dictionary; past that, only a new index mends.
    if (unloadable || (disordered && loaded.empty())) {
      mends.push_back({FolderMend::Kind::RebuildIndex, std::move(loaded), m_listRead});
      return;
    }
    for (size_t slot = 0; slot < m_states.size(); ++slot) {
      if (m_states[slot] == SlotState::Failed) {
        mends.push_back({FolderMend::Kind::Remove, {m_names[slot]}});
      }
    }
    for (const size_t slot : m_badParts) {
      mends.push_back({FolderMend::Kind::Reinstall, {m_names[slot]}});
    }
    // Any merge puts the word list in order, so one reinstallation is enough.
    if (disordered && m_badParts.empty()) {
      mends.push_back({FolderMend::Kind::Reinstall, {loaded.back()}});
    }
  }

  const AppLocation& m_location;
  size_t m_perKind;
  FolderCheck m_result;
  std::optional<storage::CompoundFile> m_stgRes;
  storage::MemoryStream m_readBuf;
  dicts::TDicts m_dicts;
  std::vector<SlotState> m_states;
  std::vector<std::string> m_names;  // UTF-8, one per slot
  std::vector<std::map<std::string, ItemStream, std::less<>>> m_streams;
  std::set<size_t> m_badParts;  // slots with a part that names no line of theirs
  bool m_historyBroken = false;
  bool m_indexBroken = false;
  bool m_listRead = false;
};

}  // namespace

FolderCheck checkAppFolder(const AppLocation& location, size_t perKind) {
  return Checker(location, perKind).run();
}

}  // namespace verbalon::session
