#include "main/string_list_model.h"

#include <QSize>

#include "qtglue/qt_text.h"

namespace verbalon::ui {

void StringListModel::setLines(StringList lines) {
  beginResetModel();
  m_lines = std::move(lines);
  endResetModel();
}

int StringListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant StringListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) {
    return {};
  }
  if (role == Qt::DisplayRole) {
    return toQString(m_lines[static_cast<size_t>(index.row())]);
  }
  return {};
}

}  // namespace verbalon::ui
