#include "dialogs/installed_dicts.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "qtglue/app_icon.h"
#include "qtglue/qt_text.h"

namespace verbalon::ui {

namespace {
QPushButton* button(QWidget* parent, const QString& name, const QString& caption) {
  auto* result = new QPushButton(caption, parent);
  result->setObjectName(name);
  result->setAutoDefault(false);
  return result;
}
}  // namespace

TfDicts::TfDicts(const dicts::TDicts& Dicts, QWidget* parent) : QDialog(parent), m_dicts(Dicts) {
  setObjectName(QStringLiteral("fDicts"));
  setWindowTitle(QStringLiteral("Установленные словари"));
  setWindowIcon(appIcon());
  resize(478, 337);

  lbDicts = new QListWidget(this);
  lbDicts->setObjectName(QStringLiteral("lbDicts"));
  lbDicts->setSelectionMode(QAbstractItemView::ExtendedSelection);

  QPushButton* Button1 = button(this, QStringLiteral("Button1"), QStringLiteral("Выбрать"));
  QPushButton* Button2 = button(this, QStringLiteral("Button2"), QStringLiteral("Выделить всё"));
  QPushButton* Button3 = button(this, QStringLiteral("Button3"), QStringLiteral("Отмена"));
  QPushButton* Button4 = button(this, QStringLiteral("Button4"), QStringLiteral("Другие словари"));
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button3, &QPushButton::clicked, this, &QDialog::reject);

  auto* strip = new QHBoxLayout;
  strip->addWidget(Button2);
  strip->addWidget(Button4);
  strip->addStretch();
  strip->addWidget(Button1);
  strip->addWidget(Button3);
  auto* form = new QVBoxLayout(this);
  form->addWidget(lbDicts, 1);
  form->addLayout(strip);
}

void TfDicts::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TfDicts::FormShow() {
  lbDicts->clear();
  for (const dicts::TDict& dict : m_dicts) {
    lbDicts->addItem(toQString(dict.Title));
  }
  lbDicts->setFocus();
}

}  // namespace verbalon::ui
