#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

struct xcb_connection_t;

namespace verbalon::ui::detail {
class PortalShortcuts;
}

// System-wide hot keys. Under X11 a key is grabbed on the root window, so its presses reach us
// whichever program has the focus, and they are swallowed there, as a system hot key should be.
// In a Wayland session no program may grab keys: the key is asked of the desktop portal's
// GlobalShortcuts interface instead, and the desktop binds it (or not) later. Elsewhere (the
// offscreen platform, a portal without that interface) nothing can be held: Register fails, or
// its request comes to nothing, quietly, and the rest works as a bookkeeper of ids, so callers
// need no second code path.
//
// One object per program is enough; it must live on the GUI thread, inside the life of the
// QGuiApplication.
namespace verbalon::ui {

class GlobalHotKeys : public QObject, private QAbstractNativeEventFilter {
  Q_OBJECT

 public:
  explicit GlobalHotKeys(QObject* parent = nullptr);
  // Releases every key still registered.
  ~GlobalHotKeys() override;

  GlobalHotKeys(const GlobalHotKeys&) = delete;
  GlobalHotKeys& operator=(const GlobalHotKeys&) = delete;

  // Whether keys can be held at all: an X11 connection is there, or, in a Wayland session, the
  // portal is asked (whether it has the interface shows only in its answer).
  bool isAvailable() const { return m_connection != nullptr || m_portal != nullptr; }
  // Whether keys are asked of the desktop portal rather than grabbed.
  bool usesPortal() const { return m_portal != nullptr; }

  // An id for name, the same for the same name: the X atom of that name, or, without X11, a
  // number of this process from 0xC000 up, like the string atoms of other systems.
  int32_t AddAtom(const QString& name);

  // Grabs modifiers + key system-wide as id; Caps Lock and Num Lock are ignored, so the key works
  // whatever their state. key is a letter (Qt::Key_A..Qt::Key_Z) or a digit; modifiers are
  // Control, Alt, Shift and Meta. Returns false, and grabs nothing, when the key cannot be held:
  // another program holds it, another id of ours holds it, the key is not on the keyboard, or
  // there is no X11 connection. Registering a registered id first releases its earlier key.
  // Through the portal, true means the key was asked for, as "CTRL+ALT+d" and with description
  // shown to the user; the desktop may still bind another key or none.
  bool Register(int32_t id, Qt::KeyboardModifiers modifiers, Qt::Key key,
                const QString& description = QString());

  // Releases the key of id; other programs can grab it once this returns. An id without a key
  // is ignored.
  void Unregister(int32_t id);

  bool isRegistered(int32_t id) const {
    return m_keys.count(id) != 0 || m_portalKeys.count(id) != 0;
  }

 Q_SIGNALS:
  // A registered key was pressed (WM_HOTKEY of other systems). Auto-repeat sends it again.
  void activated(int32_t id);

 private:
  struct Grab {
    uint8_t keycode = 0;
    uint16_t modifiers = 0;  // X modifier mask, without the lock keys
    uint16_t numLock = 0;    // Num Lock's modifier bit when it was grabbed
  };

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
  void ungrab(const Grab& grab);

  xcb_connection_t* m_connection = nullptr;
  std::vector<uint32_t> m_roots;
  std::map<int32_t, Grab> m_keys;
  detail::PortalShortcuts* m_portal = nullptr;
  std::map<int32_t, QString> m_portalKeys;  // id -> the trigger asked for
  std::map<QString, int32_t> m_localAtoms;
};

}  // namespace verbalon::ui
