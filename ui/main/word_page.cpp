#include "main/word_page.h"

#include <algorithm>

namespace verbalon::ui {

int rowsOfPage(int clientHeight, int itemHeight) {
  if (itemHeight <= 0) {
    return 1;
  }
  return std::max(0, clientHeight) / itemHeight + 1;
}

int wholeRows(int rows) {
  return std::max(1, rows - 1);
}

int64_t lastPageStart(int64_t n, int wholeRows) {
  return std::max<int64_t>(n - wholeRows, 0);
}

int32_t ClampPageStart(int64_t start, int64_t n, int rows) {
  const int64_t top = std::max<int64_t>(start, 0);
  return static_cast<int32_t>(std::min(top, lastPageStart(n, wholeRows(rows))));
}

int scrollMax(int64_t lastStart) {
  return static_cast<int>(std::max<int64_t>(lastStart, 1));
}

int64_t thumbToPage(int64_t position, int64_t lastStart, int max) {
  if (max <= 0 || lastStart < 1) {
    return 0;
  }
  // Truncation toward zero, as the position is never negative once the bar clamps it.
  return lastStart * position / max;
}

int pageToThumb(int64_t topWord, int64_t lastStart, int max) {
  if (lastStart < 1) {
    return 0;
  }
  const int64_t numerator = topWord * max;
  int64_t quotient = numerator / lastStart;
  const int64_t twiceRemainder = 2 * (numerator % lastStart);
  if (twiceRemainder > lastStart || (twiceRemainder == lastStart && quotient % 2 != 0)) {
    ++quotient;
  }
  return static_cast<int>(quotient);
}

}  // namespace verbalon::ui
