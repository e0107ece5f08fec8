#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "common/packed_lines.h"
#include "common/string_list.h"
#include "suggest/dictionary_forms.h"
#include "suggest/key_search.h"
#include "suggest/near_spellings.h"
#include "suggest/suggestions.h"

class QObject;

namespace verbalon::ui::detail {

// What the find box needs besides the word list, built on a worker thread so that typing never
// waits for it: the keys by which the full list follows the typing (seconds for millions of
// words), and the filter tab's suggestion sources, namely Hunspell's dictionaries (once per run)
// and the near spellings (asked for only when a filter first finds nothing).
//
// The objects are handed over to the window's thread, which alone reads them, when the worker
// is done with each; the worker then says so through landed, run on the context's thread.
//
// The worker reads the word list it was given: that list must stay unchanged while a build
// runs. suspend() waits for the worker, and nothing is built until resume(): the window
// suspends while the index loads and around every installation and removal, and discards
// what was built from the list once the list has changed.
class FindAids {
 public:
  FindAids(QObject* context, std::function<void()> landed);
  ~FindAids();
  FindAids(const FindAids&) = delete;
  FindAids& operator=(const FindAids&) = delete;

  // Where Hunspell's dictionaries are looked for when they are first loaded.
  void setHunspellFolder(std::filesystem::path folder) { m_hunspellFolder = std::move(folder); }

  // Starts the worker on what is missing for slWord: the keys, Hunspell's dictionaries, and the
  // near spellings when nearSpellings. Nothing while suspended, while the worker still runs (ask
  // again when it lands), or after a build ran out of memory.
  void request(const PackedLines& slWord, bool nearSpellings);

  // The keys of the word list, once built.
  const suggest::KeySearch* keys();
  // The suggestion sources built so far; the dictionary forms count only with the keys.
  suggest::SuggestSources sources();
  // Whether sources() has all three.
  bool sourcesComplete();

  // Whether Hunspell's dictionaries were found; loads them here when no worker did yet.
  bool dictionaryFormsOn();

  // Blocks until the worker is done, then hands over what it built.
  void wait();
  // Whether a worker was started and not waited for yet.
  bool busy() const { return m_worker.joinable(); }

  void suspend();
  void resume() { m_suspended = false; }
  // Waits for the worker and drops the keys and the near spellings; a build that ran out of
  // memory may be tried again.
  void discard();
  bool suspended() const { return m_suspended; }

 private:
  // What the worker built and the window has not taken yet.
  struct Handover {
    std::unique_ptr<suggest::KeySearch> keys;
    std::unique_ptr<suggest::NearSpellings> nearSpellings;
    std::unique_ptr<suggest::DictionaryForms> forms;
  };

  void collect();
  void handOver(Handover built);

  QObject* m_context;
  std::function<void()> m_landed;
  std::filesystem::path m_hunspellFolder = suggest::kSystemHunspellFolder;
  bool m_suspended = false;

  // The window's thread only.
  std::unique_ptr<suggest::KeySearch> m_keys;
  std::unique_ptr<suggest::NearSpellings> m_nearSpellings;
  std::unique_ptr<suggest::DictionaryForms> m_forms;

  std::thread m_worker;
  std::atomic<bool> m_workerDone{false};
  std::atomic<bool> m_workerFailed{false};  // memory ran out; reset by discard()
  std::mutex m_handoverLock;
  Handover m_handover;  // guarded by m_handoverLock
};

}  // namespace verbalon::ui::detail
