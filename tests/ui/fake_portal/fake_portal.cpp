// A stand-in for the desktop portal on a private session bus: it owns the portal's name and
// answers CreateSession, BindShortcuts and a session's Close as a desktop that binds every
// preferred trigger would, and tells the test what it saw on standard output, one line each:
//   session SESSION_PATH          a session was created (its handle is in the Response)
//   bound ID TRIGGER DESCRIPTION  BindShortcuts asked for shortcut ID
//   closed SESSION_PATH           the session was closed
// A line "press ID" on standard input sends Activated for ID in the last session.
// With --without-shortcuts it owns the name but lacks the GlobalShortcuts interface, as the
// portal of some desktops does: every call then fails with the bus's unknown-method error.

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QSocketNotifier>
#include <iostream>

#include <unistd.h>

namespace {

constexpr QLatin1String kPath("/org/freedesktop/portal/desktop");
constexpr QLatin1String kInterface("org.freedesktop.portal.GlobalShortcuts");

void tell(const QString& line) {
  std::cout << line.toStdString() << std::endl;  // flushed: the test waits for each line
}

class FakePortal : public QDBusVirtualObject {
 public:
  explicit FakePortal(bool withShortcuts) : m_withShortcuts(withShortcuts) {}

  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() == QLatin1String("org.freedesktop.portal.Session") &&
        message.member() == QLatin1String("Close")) {
      tell(QStringLiteral("closed ") + message.path());
      connection.send(message.createReply());
      return true;
    }
    if (!m_withShortcuts || message.interface() != kInterface || message.path() != kPath) {
      return false;
    }
    const QList<QVariant> arguments = message.arguments();
    if (message.member() == QLatin1String("CreateSession") && arguments.size() == 1) {
      const QVariantMap options = qdbus_cast<QVariantMap>(arguments[0]);
      m_session = objectPath(QStringLiteral("session"), message.service(),
                             options.value(QStringLiteral("session_handle_token")).toString());
      tell(QStringLiteral("session ") + m_session);
      respond(message, connection, options, {{QStringLiteral("session_handle"), m_session}});
      return true;
    }
    if (message.member() == QLatin1String("BindShortcuts") && arguments.size() == 4) {
      const QDBusArgument shortcuts = arguments[1].value<QDBusArgument>();
      shortcuts.beginArray();
      while (!shortcuts.atEnd()) {
        QString id;
        QVariantMap options;
        shortcuts.beginStructure();
        shortcuts >> id >> options;
        shortcuts.endStructure();
        tell(QStringLiteral("bound %1 %2 %3")
                 .arg(id, options.value(QStringLiteral("preferred_trigger")).toString(),
                      options.value(QStringLiteral("description")).toString()));
      }
      shortcuts.endArray();
      respond(message, connection, qdbus_cast<QVariantMap>(arguments[3]), {});
      return true;
    }
    return false;
  }

  void press(const QString& id) const {
    QDBusMessage activated =
        QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("Activated"));
    activated << QVariant::fromValue(QDBusObjectPath(m_session)) << id
              << static_cast<qulonglong>(QDateTime::currentMSecsSinceEpoch()) << QVariantMap();
    QDBusConnection::sessionBus().send(activated);
  }

 private:
  // .../KIND/SENDER/TOKEN, SENDER the caller's unique name without ':' and with '_' for '.'.
  static QString objectPath(const QString& kind, QString sender, const QString& token) {
    sender = sender.mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/%2/%3/%4").arg(kPath, kind, sender, token);
  }

  // The method returns its request's path; the result follows as the request's Response.
  static void respond(const QDBusMessage& message, const QDBusConnection& connection,
                      const QVariantMap& options, const QVariantMap& results) {
    const QString request = objectPath(QStringLiteral("request"), message.service(),
                                       options.value(QStringLiteral("handle_token")).toString());
    connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    QDBusMessage response = QDBusMessage::createSignal(
        request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    response << 0U << results;
    connection.send(response);
  }

  bool m_withShortcuts;
  QString m_session;
};

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication application(argc, argv);
  const bool withShortcuts =
      !QCoreApplication::arguments().contains(QStringLiteral("--without-shortcuts"));
  QDBusConnection bus = QDBusConnection::sessionBus();
  FakePortal portal(withShortcuts);
  if (!bus.registerVirtualObject(kPath, &portal, QDBusConnection::SubPath) ||
      !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
    std::cerr << "fake portal: cannot own the portal's name on the session bus\n";
    return 1;
  }

  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QByteArray pending;
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[256];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {
      QCoreApplication::quit();  // the test went away
      return;
    }
    pending.append(buffer, got);
    for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
      const QString command = QString::fromUtf8(pending.left(end));
      pending.remove(0, end + 1);
      if (command.startsWith(QLatin1String("press "))) {
        portal.press(command.mid(6));
      }
    }
  });
  tell(QStringLiteral("ready"));
  return QCoreApplication::exec();
}
