#pragma once

#include <QString>
#include <exception>
#include <string>
#include <utility>

#include "qtglue/error_text.h"

class QWidget;

// The application's message boxes: the general error report, plain messages and the warning
// questions. No exception may cross Qt's event loop, so every handler that can fail runs its
// body through `guarded`.
namespace verbalon::ui {

// «Вербалон - версия 1.0b»: the main window's caption and the title of every message box.
QString applicationTitle();

// The width in pixels that a box titled with the application title takes at least, so that the
// window manager, which draws the title bar with its icon and buttons, never cuts the title.
int titledBoxMinimumWidth();

// The general error report: a message box with the error's text, titled with the application
// title. Tests replace the box (see setDialogHooks) to see what would have been shown.
void showErrorBox(QWidget* parent, const QString& message);

// A plain message box with an OK button, titled with the application title. text is Windows-1251.
void showMessage(QWidget* parent, const std::string& text);

// The warning question of the dialogs: caption "Warning", buttons "&Yes" and "&No"; true for Yes.
// text is Windows-1251.
bool askWarning(QWidget* parent, const std::string& text);

// Runs body; an exception ends it, and its message in Russian (errorText) is put into failure.
// Returns whether the body ran to its end. For a handler that must do something before the error
// box shows.
template <typename Body>
bool caught(QString& failure, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
    return true;
  } catch (...) {
    failure = errorText(std::current_exception());
  }
  return false;
}

// Runs body; an exception is shown by showErrorBox and ends the body. Returns whether the body
// ran to its end.
template <typename Body>
bool guarded(QWidget* parent, Body&& body) noexcept {
  QString failure;
  if (caught(failure, std::forward<Body>(body))) return true;
  showErrorBox(parent, failure);
  return false;
}

// What the message boxes do instead of showing themselves, for tests: each receives what would
// have been shown and, for questions, gives the answer. A null function restores the real box.
struct DialogHooks {
  void (*error)(const QString& message) = nullptr;
  void (*message)(const QString& text) = nullptr;
  bool (*question)(const QString& text) = nullptr;
};
void setDialogHooks(const DialogHooks& hooks);

}  // namespace verbalon::ui
