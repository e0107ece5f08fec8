#include "platform/global_hot_keys.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/detail/portal_shortcuts.h"
#include "platform/detail/x11_keys.h"

namespace verbalon::ui {

namespace {

// String atoms of other systems start here; without X our ids look the same.
constexpr int32_t kFirstLocalAtom = 0xC000;

// The modifiers a hot key may use, as X masks; Alt is Mod1 and the Windows key Mod4 on every
// common keyboard map.
constexpr uint16_t kHotKeyModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

// The modifiers a hot key may use, as Qt names them.
constexpr Qt::KeyboardModifiers kKnownModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

bool toXModifiers(Qt::KeyboardModifiers modifiers, uint16_t& mask) {
  if (modifiers & ~kKnownModifiers) {
    return false;
  }
  mask = 0;
  if (modifiers & Qt::ShiftModifier) {
    mask |= XCB_MOD_MASK_SHIFT;
  }
  if (modifiers & Qt::ControlModifier) {
    mask |= XCB_MOD_MASK_CONTROL;
  }
  if (modifiers & Qt::AltModifier) {
    mask |= XCB_MOD_MASK_1;
  }
  if (modifiers & Qt::MetaModifier) {
    mask |= XCB_MOD_MASK_4;
  }
  return true;
}

// Letters are looked up by their unshifted (lower-case) keysym first, as keyboard maps list it.
xcb_keycode_t keycodeOfKey(xcb_connection_t* connection, Qt::Key key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    const auto upper = static_cast<xcb_keysym_t>(key);
    const xcb_keycode_t lower = x11::keycodeOf(connection, upper + 0x20);
    return lower != 0 ? lower : x11::keycodeOf(connection, upper);
  }
  if (key >= Qt::Key_0 && key <= Qt::Key_9) {
    return x11::keycodeOf(connection, static_cast<xcb_keysym_t>(key));
  }
  return 0;
}

// A program of a Wayland session, also one that runs through XWayland, cannot grab keys of other
// programs' windows: only the desktop's portal can bind one.
bool isWaylandSession() {
  return QGuiApplication::platformName() == QLatin1String("wayland") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The key in the notation of the portal's preferred triggers, "CTRL+ALT+d"; empty when the
// portal has no name for it.
QString portalTrigger(Qt::KeyboardModifiers modifiers, Qt::Key key) {
  const bool letter = key >= Qt::Key_A && key <= Qt::Key_Z;
  if ((modifiers & ~kKnownModifiers) || !(letter || (key >= Qt::Key_0 && key <= Qt::Key_9))) {
    return {};
  }
  QString trigger;
  const std::pair<Qt::KeyboardModifier, const char*> names[] = {{Qt::ControlModifier, "CTRL+"},
                                                                {Qt::AltModifier, "ALT+"},
                                                                {Qt::ShiftModifier, "SHIFT+"},
                                                                {Qt::MetaModifier, "LOGO+"}};
  for (const auto& [modifier, name] : names) {
    if (modifiers & modifier) {
      trigger += QLatin1String(name);
    }
  }
  // Keys go by their keysym names, the lower-case letter for a letter key.
  trigger += QChar(letter ? key + 0x20 : key);
  return trigger;
}

QString portalId(int32_t id) {
  return QStringLiteral("hotkey-%1").arg(id);
}

xcb_connection_t* qtConnection() {
#if QT_CONFIG(xcb)
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    if (auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>()) {
      xcb_connection_t* connection = x11->connection();
      if (connection && !xcb_connection_has_error(connection)) {
        return connection;
      }
    }
  }
#endif
  return nullptr;
}

}  // namespace

GlobalHotKeys::GlobalHotKeys(QObject* parent) : QObject(parent) {
  if (isWaylandSession()) {
    m_portal = new detail::PortalShortcuts(QDBusConnection::sessionBus(), this);
    connect(m_portal, &detail::PortalShortcuts::activated, this, [this](const QString& shortcut) {
      for (const auto& [id, trigger] : m_portalKeys) {
        if (portalId(id) == shortcut) {
          Q_EMIT activated(id);
          return;
        }
      }
    });
    return;
  }
  m_connection = qtConnection();
  if (!m_connection) {
    return;
  }
  m_roots = x11::rootWindows(m_connection);
  QCoreApplication::instance()->installNativeEventFilter(this);
}

GlobalHotKeys::~GlobalHotKeys() {
  // Once the application is gone, so is its connection, and the server has freed our grabs.
  if (!QCoreApplication::instance()) {
    return;
  }
  for (const auto& [id, grab] : m_keys) {
    ungrab(grab);
  }
}

int32_t GlobalHotKeys::AddAtom(const QString& name) {
  if (m_connection) {
    const QByteArray bytes = name.toLatin1();  // atom names are Latin-1 by the protocol
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(m_connection,
                              xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(bytes.size()),
                                              bytes.constData()),
                              nullptr),
        &std::free);
    if (reply) {
      return static_cast<int32_t>(reply->atom);
    }
  }
  auto [it, added] =
      m_localAtoms.try_emplace(name, kFirstLocalAtom + static_cast<int32_t>(m_localAtoms.size()));
  return it->second;
}

bool GlobalHotKeys::Register(int32_t id, Qt::KeyboardModifiers modifiers, Qt::Key key,
                             const QString& description) {
  Unregister(id);
  if (m_portal) {
    const QString trigger = portalTrigger(modifiers, key);
    const bool taken = std::any_of(m_portalKeys.begin(), m_portalKeys.end(),
                                   [&](const auto& other) { return other.second == trigger; });
    if (trigger.isEmpty() || taken) {
      return false;
    }
    m_portalKeys.emplace(id, trigger);
    m_portal->bind(portalId(id), description, trigger);
    return true;
  }
  Grab grab;
  if (!m_connection || !toXModifiers(modifiers, grab.modifiers)) {
    return false;
  }
  grab.keycode = keycodeOfKey(m_connection, key);
  if (grab.keycode == 0) {
    return false;
  }
  for (const auto& [otherId, other] : m_keys) {
    // X would let us grab it twice; the first Unregister would then silence both.
    if (other.keycode == grab.keycode && other.modifiers == grab.modifiers) {
      return false;
    }
  }
  grab.numLock = x11::numLockMask(m_connection);

  for (xcb_window_t root : m_roots) {
    for (uint16_t locks : x11::lockCombinations(grab.numLock)) {
      if (!x11::grabKey(m_connection, root, grab.modifiers | locks, grab.keycode)) {
        ungrab(grab);  // releasing what was never grabbed is harmless
        return false;
      }
    }
  }
  m_keys.emplace(id, grab);
  return true;
}

void GlobalHotKeys::Unregister(int32_t id) {
  if (m_portalKeys.erase(id) != 0) {
    m_portal->release(portalId(id));
    return;
  }
  const auto it = m_keys.find(id);
  if (it == m_keys.end()) {
    return;
  }
  ungrab(it->second);
  m_keys.erase(it);
}

void GlobalHotKeys::ungrab(const Grab& grab) {
  for (xcb_window_t root : m_roots) {
    for (uint16_t locks : x11::lockCombinations(grab.numLock)) {
      xcb_ungrab_key(m_connection, grab.keycode, root, grab.modifiers | locks);
    }
  }
  // Round trip, so that the key is free for other programs by the time Unregister returns.
  x11::sync(m_connection);
}

bool GlobalHotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (m_keys.empty() || eventType != "xcb_generic_event_t") {
    return false;
  }
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != XCB_KEY_PRESS) {
    return false;
  }
  const auto* press = static_cast<const xcb_key_press_event_t*>(message);
  const auto modifiers = static_cast<uint16_t>(press->state & kHotKeyModifiers);
  const auto hit = std::find_if(m_keys.begin(), m_keys.end(), [&](const auto& key) {
    return key.second.keycode == press->detail && key.second.modifiers == modifiers;
  });
  if (hit == m_keys.end()) {
    return false;
  }
  const int32_t id = hit->first;  // copied: a receiver may unregister the key
  Q_EMIT activated(id);
  return true;
}

}  // namespace verbalon::ui
