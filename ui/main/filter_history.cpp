// The find box, the filter result on the tab "Фильтр" and the history on the tab "История".
// The history is written after every filter run, so a killed program loses no query.

#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QTabWidget>

#include "main/main_window.h"
#include "main/string_list_model.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"

namespace verbalon::ui {

void TfMain::acFilterExecute() {
  const std::string q = index::filterQuery(typedFromQString(meFind->text()));
  filterBy(q);
  StringList& slHistory = wordIndex().slHistory();
  slHistory.insert(slHistory.begin(), q);
  showHistory();
  pcList->setCurrentWidget(tsFiltered);
  guarded(this, [&] { saveHistory(); });
}

void TfMain::filterBy(const std::string& q) {
  m_flFiltered = index::filterWords(wordIndex().slWord(), q);
  m_lastQuery = q;
  m_filteredModel->setLines(m_flFiltered.Words);
  m_cntFilter = static_cast<int32_t>(m_flFiltered.Words.size());
  RefreshStatus();
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
  }
}

void TfMain::lbFilteredClick() {
  const int row = lbFiltered->currentIndex().row();
  if (row < 0 || static_cast<size_t>(row) >= m_flFiltered.Indexes.size()) {
    return;
  }
  startShowTimer(m_flFiltered.Indexes[static_cast<size_t>(row)]);
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
