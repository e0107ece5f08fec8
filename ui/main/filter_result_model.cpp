#include "main/filter_result_model.h"

#include <cassert>

#include "qtglue/qt_text.h"
#include "suggest/wildcard.h"

namespace verbalon::ui {

void FilterResultModel::setResult(const index::TFilteredListWord& matches,
                                  const PackedLines& slWord,
                                  const suggest::Suggestions& suggestions) {
  assert(matches.Words.size() == matches.Indexes.size());
  beginResetModel();
  m_text = matches.Words;
  m_words = matches.Indexes;
  if (!suggestions.items.empty()) {
    m_text.push_back(suggest::headingText());
    m_words.push_back(kNoWord);
    for (const suggest::Suggestion& s : suggestions.items) {
      m_text.emplace_back(slWord[s.position]);
      m_words.push_back(static_cast<int32_t>(s.position));
    }
    if (suggestions.cut) {
      m_text.push_back(suggest::cutNoteText(suggest::kWildcardLimit));
      m_words.push_back(kNoWord);
    }
  }
  endResetModel();
}

std::optional<int32_t> FilterResultModel::wordOfRow(int row) const {
  if (row < 0 || row >= rowCount() || m_words[static_cast<size_t>(row)] == kNoWord) {
    return std::nullopt;
  }
  return m_words[static_cast<size_t>(row)];
}

int FilterResultModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_text.size());
}

QVariant FilterResultModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) {
    return {};
  }
  // The heading and the note are drawn as disabled rows, greyed by the style.
  if (role == Qt::DisplayRole) {
    return toQString(m_text[static_cast<size_t>(index.row())]);
  }
  return {};
}

Qt::ItemFlags FilterResultModel::flags(const QModelIndex& index) const {
  if (!wordOfRow(index.row())) {
    return Qt::ItemNeverHasChildren;
  }
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

}  // namespace verbalon::ui
