#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <map>

class QDBusMessage;

// System-wide shortcuts through the desktop portal's GlobalShortcuts interface, the way a
// Wayland desktop lets a program have one: the program names the shortcuts it wants with a
// preferred trigger, the desktop (often after asking the user) binds them, and their presses
// arrive as the portal's Activated signal.
//
// Everything runs asynchronously on the event loop. The portal answers CreateSession with a
// request object whose Response signal carries the session; we subscribe to the request's path
// before calling, as the path is predictable from our handle token. Where the portal, or its
// GlobalShortcuts interface, is missing, or the user declines, nothing is bound and nothing is
// reported: the shortcuts just never fire.
namespace verbalon::ui::detail {

class PortalShortcuts : public QObject {
  Q_OBJECT

 public:
  explicit PortalShortcuts(QDBusConnection bus, QObject* parent = nullptr);
  ~PortalShortcuts() override;

  PortalShortcuts(const PortalShortcuts&) = delete;
  PortalShortcuts& operator=(const PortalShortcuts&) = delete;

  // Asks for the shortcut id, described to the user by description, preferably on trigger in the
  // portal's notation ("CTRL+ALT+d"). The first call opens the portal session.
  void bind(const QString& id, const QString& description, const QString& trigger);
  // No more Activated for id; the session is closed, freeing the trigger, when no shortcut is
  // left.
  void release(const QString& id);

  // The portal session exists and the shortcuts asked for so far were sent to it.
  bool hasSession() const { return !m_session.isEmpty(); }

 Q_SIGNALS:
  void activated(const QString& id);

 private Q_SLOTS:  // QtDBus connects signals of the bus by slot name only
  void onResponse(const QDBusMessage& message);
  void onActivated(const QDBusMessage& message);

 private:  // NOLINT(readability-redundant-access-specifiers): ends the slots section for moc
  struct Shortcut {
    QString description;
    QString trigger;
  };

  void createSession();
  // Sends every wanted shortcut to the session.
  void bindWanted();
  void watchRequest(const QString& path);
  void unwatchRequest();

  QDBusConnection m_bus;
  std::map<QString, Shortcut> m_wanted;
  QString m_sessionRequest;  // the request answering CreateSession, while it is open
  QString m_session;         // the session's object path once created
  int m_tokens = 0;
};

}  // namespace verbalon::ui::detail
