// The program: one per data folder (a second start hands its command line to the first and
// ends), the main window, then the secondary windows, then the event loop.

#include <QApplication>
#include <QStringList>
#include <filesystem>

#include "main/main_window.h"
#include "platform/single_instance.h"
#include "qtglue/app_icon.h"
#include "qtglue/error_box.h"
#include "qtglue/error_text.h"
#include "qtglue/qt_text.h"
#include "session/app_location.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  application.setWindowIcon(verbalon::ui::appIcon());

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  // Beside the program when it is a portable folder, the user's own data folder otherwise.
  verbalon::session::AppLocation location;
  try {
    location = verbalon::session::locateAppFolder(
        verbalon::ui::pathFromQString(QApplication::applicationDirPath()));
  } catch (const std::exception& e) {
    verbalon::ui::showErrorBox(nullptr, verbalon::ui::errorText(e));
    return 1;
  }

  verbalon::ui::SingleInstance instance(
      verbalon::ui::SingleInstance::serverNameFor(location.appDir));
  if (instance.tryHandOver(arguments)) {
    return 0;
  }
  // Without the socket the program runs alone; the resource package's lock still keeps a
  // second writer out.
  instance.listen();

  verbalon::ui::TfMain fMain(location.appDir, arguments, nullptr, location.sharedDataDirs);
  // Without its resource package the window has nothing to show; the error box said why.
  if (!fMain.FormCreate()) {
    return 1;
  }
  // Queued, so that a second start is served after the first showing has loaded the index.
  QObject::connect(
      &instance, &verbalon::ui::SingleInstance::argumentsReceived, &fMain,
      [&fMain](const QStringList& handedOver) { fMain.secondStart(handedOver); },
      Qt::QueuedConnection);
  fMain.createSecondaryWindows();
  fMain.show();
  return QApplication::exec();
}
