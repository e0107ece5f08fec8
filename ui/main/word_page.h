#pragma once

#include <cstdint>

// The arithmetic of the paged word list: the list box shows one page of the combined word list,
// and a separate scroll bar spans the whole list. Kept apart from the widgets so that every
// clamp can be checked on its own.
//
// A page holds rows words: the rows that fit whole and the partly visible one below them, so
// the list box is always filled. The last page starts where the last word stands on the last
// row that fits whole: the thumb's last position and the End key show the last word entirely.
namespace verbalon::ui {

// Rows of a page for a list box client area clientHeight pixels high with itemHeight-pixel rows:
// the rows that fit whole plus the partly visible one below them. At least 1.
int rowsOfPage(int clientHeight, int itemHeight);

// The rows of a page of rows rows that show whole: one fewer, at least 1.
int wholeRows(int rows);

// The start of the last page of a list of n words whose pages show wholeRows rows whole:
// max(0, n - wholeRows).
int64_t lastPageStart(int64_t n, int wholeRows);

// The first word of the page that a request to start at start gives, for a list of n words and
// pages of rows rows: within 0 .. lastPageStart, so a page is full up to its last whole row.
int32_t ClampPageStart(int64_t start, int64_t n, int rows);

// The scroll bar's maximum for pages that start at most at lastStart: max(lastStart, 1).
int scrollMax(int64_t lastStart);

// Thumb to page: the first word for thumb position P, floor(lastStart * P / Max).
int64_t thumbToPage(int64_t position, int64_t lastStart, int max);

// Page to thumb: topWord * Max / lastStart, rounded to nearest with halves to even; 0 when
// lastStart < 1.
int pageToThumb(int64_t topWord, int64_t lastStart, int max);

}  // namespace verbalon::ui
