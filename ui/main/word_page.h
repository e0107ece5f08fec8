#pragma once

#include <cstdint>

// The arithmetic of the paged word list: the list box shows one page of the combined word list,
// and a separate scroll bar spans the whole list. Kept apart from the widgets so that every
// clamp can be checked on its own.
namespace verbalon::ui {

// Rows of a page for a list box client area clientHeight pixels high with itemHeight-pixel rows:
// the rows that fit whole plus the partly visible one below them. At least 1.
int rowsOfPage(int clientHeight, int itemHeight);

// The first word of the page that a request to start at start gives, for a list of n words and
// pages of rows rows: within 0 .. max(0, n - rows), so a page is always full when the list is.
int32_t ClampPageStart(int64_t start, int64_t n, int rows);

// The scroll bar's maximum for a list of n words: max(n - 1, 1).
int scrollMax(int64_t n);

// Thumb to page: the first word for thumb position P, floor((n - 1) * P / Max).
int64_t thumbToPage(int64_t position, int64_t n, int max);

// Page to thumb: topWord * Max / (n - 1), rounded to nearest with halves to even; 0 when n < 2.
int pageToThumb(int64_t topWord, int64_t n, int max);

}  // namespace verbalon::ui
