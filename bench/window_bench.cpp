// The main window over a million-word index: the time from creating the window to the first page
// of words on screen, the cost of one page change, and of one keystroke in the find box.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "bench_words.h"
#include "main/detail/tf_main_probe.h"
#include "main/main_window.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"
#include "storage/storage.h"

namespace verbalon::bench {
namespace {

constexpr size_t kWords = 1'000'000;

// The bundled resource package with a stored index of a million words of one dictionary. The
// index is written directly, as an installation would have left it: the window only loads it.
class BigApp {
 public:
  BigApp()
      : m_path(std::filesystem::temp_directory_path() /
               ("verbalon-window-bench-" + std::to_string(getpid()))) {
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path / "data");
    std::filesystem::copy_file(VERBALON_PACKED_RESOURCES, m_path / "vrbx.pde");
    RussianWords maker(7);
    StringList words = maker.unique(kWords);
    std::sort(words.begin(), words.end());
    const StringList locations = maker.locations(kWords);
    StringList entries;
    entries.reserve(kWords);
    for (const std::string& location : locations)
      entries.push_back("0:" + location);
    {
      storage::CompoundFile package = storage::CompoundFile::create(m_path / "data" / "big.brd");
      storage::WriteStream(package, "~dict.ini", std::string("Title=big\r\nShortTitle=big"), true);
      storage::WriteStream(package, "~info.dat", std::string("info"), true);
      storage::WriteStream(package, "~items.dat", joinLines(words), true);
      storage::WriteStream(package, "~index.dat", joinLines(locations), true);
    }
    storage::CompoundFile stgRes = storage::CompoundFile::open(m_path / "vrbx.pde");
    auto transaction = stgRes.beginTransaction();
    storage::WriteStream(stgRes, "items.dat", joinLines(words), true);
    storage::WriteStream(stgRes, "index.dat", joinLines(entries), true);
    storage::WriteStream(stgRes, "addeddicts.dat", std::string("big.brd\r\n"), true);
    transaction.commit();
  }
  ~BigApp() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

const BigApp& app() {
  static const BigApp instance;
  return instance;
}

// The application the windows need, made once, on the offscreen platform (the window needs no
// screen to be measured). An error box would wait for a click that never comes: the benchmark
// reports the error and stops instead.
void startApplication() {
  static int argc = 1;
  static char name[] = "window_bench";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  new QApplication(argc, argv);
  ui::DialogHooks hooks;
  hooks.error = [](const QString& message) {
    std::fprintf(stderr, "window_bench: %s\n", message.toUtf8().constData());
    std::exit(1);
  };
  ui::setDialogHooks(hooks);
}

// The word list box, found by its object name.
QListWidget* lbWord(const ui::TfMain& window) {
  return window.findChild<QListWidget*>(QStringLiteral("lbWord"));
}

std::unique_ptr<ui::TfMain> openWindow() {
  startApplication();
  auto window = std::make_unique<ui::TfMain>(app().path(), QStringList());
  if (!window->FormCreate()) std::abort();
  window->show();
  while (lbWord(*window)->count() < 2)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return window;
}

void BM_StartToFirstPage(benchmark::State& state) {
  app();
  for (auto _ : state) {
    auto window = openWindow();
    state.PauseTiming();
    state.counters["words"] = static_cast<double>(window->wordIndex().slWord().size());
    state.counters["rows"] = lbWord(*window)->count();
    window.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartToFirstPage)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ShowPage(benchmark::State& state) {
  auto window = openWindow();
  std::mt19937 rng(1);
  for (auto _ : state)
    ui::detail::TfMainProbe::ShowPage(*window, static_cast<int64_t>(rng() % kWords));
  state.counters["rows"] = lbWord(*window)->count();
}
BENCHMARK(BM_ShowPage)->Unit(benchmark::kMicrosecond);

// One filter run as the find box starts it: the scan of the whole list, the result list, the
// history line and its saving. A two-letter prefix matches about one word in a hundred.
void BM_FilterRun(benchmark::State& state) {
  auto window = openWindow();
  window->findChild<QLineEdit*>(QStringLiteral("meFind"))->setText(QStringLiteral("ка"));
  QAction* acFilter = window->findChild<QAction*>(QStringLiteral("acFilter"));
  for (auto _ : state)
    acFilter->trigger();
  state.counters["matches"] = static_cast<double>(window->flFiltered().Words.size());
}
BENCHMARK(BM_FilterRun)->Unit(benchmark::kMillisecond)->Iterations(30);

// Texts a person types: the first one to six letters of words of the list.
std::vector<QString> typedTexts(const StringList& words, size_t count) {
  std::mt19937 rng(2);
  std::vector<QString> texts;
  for (size_t i = 0; i < count; ++i)
    texts.push_back(ui::toQString(words[rng() % words.size()].substr(0, 1 + rng() % 6)));
  return texts;
}

// A keystroke as the find box reports one.
void typeInto(QLineEdit* meFind, const QString& text) {
  meFind->setText(text);
  Q_EMIT meFind->textEdited(text);
}

// The first keystroke of a run: the keys are built on the worker thread, then the list follows.
void BM_FirstKeystrokeToFollow(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto window = openWindow();
    auto* meFind = window->findChild<QLineEdit*>(QStringLiteral("meFind"));
    state.ResumeTiming();
    typeInto(meFind, QStringLiteral("ка"));
    ui::detail::TfMainProbe::waitForFindAids(*window);
    state.PauseTiming();
    window.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstKeystrokeToFollow)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// Every further keystroke: the look-up over the keys, the page refilled, its row chosen (the
// article is left to the show timer).
void BM_FollowTyping(benchmark::State& state) {
  auto window = openWindow();
  auto* meFind = window->findChild<QLineEdit*>(QStringLiteral("meFind"));
  const std::vector<QString> texts = typedTexts(window->wordIndex().slWord(), 4096);
  typeInto(meFind, texts.front());
  ui::detail::TfMainProbe::waitForFindAids(*window);
  size_t t = 0;
  for (auto _ : state)
    typeInto(meFind, texts[t++ % texts.size()]);
  state.counters["rows"] = lbWord(*window)->count();
}
BENCHMARK(BM_FollowTyping)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace verbalon::bench

BENCHMARK_MAIN();
