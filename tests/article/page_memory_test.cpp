// How much memory building one page takes, counted by replacing the global allocation functions
// of this test program: a package of a few hundred kilobytes made the page builder split its
// item stream into a list of hundreds of millions of lines.
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "article/article_page.h"
#include "dicts/dict_package.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

namespace {

std::atomic<size_t> g_current{0};
std::atomic<size_t> g_peak{0};

// Each block carries its size in front, so that delete knows what it frees.
constexpr size_t kHeader = alignof(std::max_align_t);

void* allocate(size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<size_t*>(block) = size;
  const size_t now = g_current += size;
  size_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void release(void* pointer) noexcept {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - kHeader;
  g_current -= *static_cast<size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(size_t size) {
  return allocate(size);
}
void* operator new[](size_t size) {
  return allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* pointer) noexcept {
  release(pointer);
}
void operator delete[](void* pointer) noexcept {
  release(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
  release(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
  release(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
  release(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
  release(pointer);
}

namespace verbalon::article {
namespace {

// The most bytes held at once while f runs, beyond what was held before.
template <typename F>
size_t peakDuring(F f) {
  const size_t before = g_current.load();
  g_peak = before;
  f();
  return g_peak.load() - before;
}

TEST(PageMemory, AStreamOfMillionsOfEmptyLinesCostsAFewTimesItsTextAtMost) {
  testing::TempFolder folder;
  const size_t lines = 4000000;
  std::string text = "first";
  for (size_t i = 0; i < lines; ++i)
    text += "\r\n";
  testing::Streams streams = testing::dictStreams("viewcontrol=MEMO", {"w"}, {"s:0"});
  streams["s"] = text;
  testing::writePackage(folder.path() / "d.brd", streams);
  text = std::string();
  dicts::TDicts dicts;
  storage::MemoryStream readBuf;
  dicts::AddDict(dicts, folder.path() / "d.brd", readBuf);
  const PageTemplates templates{{"%%CONTENT"}, {"%%WORD"}, {}, {}};
  Advert advert{StringList{}};
  const size_t textBytes = 5 + 2 * lines;

  ItemStreamCache small(1 << 20);
  ItemStreamCache large;
  for (ItemStreamCache* cache : {static_cast<ItemStreamCache*>(nullptr), &small, &large}) {
    // What the cache keeps it must hold; 8 bytes a line, beside the text.
    const size_t kept = cache == &large ? textBytes + lines * 8 : 0;
    for (const char* entry : {"0:s:0", "0:s:4000001"}) {
      std::string page;
      const size_t peak = peakDuring([&] {
        std::vector<BrokenPart> broken;
        page = buildArticlePage(entry, "w", dicts, templates, 600, advert, readBuf, cache, {},
                                &broken);
        if (!broken.empty()) {
          page = "missing";
        }
      });
      EXPECT_LE(peak, 3 * textBytes + kept + (1 << 20)) << entry;
      EXPECT_EQ(page, entry[4] == '0' ? "first\r\n\r\n" : "missing");
    }
  }
}

}  // namespace
}  // namespace verbalon::article
