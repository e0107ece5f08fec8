// Package reads and writes against what the machine can do at best with the same bytes: a
// plain file read plus inflate, and deflate at level 9 plus a plain, synced file write. Both
// run here, in the same process and run, so the ratio holds whatever the machine. And
// rewriting one small stream must cost the same in a package of 1, 10 or 100 MB.
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "common/cp1251.h"
#include "storage/storage.h"
#include "storage/zlib_buffer.h"

namespace {

namespace fs = std::filesystem;
using namespace verbalon;
using namespace verbalon::storage;

// Dictionary-like Windows-1251 text: "headword - definition" lines over a vocabulary drawn with
// a skewed frequency, so that deflate meets the repetition of real articles.
class DictionaryText {
 public:
  DictionaryText() : m_rng(1251) {
    const std::vector<std::string> consonants = {"б", "в",  "г",  "д",  "ж",  "з", "к", "л",
                                                 "м", "н",  "п",  "р",  "с",  "т", "х", "ч",
                                                 "ш", "ст", "пр", "кр", "тр", "сл"};
    const std::vector<std::string> vowels = {"а", "о", "е", "и", "у", "ы", "я", "ю", "о", "а"};
    const std::vector<std::string> endings = {"", "", "ть", "ка", "ний", "ость", "ный", "ция"};
    for (int i = 0; i < 30000; ++i) {
      std::string word;
      const auto syllables = 1 + m_rng() % 4;
      for (size_t s = 0; s < syllables; ++s) {
        word += consonants[m_rng() % consonants.size()] + vowels[m_rng() % vowels.size()];
      }
      word += endings[m_rng() % endings.size()];
      m_words.push_back(cp1251::fromUtf8(word));
    }
  }

  std::string make(size_t bytes) {
    std::string text;
    text.reserve(bytes + 256);
    while (text.size() < bytes) {
      text += cp1251::toUpper(pick());
      text += " \x97 ";  // em dash
      const auto words = 4 + m_rng() % 20;
      for (size_t w = 0; w < words; ++w) {
        text += pick();
        text += (m_rng() % 9 == 0) ? ", " : " ";
      }
      text += "<i>" + pick() + "</i>.\r\n";
    }
    text.resize(bytes);
    return text;
  }

 private:
  const std::string& pick() {
    // Squaring a uniform draw favours the front of the vocabulary, as word use does.
    const double u = std::uniform_real_distribution<double>(0.0, 1.0)(m_rng);
    return m_words[static_cast<size_t>(u * u * static_cast<double>(m_words.size() - 1))];
  }

  std::mt19937 m_rng;
  std::vector<std::string> m_words;
};

constexpr size_t kMiB = size_t{1} << 20;

class Workspace {
 public:
  static Workspace& get() {
    static Workspace workspace;
    return workspace;
  }

  const fs::path& dir() const { return m_dir; }

  const std::string& text(size_t bytes) {
    auto it = m_texts.find(bytes);
    if (it == m_texts.end()) it = m_texts.emplace(bytes, m_generator.make(bytes)).first;
    return it->second;
  }

  const std::string& compressed(size_t bytes) {
    auto it = m_compressed.find(bytes);
    if (it == m_compressed.end()) {
      it = m_compressed.emplace(bytes, DeflateBuffer(text(bytes))).first;
    }
    return it->second;
  }

  ~Workspace() {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

 private:
  Workspace() {
    m_dir = fs::temp_directory_path() / ("verbalon-bench-" + std::to_string(::getpid()));
    fs::create_directories(m_dir);
  }

  fs::path m_dir;
  DictionaryText m_generator;
  std::map<size_t, std::string> m_texts;
  std::map<size_t, std::string> m_compressed;
};

void writeFileSynced(const fs::path& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path.string());
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) throw std::runtime_error("cannot write " + path.string());
    done += static_cast<size_t>(n);
  }
  ::fdatasync(fd);
  ::close(fd);
}

std::string readFile(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path.string());
  std::string bytes(fs::file_size(path), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(done);
  return bytes;
}

fs::path freshPackage(const std::string& name) {
  const fs::path path = Workspace::get().dir() / name;
  fs::remove(path);
  CompoundFile::create(path);
  return path;
}

void BM_ReadStream(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0)) * kMiB;
  const std::string& text = Workspace::get().text(bytes);
  const fs::path path = freshPackage("read.brd");
  CompoundFile package = CompoundFile::open(path);
  WriteStream(package, "~items.dat", text, true);
  // The program reads every stream into one ReadBuf, which has long grown when a big stream
  // comes; the limit below reuses its block as well.
  MemoryStream readBuf;
  ReadStream(package, "~items.dat", readBuf, kPackageMode, true);
  for (auto _ : state) {
    ReadStream(package, "~items.dat", readBuf, kPackageMode, true);
    benchmark::DoNotOptimize(readBuf.bytes().data());
  }
  if (readBuf.bytes() != text) state.SkipWithError("read back other content");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

// The best a read can do: the compressed bytes from a plain file, inflated into a block of the
// known size.
void BM_ReadLimit(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0)) * kMiB;
  const fs::path path = Workspace::get().dir() / "read-limit.z";
  writeFileSynced(path, Workspace::get().compressed(bytes));
  std::string out(bytes, '\0');
  for (auto _ : state) {
    const std::string compressed = readFile(path);
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(compressed.data()),
                   static_cast<uLong>(compressed.size())) != Z_OK) {
      state.SkipWithError("inflate failed");
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void BM_WriteStream(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0)) * kMiB;
  const std::string& text = Workspace::get().text(bytes);
  const fs::path path = freshPackage("write.brd");
  CompoundFile package = CompoundFile::open(path);
  for (auto _ : state)
    WriteStream(package, "~items.dat", text, true);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

// zlib at level 9 in one piece, on one thread: how every stream was written before.
std::string deflateOneThread(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()), 9);
  out.resize(size);
  return out;
}

// The best a durable write can do: deflate at level 9, then a plain file write and one sync.
void BM_WriteLimit(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0)) * kMiB;
  const std::string& text = Workspace::get().text(bytes);
  const fs::path path = Workspace::get().dir() / "write-limit.z";
  std::string out;
  for (auto _ : state) {
    out = deflateOneThread(text);
    writeFileSynced(path, out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

// A package of the given size in 1 MiB streams of stored (already compressed) bytes, plus the
// small stream that the benchmark rewrites, much as the history sits beside the index.
void BM_RewriteSmallStream(benchmark::State& state) {
  const size_t megabytes = static_cast<size_t>(state.range(0));
  const std::string& bulk = Workspace::get().compressed(4 * kMiB);
  const fs::path path = freshPackage("rewrite.brd");
  CompoundFile package = CompoundFile::open(path);
  {
    CompoundFile::Transaction transaction = package.beginTransaction();
    for (size_t i = 0; i < megabytes; ++i) {
      const size_t offset = (i * 7919 * 131) % (bulk.size() - kMiB);
      WriteStream(package, "item" + std::to_string(i) + ".dat", bulk.substr(offset, kMiB), false);
    }
    transaction.commit();
  }
  const std::string history = Workspace::get().text(4096);
  WriteStream(package, "history.dat", history, true);
  state.counters["package_MB"] =
      static_cast<double>(fs::file_size(path)) / static_cast<double>(kMiB);
  size_t round = 0;
  for (auto _ : state) {
    // Content that changes each round, as a history does.
    WriteStream(package, "history.dat", std::to_string(round++) + history, true);
  }
}

// The saved index's kind of text, zlib's slow case at level 9: short, very repetitive lines.
const std::string& indexText() {
  static const std::string text = [] {
    std::string lines;
    for (size_t i = 0; lines.size() < 10 * kMiB; ++i) {
      lines += std::to_string(i % 4) + ":a\\" + std::to_string(i / 500 + 1) + ":" +
               std::to_string(i % 500) + (i % 3 == 0 ? "|2:a\\17:" + std::to_string(i % 97) : "") +
               "\r\n";
    }
    return lines;
  }();
  return text;
}

// One thread of zlib at level 9, as every stream was written before, against the pieces on
// every core that DeflateBuffer writes, on the same bytes in the same run. Arg 0: the index's
// text; arg 1: dictionary text.
const std::string& deflateInput(int64_t kind) {
  return kind == 0 ? indexText() : Workspace::get().text(10 * kMiB);
}

void BM_DeflateOneThread(benchmark::State& state) {
  const std::string& text = deflateInput(state.range(0));
  std::string out;
  for (auto _ : state) {
    out = deflateOneThread(text);
  }
  state.counters["ratio"] = static_cast<double>(out.size()) / static_cast<double>(text.size());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_DeflateBuffer(benchmark::State& state) {
  const std::string& text = deflateInput(state.range(0));
  std::string out;
  for (auto _ : state)
    out = DeflateBuffer(text);
  state.counters["ratio"] = static_cast<double>(out.size()) / static_cast<double>(text.size());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

BENCHMARK(BM_DeflateOneThread)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeflateBuffer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLimit)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadStream)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteLimit)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteStream)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RewriteSmallStream)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
