// The notification area and the system-wide hot key Ctrl+Alt+D: both bring the window back
// after its close button hid it. The key may be held by another program; the window's own
// shortcut for acShowMainForm works regardless, while one of the program's windows has the focus.

#include <QAction>

#include "main/main_window.h"
#include "platform/global_hot_keys.h"

namespace verbalon::ui {

void TfMain::RegisterShowHotKey() {
  if (!m_hotKeys) {
    m_hotKeys = new GlobalHotKeys(this);
    connect(m_hotKeys, &GlobalHotKeys::activated, this, [this](int32_t id) { WMHotKey(id); });
  }
  m_hotKeyIds.push_back(m_hotKeys->AddAtom(QStringLiteral("VRBX_%1").arg(m_hotKeyIds.size())));
  // Another program may hold the key already; then only the window's own shortcut works.
  m_hotKeys->Register(m_hotKeyIds.back(), Qt::ControlModifier | Qt::AltModifier, Qt::Key_D);
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
