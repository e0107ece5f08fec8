#pragma once

#include <QAbstractListModel>

#include "common/string_list.h"

// A list view's rows taken straight from a list of Windows-1251 lines, converted only for the
// rows on screen: a filter result of a hundred thousand words shows at once.
namespace verbalon::ui {

class StringListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit StringListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  // Shows a copy of lines in place of the previous rows.
  void setLines(StringList lines);
  const StringList& lines() const { return m_lines; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  StringList m_lines;
};

}  // namespace verbalon::ui
