#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "article/advert.h"
#include "article/article_page.h"
#include "article/item_stream_cache.h"
#include "index/install_progress.h"
#include "index/word_index.h"
#include "storage/compound_file.h"
#include "storage/memory_stream.h"

// One run over an application folder: what the window, the installation dialog and the tool
// all work on. It owns the resource package `stgRes` (held open for the whole run), the shared
// read buffer `ReadBuf`, the combined index with the installed dictionaries `Dicts`, the page
// templates, the advertisement records and the item-stream cache, and it is the one place that
// looks a word up, builds a page, serves the page's resources, installs, removes and saves.
//
// Names kept from the original design: `AppDir`, `DataDir`, `stgRes`, `ReadBuf`, `LoadIndex`.
// Not thread-safe: one thread uses a session.
namespace verbalon::session {

class Session {
 public:
  // Opens appDir's "vrbx.pde" with access (read-write and exclusive for the window and every
  // command that changes something; read-only commands share it). The storage errors pass on:
  // without its resource package a session has nothing to work with.
  explicit Session(std::filesystem::path appDir,
                   storage::Access access = storage::Access::ReadWriteExclusive);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();

  const std::filesystem::path& AppDir() const { return m_appDir; }
  const std::filesystem::path& DataDir() const { return m_dataDir; }
  // The read-only folders of packages installed with the program, offered besides DataDir.
  const std::vector<std::filesystem::path>& sharedDataDirs() const { return m_sharedDataDirs; }
  void setSharedDataDirs(std::vector<std::filesystem::path> dirs) {
    m_sharedDataDirs = std::move(dirs);
  }
  storage::CompoundFile& stgRes() { return m_stgRes; }
  storage::MemoryStream& ReadBuf() { return m_readBuf; }
  index::WordIndex& index() { return m_index; }
  const index::WordIndex& index() const { return m_index; }
  article::ItemStreamCache& itemCache() { return m_itemCache; }

  // Reads the page templates and the advertisement records, once; the first page does it when
  // nobody did before. The window reads them at its creation, so that a package without them
  // fails at once.
  void loadPageResources();
  article::Advert& advert();

  // Reads the history, opens the installed dictionaries of DataDir (or of the shared folders) and
  // reads the word list and the index (index::WordIndex::LoadIndex, which says what choices
  // do with a package that cannot be opened). Once per run.
  void LoadIndex(index::LoadChoices choices = {});
  // Opens the installed dictionaries only, for a run that takes the word list and the index
  // from elsewhere (index::WordIndex::loadDicts, which says what question answers). Instead of
  // LoadIndex, once per run.
  void loadDicts(index::UnopenedPackageQuestion* question = nullptr);

  // The line of the word whose key equals word's key (letter case, "ё" against "е", hyphens,
  // dots and blanks do not count), found by halving, as the index is ordered; none when the
  // index has no such word.
  std::optional<size_t> findWord(std::string_view word) const;

  // The article page of line w of the word list, as the view loads it: every dictionary's
  // fragment, the headword and an advertisement. viewWidth sets the column count of "LIST"
  // dictionaries, capped by fit. Item streams come through the cache unless cached is false. A
  // dictionary whose article cannot be read shows a note instead (article::buildArticlePage);
  // the first time in the run that a package fails so, it is kept for takeNewlyBroken.
  std::string page(size_t w, int viewWidth, bool cached = true, const article::ColumnFit& fit = {});
  // The same for an index entry and its headword that the caller holds.
  std::string page(std::string_view entry, std::string_view headword, int viewWidth,
                   bool cached = true, const article::ColumnFit& fit = {});
  // The parts that failed, one for each package not reported before in this run, since the
  // last call; the caller tells the user once per package rather than at every page.
  std::vector<article::BrokenPart> takeNewlyBroken();
  // The page templates, read by loadPageResources.
  const article::PageTemplates& templates() {
    loadPageResources();
    return m_templates;
  }

  // The content of a stream the page names, by its storage path from the package root
  // ("templates\verbalon.css", say); valid until the next read of the session.
  std::string_view resource(std::string_view storagePath);

  // Installs the package at path, exactly that file (its slot keeps the lower-cased name; one of
  // a shared folder is opened read-only), and saves the index. A merge that fails takes the new
  // slot out again, so no later save can record the package as installed without its words.
  void install(const std::filesystem::path& package, index::InstallProgress& progress);
  // Takes dictionary slot out of the index and saves it. False, changing nothing, when slot is
  // a hole or no slot.
  bool remove(size_t slot, index::InstallProgress& progress);
  // Writes the history to "history.dat".
  void saveHistory();

 private:
  std::filesystem::path m_appDir;
  std::filesystem::path m_dataDir;
  std::vector<std::filesystem::path> m_sharedDataDirs;
  storage::CompoundFile m_stgRes;
  storage::MemoryStream m_readBuf;
  index::WordIndex m_index;
  article::PageTemplates m_templates;
  std::unique_ptr<article::Advert> m_advert;
  article::ItemStreamCache m_itemCache;
  std::set<std::string> m_reportedBroken;  // file names of the packages reported broken
  std::vector<article::BrokenPart> m_newlyBroken;
};

}  // namespace verbalon::session
