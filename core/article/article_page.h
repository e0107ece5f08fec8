#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "article/advert.h"
#include "article/item_stream_cache.h"
#include "common/error.h"
#include "common/string_list.h"
#include "dicts/tdict.h"
#include "storage/memory_stream.h"

// The article page of one word, as `ShowArticle` builds it for the article view `me`: the
// article of every part of the word's index entry, each drawn through the fragment template of
// its dictionary's view control, inside the page template, with the headword and an
// advertisement filled in. All text is Windows-1251; the page has CR LF after every line, the
// last one too. Placeholders (replaceAll's rule: any letter case, inserted text not rescanned):
//   `slTplMemo`    "%%TITLE" the dictionary's ShortTitle, "%%WORD" the article
//   `slTplList`    "%%TITLE" the dictionary's Title, "%%COLUMN" the filled column templates
//   `slTplColumn`  "%%COLUMNLIST" the items of one column, each followed by "<BR>"
//   `slTplDefault` "%%CONTENT" the fragments of all parts; then, page-wide, "%%WORD" the
//                  headword and the advertisement placeholders (advert.h)
namespace verbalon::article {

// A part of an index entry that cannot be shown: its line number is past the end of its stream.
class EArticleError : public Error {
 public:
  using Error::Error;
};

// A part of a page whose dictionary could not give its article: the item stream is missing,
// unreadable or damaged (storage::EStorageError, storage::EZlibError), or it has no such line
// (EArticleError). The page shows a note in its place.
struct BrokenPart {
  size_t dict = 0;           // the dictionary number of the part
  std::exception_ptr error;  // what reading the article raised
};

// Past this many bytes of fragments, a page leaves out the parts of its entry that follow: a
// word can have thousands of parts.
inline constexpr size_t kPageContentLimit = size_t{1} << 20;

// The four templates, read once at start-up, as lists of lines.
struct PageTemplates {
  StringList slTplDefault;  // "templates\default.html"
  StringList slTplMemo;     // "templates\memo.html"
  StringList slTplList;     // "templates\list.html"
  StringList slTplColumn;   // "templates\column.html"
};

// The column count of a "LIST" fragment in a view viewWidth pixels wide: a column is 15 pixels
// per byte of the headword. An empty headword or a view narrower than one column gives 1.
size_t columnCount(size_t headwordLength, int viewWidth);

// What a view can tell about the room for the columns of a "LIST" fragment: the pixels the
// columns share side by side (the view's width less what the page puts around them), and the
// pixels one column takes for an item (its text as the view draws it, and the space the page
// puts beside a column). Without columnWidth nothing is measured.
struct ColumnFit {
  int room = 0;
  std::function<int(std::string_view item)> columnWidth;
};

// columns, or fewer: never more than fit side by side in fit's room when every column takes
// as much as the widest of items does; at least 1. columns unchanged without a measure.
size_t fitColumns(size_t columns, const StringList& items, const ColumnFit& fit);

// The column fragments of items laid out in columns columns, joined: items run down the first
// column, then the next; every column yields a fragment, also one that receives no item.
// Requires: columns > 0.
std::string layoutColumns(const StringList& items, size_t columns, const StringList& slTplColumn);

// The page of the word whose index entry is entry and whose headword is headword (lines w of
// `slIndex` and `slWord`), with "LIST" fragments laid out for a view viewWidth pixels wide.
// Every part's item stream is read from its dictionary's Storage through ReadBuf, which is
// left empty, also on failure; the parts of a dictionary kept without its package
// (TDict::isUnopened) are left out. A view control other than "MEMO" and "LIST" is drawn as
// "MEMO".
//
// One broken package does not take the page with it: a part whose article cannot be read (see
// BrokenPart) is drawn as a short note naming the dictionary by its Title and what is wrong,
// escaped, and is appended to broken when given. Faults of the entry itself end the page: one
// that breaks the format (index/index_entry.h) raises index::EIndexError naming the word, and
// so does a part naming no loaded dictionary. The advertisement is drawn last, only for a page
// that is built; a failure leaves advert untouched. An item stream is read up to
// kItemStreamLimit bytes (EDecompressionError beyond). An article longer than 256 KiB is cut
// (between tags) and ends in the note «…статья сокращена», runs of more than 256 characters
// without a blank get zero-width spaces, and parts after kPageContentLimit bytes of fragments
// are left out with the same note: a page never takes the view long to lay out. With a cache, item
// streams it holds are not read again and streams read are kept there; the page is the same either
// way. fit caps the columns of "LIST" fragments (fitColumns), so that they need not scroll
// sideways.
std::string buildArticlePage(std::string_view entry, std::string_view headword,
                             const dicts::TDicts& Dicts, const PageTemplates& templates,
                             int viewWidth, Advert& advert, storage::MemoryStream& ReadBuf,
                             ItemStreamCache* cache = nullptr, const ColumnFit& fit = {},
                             std::vector<BrokenPart>* broken = nullptr);

}  // namespace verbalon::article
