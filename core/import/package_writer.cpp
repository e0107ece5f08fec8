#include "import/package_writer.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "common/cp1251.h"
#include "import/detail/compressor_pool.h"
#include "import/import_error.h"
#include "storage/compound_file.h"
#include "storage/storage.h"

namespace verbalon::import {
namespace {

namespace fs = std::filesystem;

// Streams waiting for compression, per core: enough to keep every core busy, few enough that
// the waiting text stays a few megabytes.
constexpr size_t kQueuedPerCore = 8;

// "a\1", "a\2", ...: short, because every location of the package, and every part of the
// combined index that points here, repeats it.
constexpr std::string_view kArticleStorage = "a";

std::string streamName(size_t number) {
  return std::string(kArticleStorage) + "\\" + std::to_string(number);
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

  // Streams handed to the compressors, by name in the order they went; written in that order.
  detail::CompressorPool compressors;
  std::deque<std::string> queuedNames;

  State(fs::path where, storage::CompoundFile created)
      : path(std::move(where)), file(std::move(created)) {}

  void closeStream() {
    queue(streamName(streamNumber++), std::move(stream));
    stream.clear();
    streamArticles = 0;
  }

  void queue(std::string name, std::string text) {
    queuedNames.push_back(std::move(name));
    compressors.submit(std::move(text));
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    writeReady(queuedNames.size() > kQueuedPerCore * cores);
  }

  // Writes the streams compressed so far; with wait, at least one.
  void writeReady(bool wait) {
    std::string compressed;
    while (!queuedNames.empty() && compressors.takeReady(compressed, wait)) {
      storage::WriteStream(file, queuedNames.front(), compressed, false);
      queuedNames.pop_front();
      wait = false;
    }
  }

  void writeAll() {
    while (!queuedNames.empty()) {
      writeReady(true);
    }
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
    m_state->file.root().createStorage(cp1251::toUtf16(kArticleStorage));
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
  const auto withLineEnds = [](std::string_view text) {
    std::string lines(text);
    if (!lines.empty() && !lines.ends_with("\r\n")) lines += "\r\n";
    return lines;
  };
  // The two long lists first, so that their compression starts while the rest is queued.
  s.queue("~index.dat", std::move(s.index));
  s.queue("~items.dat", std::move(s.items));
  s.queue("~dict.ini", withLineEnds(ini));
  s.queue("~info.dat", withLineEnds(info));
  s.writeAll();
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
