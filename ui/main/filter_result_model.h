#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/packed_lines.h"
#include "common/string_list.h"
#include "index/word_filter.h"
#include "suggest/suggestions.h"

// lbFiltered's rows: the words the filter found, then, when there are suggestions, a heading
// row («Возможно, вы искали:»), the suggested words and, when the wildcard matches were cut, a
// note saying so. The heading and the note cannot be chosen: they are neither selectable nor
// enabled, so the keyboard passes over them. Texts are converted only for the rows on screen,
// so a result of a hundred thousand words shows at once.
namespace verbalon::ui {

class FilterResultModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit FilterResultModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  // Shows matches, then suggestions (positions in slWord), in place of the previous rows.
  void setResult(const index::TFilteredListWord& matches, const PackedLines& slWord,
                 const suggest::Suggestions& suggestions);

  // The line of `slWord` that row shows; none for the heading, the note and rows out of range.
  std::optional<int32_t> wordOfRow(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  static constexpr int32_t kNoWord = -1;

  StringList m_text;             // every row's text, Windows-1251
  std::vector<int32_t> m_words;  // every row's line of slWord, kNoWord for heading and note
};

}  // namespace verbalon::ui
