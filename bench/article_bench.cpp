// Building an article page whose article sits in a 10 MB item stream: without the item-stream
// cache every page decompresses and scans the whole stream; with it the first page from a
// stream pays that once and a second page from the same stream picks its line from memory.
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "article/article_page.h"
#include "article/item_stream_cache.h"
#include "common/cp1251.h"
#include "dicts/dict_package.h"
#include "storage/storage.h"

namespace {

namespace fs = std::filesystem;
using namespace verbalon;

constexpr size_t kStreamBytes = size_t{10} << 20;

// Article lines of pseudo-random Cyrillic words, so that deflate meets text of a real ratio.
std::string articleText(size_t bytes, size_t& lines) {
  std::mt19937 rng(1251);
  const std::string letters = cp1251::fromUtf8("абвгдежзиклмнопрстуфхцчшщыэюя");
  std::vector<std::string> words;
  for (int i = 0; i < 20000; ++i) {
    std::string word;
    const size_t length = 2 + rng() % 9;
    for (size_t c = 0; c < length; ++c)
      word += letters[rng() % letters.size()];
    words.push_back(word);
  }
  std::string text;
  text.reserve(bytes + 512);
  lines = 0;
  while (text.size() < bytes) {
    const size_t count = 8 + rng() % 30;
    for (size_t w = 0; w < count; ++w) {
      text += words[rng() % words.size()];
      text += (w % 7 == 6) ? "#" : " ";
    }
    text += "\r\n";
    ++lines;
  }
  return text;
}

class Workspace {
 public:
  static Workspace& get() {
    static Workspace workspace;
    return workspace;
  }
  ~Workspace() {
    Dicts.clear();
    std::error_code ec;
    fs::remove_all(m_folder, ec);
  }

  dicts::TDicts Dicts;
  article::PageTemplates templates{{"<html><h1>%%WORD</h1>%%CONTENT<p>%%NAME</p></html>"},
                                   {"<div><b>%%TITLE</b>%%WORD</div>"},
                                   {"<div>%%TITLE%%COLUMN</div>"},
                                   {"<td>%%COLUMNLIST</td>"}};
  size_t lines = 0;

 private:
  Workspace() {
    m_folder = fs::temp_directory_path() / ("verbalon-article-bench-" + std::to_string(getpid()));
    fs::create_directories(m_folder);
    const fs::path path = m_folder / "big.brd";
    {
      storage::CompoundFile file = storage::CompoundFile::create(path);
      storage::WriteStream(file, "~dict.ini",
                           "Title=Big\r\nShortTitle=Big\r\nviewcontrol=MEMO\r\nRowDelimiter=#",
                           true);
      storage::WriteStream(file, "~info.dat", "Info", true);
      storage::WriteStream(file, "~items.dat", "w", true);
      storage::WriteStream(file, "~index.dat", "items:0", true);
      storage::WriteStream(file, "items", articleText(kStreamBytes, lines), true);
    }
    storage::MemoryStream ReadBuf;
    dicts::AddDict(Dicts, path, ReadBuf, dicts::ItemLists::kSkip);
  }
  fs::path m_folder;
};

// The entry of a line near the end of the stream, so a line scan walks most of it.
std::string entryOf(size_t line) {
  return "0:items:" + std::to_string(line);
}

void BM_PageWithoutCache(benchmark::State& state) {
  Workspace& ws = Workspace::get();
  storage::MemoryStream ReadBuf;
  article::Advert advert(StringList{"0;1;a;n;p.gif;1"});
  const std::string entry = entryOf(ws.lines - 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        article::buildArticlePage(entry, "w", ws.Dicts, ws.templates, 600, advert, ReadBuf));
  }
}
BENCHMARK(BM_PageWithoutCache)->Unit(benchmark::kMillisecond);

// A fresh cache every iteration: the first page from the stream.
void BM_FirstPageWithCache(benchmark::State& state) {
  Workspace& ws = Workspace::get();
  storage::MemoryStream ReadBuf;
  article::Advert advert(StringList{"0;1;a;n;p.gif;1"});
  const std::string entry = entryOf(ws.lines - 2);
  for (auto _ : state) {
    article::ItemStreamCache cache;
    benchmark::DoNotOptimize(article::buildArticlePage(entry, "w", ws.Dicts, ws.templates, 600,
                                                       advert, ReadBuf, &cache));
    state.PauseTiming();
    cache.dropDict(0);  // the cache's own teardown stays out of the measurement
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstPageWithCache)->Unit(benchmark::kMillisecond);

// Another article of a stream the cache holds already.
void BM_SecondPageWithCache(benchmark::State& state) {
  Workspace& ws = Workspace::get();
  storage::MemoryStream ReadBuf;
  article::Advert advert(StringList{"0;1;a;n;p.gif;1"});
  article::ItemStreamCache cache;
  article::buildArticlePage(entryOf(1), "w", ws.Dicts, ws.templates, 600, advert, ReadBuf, &cache);
  const std::string entry = entryOf(ws.lines - 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(article::buildArticlePage(entry, "w", ws.Dicts, ws.templates, 600,
                                                       advert, ReadBuf, &cache));
  }
  state.counters["cached_MiB"] = static_cast<double>(cache.bytes()) / (1 << 20);
}
BENCHMARK(BM_SecondPageWithCache)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
