// Loading and saving a stored index of a million words from ten dictionaries of a hundred
// thousand items, against zlib's own level-9 deflate of the same bytes.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>
#include <zlib.h>

#include "bench_words.h"
#include "index/word_index.h"
#include "storage/storage.h"

namespace verbalon::bench {
namespace {

using index::NoProgress;
using index::WordIndex;

constexpr size_t kDicts = 10;
constexpr size_t kItemsPerDict = 100'000;

// An application folder with "vrbx.pde" and "data/", removed at exit.
class AppFolder {
 public:
  // VERBALON_BENCH_APP names a folder to keep between runs: made on the first run and only
  // loaded on later ones, so that a run's peak memory is the load's own.
  AppFolder() {
    if (const char* kept = std::getenv("VERBALON_BENCH_APP")) {
      m_path = kept;
      m_keep = true;
      if (std::filesystem::exists(resource())) {
        storage::CompoundFile stgRes = storage::CompoundFile::open(resource());
        storage::MemoryStream ReadBuf;
        storage::ReadStream(stgRes, "items.dat", ReadBuf, storage::kPackageMode, true);
        m_words = splitLines(ReadBuf.bytes()).size();
        return;
      }
    } else {
      m_path = std::filesystem::temp_directory_path() /
               ("verbalon-index-bench-" + std::to_string(getpid()));
    }
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path / "data");
    RussianWords maker(99);
    const StringList words = maker.unique(kDicts * kItemsPerDict);
    storage::CompoundFile::create(resource());
    storage::CompoundFile stgRes = storage::CompoundFile::open(resource());
    for (const char* stream : {"items.dat", "index.dat", "addeddicts.dat", "history.dat"}) {
      storage::WriteStream(stgRes, stream, std::string(), true);
    }
    storage::MemoryStream ReadBuf;
    WordIndex index;
    index.LoadIndex(stgRes, dataDir(), ReadBuf);
    NoProgress none;
    for (size_t d = 0; d < kDicts; ++d) {
      // A hundred thousand words of its own, and every fifth word of the next dictionary too.
      StringList items(words.begin() + static_cast<std::ptrdiff_t>(d * kItemsPerDict),
                       words.begin() + static_cast<std::ptrdiff_t>((d + 1) * kItemsPerDict));
      for (size_t i = 0; i < kItemsPerDict && d + 1 < kDicts; i += 5) {
        items.push_back(words[(d + 1) * kItemsPerDict + i]);
      }
      const StringList locations = maker.locations(items.size());
      const std::string name = "dict" + std::to_string(d) + ".brd";
      {
        storage::CompoundFile package = storage::CompoundFile::create(dataDir() / name);
        storage::WriteStream(package, "~dict.ini", "Title=" + name + "\r\nShortTitle=" + name,
                             true);
        storage::WriteStream(package, "~info.dat", std::string("info"), true);
        storage::WriteStream(package, "~items.dat", joinLines(items), true);
        storage::WriteStream(package, "~index.dat", joinLines(locations), true);
      }
      index.AddDict(dataDir() / name, ReadBuf);
      index.InstallDict(d, none);
    }
    index.SaveIndex(stgRes, none);
    m_words = index.slWord().size();
  }
  ~AppFolder() {
    std::error_code ec;
    if (!m_keep) std::filesystem::remove_all(m_path, ec);
  }

  std::filesystem::path resource() const { return m_path / "vrbx.pde"; }
  std::filesystem::path dataDir() const { return m_path / "data"; }
  size_t words() const { return m_words; }

 private:
  std::filesystem::path m_path;
  size_t m_words = 0;
  bool m_keep = false;
};

const AppFolder& app() {
  static const AppFolder instance;
  return instance;
}

size_t allocatedBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void BM_LoadIndexOfMillionWords(benchmark::State& state) {
  app();
  for (auto _ : state) {
    storage::CompoundFile stgRes = storage::CompoundFile::open(app().resource());
    storage::MemoryStream ReadBuf;
    const size_t before = allocatedBytes();
    auto index = std::make_unique<WordIndex>();
    index->LoadIndex(stgRes, app().dataDir(), ReadBuf);
    state.PauseTiming();
    state.counters["words"] = static_cast<double>(index->slWord().size());
    // Dicts included: every slot holds its settings and open package, not its item lists.
    state.counters["MB_heap_after_load"] = static_cast<double>(allocatedBytes() - before) / 1e6;
    index.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadIndexOfMillionWords)->Unit(benchmark::kMillisecond)->Iterations(3);

// The index of the run before, loaded once; each iteration saves it again.
void BM_SaveIndexOfMillionWords(benchmark::State& state) {
  storage::CompoundFile stgRes = storage::CompoundFile::open(app().resource());
  storage::MemoryStream ReadBuf;
  WordIndex index;
  index.LoadIndex(stgRes, app().dataDir(), ReadBuf);
  NoProgress none;
  size_t bytes = joinLines(index.slWord()).size() + joinLines(index.slIndex()).size();
  for (auto _ : state)
    index.SaveIndex(stgRes, none);
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}
BENCHMARK(BM_SaveIndexOfMillionWords)->Unit(benchmark::kMillisecond)->Iterations(2);

// What SaveIndex cannot avoid: zlib's level-9 deflate, one thread, of the same three texts.
void BM_Deflate9OfTheSameBytes(benchmark::State& state) {
  storage::CompoundFile stgRes = storage::CompoundFile::open(app().resource());
  storage::MemoryStream ReadBuf;
  WordIndex index;
  index.LoadIndex(stgRes, app().dataDir(), ReadBuf);
  StringList dictList;
  for (const dicts::TDict& slot : index.Dicts())
    dictList.push_back(slot.FileName);
  const std::string texts[] = {joinLines(index.slWord()), joinLines(index.slIndex()),
                               joinLines(dictList)};
  size_t bytes = 0;
  for (const std::string& text : texts)
    bytes += text.size();
  std::string out;
  for (auto _ : state) {
    for (const std::string& text : texts) {
      uLongf size = compressBound(static_cast<uLong>(text.size()));
      out.resize(size);
      if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                    reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
                    9) != Z_OK) {
        throw std::runtime_error("deflate failed");
      }
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}
BENCHMARK(BM_Deflate9OfTheSameBytes)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace verbalon::bench
