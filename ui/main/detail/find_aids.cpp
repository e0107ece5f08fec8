#include "main/detail/find_aids.h"

#include <QMetaObject>
#include <QObject>
#include <exception>
#include <utility>

namespace verbalon::ui::detail {

FindAids::FindAids(QObject* context, std::function<void()> landed)
    : m_context(context), m_landed(std::move(landed)) {}

FindAids::~FindAids() {
  if (m_worker.joinable()) {
    m_worker.join();
  }
}

void FindAids::request(const PackedLines& slWord, bool nearSpellings) {
  collect();
  if (m_suspended || m_worker.joinable() || m_workerFailed) {
    return;
  }
  const bool wantKeys = !m_keys;
  const bool wantForms = !m_forms;
  const bool wantNear = nearSpellings && !m_nearSpellings;
  if (!wantKeys && !wantForms && !wantNear) {
    return;
  }
  m_workerDone = false;
  m_worker = std::thread([this, &slWord, wantKeys, wantForms, wantNear, folder = m_hunspellFolder] {
    // Nothing may leave a thread's function. Only memory can run out here; the parts not
    // built stay missing until the list changes, rather than being tried again and again.
    try {
      // The keys first: the full list waits for them.
      if (wantKeys) {
        handOver({std::make_unique<suggest::KeySearch>(slWord), nullptr, nullptr});
      }
      if (wantForms) {
        handOver({nullptr, nullptr, std::make_unique<suggest::DictionaryForms>(folder)});
      }
      if (wantNear) {
        handOver({nullptr, std::make_unique<suggest::NearSpellings>(slWord), nullptr});
      }
    } catch (const std::exception&) {
      m_workerFailed = true;
    }
    m_workerDone = true;
    QMetaObject::invokeMethod(m_context, m_landed, Qt::QueuedConnection);
  });
}

void FindAids::handOver(Handover built) {
  {
    const std::lock_guard<std::mutex> lock(m_handoverLock);
    if (built.keys) {
      m_handover.keys = std::move(built.keys);
    }
    if (built.nearSpellings) {
      m_handover.nearSpellings = std::move(built.nearSpellings);
    }
    if (built.forms) {
      m_handover.forms = std::move(built.forms);
    }
  }
  QMetaObject::invokeMethod(m_context, m_landed, Qt::QueuedConnection);
}

void FindAids::collect() {
  if (m_workerDone && m_worker.joinable()) {
    m_worker.join();
  }
  const std::lock_guard<std::mutex> lock(m_handoverLock);
  if (m_handover.keys) {
    m_keys = std::move(m_handover.keys);
  }
  if (m_handover.nearSpellings) {
    m_nearSpellings = std::move(m_handover.nearSpellings);
  }
  // The about window may have loaded its own meanwhile; the one in use stays.
  if (m_handover.forms && !m_forms) {
    m_forms = std::move(m_handover.forms);
  }
  m_handover.forms.reset();
}

const suggest::KeySearch* FindAids::keys() {
  collect();
  return m_keys.get();
}

suggest::SuggestSources FindAids::sources() {
  collect();
  return {m_keys.get(), m_keys ? m_forms.get() : nullptr, m_nearSpellings.get()};
}

bool FindAids::sourcesComplete() {
  collect();
  return m_keys && m_forms && m_nearSpellings;
}

bool FindAids::dictionaryFormsOn() {
  collect();
  // Loading them here takes a moment, less than waiting for a worker busy with the keys.
  if (!m_forms) {
    m_forms = std::make_unique<suggest::DictionaryForms>(m_hunspellFolder);
  }
  return m_forms->enabled();
}

void FindAids::wait() {
  if (m_worker.joinable()) {
    m_worker.join();
  }
  collect();
}

void FindAids::suspend() {
  wait();
  m_suspended = true;
}

void FindAids::discard() {
  wait();
  m_keys.reset();
  m_nearSpellings.reset();
  m_workerFailed = false;
}

}  // namespace verbalon::ui::detail
