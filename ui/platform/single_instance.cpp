#include "platform/single_instance.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLocalServer>
#include <QLocalSocket>
#include <optional>
#include <system_error>

#include <unistd.h>

namespace verbalon::ui {

namespace {

constexpr char kRequestPrefix[] = "vrbx-args ";
constexpr qsizetype kRequestPrefixSize = sizeof kRequestPrefix - 1;
constexpr char kAcknowledgement[] = "ok\n";
// A command line is a few hundred bytes; a client that sends more without a line end is not ours.
constexpr qint64 kMaxRequest = qint64{64} * 1024;
// How long a live program gets to accept a connection when the socket's name is found in use.
constexpr int kProbeTimeoutMs = 500;

QByteArray requestLine(const QStringList& arguments) {
  return QByteArray(kRequestPrefix) +
         QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QStringList> parseRequest(QByteArray line) {
  if (!line.endsWith('\n') || !line.startsWith(kRequestPrefix)) {
    return std::nullopt;
  }
  line.chop(1);
  const QJsonDocument document = QJsonDocument::fromJson(line.mid(kRequestPrefixSize));
  if (!document.isArray()) {
    return std::nullopt;
  }
  QStringList arguments;
  for (const auto& value : document.array()) {
    if (!value.isString()) {
      return std::nullopt;
    }
    arguments << value.toString();
  }
  return arguments;
}

bool someoneListens(const QString& name) {
  QLocalSocket probe;
  probe.connectToServer(name);
  return probe.waitForConnected(kProbeTimeoutMs);
}

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverNameFor(const std::filesystem::path& appDir) {
  std::error_code failed;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(appDir, failed);
  if (failed) {
    resolved = appDir.lexically_normal();
  }
  const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(resolved.string()),
                                                     QCryptographicHash::Sha256);
  // The socket lies in the shared temporary folder: the user's id keeps users apart, 16 bytes
  // of the digest keep folders apart.
  return QStringLiteral("verbalon-%1-%2")
      .arg(getuid())
      .arg(QString::fromLatin1(digest.left(16).toHex()));
}

bool SingleInstance::tryHandOver(const QStringList& arguments, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  socket.connectToServer(m_name);
  if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
    return false;
  }
  socket.write(requestLine(arguments));
  if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
    return false;
  }
  while (!socket.canReadLine()) {
    if (deadline.hasExpired() ||
        !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
      return false;
    }
  }
  return socket.readLine() == QByteArray(kAcknowledgement);
}

bool SingleInstance::listen() {
  if (!m_server) {
    m_server = new QLocalServer(this);
    // No socket options: with them Qt makes the socket elsewhere and renames it over the name,
    // silently replacing a live program's socket. The user's umask keeps other users out.
    connect(m_server, &QLocalServer::newConnection, this, [this] {
      while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] { readRequest(client); });
      }
    });
  }
  if (m_server->isListening() || m_server->listen(m_name)) {
    return true;
  }
  // The name is taken: by a live program (leave it alone) or by the socket file of one that was
  // killed, which nobody answers on and which we take over.
  if (m_server->serverError() != QAbstractSocket::AddressInUseError || someoneListens(m_name)) {
    return false;
  }
  QLocalServer::removeServer(m_name);
  return m_server->listen(m_name);
}

bool SingleInstance::isListening() const {
  return m_server && m_server->isListening();
}

void SingleInstance::readRequest(QLocalSocket* client) {
  if (!client->canReadLine()) {
    if (client->bytesAvailable() > kMaxRequest) {
      client->abort();
      client->deleteLater();
    }
    return;
  }
  const std::optional<QStringList> arguments = parseRequest(client->readLine(kMaxRequest + 1));
  if (!arguments) {
    client->abort();
    client->deleteLater();
    return;
  }
  client->write(kAcknowledgement);
  client->flush();
  client->disconnectFromServer();
  Q_EMIT argumentsReceived(*arguments);
}

}  // namespace verbalon::ui
