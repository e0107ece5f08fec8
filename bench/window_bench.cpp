// The main window over a million-word index: the time from creating the window to the first page
// of words on screen, the cost of one page change, and of one keystroke in the find box. Then a
// long article page, one of 64 fragments as "be" has with the four Debian dictionaries: building
// it, showing a built one in the view, and both as the show timer runs them.
//
// VERBALON_BENCH_APP names an application folder to measure instead of the made-up ones (the
// peers script installs the four Debian dictionaries into one); the long page is then that of
// VERBALON_BENCH_LONG_WORD ("be" unless set), and BM_TwentyArticlePages shows the pages of 20
// words spread over its index.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "bench_words.h"
#include "htmlview/html_viewer.h"
#include "index/install_progress.h"
#include "main/detail/tf_main_probe.h"
#include "main/main_window.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"
#include "session/session.h"
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

const char* externalApp() {
  return std::getenv("VERBALON_BENCH_APP");
}

// The folder the word-list benchmarks open.
std::filesystem::path app() {
  if (const char* path = externalApp()) return path;
  static const BigApp instance;
  return instance.path();
}

// An application folder with one dictionary whose 64 items all spell "be": one word of 64
// fragments, each an article of the length and markup of a long dictd one; and "being".
class LongPageApp {
 public:
  LongPageApp()
      : m_path(std::filesystem::temp_directory_path() /
               ("verbalon-long-page-bench-" + std::to_string(getpid()))) {
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path / "data");
    std::filesystem::copy_file(VERBALON_PACKED_RESOURCES, m_path / "vrbx.pde");
    std::mt19937 rng(64);
    StringList items;
    StringList locations;
    std::string articles;
    for (int k = 0; k < kFragments; ++k) {
      items.emplace_back(k % 2 == 0 ? "be" : "Be");
      locations.push_back("items:" + std::to_string(k));
      for (int sense = 0; sense < 12; ++sense) {
        articles += "<B>" + std::to_string(sense + 1) + ".</B> ";
        for (int w = 0; w < 40; ++w) {
          static const char* const kFiller[] = {"to",  "exist",  "have",     "place",
                                                "the", "state",  "of",       "being",
                                                "in",  "manner", "condition"};
          articles += kFiller[rng() % std::size(kFiller)];
          articles += w % 13 == 12 ? ", " : " ";
        }
        articles += "<A HREF=\"lookup:exist\">exist</A>; <I>as</I>, he is here.#";
      }
      articles += "\r\n";
    }
    // A second word: the window is ready once its list shows two rows.
    items.emplace_back("being");
    locations.emplace_back("items:0");
    const std::filesystem::path package = m_path / "data" / "long.brd";
    {
      storage::CompoundFile file = storage::CompoundFile::create(package);
      storage::WriteStream(file, "~dict.ini",
                           std::string("Title=Long\r\nShortTitle=Long\r\nviewcontrol=MEMO\r\n"
                                       "RowDelimiter=#"),
                           true);
      storage::WriteStream(file, "~info.dat", std::string("info"), true);
      storage::WriteStream(file, "~items.dat", joinLines(items), true);
      storage::WriteStream(file, "~index.dat", joinLines(locations), true);
      storage::WriteStream(file, "items", articles, true);
    }
    session::Session session(m_path);
    session.LoadIndex();
    index::NoProgress quiet;
    session.install(package, quiet);
  }
  ~LongPageApp() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  const std::filesystem::path& path() const { return m_path; }

  static constexpr int kFragments = 64;

 private:
  std::filesystem::path m_path;
};

std::filesystem::path longPageApp() {
  if (const char* path = externalApp()) return path;
  static const LongPageApp instance;
  return instance.path();
}

std::string longWord() {
  const char* word = std::getenv("VERBALON_BENCH_LONG_WORD");
  return externalApp() && word ? word : "be";
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

std::unique_ptr<ui::TfMain> openWindow(const std::filesystem::path& folder = app()) {
  startApplication();
  auto window = std::make_unique<ui::TfMain>(folder, QStringList());
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
    ui::detail::TfMainProbe::ShowPage(
        *window, static_cast<int64_t>(rng() % window->wordIndex().slWord().size()));
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
std::vector<QString> typedTexts(const PackedLines& words, size_t count) {
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

// The line of the long page's word in the window's index.
int32_t longLine(ui::TfMain& window) {
  const std::optional<size_t> line = window.session().findWord(longWord());
  if (!line) {
    std::fprintf(stderr, "window_bench: \"%s\" is not in the index\n", longWord().c_str());
    std::exit(1);
  }
  return static_cast<int32_t>(*line);
}

ui::THTMLViewer& articleView(ui::TfMain& window) {
  return *window.findChild<ui::THTMLViewer*>(QStringLiteral("me"));
}

// The page as the session builds it, its item stream cached after the first.
void BM_LongPageBuild(benchmark::State& state) {
  auto window = openWindow(longPageApp());
  const auto w = static_cast<size_t>(longLine(*window));
  const int width = articleView(*window).width();
  for (auto _ : state)
    benchmark::DoNotOptimize(window->session().page(w, width));
  state.counters["fragments"] =
      static_cast<double>(std::count(window->wordIndex().slIndex()[w].begin(),
                                     window->wordIndex().slIndex()[w].end(), '|') +
                          1);
}
BENCHMARK(BM_LongPageBuild)->Unit(benchmark::kMillisecond);

// A built page into the view: its references found and served, the HTML parsed and laid out.
void BM_LongPageView(benchmark::State& state) {
  auto window = openWindow(longPageApp());
  ui::THTMLViewer& me = articleView(*window);
  const std::string page =
      window->session().page(static_cast<size_t>(longLine(*window)), me.width());
  for (auto _ : state)
    me.LoadFromString(page);
}
BENCHMARK(BM_LongPageView)->Unit(benchmark::kMillisecond);

// What follows the show timer: the page built and shown, the status bar refreshed.
void BM_LongPageShow(benchmark::State& state) {
  auto window = openWindow(longPageApp());
  const int32_t w = longLine(*window);
  for (auto _ : state)
    ui::detail::TfMainProbe::ShowArticle(*window, w);
}
BENCHMARK(BM_LongPageShow)->Unit(benchmark::kMillisecond);

// The stages of BM_LongPageShow one by one, each a counter in milliseconds of real time beside
// the 150 ms the page may take to show: the page built, loaded into the view (our reference scan,
// Qt's parse and the layout it does at once), its first paint; then what the view lays out of
// the rest of the page afterwards, as it scrolls or between events.
void BM_LongPageStages(benchmark::State& state) {
  auto window = openWindow(longPageApp());
  ui::THTMLViewer& me = articleView(*window);
  const auto w = static_cast<size_t>(longLine(*window));
  QElapsedTimer clock;
  double build = 0;
  double load = 0;
  double paint = 0;
  double rest = 0;
  const auto lap = [&clock](double& total) {
    total += static_cast<double>(clock.nsecsElapsed()) / 1e6;
    clock.restart();
  };
  for (auto _ : state) {
    clock.start();
    const std::string page = window->session().page(w, me.width());
    lap(build);
    me.LoadFromString(page);
    lap(load);
    me.viewport()->repaint();
    lap(paint);
    benchmark::DoNotOptimize(me.document()->size());
    lap(rest);
  }
  const auto perPage = [&state](double total) {
    return benchmark::Counter(total / static_cast<double>(state.iterations()));
  };
  state.counters["build_ms"] = perPage(build);
  state.counters["load_ms"] = perPage(load);
  state.counters["paint_ms"] = perPage(paint);
  state.counters["shown_ms"] = perPage(build + load + paint);
  state.counters["limit_ms"] = 150;
  state.counters["rest_ms"] = perPage(rest);
}
BENCHMARK(BM_LongPageStages)->Unit(benchmark::kMillisecond)->UseRealTime();

// The article pages of 20 words spread evenly over the index of VERBALON_BENCH_APP (a made-up
// index has no articles to show).
void BM_TwentyArticlePages(benchmark::State& state) {
  auto window = openWindow();
  const size_t words = window->wordIndex().slWord().size();
  for (auto _ : state) {
    for (size_t k = 0; k < 20; ++k)
      ui::detail::TfMainProbe::ShowArticle(*window, static_cast<int32_t>(k * words / 20));
  }
}

}  // namespace
}  // namespace verbalon::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (verbalon::bench::externalApp()) {
    benchmark::RegisterBenchmark("BM_TwentyArticlePages", verbalon::bench::BM_TwentyArticlePages)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
