#include "lookup/index_lists.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "index/index_error.h"
#include "index/word_index.h"
#include "lookup/lookup_error.h"
#include "lookup/mapped_file.h"
#include "storage/storage.h"

namespace verbalon::lookup {

namespace fs = std::filesystem;

struct IndexLists::Held {
  std::string origin;  // names the lists in messages
  std::optional<MappedFile> file;
  std::string words;
  std::string entries;
  std::vector<LineSpan> wordSpans;
  std::vector<LineSpan> entrySpans;
};

namespace {

std::string inflated(const storage::CompoundFile& stgRes, std::string_view stream, size_t limit) {
  storage::MemoryStream text;
  storage::ReadStream(stgRes, stream, text, storage::kPackageMode, true, limit);
  return text.take();
}

uint64_t nanoseconds(const timespec& t) {
  return static_cast<uint64_t>(t.tv_sec) * 1'000'000'000U + static_cast<uint64_t>(t.tv_nsec);
}

std::pair<uint64_t, uint64_t> placeOf(const storage::CompoundFile& stgRes,
                                      std::string_view stream) {
  const std::u16string name(stream.begin(), stream.end());
  const std::optional<storage::ElementInfo> info = stgRes.root().find(name);
  if (!info) return {0, 0};
  return {info->startSector, info->size};
}

std::optional<fs::path> cacheHome() {
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr) {
    if (fs::path folder(xdg); folder.is_absolute()) return folder;
  }
  if (const char* home = std::getenv("HOME"); home != nullptr) {
    if (fs::path folder(home); folder.is_absolute()) return folder / ".cache";
  }
  return std::nullopt;
}

}  // namespace

IndexLists::IndexLists(std::unique_ptr<Held> held, CachedLists lists, ListSource source)
    : m_held(std::move(held)), m_lists(lists), m_source(source) {}
IndexLists::IndexLists(IndexLists&&) noexcept = default;
IndexLists& IndexLists::operator=(IndexLists&&) noexcept = default;
IndexLists::~IndexLists() = default;

IndexLists IndexLists::open(const storage::CompoundFile& stgRes, const fs::path& cacheFile,
                            size_t limit) {
  if (!cacheFile.empty()) {
    if (std::optional<MappedFile> file = MappedFile::open(cacheFile)) {
      auto held = std::make_unique<Held>();
      held->origin = "the look-up cache " + cacheFile.string();
      held->file = std::move(file);
      if (std::optional<CachedLists> lists =
              readCache(held->file->bytes(), stampOf(stgRes), held->origin)) {
        return {std::move(held), *lists, ListSource::Cache};
      }
    }
  }
  return remake(stgRes, cacheFile, limit);
}

IndexLists IndexLists::remake(const storage::CompoundFile& stgRes, const fs::path& cacheFile,
                              size_t limit) {
  // Taken before the streams are read: both describe the one state that the open package
  // holds, since no writer can commit while it is open.
  const CacheStamp stamp = stampOf(stgRes);
  auto held = std::make_unique<Held>();
  held->origin = "the index of " + stgRes.path().string();
  held->words = inflated(stgRes, index::kWordStream, limit);
  held->entries = inflated(stgRes, index::kIndexStream, limit);
  held->wordSpans = lineSpans(held->words);
  held->entrySpans = lineSpans(held->entries);
  const size_t count = held->wordSpans.size();
  if (count != held->entrySpans.size()) {
    throw index::EIndexError(index::EIndexError::Fault::kDamaged,
                             "the stored word list has " + std::to_string(count) +
                                 " lines but the stored index has " +
                                 std::to_string(held->entrySpans.size()));
  }
  ListSource source = ListSource::Streams;
  if (!cacheFile.empty()) {
    std::error_code ec;
    fs::create_directories(cacheFile.parent_path(), ec);
    try {
      if (!ec) {
        writeCache(cacheFile, stamp, {held->words, held->wordSpans},
                   {held->entries, held->entrySpans});
        source = ListSource::Made;
      }
    } catch (const ELookupCacheError&) {
      // A cache folder that cannot be written (read-only, full): the lists serve from memory.
    }
  }
  const CachedLists lists{
      LineTable(held->words, std::as_bytes(std::span(held->wordSpans)), count, held->origin),
      LineTable(held->entries, std::as_bytes(std::span(held->entrySpans)), count, held->origin)};
  return {std::move(held), lists, source};
}

CacheStamp stampOf(const storage::CompoundFile& stgRes) {
  return stampOf(stgRes, index::kWordStream, index::kIndexStream);
}

CacheStamp stampOf(const storage::CompoundFile& package, std::string_view first,
                   std::string_view second) {
  struct stat info {};
  if (::stat(package.path().c_str(), &info) != 0) return {};
  const auto [wordStart, wordSize] = placeOf(package, first);
  const auto [entryStart, entrySize] = placeOf(package, second);
  return {static_cast<uint64_t>(info.st_dev),
          static_cast<uint64_t>(info.st_ino),
          static_cast<uint64_t>(info.st_size),
          nanoseconds(info.st_mtim),
          nanoseconds(info.st_ctim),
          wordStart,
          wordSize,
          entryStart,
          entrySize};
}

fs::path cacheFileFor(const fs::path& appDir) {
  const std::optional<fs::path> home = cacheHome();
  if (!home) return {};
  std::error_code ec;
  fs::path folder = fs::weakly_canonical(appDir, ec);
  if (ec) folder = fs::absolute(appDir, ec);
  // FNV-1a, 64 bits: a stable name per folder, whatever its path's length and characters.
  uint64_t hash = 14695981039346656037U;
  for (const char c : folder.string()) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211U;
  }
  std::array<char, 17> name{};
  std::snprintf(name.data(), name.size(), "%016llx", static_cast<unsigned long long>(hash));
  return *home / "verbalon" / (std::string(name.data()) + ".lookup");
}

}  // namespace verbalon::lookup
