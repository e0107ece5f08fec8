#include "platform/detail/portal_shortcuts.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QList>
#include <QVariant>

namespace verbalon::ui::detail {

// One element of BindShortcuts' a(sa{sv}): the shortcut's id and its options.
struct PortalShortcut {
  QString id;
  QVariantMap options;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.options;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.options;
  argument.endStructure();
  return argument;
}

}  // namespace verbalon::ui::detail

Q_DECLARE_METATYPE(verbalon::ui::detail::PortalShortcut)

namespace verbalon::ui::detail {

namespace {

constexpr QLatin1String kService("org.freedesktop.portal.Desktop");
constexpr QLatin1String kPath("/org/freedesktop/portal/desktop");
constexpr QLatin1String kInterface("org.freedesktop.portal.GlobalShortcuts");
constexpr QLatin1String kRequestInterface("org.freedesktop.portal.Request");

// The portal reports the session handle as a string, some versions as an object path.
QString pathText(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
    return value.value<QDBusObjectPath>().path();
  }
  return value.toString();
}

}  // namespace

PortalShortcuts::PortalShortcuts(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {
  qDBusRegisterMetaType<PortalShortcut>();
  qDBusRegisterMetaType<QList<PortalShortcut>>();
  m_bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                SLOT(onActivated(QDBusMessage)));
}

PortalShortcuts::~PortalShortcuts() = default;

void PortalShortcuts::bind(const QString& id, const QString& description, const QString& trigger) {
  m_wanted[id] = Shortcut{description, trigger};
  if (!m_session.isEmpty()) {
    bindWanted();
  } else if (m_sessionRequest.isEmpty()) {
    createSession();
  }
}

void PortalShortcuts::release(const QString& id) {
  m_wanted.erase(id);
  if (!m_wanted.empty() || m_session.isEmpty()) {
    return;
  }
  m_bus.send(QDBusMessage::createMethodCall(kService, m_session,
                                            QStringLiteral("org.freedesktop.portal.Session"),
                                            QStringLiteral("Close")));
  m_session.clear();
}

void PortalShortcuts::createSession() {
  if (!m_bus.isConnected()) {
    return;
  }
  const QString token = QStringLiteral("vrbx%1").arg(++m_tokens);
  // The request's path is .../request/SENDER/TOKEN, SENDER our unique name without its ':' and
  // with '_' for '.'; subscribing before the call means its Response cannot slip by.
  QString sender = m_bus.baseService().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  watchRequest(QStringLiteral("%1/request/%2/%3").arg(kPath, sender, token));

  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CreateSession"));
  call << QVariantMap{{QStringLiteral("handle_token"), token},
                      {QStringLiteral("session_handle_token"), token}};
  auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
    watcher->deleteLater();
    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
    if (reply.isError()) {
      // No portal, or one without global shortcuts: the program does without.
      unwatchRequest();
      return;
    }
    // Portals older than the handle token answer on a path of their own choosing.
    if (reply.value().path() != m_sessionRequest) {
      unwatchRequest();
      watchRequest(reply.value().path());
    }
  });
}

void PortalShortcuts::bindWanted() {
  QList<PortalShortcut> shortcuts;
  for (const auto& [id, shortcut] : m_wanted) {
    shortcuts.push_back({id,
                         {{QStringLiteral("description"), shortcut.description},
                          {QStringLiteral("preferred_trigger"), shortcut.trigger}}});
  }
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("BindShortcuts"));
  // The desktop decides and tells through Activated alone; the call's own outcome changes
  // nothing for us.
  call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(shortcuts)
       << QString()
       << QVariantMap{{QStringLiteral("handle_token"), QStringLiteral("vrbx%1").arg(++m_tokens)}};
  m_bus.send(call);
}

void PortalShortcuts::watchRequest(const QString& path) {
  m_sessionRequest = path;
  m_bus.connect(kService, path, kRequestInterface, QStringLiteral("Response"), this,
                SLOT(onResponse(QDBusMessage)));
}

void PortalShortcuts::unwatchRequest() {
  m_bus.disconnect(kService, m_sessionRequest, kRequestInterface, QStringLiteral("Response"), this,
                   SLOT(onResponse(QDBusMessage)));
  m_sessionRequest.clear();
}

void PortalShortcuts::onResponse(const QDBusMessage& message) {
  const QList<QVariant> arguments = message.arguments();
  if (message.path() != m_sessionRequest || arguments.size() < 2) {
    return;
  }
  unwatchRequest();
  // 0 is success; 1 the user declined, 2 anything else.
  const QString session =
      pathText(qdbus_cast<QVariantMap>(arguments[1]).value(QStringLiteral("session_handle")));
  if (arguments[0].toUInt() != 0 || session.isEmpty()) {
    return;
  }
  m_session = session;
  if (!m_wanted.empty()) {
    bindWanted();
  }
}

void PortalShortcuts::onActivated(const QDBusMessage& message) {
  const QList<QVariant> arguments = message.arguments();
  if (m_session.isEmpty() || arguments.size() < 2 || pathText(arguments[0]) != m_session) {
    return;
  }
  const QString id = arguments[1].toString();
  if (m_wanted.count(id) != 0) {
    Q_EMIT activated(id);
  }
}

}  // namespace verbalon::ui::detail
