// Feeds a dictionary package of arbitrary content through the page path: the package is loaded
// as an installation loads it (its article locations checked), the page of every location is
// built, and the viewer's reference scan runs over each page. The input's sections, separated
// by NUL bytes, are "~dict.ini", "~index.dat" (one item per location), and the item streams
// "a" and "b". A page must stay within the bounds that keep the article view responsive. Any
// error but verbalon::Error is a finding.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "article/article_page.h"
#include "article/detail/article_shape.h"
#include "common/error.h"
#include "common/string_list.h"
#include "dicts/dict_package.h"
#include "htmlview/detail/page_references.h"
#include "index/index_entry.h"
#include "storage/compound_file.h"
#include "storage/storage.h"

namespace {

namespace article = verbalon::article;

void check(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::string_view> sections(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t nul; (nul = text.find('\0', start)) != std::string_view::npos; start = nul + 1)
    parts.push_back(text.substr(start, nul - start));
  parts.push_back(text.substr(start));
  parts.resize(4);
  return parts;
}

// Fragments are bounded by kPageContentLimit plus the last one; a fragment holds at most one
// article of kArticleLimit bytes (LIST: one per item, each no longer than the article was), once
// or twice as the templates below name it.
constexpr size_t kPageBound = article::kPageContentLimit + 4 * article::detail::kArticleLimit;

// A folder of its own, since opening a package looks through its folder for names that differ
// only in case; removed at exit. Never destroyed, so that the exit handler can still use it.
const std::filesystem::path& packagePath() {
  static const std::filesystem::path* const package = [] {
    const auto* path =
        new std::filesystem::path(std::filesystem::temp_directory_path() /
                                  ("article_page_fuzz-" + std::to_string(getpid())) / "d.brd");
    std::filesystem::create_directories(path->parent_path());
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(packagePath().parent_path(), ec);
    });
    return path;
  }();
  return *package;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> input =
      sections(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::filesystem::path package = packagePath();
  verbalon::dicts::TDicts dicts;
  verbalon::storage::MemoryStream readBuf;
  try {
    const verbalon::StringList locations = verbalon::splitLines(input[1]);
    {
      verbalon::storage::CompoundFile file = verbalon::storage::CompoundFile::create(package);
      verbalon::StringList items(locations.size(), "w");
      verbalon::storage::WriteStream(file, "~dict.ini", input[0], true);
      verbalon::storage::WriteStream(file, "~info.dat", "", true);
      verbalon::storage::WriteStream(file, "~items.dat", verbalon::joinLines(items), true);
      verbalon::storage::WriteStream(file, "~index.dat", input[1], true);
      verbalon::storage::WriteStream(file, "a", input[2], true);
      verbalon::storage::WriteStream(file, "b", input[3], true);
    }
    verbalon::dicts::AddDict(dicts, package, readBuf);
  } catch (const verbalon::Error&) {
    return 0;
  }

  article::PageTemplates templates{
      {"<p>%%CONTENT</p>"}, {"%%TITLE %%WORD"}, {"%%COLUMN"}, {"<td>%%COLUMNLIST</td>"}};
  article::Advert advert{verbalon::StringList{}};
  article::ItemStreamCache cache(size_t{1} << 16);
  const verbalon::dicts::TextLines& found = dicts.front().IndexList;
  for (size_t k = 0; k < found.size() && k < 8; ++k) {
    std::string entry;
    verbalon::index::IndexEntry::appendPart(entry, 0, found[k]);
    verbalon::index::IndexEntry::appendPart(entry, 0, found[k]);
    for (article::ItemStreamCache* use :
         {static_cast<article::ItemStreamCache*>(nullptr), &cache}) {
      std::string page;
      try {
        page = article::buildArticlePage(entry, "w", dicts, templates, 300, advert, readBuf, use);
      } catch (const verbalon::Error&) {
        continue;
      }
      check(page.size() <= kPageBound);
      check(readBuf.size() == 0);
      size_t references = 0;
      verbalon::ui::detail::rewriteReferences(
          QString::fromLatin1(page.data(), static_cast<qsizetype>(page.size())),
          [&references](verbalon::ui::detail::ReferenceKind, const QString& value) {
            check(!value.isEmpty());
            return QStringLiteral("verbalon:") + QString::number(references++);
          });
    }
  }
  return 0;
}
