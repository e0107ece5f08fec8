#include "session/session.h"

#include <utility>

#include "article/page_resources.h"
#include "dicts/dict_package.h"
#include "index/index_error.h"
#include "index/normalize.h"
#include "storage/storage.h"

namespace verbalon::session {

namespace fs = std::filesystem;

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

std::optional<size_t> Session::findWord(std::string_view word) const {
  const StringList& slWord = m_index.slWord();
  const std::string key = index::NormalizeWord(word);
  size_t lo = 0;
  size_t hi = slWord.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    const int cmp = index::compareKeys(key, index::NormalizeWord(slWord[mid]));
    if (cmp == 0) return mid;
    if (cmp > 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return std::nullopt;
}

std::string Session::page(size_t w, int viewWidth, bool cached) {
  loadPageResources();
  return article::buildArticlePage(m_index.slIndex()[w], m_index.slWord()[w], m_index.Dicts(),
                                   m_templates, viewWidth, *m_advert, m_readBuf,
                                   cached ? &m_itemCache : nullptr);
}

std::string_view Session::resource(std::string_view storagePath) {
  return storage::ReadStream(m_stgRes, storagePath, m_readBuf, storage::kPackageMode, true).bytes();
}

void Session::install(const fs::path& package, index::InstallProgress& progress) {
  // Checked before the package is opened, so that a refused install leaves no slot behind.
  if (!m_index.refusal().empty()) throw index::EIndexError(m_index.refusal());
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
}

bool Session::remove(size_t slot, index::InstallProgress& progress) {
  if (!m_index.RemoveDict(slot, progress)) return false;
  m_index.SaveIndex(m_stgRes, progress);
  return true;
}

void Session::saveHistory() {
  m_index.SaveHistory(m_stgRes);
}

}  // namespace verbalon::session
