#include "article/article_page.h"

#include <algorithm>
#include <cassert>
#include <optional>

#include "article/detail/article_shape.h"
#include "article/detail/stream_lines.h"
#include "article/replace.h"
#include "common/cp1251.h"
#include "common/html_escape.h"
#include "common/string_list.h"
#include "index/index_entry.h"
#include "storage/storage.h"
#include "storage/storage_error.h"
#include "storage/zlib_buffer.h"

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
                         const ColumnFit& fit, bool cut) {
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
  const size_t count = fitColumns(columnCount(headword.size(), viewWidth), items, fit);
  const std::string columns = layoutColumns(items, count, templates.slTplColumn);
  std::string fragment = replaceAll(templateText(templates.slTplList), "%%TITLE", dict.Title);
  return replaceAll(fragment, "%%COLUMN", columns);
}

// The fragment of one part: its article, read through the cache when there is one, laid out by
// its dictionary's view control.
std::string partFragment(const index::IndexPart& where, const dicts::TDict& dict,
                         std::string_view headword, int viewWidth, const PageTemplates& templates,
                         storage::MemoryStream& ReadBuf, ItemStreamCache* cache,
                         const ColumnFit& fit) {
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
      lineCount = countLines(ReadBuf.bytes());
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
    return listFragment(dict, *article, headword, viewWidth, templates, fit, cut);
  }
  // "MEMO", and any view control this program does not know: such a dictionary still shows its
  // articles rather than vanishing from the page.
  return memoFragment(dict, std::move(*article), templates.slTplMemo, cut);
}

// What the note in place of a broken part says is wrong, for a reader of the page (UTF-8).
std::string brokenReason(const std::exception& error, const std::string& file) {
  if (const auto* storageError = dynamic_cast<const storage::EStorageError*>(&error)) {
    if (storageError->code() == storage::hresult::kFileNotFound &&
        !storageError->element().empty()) {
      return "в файле " + file + " нет раздела «" + storageError->element() + "»";
    }
    if (storageError->code() != storage::hresult::kDocFileCorrupt) {
      return "файл " + file + " не читается";
    }
  } else if (dynamic_cast<const EArticleError*>(&error) != nullptr) {
    return "в файле " + file + " нет этой статьи";
  }
  return "файл " + file + " повреждён";
}

// The note that stands in the page for the fragment of a dictionary that could not give it.
std::string brokenNote(const dicts::TDict& dict, const std::exception& error) {
  const std::string title = dict.Title.empty() ? dict.FileName : dict.Title;
  const std::string text =
      cp1251::fromUtf8("Словарь «") + title + cp1251::fromUtf8("»: статья не показана — ") +
      cp1251::fromUtf8(brokenReason(error, cp1251::toUtf8(dict.FileName))) + ".";
  return "<P><I>" + escapeHtml(text) + "</I></P>";
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

size_t fitColumns(size_t columns, const StringList& items, const ColumnFit& fit) {
  if (!fit.columnWidth) return columns;
  int widest = 1;
  for (const std::string& item : items) {
    widest = std::max(widest, fit.columnWidth(item));
  }
  const auto side = static_cast<size_t>(std::max(fit.room, 0) / widest);
  return std::clamp<size_t>(side, 1, std::max<size_t>(columns, 1));
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
                             ItemStreamCache* cache, const ColumnFit& fit,
                             std::vector<BrokenPart>* broken) {
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
    // A damaged or missing item stream is the fault of one package: the other dictionaries'
    // fragments still make the page. Faults of the index itself end the page.
    const auto noteBroken = [&](const std::exception& error) {
      content += brokenNote(dict, error);
      if (broken) broken->push_back({where.dict, std::current_exception()});
    };
    try {
      content += partFragment(where, dict, headword, viewWidth, templates, ReadBuf, cache, fit);
    } catch (const storage::EStorageError& e) {
      noteBroken(e);
    } catch (const storage::EZlibError& e) {
      noteBroken(e);
    } catch (const EArticleError& e) {
      noteBroken(e);
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
