#pragma once

#include <functional>
#include <string>

#include "index/unopened_package.h"

class QWidget;

namespace verbalon::ui {

// The window's answer to a listed package that cannot be opened at start-up: a message box,
// object name "unopenedPackageBox", naming the file and the reason, with the buttons
// «Удалить» (btRemoveDict, take the dictionary out of the index now), «Оставить» (btKeepDict,
// keep it for this run without its articles; also Escape) and «Выход» (btExitProgram).
class UnopenedPackageBox final : public index::UnopenedPackageQuestion {
 public:
  // beforeAsking runs before the first box: the splash window, which stays on top, would hide it.
  UnopenedPackageBox(QWidget* parent, std::function<void()> beforeAsking);

  index::UnopenedPackageAnswer packageNotOpened(const std::string& fileName,
                                                const Error& reason) override;

  // Whether the answer was «Выход»: the load then stops, and the program is to end.
  bool exitChosen() const { return m_exitChosen; }

 private:
  QWidget* m_parent;
  std::function<void()> m_beforeAsking;
  bool m_exitChosen = false;
};

}  // namespace verbalon::ui
