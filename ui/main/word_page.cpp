#include "main/word_page.h"

#include <algorithm>

namespace verbalon::ui {

int rowsOfPage(int clientHeight, int itemHeight) {
  if (itemHeight <= 0) {
    return 1;
  }
  return std::max(0, clientHeight) / itemHeight + 1;
}

int32_t ClampPageStart(int64_t start, int64_t n, int rows) {
  int64_t top = std::max<int64_t>(start, 0);
  top = std::min(top, n - rows);
  return static_cast<int32_t>(std::max<int64_t>(top, 0));
}

int scrollMax(int64_t n) {
  return static_cast<int>(std::max<int64_t>(n - 1, 1));
}

int64_t thumbToPage(int64_t position, int64_t n, int max) {
  if (max <= 0 || n < 1) {
    return 0;
  }
  // Truncation toward zero, as the position is never negative once the bar clamps it.
  return (n - 1) * position / max;
}

int pageToThumb(int64_t topWord, int64_t n, int max) {
  if (n < 2) {
    return 0;
  }
  const int64_t numerator = topWord * max;
  const int64_t denominator = n - 1;
  int64_t quotient = numerator / denominator;
  const int64_t twiceRemainder = 2 * (numerator % denominator);
  if (twiceRemainder > denominator || (twiceRemainder == denominator && quotient % 2 != 0)) {
    ++quotient;
  }
  return static_cast<int>(quotient);
}

}  // namespace verbalon::ui
