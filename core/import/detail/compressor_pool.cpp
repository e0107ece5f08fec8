#include "import/detail/compressor_pool.h"

#include <algorithm>
#include <utility>

#include "storage/zlib_buffer.h"

namespace verbalon::import::detail {

CompressorPool::CompressorPool() {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < cores; ++i) {
    m_threads.emplace_back([this] { work(); });
  }
}

CompressorPool::~CompressorPool() {
  {
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  for (std::thread& thread : m_threads) {
    thread.join();
  }
}

size_t CompressorPool::submit(std::string text) {
  size_t ticket = 0;
  {
    const std::lock_guard lock(m_mutex);
    m_jobs.push_back({std::move(text), {}, false, nullptr});
    ticket = m_jobs.size() - 1;
  }
  m_wake.notify_one();
  return ticket;
}

bool CompressorPool::takeReady(std::string& compressed, bool wait) {
  std::unique_lock lock(m_mutex);
  if (wait) m_finished.wait(lock, [this] { return m_jobs.empty() || m_jobs.front().done; });
  if (m_jobs.empty() || !m_jobs.front().done) return false;
  Job job = std::move(m_jobs.front());
  m_jobs.pop_front();
  --m_nextToStart;
  lock.unlock();
  if (job.failure) std::rethrow_exception(job.failure);
  compressed = std::move(job.result);
  return true;
}

size_t CompressorPool::outstanding() const {
  const std::lock_guard lock(m_mutex);
  return m_jobs.size();
}

void CompressorPool::work() {
  std::unique_lock lock(m_mutex);
  while (true) {
    m_wake.wait(lock, [this] { return m_stopping || m_nextToStart < m_jobs.size(); });
    if (m_stopping) return;
    // Deque elements stay where they are while others are added or the front is taken.
    Job& job = m_jobs[m_nextToStart++];
    std::string text = std::move(job.text);
    lock.unlock();
    std::string result;
    std::exception_ptr failure;
    try {
      result = storage::DeflateBuffer(text);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    job.result = std::move(result);
    job.failure = failure;
    job.done = true;
    m_finished.notify_all();
  }
}

}  // namespace verbalon::import::detail
