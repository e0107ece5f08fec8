#include "main/unopened_package_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <utility>

#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"

namespace verbalon::ui {

UnopenedPackageBox::UnopenedPackageBox(QWidget* parent, std::function<void()> beforeAsking)
    : m_parent(parent), m_beforeAsking(std::move(beforeAsking)) {}

index::UnopenedPackageAnswer UnopenedPackageBox::packageNotOpened(const std::string& fileName,
                                                                  const Error& reason) {
  if (m_beforeAsking) {
    m_beforeAsking();
  }
  QMessageBox box(QMessageBox::Warning, applicationTitle(),
                  QStringLiteral("Не удалось открыть установленный словарь «%1»:\n%2\n\n"
                                 "Удалить его из списка установленных словарей (его слова "
                                 "исчезнут из списка слов), оставить его до конца этого запуска "
                                 "без статей или выйти из программы?")
                      .arg(toQString(fileName), errorText(reason)),
                  QMessageBox::NoButton, m_parent);
  box.setObjectName(QStringLiteral("unopenedPackageBox"));
  QPushButton* remove = box.addButton(QStringLiteral("Удалить"), QMessageBox::DestructiveRole);
  remove->setObjectName(QStringLiteral("btRemoveDict"));
  QPushButton* keep = box.addButton(QStringLiteral("Оставить"), QMessageBox::AcceptRole);
  keep->setObjectName(QStringLiteral("btKeepDict"));
  QPushButton* quit = box.addButton(QStringLiteral("Выход"), QMessageBox::RejectRole);
  quit->setObjectName(QStringLiteral("btExitProgram"));
  // The answer that loses nothing is the one a stray Enter or Escape gives.
  box.setDefaultButton(keep);
  box.setEscapeButton(keep);
  box.exec();
  if (box.clickedButton() == remove) {
    return index::UnopenedPackageAnswer::kRemove;
  }
  if (box.clickedButton() == quit) {
    m_exitChosen = true;
    return index::UnopenedPackageAnswer::kExit;
  }
  return index::UnopenedPackageAnswer::kKeepForRun;
}

}  // namespace verbalon::ui
