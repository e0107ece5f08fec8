#include "dialogs/dict_sets.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "qtglue/app_icon.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"
#include "storage/storage.h"

namespace verbalon::ui {

StringList ListSets(const storage::CompoundFile& stgRes) {
  return storage::ListElements(stgRes, "sets");
}

QStringList listSetNames(const storage::CompoundFile& stgRes) {
  QStringList names;
  for (const std::string& name : ListSets(stgRes)) {
    names.append(toQString(name));
  }
  return names;
}

namespace {
QToolButton* speedButton(QWidget* parent, const QString& name, int width, int height, bool flat) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setAutoRaise(flat);
  button->setFixedSize(width, height);
  return button;
}
}  // namespace

TfSet::TfSet(std::function<QStringList()> listSets, std::function<int()> selectedSet,
             QWidget* parent)
    : QDialog(parent), m_listSets(std::move(listSets)), m_selectedSet(std::move(selectedSet)) {
  setObjectName(QStringLiteral("fSet"));
  setWindowTitle(QStringLiteral("Наборы словарей"));
  setWindowIcon(appIcon());
  resize(297, 365);

  cbSet = new QComboBox(this);
  cbSet->setObjectName(QStringLiteral("cbSet"));
  cbSet->setEditable(true);
  cbSet->setFixedWidth(225);
  auto* top = new QHBoxLayout;
  top->addWidget(cbSet);
  top->addStretch();
  top->addWidget(speedButton(this, QStringLiteral("SpeedButton5"), 23, 22, false));
  top->addWidget(speedButton(this, QStringLiteral("SpeedButton6"), 23, 22, false));

  auto* lbDicts = new QListWidget(this);
  lbDicts->setObjectName(QStringLiteral("lbDicts"));
  lbDicts->setFixedWidth(225);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(speedButton(this, QStringLiteral("SpeedButton1"), 32, 57, true));
  buttons->addWidget(speedButton(this, QStringLiteral("SpeedButton2"), 32, 57, true));
  buttons->addWidget(speedButton(this, QStringLiteral("SpeedButton3"), 32, 32, true));
  buttons->addWidget(speedButton(this, QStringLiteral("SpeedButton4"), 32, 32, true));
  buttons->addStretch();
  auto* body = new QHBoxLayout;
  body->addWidget(lbDicts);
  body->addStretch();
  body->addLayout(buttons);

  auto* form = new QVBoxLayout(this);
  form->addLayout(top);
  form->addLayout(body, 1);
}

void TfSet::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TfSet::FormShow() {
  // Cleared first, so that a package that cannot be read leaves no names of an earlier showing.
  cbSet->clear();
  guarded(this, [&] {
    cbSet->addItems(m_listSets());
    cbSet->setCurrentIndex(m_selectedSet());
  });
}

}  // namespace verbalon::ui
