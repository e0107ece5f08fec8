// The installation dialog's scan: a data folder holding 1,000 packages, listed without
// subfolders with the mask "\.brd".
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include "dirscan/directory_scanner.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPackages = 1000;

void BM_ScanDataFolder(benchmark::State& state) {
  std::string pattern = (fs::temp_directory_path() / "dirscan-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("cannot make a temporary folder");
    return;
  }
  const fs::path folder = pattern;
  for (int i = 0; i < kPackages; ++i) {
    std::ofstream(folder / ("dictionary" + std::to_string(i) + ".brd")) << "x";
  }

  int found = 0;
  for (auto _ : state) {
    verbalon::dirscan::TDirectoryScanner scanner;
    scanner.Recursive = false;
    scanner.Mask = "\\.brd";
    scanner.Scan(folder);
    found = scanner.Count();
    benchmark::DoNotOptimize(scanner.Items().data());
  }
  fs::remove_all(folder);
  if (found != kPackages) state.SkipWithError("the scan missed packages");
  state.SetItemsProcessed(state.iterations() * kPackages);
}
BENCHMARK(BM_ScanDataFolder)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
