#include "qtglue/error_box.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

#include "qtglue/qt_text.h"

namespace verbalon::ui {

namespace {

DialogHooks g_hooks;

// What a title bar holds besides its text: the window icon and up to three buttons at about
// 32 pixels each, and the padding around them.
constexpr int kTitleBarFurniture = 160;

// A message box sizes itself to its text and ignores a minimum width set on it; a spacer as wide
// as the title bar needs, spanning the box's grid, holds it open.
void keepTitleWhole(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) {
    return;
  }
  grid->addItem(
      new QSpacerItem(titledBoxMinimumWidth(), 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
      grid->rowCount(), 0, 1, grid->columnCount());
}

void showTitledBox(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, applicationTitle(), text, QMessageBox::Ok, parent);
  keepTitleWhole(box);
  box.exec();
}

}  // namespace

QString applicationTitle() {
  return QStringLiteral("Вербалон - версия 1.0b");
}

int titledBoxMinimumWidth() {
  // Window managers draw titles in about the application's font, often bold.
  QFont font = QApplication::font();
  font.setBold(true);
  return QFontMetrics(font).horizontalAdvance(applicationTitle()) + kTitleBarFurniture;
}

void setDialogHooks(const DialogHooks& hooks) {
  g_hooks = hooks;
}

void showErrorBox(QWidget* parent, const QString& message) {
  if (g_hooks.error) {
    g_hooks.error(message);
    return;
  }
  showTitledBox(parent, QMessageBox::Critical, message);
}

void showMessage(QWidget* parent, const std::string& text) {
  if (g_hooks.message) {
    g_hooks.message(toQString(text));
    return;
  }
  showTitledBox(parent, QMessageBox::Information, toQString(text));
}

bool askWarning(QWidget* parent, const std::string& text) {
  if (g_hooks.question) {
    return g_hooks.question(toQString(text));
  }
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), toQString(text),
                  QMessageBox::NoButton, parent);
  QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
  box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.exec();
  return box.clickedButton() == yes;
}

}  // namespace verbalon::ui
