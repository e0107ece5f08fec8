#include "article/article_page.h"

#include <cassert>
#include <optional>

#include "article/detail/article_shape.h"
#include "article/detail/stream_lines.h"
#include "article/replace.h"
#include "common/cp1251.h"
#include "index/index_entry.h"
#include "storage/storage.h"

namespace verbalon::article {
namespace {

std::string templateText(const StringList& lines) {
  return joinLines(lines);
}

// The article of a "MEMO" dictionary: delimiters become line breaks, then the result is bounded
// again, since a delimiter of one character can become eight.
std::string memoFragment(const dicts::TDict& dict, std::string article, const StringList& slTplMemo,
                         bool cut) {
  article = replaceAll(article, dict.RowDelimiter, "<BR>");
  article = replaceAll(article, dict.FormDelimiter, "<BR><BR>");
  article = detail::shapeArticle(article, detail::kArticleLimit, true, cut);
  if (cut) article += detail::cutNote();
  std::string fragment = replaceAll(templateText(slTplMemo), "%%TITLE", dict.ShortTitle);
  return replaceAll(fragment, "%%WORD", article);
}

std::string listFragment(const dicts::TDict& dict, std::string_view article,
                         std::string_view headword, int viewWidth, const PageTemplates& templates,
                         bool cut) {
  StringList items = splitLines(replaceAll(article, dict.RowDelimiter, "\r\n"));
  // Every item costs a "<BR>" as well, so a list of empty items is bounded by its count too.
  size_t bytes = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    items[i] = detail::shapeArticle(items[i], detail::kArticleLimit - bytes, true, cut);
    bytes += items[i].size() + 4;
    if (bytes >= detail::kArticleLimit) {
      cut = cut || i + 1 < items.size();
      items.resize(i + 1);
      break;
    }
  }
  if (cut) {
    if (items.empty()) items.emplace_back();
    items.back() += detail::cutNote();
  }
  const std::string columns =
      layoutColumns(items, columnCount(headword.size(), viewWidth), templates.slTplColumn);
  std::string fragment = replaceAll(templateText(templates.slTplList), "%%TITLE", dict.Title);
  return replaceAll(fragment, "%%COLUMN", columns);
}

struct ClearOnExit {
  storage::MemoryStream& stream;
  ~ClearOnExit() { stream.clear(); }
};

}  // namespace

size_t columnCount(size_t headwordLength, int viewWidth) {
  if (headwordLength == 0 || viewWidth <= 0) return 1;
  const size_t columns = static_cast<size_t>(viewWidth) / (headwordLength * 15);
  return columns == 0 ? 1 : columns;
}

std::string layoutColumns(const StringList& items, size_t columns, const StringList& slTplColumn) {
  const size_t n = items.size();
  const size_t rows = (n + columns - 1) / columns;
  const std::string column = templateText(slTplColumn);
  std::string result;
  for (size_t col = 0; col < columns; ++col) {
    std::string list;
    for (size_t row = 0; row < rows && col * rows + row < n; ++row) {
      list += items[col * rows + row];
      list += "<BR>";
    }
    result += replaceAll(column, "%%COLUMNLIST", list);
  }
  return result;
}

std::string buildArticlePage(std::string_view entry, std::string_view headword,
                             const dicts::TDicts& Dicts, const PageTemplates& templates,
                             int viewWidth, Advert& advert, storage::MemoryStream& ReadBuf,
                             ItemStreamCache* cache) {
  const ClearOnExit clearReadBuf{ReadBuf};
  std::string content;
  for (const index::IndexPart& where : index::IndexEntry(entry, headword)) {
    const dicts::TDict& dict = index::dictOfPart(Dicts, where);
    // A dictionary kept for this run without its package has no articles to give; the page
    // shows those of the others.
    if (dict.isUnopened()) continue;
    assert(dict.Storage);  // every other slot that is not a hole holds an open package
    // A page of many parts is bounded as one article is: the parts after the bound are left
    // out, and the note says so.
    if (content.size() > kPageContentLimit) {
      content += detail::cutNote();
      break;
    }
    std::optional<std::string> article;
    size_t lineCount = 0;
    if (cache) {
      article = cache->line(where.dict, dict, where.path, where.line, ReadBuf, &lineCount);
    } else {
      storage::ReadStream(*dict.Storage, where.path, ReadBuf, storage::kPackageMode, true,
                          kItemStreamLimit);
      if (const auto line = detail::nthLine(ReadBuf.bytes(), where.line)) {
        article.emplace(*line);
      } else {
        lineCount = detail::lineCount(ReadBuf.bytes());
      }
    }
    if (!article) {
      throw EArticleError("index entry part '" + cp1251::toUtf8(where.text) + "' names line " +
                          std::to_string(where.line) + " of stream '" + cp1251::toUtf8(where.path) +
                          "' of dictionary " + std::to_string(where.dict) + ", which has " +
                          std::to_string(lineCount) + " lines");
    }
    // Cut before anything copies or expands it; what the view is given is bounded below.
    bool cut = false;
    *article = detail::shapeArticle(*article, detail::kArticleLimit, false, cut);
    if (dict.ViewControl == "LIST") {
      content += listFragment(dict, *article, headword, viewWidth, templates, cut);
    } else {
      // "MEMO", and any view control this program does not know: such a dictionary still
      // shows its articles rather than vanishing from the page.
      content += memoFragment(dict, std::move(*article), templates.slTplMemo, cut);
    }
  }

  std::string page = replaceAll(templateText(templates.slTplDefault), "%%CONTENT", content);
  page = replaceAll(page, "%%WORD", headword);
  page = advert.FillAdvert(page);
  // The page is held as a list of lines between the steps: every line break becomes CR LF and
  // the page ends with one. No placeholder holds a line break, so doing it once at the end
  // gives the same text.
  return joinLines(splitLines(page));
}

}  // namespace verbalon::article
