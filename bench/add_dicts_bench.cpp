// The installation dialog's showing: the scan of a data folder holding 1,000 packages and the
// list built from it, each package opened for the moment to read its title.
#include <QApplication>
#include <QListWidget>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include "dialogs/add_dicts.h"
#include "index/word_index.h"
#include "storage/compound_file.h"
#include "storage/memory_stream.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPackages = 1000;

void BM_FormShowOfDataFolder(benchmark::State& state) {
  std::string pattern = (fs::temp_directory_path() / "add-dicts-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("cannot make a temporary folder");
    return;
  }
  const fs::path folder = pattern;
  const fs::path dataDir = folder / "data";
  fs::create_directories(dataDir);
  const fs::path sample = fs::path(VERBALON_APP_DIR) / "data" / "sokr.brd";
  for (int i = 0; i < kPackages; ++i) {
    fs::copy_file(sample, dataDir / ("dictionary" + std::to_string(i) + ".brd"));
  }

  int listed = 0;
  {
    verbalon::storage::CompoundFile stgRes =
        verbalon::storage::CompoundFile::create(folder / "vrbx.pde");
    verbalon::storage::MemoryStream ReadBuf;
    verbalon::index::WordIndex index;
    verbalon::ui::TfAddDicts dialog({index, stgRes, ReadBuf, dataDir, [] {}});
    for (auto _ : state) {
      dialog.FormShow();
      listed = dialog.findChild<QListWidget*>(QStringLiteral("lbDicts"))->count();
    }
  }
  fs::remove_all(folder);
  if (listed != kPackages) state.SkipWithError("the list missed packages");
  state.SetItemsProcessed(state.iterations() * kPackages);
}
BENCHMARK(BM_FormShowOfDataFolder)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
  }
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
