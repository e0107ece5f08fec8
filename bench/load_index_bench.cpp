// LoadIndex, what start-up waits for before the first page of the word list, on application
// folders of real size: VERBALON_REAL_APP (the four Debian dictionaries, 555k words, made by
// bench/import_real.sh) and VERBALON_BIG_APP (5 million words, made by make_big_index). A folder
// that is not given is skipped. Peak memory is the load's own: the peak resident size is reset
// before each load (/proc/self/clear_refs), then read (VmHWM); ru_maxrss, the process's peak,
// is shown beside it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "index/word_index.h"
#include "proc_memory.h"
#include "storage/storage.h"

namespace verbalon::bench {
namespace {

void resetPeakMemory() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

// VmHWM of /proc/self/status, in megabytes.
double peakMegabytes() {
  return bench::statusMegabytes("VmHWM:");
}

void loadIndex(benchmark::State& state, const char* variable) {
  const char* folder = std::getenv(variable);
  if (folder == nullptr) {
    state.SkipWithError((std::string(variable) + " is not set").c_str());
    return;
  }
  const std::filesystem::path app = folder;
  double peak = 0;
  size_t words = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own
    state.PauseTiming();
    resetPeakMemory();
    state.ResumeTiming();
    storage::CompoundFile stgRes = storage::CompoundFile::open(app / "vrbx.pde");
    storage::MemoryStream ReadBuf;
    auto index = std::make_unique<index::WordIndex>();
    index->LoadIndex(stgRes, app / "data", ReadBuf);
    state.PauseTiming();
    peak = std::max(peak, peakMegabytes());
    words = index->slWord().size();
    index.reset();
    state.ResumeTiming();
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["words"] = static_cast<double>(words);
  state.counters["MB_peak_rss"] = peak;
  state.counters["MB_ru_maxrss"] = static_cast<double>(usage.ru_maxrss) / 1024;
}

void BM_LoadIndexReal555k(benchmark::State& state) {
  loadIndex(state, "VERBALON_REAL_APP");
}
BENCHMARK(BM_LoadIndexReal555k)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_LoadIndexBig5M(benchmark::State& state) {
  loadIndex(state, "VERBALON_BIG_APP");
}
BENCHMARK(BM_LoadIndexBig5M)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace verbalon::bench

BENCHMARK_MAIN();
