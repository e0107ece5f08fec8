// The find box, the filter result on the tab "Фильтр" and the history on the tab "История".
// The history is written after every filter run, so a killed program loses no query. When the
// filter finds nothing, or the text is a pattern, the tab offers suggestions under a heading.

#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QTabWidget>

#include "main/detail/find_aids.h"
#include "main/filter_result_model.h"
#include "main/main_window.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"
#include "suggest/suggestions.h"
#include "suggest/wildcard.h"

namespace verbalon::ui {

void TfMain::acFilterExecute() {
  const std::string q = index::filterQuery(typedFromQString(meFind->text()));
  filterBy(q);
  StringList& slHistory = wordIndex().slHistory();
  slHistory.insert(slHistory.begin(), q);
  showHistory();
  pcList->setCurrentWidget(tsFiltered);
  showFirstMatch();
  guarded(this, [&] { saveHistory(); });
}

void TfMain::showFirstMatch() {
  if (m_flFiltered.Words.empty()) {
    return;
  }
  // A choice as a click makes it: the row selected, its article shown through the show timer.
  lbFiltered->setCurrentIndex(m_filteredModel->index(0));
}

void TfMain::filterBy(const std::string& q) {
  m_flFiltered = index::filterWords(wordIndex().slWord(), q);
  m_lastQuery = q;
  showFilterRows();
  m_cntFilter = static_cast<int32_t>(m_flFiltered.Words.size());
  RefreshStatus();
}

void TfMain::showFilterRows() {
  const PackedLines& slWord = wordIndex().slWord();
  const std::string& q = *m_lastQuery;
  suggest::Suggestions offered;
  m_suggestionsPending = false;
  if (suggest::hasWildcard(q)) {
    offered = suggest::suggestFor(q, slWord, {});  // a pattern needs no other source
  } else if (m_flFiltered.Words.empty() && !q.empty()) {
    // Shown at once with the sources built so far; the rest lands later and the rows are made
    // again.
    m_findAids->request(slWord, true);
    offered = suggest::suggestFor(q, slWord, m_findAids->sources());
    m_suggestionsPending = !m_findAids->sourcesComplete();
  }
  m_filteredModel->setResult(m_flFiltered, slWord, offered);
}

void TfMain::showHistory() {
  lbHistory->clear();
  for (const std::string& line : wordIndex().slHistory()) {
    lbHistory->addItem(toQString(line));
  }
}

void TfMain::meFindKeyDown(int key) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    acFilter->trigger();
  } else if (key == Qt::Key_Down) {
    enterResultList();
  }
}

void TfMain::enterResultList() {
  // The row is taken before the focus moves: a list that gets the focus without a current row
  // makes its first row current, unselected.
  if (pcList->currentWidget() == tsFiltered) {
    const QModelIndex current = lbFiltered->currentIndex();
    const int row = current.isValid() ? current.row() : 0;
    lbFiltered->setFocus();
    if (row < m_filteredModel->rowCount()) {
      lbFiltered->selectionModel()->setCurrentIndex(m_filteredModel->index(row),
                                                    QItemSelectionModel::ClearAndSelect);
    }
    return;
  }
  pcList->setCurrentWidget(tsFull);
  const int row = std::max(0, lbWord->currentRow());
  lbWord->setFocus();
  if (row < lbWord->count()) {
    lbWord->setCurrentRow(row);
  }
}

void TfMain::lbFilteredClick() {
  // The heading and the note name no word.
  if (const auto word = m_filteredModel->wordOfRow(lbFiltered->currentIndex().row())) {
    startShowTimer(*word);
  }
}

void TfMain::lbHistoryDblClick() {
  const QListWidgetItem* item = lbHistory->currentItem();
  if (!item || !item->isSelected()) {
    return;
  }
  meFind->setText(item->text());
  acFilter->trigger();
}

void TfMain::Button1Click() {
  const int row = lbHistory->currentRow();
  if (row < 0 || !lbHistory->item(row)->isSelected()) {
    return;
  }
  delete lbHistory->takeItem(row);
}

void TfMain::Button2Click() {
  lbHistory->clear();
}

}  // namespace verbalon::ui
