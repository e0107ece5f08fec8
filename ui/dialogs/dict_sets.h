#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

#include "common/string_list.h"
#include "storage/compound_file.h"

class QComboBox;

// Dictionary sets: the elements of the storage "sets" of the resource package, of which only
// the names are used, and TfSet, the dialog that lists them. The dialog is a shell: its buttons
// and its dictionary list do nothing yet.
namespace verbalon::ui {

// The names of the elements of the storage "sets" of stgRes (Windows-1251), in the order the
// storage enumerates them. A package without "sets" raises the storage's EStorageError
// (STG_E_FILENOTFOUND).
StringList ListSets(const storage::CompoundFile& stgRes);

// The same names as the combo boxes show them.
QStringList listSetNames(const storage::CompoundFile& stgRes);

// "Наборы словарей".
class TfSet : public QDialog {
  Q_OBJECT

 public:
  // listSets gives the names afresh at every showing (usually listSetNames of the main window's
  // stgRes; it may throw, which the dialog reports); selectedSet gives the item selected in the
  // main window's cbSet, -1 for none.
  TfSet(std::function<QStringList()> listSets, std::function<int()> selectedSet,
        QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();

  std::function<QStringList()> m_listSets;
  std::function<int()> m_selectedSet;
  QComboBox* cbSet;
};

}  // namespace verbalon::ui
