// The installation dialog's showing: the scan of a data folder holding 1,000 packages and the
// list built from it, each package opened for the moment to read its title. And the removal of a
// real, large dictionary through the dialog beside the same removal through the session alone,
// as the tool does it, with the memory of the process before the installation, after it and
// after the removal.
#include <QApplication>
#include <QListWidget>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include "dialogs/add_dicts.h"
#include "index/install_progress.h"
#include "proc_memory.h"
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

// The resident size of this process in megabytes.
double residentMegabytes() {
  return verbalon::bench::statusMegabytes("VmRSS:");
}

// A copy of the application folder named by VERBALON_REAL_BASE, whose data folder holds
// english-german.brd, not installed (bench/install_real.sh makes one from the Debian
// dictionaries); removed again at the end.
class RealFolder {
 public:
  explicit RealFolder(benchmark::State& state) {
    const char* base = std::getenv("VERBALON_REAL_BASE");
    if (base == nullptr) {
      state.SkipWithError("VERBALON_REAL_BASE names no application folder (bench/install_real.sh)");
      return;
    }
    std::string pattern = (fs::temp_directory_path() / "remove-real-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      state.SkipWithError("cannot make a temporary folder");
      return;
    }
    m_folder = pattern;
    fs::copy(base, m_folder, fs::copy_options::recursive);
  }
  ~RealFolder() {
    if (!m_folder.empty()) fs::remove_all(m_folder);
  }
  RealFolder(const RealFolder&) = delete;
  RealFolder& operator=(const RealFolder&) = delete;

  bool ready() const { return !m_folder.empty(); }
  const fs::path& path() const { return m_folder; }

 private:
  fs::path m_folder;
};

constexpr const char* kRealPackage = "english-german.brd";

// Installs english-german (untimed), then removes it: through the dialog's button, the gauge and
// labels repainted on the offscreen platform (argument 1), or through the session alone with no
// progress shown, as the tool removes (argument 0).
void BM_RemoveRealDictionary(benchmark::State& state) {
  ensureApplication();
  const bool throughDialog = state.range(0) == 1;
  RealFolder folder(state);
  if (!folder.ready()) return;
  double before = 0;
  double installed = 0;
  double removed = 0;
  {
    verbalon::session::Session session(folder.path());
    session.LoadIndex();
    verbalon::ui::TfAddDicts dialog({session, [] {}, {}});
    dialog.show();
    QApplication::processEvents();
    verbalon::index::NoProgress quiet;
    const fs::path package = session.DataDir() / kRealPackage;
    for (auto _ : state) {
      state.PauseTiming();
      before = residentMegabytes();
      session.install(package, quiet);
      installed = residentMegabytes();
      const auto& files = dialog.PackageFiles();
      const auto line =
          std::find_if(files.begin(), files.end(),
                       [](const fs::path& file) { return file.filename() == kRealPackage; }) -
          files.begin();
      dialog.findChild<QListWidget*>(QStringLiteral("lbDicts"))
          ->setCurrentRow(static_cast<int>(line));
      state.ResumeTiming();
      if (throughDialog) {
        dialog.Button2Click();
      } else {
        session.remove(session.index().Dicts().size() - 1, quiet);
      }
      state.PauseTiming();
      removed = residentMegabytes();
      state.ResumeTiming();
    }
    if (session.index().Dicts().size() != 2) state.SkipWithError("the dictionary stayed installed");
  }
  state.counters["rss_before_MB"] = before;
  state.counters["rss_installed_MB"] = installed;
  state.counters["rss_removed_MB"] = removed;
}
BENCHMARK(BM_RemoveRealDictionary)
    ->ArgName("dialog")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
