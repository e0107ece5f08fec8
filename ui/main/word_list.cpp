// The full word list: one page of `slWord` in lbWord, the whole list under the scroll bar sbWord.
// The page changes only through ShowPage; the thumb moves only by the scroll bar's own handling,
// AdjustWordScroll and Home and End, so the other keys and resizing leave the thumb where it was.
// The thumb's range ends at the last page, whose last word stands on the last row that shows
// whole; a resize that changes the rows moves that end with them.

#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>

#include "main/detail/find_aids.h"
#include "main/main_window.h"
#include "main/word_page.h"
#include "qtglue/qt_text.h"
#include "suggest/key_search.h"

namespace verbalon::ui {

namespace {
constexpr int kItemHeight = 16;
}

int TfMain::pageRows() const {
  return std::max(1, sbWord->pageStep());
}

int64_t TfMain::lastStart() {
  return lastPageStart(static_cast<int64_t>(wordIndex().slWord().size()), wholeRows(pageRows()));
}

void TfMain::ShowPage(int64_t start) {
  const PackedLines& slWord = wordIndex().slWord();
  const auto n = static_cast<int64_t>(slWord.size());
  const int rows = pageRows();
  m_topWord = ClampPageStart(start, n, rows);
  const auto first = static_cast<size_t>(m_topWord);
  const size_t count = std::min(static_cast<size_t>(rows), slWord.size() - first);
  m_slPage.clear();
  for (size_t i = first; i < first + count; ++i) {
    m_slPage.emplace_back(slWord[i]);
  }

  // Refilling clears the selection; that is no choice of the user's.
  const QSignalBlocker blocker(lbWord);
  lbWord->clear();
  for (const std::string& word : m_slPage) {
    auto* item = new QListWidgetItem(toQString(word));
    item->setSizeHint(QSize(0, kItemHeight));
    lbWord->addItem(item);
  }
}

void TfMain::AdjustWordScroll() {
  const QSignalBlocker blocker(sbWord);
  sbWord->setMinimum(0);
  sbWord->setSingleStep(1);
  sbWord->setPageStep(rowsOfPage(lbWord->viewport()->height(), kItemHeight));
  const int64_t last = lastStart();
  const int max = scrollMax(last);
  sbWord->setMaximum(max);
  sbWord->setValue(pageToThumb(m_topWord, last, max));
}

void TfMain::sbWordScroll(int action, int position) {
  const int rows = pageRows();
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      ShowPage(int64_t{m_topWord} - 1);
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      ShowPage(int64_t{m_topWord} + 1);
      break;
    case QAbstractSlider::SliderPageStepSub:
      ShowPage(int64_t{m_topWord} - rows);
      break;
    case QAbstractSlider::SliderPageStepAdd:
      ShowPage(int64_t{m_topWord} + rows);
      break;
    case QAbstractSlider::SliderMove:
      ShowPage(thumbToPage(position, lastStart(), sbWord->maximum()));
      break;
    default:  // top, bottom: the page stays
      break;
  }
}

void TfMain::lbWordKeyDown(int key) {
  const int row = lbWord->currentRow();
  const int rowsHeld = lbWord->count();
  const int rows = pageRows();
  int64_t start = 0;
  int select = row;
  switch (key) {
    case Qt::Key_Up:
      if (row != 0) {
        return;
      }
      start = int64_t{m_topWord} - 1;
      select = 0;
      break;
    case Qt::Key_Down:
      if (row != rowsHeld - 1) {
        return;
      }
      start = int64_t{m_topWord} + 1;
      break;
    case Qt::Key_PageUp:
      start = int64_t{m_topWord} - rows;
      break;
    case Qt::Key_PageDown:
      start = int64_t{m_topWord} + rows;
      break;
    case Qt::Key_Home:
    case Qt::Key_End:
      // The ends of the whole list, not of the page; the thumb goes there too.
      start = key == Qt::Key_Home ? 0 : static_cast<int64_t>(wordIndex().slWord().size());
      select = key == Qt::Key_Home ? 0 : rows;
      break;
    default:
      return;
  }
  ShowPage(start);
  if (key == Qt::Key_Home || key == Qt::Key_End) {
    AdjustWordScroll();
  }
  {
    // The last page may hold fewer rows than the one before it: the selection stays on the
    // last word then.
    const QSignalBlocker blocker(lbWord);
    lbWord->setCurrentRow(std::min(select, lbWord->count() - 1));
  }
  lbWordClick();
}

void TfMain::lbWordClick() {
  if (lbWord->currentRow() < 0) {
    return;
  }
  startShowTimer(m_topWord + lbWord->currentRow());
}

void TfMain::FormResize() {
  const QSignalBlocker blocker(sbWord);
  sbWord->setPageStep(rowsOfPage(lbWord->viewport()->height(), kItemHeight));
  // The thumb stays; only the end of its range follows the rows that show whole.
  sbWord->setMaximum(scrollMax(lastStart()));
  ShowPage(m_topWord);
}

void TfMain::meFindChange() {
  m_followPending = true;
  m_choicesAtEdit = m_choices;
  followFindBox();
}

void TfMain::followFindBox() {
  if (!m_followPending || m_findAids->suspended()) {
    return;
  }
  const PackedLines& slWord = wordIndex().slWord();
  const index::KeyList& slKey = wordIndex().slKey();
  const std::string typed = fromQString(meFind->text());
  size_t first = 0;
  // Once an installation of this run has built `slKey`, the index's own keys serve at once.
  if (slKey.size() == slWord.size()) {
    first = suggest::firstNotLess(slKey, typed);
  } else if (const suggest::KeySearch* keys = m_findAids->keys()) {
    first = keys->firstNotLess(typed);
  } else {
    m_findAids->request(slWord, false);  // its landing follows the text as it is then
    return;
  }
  m_followPending = false;
  ShowPage(static_cast<int64_t>(first));
  AdjustWordScroll();
  // At the end of the list the page starts before the word; past the last key no row is chosen.
  const auto row = static_cast<int>(static_cast<int64_t>(first) - m_topWord);
  if (row >= lbWord->count()) {
    return;
  }
  if (m_choices == m_choicesAtEdit) {
    lbWord->setCurrentRow(row);  // chosen as by a click: the article follows
  } else {
    // The keys came late, and the user chose a word meanwhile: that article stays.
    const QSignalBlocker blocker(lbWord);
    lbWord->setCurrentRow(row);
  }
}

}  // namespace verbalon::ui
