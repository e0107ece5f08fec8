#pragma once

#include <QDialog>

#include "dicts/tdict.h"

class QListWidget;

// TfDicts, "Установленные словари": the installed dictionaries by title, for a choice of
// several. A shell: "Выделить всё" and "Другие словари" do nothing yet, and nothing reads the
// choice.
namespace verbalon::ui {

class TfDicts : public QDialog {
  Q_OBJECT

 public:
  // Requires: Dicts (the main window's slots) outlives the dialog.
  explicit TfDicts(const dicts::TDicts& Dicts, QWidget* parent = nullptr);

 protected:
  // Lists the Title of every slot, in slot order, at every showing: a hole gives an empty line,
  // a slot emptied during this run its former title.
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();

  const dicts::TDicts& m_dicts;
  QListWidget* lbDicts;
};

}  // namespace verbalon::ui
