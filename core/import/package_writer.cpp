#include "import/package_writer.h"

#include <atomic>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "import/import_error.h"
#include "storage/compound_file.h"
#include "storage/storage.h"
#include "storage/zlib_buffer.h"

namespace verbalon::import {
namespace {

namespace fs = std::filesystem;

// Full item streams wait for compression in batches of this many per core: enough to keep
// every core busy, few enough that the waiting text stays a few megabytes.
constexpr size_t kStreamsPerCore = 16;

std::string streamName(size_t number) {
  std::string digits = std::to_string(number);
  return "items\\" + std::string(digits.size() < 4 ? 4 - digits.size() : 0, '0') + digits + ".dat";
}

// Compresses every text into its own zlib stream, on all cores; texts are independent.
std::vector<std::string> deflateAll(const std::vector<std::string>& texts) {
  std::vector<std::string> compressed(texts.size());
  const size_t threads =
      std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), texts.size());
  std::atomic<size_t> next{0};
  std::vector<std::exception_ptr> failures(threads);
  const auto work = [&](size_t worker) {
    try {
      for (size_t i = next++; i < texts.size(); i = next++) {
        compressed[i] = storage::DeflateBuffer(texts[i]);
      }
    } catch (...) {
      failures[worker] = std::current_exception();
      next = texts.size();
    }
  };
  std::vector<std::thread> pool;
  for (size_t worker = 1; worker < threads; ++worker) {
    pool.emplace_back(work, worker);
  }
  if (threads > 0) work(0);
  for (std::thread& thread : pool) {
    thread.join();
  }
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
  return compressed;
}

}  // namespace

struct PackageWriter::State {
  fs::path path;
  storage::CompoundFile file;
  std::optional<storage::CompoundFile::Transaction> transaction;
  bool committed = false;

  std::string items;  // "~items.dat"
  std::string index;  // "~index.dat"
  size_t itemCount = 0;

  std::string stream;  // the item stream being filled
  size_t streamArticles = 0;
  size_t streamNumber = 1;

  std::vector<std::string> pendingNames;  // full item streams not yet compressed
  std::vector<std::string> pendingTexts;

  State(fs::path where, storage::CompoundFile created)
      : path(std::move(where)), file(std::move(created)) {}

  void closeStream() {
    pendingNames.push_back(streamName(streamNumber++));
    pendingTexts.push_back(std::move(stream));
    stream.clear();
    streamArticles = 0;
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    if (pendingTexts.size() >= kStreamsPerCore * cores) writePending();
  }

  void writePending() {
    const std::vector<std::string> compressed = deflateAll(pendingTexts);
    for (size_t i = 0; i < compressed.size(); ++i) {
      storage::WriteStream(file, pendingNames[i], compressed[i], false);
    }
    pendingNames.clear();
    pendingTexts.clear();
  }
};

PackageWriter::PackageWriter(const fs::path& package) {
  std::error_code ec;
  if (fs::exists(package, ec)) {
    throw EImportError(package.string() + ": the package exists already");
  }
  storage::CompoundFile file = storage::CompoundFile::create(package);
  m_state = std::make_unique<State>(package, std::move(file));
  try {
    m_state->transaction.emplace(m_state->file.beginTransaction());
    m_state->file.root().createStorage(u"items");
  } catch (...) {
    m_state.reset();
    fs::remove(package, ec);
    throw;
  }
}

PackageWriter::~PackageWriter() {
  if (!m_state || m_state->committed) return;
  const fs::path path = m_state->path;
  // Close the file before removing it.
  m_state.reset();
  std::error_code ignored;
  fs::remove(path, ignored);
}

std::string PackageWriter::addArticle(std::string_view article) {
  State& s = *m_state;
  if (s.streamArticles == kMaxStreamArticles ||
      (s.streamArticles > 0 && s.stream.size() + article.size() + 2 > kMaxStreamBytes)) {
    s.closeStream();
  }
  std::string location = streamName(s.streamNumber) + ":" + std::to_string(s.streamArticles++);
  s.stream += article;
  s.stream += "\r\n";
  return location;
}

void PackageWriter::addItem(std::string_view headword, std::string_view location) {
  State& s = *m_state;
  s.items += headword;
  s.items += "\r\n";
  s.index += location;
  s.index += "\r\n";
  ++s.itemCount;
}

void PackageWriter::commit(std::string_view ini, std::string_view info) {
  State& s = *m_state;
  if (s.streamArticles > 0 || s.streamNumber == 1) s.closeStream();
  // The description streams are compressed with the last item streams, on all cores.
  const auto withLineEnds = [](std::string_view text) {
    std::string lines(text);
    if (!lines.empty() && !lines.ends_with("\r\n")) lines += "\r\n";
    return lines;
  };
  s.pendingNames.insert(s.pendingNames.end(),
                        {"~dict.ini", "~info.dat", "~items.dat", "~index.dat"});
  s.pendingTexts.push_back(withLineEnds(ini));
  s.pendingTexts.push_back(withLineEnds(info));
  s.pendingTexts.push_back(std::move(s.items));
  s.pendingTexts.push_back(std::move(s.index));
  s.writePending();
  s.transaction->commit();
  s.committed = true;
}

size_t PackageWriter::itemStreamCount() const {
  return m_state->streamNumber - 1 + (m_state->streamArticles > 0 ? 1 : 0);
}

size_t PackageWriter::itemCount() const {
  return m_state->itemCount;
}

}  // namespace verbalon::import
