#include "session/session.h"

#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "article/page_resources.h"
#include "dicts/dict_package.h"
#include "index/index_error.h"
#include "index/word_search.h"
#include "storage/storage.h"

namespace verbalon::session {

namespace fs = std::filesystem;

namespace {

// A merge or removal frees the old lists, the sort's and the save's temporaries: tens of
// megabytes in many blocks, which glibc keeps for reuse rather than giving back, so the
// program would stay at the size of its largest operation for the rest of the run.
void returnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace

Session::Session(fs::path appDir, storage::Access access)
    : m_appDir(std::move(appDir)),
      m_dataDir(m_appDir / "data"),
      m_stgRes(storage::CompoundFile::open(m_appDir / "vrbx.pde", access)) {
  m_itemCache.connectTo(m_index);
}

void Session::loadPageResources() {
  if (m_advert) return;
  article::PageResources resources = article::loadPageResources(m_stgRes, m_readBuf);
  m_templates = std::move(resources.templates);
  m_advert = std::make_unique<article::Advert>(std::move(resources.slAdvert));
  m_readBuf.clear();
}

article::Advert& Session::advert() {
  loadPageResources();
  return *m_advert;
}

Session::~Session() {
  m_index.setSlotFreedListener({});
}

void Session::LoadIndex(index::LoadChoices choices) {
  m_index.LoadIndex(m_stgRes, m_dataDir, m_readBuf, m_sharedDataDirs, choices);
}

void Session::loadDicts(index::UnopenedPackageQuestion* question) {
  m_index.loadDicts(m_stgRes, m_dataDir, m_readBuf, m_sharedDataDirs, question);
}

std::optional<size_t> Session::findWord(std::string_view word) const {
  return index::findWordLine(m_index.slWord(), word);
}

std::string Session::page(size_t w, int viewWidth, bool cached, const article::ColumnFit& fit) {
  return page(m_index.slIndex()[w], m_index.slWord()[w], viewWidth, cached, fit);
}

std::string Session::page(std::string_view entry, std::string_view headword, int viewWidth,
                          bool cached, const article::ColumnFit& fit) {
  loadPageResources();
  std::vector<article::BrokenPart> broken;
  std::string page =
      article::buildArticlePage(entry, headword, m_index.Dicts(), m_templates, viewWidth, *m_advert,
                                m_readBuf, cached ? &m_itemCache : nullptr, fit, &broken);
  for (article::BrokenPart& part : broken) {
    if (m_reportedBroken.insert(m_index.Dicts()[part.dict].FileName).second) {
      m_newlyBroken.push_back(std::move(part));
    }
  }
  return page;
}

std::vector<article::BrokenPart> Session::takeNewlyBroken() {
  return std::exchange(m_newlyBroken, {});
}

std::string_view Session::resource(std::string_view storagePath) {
  return storage::ReadStream(m_stgRes, storagePath, m_readBuf, storage::kPackageMode, true).bytes();
}

void Session::install(const fs::path& package, index::InstallProgress& progress) {
  // Checked before the package is opened, so that a refused install leaves no slot behind.
  m_index.checkChangesAllowed();
  dicts::TDicts opened;
  dicts::addDictToInstall(opened, package, m_readBuf, dicts::accessFor(package, m_sharedDataDirs));
  m_index.appendSlot(std::move(opened.front()));
  const size_t n = m_index.Dicts().size() - 1;
  try {
    m_index.InstallDict(n, progress);
  } catch (...) {
    try {
      index::NoProgress quiet;
      m_index.RemoveDict(n, quiet);
    } catch (...) {
      // The error of the merge is the one worth reporting.
    }
    throw;
  }
  m_index.SaveIndex(m_stgRes, progress);
  returnFreedMemory();
}

bool Session::remove(size_t slot, index::InstallProgress& progress) {
  if (!m_index.RemoveDict(slot, progress)) return false;
  m_index.SaveIndex(m_stgRes, progress);
  returnFreedMemory();
  return true;
}

void Session::saveHistory() {
  m_index.SaveHistory(m_stgRes);
}

}  // namespace verbalon::session
