// The program: the main window, then the secondary windows, then the event loop.

#include <QApplication>
#include <QStringList>
#include <filesystem>

#include "main/main_window.h"
#include "qtglue/app_icon.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  application.setWindowIcon(verbalon::ui::appIcon());

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  const std::filesystem::path appDir =
      verbalon::ui::pathFromQString(QApplication::applicationDirPath());

  verbalon::ui::TfMain fMain(appDir, arguments);
  // Without its resource package the window has nothing to show; the error box said why.
  if (!fMain.FormCreate()) {
    return 1;
  }
  fMain.createSecondaryWindows();
  fMain.show();
  return QApplication::exec();
}
