// The notification area and the system-wide hot key Ctrl+Alt+D: both bring the window back
// after its close button hid it. The key may be held by another program, or the desktop may
// refuse it; the window's own shortcut for acShowMainForm works regardless, while one of the
// program's windows has the focus, and starting the program again brings the window back too.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include "dialogs/add_dicts.h"
#include "main/main_window.h"
#include "platform/global_hot_keys.h"
#include "qtglue/app_icon.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"

namespace verbalon::ui {

namespace {

// Qt tells nothing when a notification area appears (a panel starts, an extension is switched
// on): while there is none, we look again now and then.
constexpr int kTrayWatchMs = 5000;

}  // namespace

void TfMain::createNotificationArea() {
  tiTray = new QSystemTrayIcon(appIcon(), this);
  tiTray->setObjectName(QStringLiteral("tiTray"));
  tiTray->setToolTip(QStringLiteral("Вербалон"));
  pmTray = new QMenu(this);
  pmTray->setObjectName(QStringLiteral("pmTray"));
  pmTray->addAction(acShowMainForm);
  pmTray->addSeparator();
  pmTray->addAction(acExit);
  tiTray->setContextMenu(pmTray);
  connect(tiTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::DoubleClick) {
      TIoDblClick();
    }
  });

  m_trayWatch = new QTimer(this);
  m_trayWatch->setInterval(kTrayWatchMs);
  connect(m_trayWatch, &QTimer::timeout, this, [this] { watchNotificationArea(); });
  if (notificationAreaAvailable()) {
    tiTray->show();
  } else {
    m_trayWatch->start();
  }
}

void TfMain::watchNotificationArea() {
  if (notificationAreaAvailable()) {
    m_trayWatch->stop();
    tiTray->show();
  }
}

void TfMain::putAway() {
  // Hidden, the window comes back through the icon or the hot key; without a notification
  // area it is minimised instead, so the task bar still reaches it.
  if (notificationAreaAvailable()) {
    m_trayWatch->stop();
    tiTray->show();
    hide();
    return;
  }
  if (!m_trayWatch->isActive()) {
    m_trayWatch->start();  // the area went away since the start
  }
  if (!m_toldMinimised) {
    m_toldMinimised = true;
    showMessage(this, fromQString(QStringLiteral(
                          "Окно свёрнуто, потому что у рабочего стола нет области уведомлений. "
                          "Вернуть его можно клавишами Ctrl+Alt+D или повторным запуском "
                          "программы.")));
  }
  showMinimized();
}

void TfMain::secondStart(const QStringList& arguments) {
  guarded(this, [&] {
    // The user is answering a dialog of ours (the installation dialog, a question): starting
    // something beside it would pull the ground from under it.
    if (QWidget* modal = QApplication::activeModalWidget()) {
      modal->raise();
      modal->activateWindow();
      return;
    }
    const std::optional<std::string> path =
        arguments.isEmpty() ? std::nullopt : TfAddDicts::AutoInstallArgument(arguments.front());
    if (!path) {
      acShowMainForm->trigger();
      return;
    }
    TIoDblClick();
    if (autoAddDict) {
      autoAddDict(*path);
    }
  });
}

void TfMain::RegisterShowHotKey() {
  if (!m_hotKeys) {
    m_hotKeys = new GlobalHotKeys(this);
    connect(m_hotKeys, &GlobalHotKeys::activated, this, [this](int32_t id) { WMHotKey(id); });
  }
  m_hotKeyIds.push_back(m_hotKeys->AddAtom(QStringLiteral("VRBX_%1").arg(m_hotKeyIds.size())));
  // Another program may hold the key already; then only the window's own shortcut works.
  m_hotKeys->Register(m_hotKeyIds.back(), Qt::ControlModifier | Qt::AltModifier, Qt::Key_D,
                      QStringLiteral("Открыть окно Вербалона"));
}

void TfMain::UnregisterShowHotKey() {
  if (m_hotKeys && !m_hotKeyIds.empty()) {
    m_hotKeys->Unregister(m_hotKeyIds.back());
  }
}

void TfMain::WMHotKey(int32_t id) {
  for (const int32_t hotKeyId : m_hotKeyIds) {
    if (hotKeyId == id) {
      acShowMainForm->trigger();
    }
  }
}

void TfMain::TIoDblClick() {
  showNormal();
  raise();
  activateWindow();
}

}  // namespace verbalon::ui
