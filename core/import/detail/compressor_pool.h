#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Compresses texts into zlib streams on background threads while the caller goes on producing
// more: one thread per core. Results come back in the order the texts went in.
namespace verbalon::import::detail {

class CompressorPool {
 public:
  CompressorPool();
  CompressorPool(const CompressorPool&) = delete;
  CompressorPool& operator=(const CompressorPool&) = delete;
  // Stops the threads; work not taken back is dropped.
  ~CompressorPool();

  // Queues text; returns its ticket, counting from 0.
  size_t submit(std::string text);
  // The compressed stream of the oldest ticket not taken yet, when it is ready (wait: when it
  // will be). Rethrows a compression failure. Requires: a ticket is outstanding.
  bool takeReady(std::string& compressed, bool wait);
  size_t outstanding() const;

 private:
  struct Job {
    std::string text;
    std::string result;
    bool done = false;
    std::exception_ptr failure;
  };
  void work();

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;      // a job is queued, or the pool stops
  std::condition_variable m_finished;  // a job is done
  std::deque<Job> m_jobs;              // oldest not taken first
  size_t m_nextToStart = 0;            // index into m_jobs
  bool m_stopping = false;
  std::vector<std::thread> m_threads;
};

}  // namespace verbalon::import::detail
