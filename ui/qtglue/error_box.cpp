#include "qtglue/error_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "qtglue/qt_text.h"

namespace verbalon::ui {

namespace {
DialogHooks g_hooks;
}

QString applicationTitle() {
  return QStringLiteral("Вербалон - версия 1.0b");
}

void setDialogHooks(const DialogHooks& hooks) {
  g_hooks = hooks;
}

void showErrorBox(QWidget* parent, const QString& message) {
  if (g_hooks.error) {
    g_hooks.error(message);
    return;
  }
  QMessageBox::critical(parent, applicationTitle(), message);
}

void showMessage(QWidget* parent, const std::string& text) {
  if (g_hooks.message) {
    g_hooks.message(toQString(text));
    return;
  }
  QMessageBox::information(parent, applicationTitle(), toQString(text));
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
