#pragma once

#include <QObject>
#include <QStringList>
#include <QTest>
#include <memory>

#include "main/main_window.h"
#include "support/app_folder.h"

// What the main window's suites share: a window opened on a temporary application folder, and
// its controls found by their object names.
namespace verbalon::testing {

// A window on folder, created, shown and loaded; null when FormCreate failed.
inline std::unique_ptr<ui::TfMain> openWindow(const AppFolder& folder, QStringList arguments = {}) {
  auto window = std::make_unique<ui::TfMain>(folder.path(), std::move(arguments));
  window->addDictsDialog = [] {};
  if (!window->FormCreate()) return nullptr;
  window->show();
  if (!QTest::qWaitForWindowExposed(window.get())) return nullptr;
  // The index loads from the event loop right after the first showing.
  QTest::qWait(50);
  return window;
}

// A control of the window, found by its object name.
template <typename T>
T* child(const QObject& parent, const char* name) {
  T* found = parent.findChild<T*>(QString::fromLatin1(name));
  if (!found) qFatal("no control named %s", name);
  return found;
}

}  // namespace verbalon::testing
