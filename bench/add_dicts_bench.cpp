// The installation dialog's showing: the scan of a data folder holding 1,000 packages and the
// list built from it, each package opened for the moment to read its title.
#include <QApplication>
#include <QListWidget>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include "dialogs/add_dicts.h"
#include "session/session.h"
#include "storage/compound_file.h"
#include "storage/memory_stream.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPackages = 1000;

// The dialog needs an application object; it is made at the first use, on the offscreen
// platform unless one is chosen, and kept to the end of the process.
void ensureApplication() {
  if (QApplication::instance() != nullptr) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
  }
  static int argc = 1;
  static char name[] = "add_dicts_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  (void)application;
}

void BM_FormShowOfDataFolder(benchmark::State& state) {
  ensureApplication();
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
    // An empty resource package: the dialog only lists.
    verbalon::storage::CompoundFile::create(folder / "vrbx.pde");
    verbalon::session::Session session(folder);
    verbalon::ui::TfAddDicts dialog({session, [] {}, {}});
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

BENCHMARK_MAIN();
