#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <filesystem>

class QLocalServer;
class QLocalSocket;

// One running program per data folder. A second start hands its command line to the program
// already running there, over a local socket, and ends; the first acts on it as if the user had
// asked it for the window. The socket only forwards requests: the resource package's exclusive
// lock still keeps two writers apart.
//
// The protocol is one UTF-8 line from the newcomer, "vrbx-args " followed by a JSON array of
// the arguments, answered by the line "ok" once the running program has taken them. Anything
// else a client sends is ignored and its connection closed.
//
// Use: tryHandOver() in the second program (true: end now); otherwise listen(), and connect
// argumentsReceived. Lives on the GUI thread.
namespace verbalon::ui {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // name is a local socket name, not a path; serverNameFor() gives the program's.
  explicit SingleInstance(QString name, QObject* parent = nullptr);
  ~SingleInstance() override;

  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // The socket name of the program for the application folder appDir: the same for every spelling
  // of that folder (it is resolved first) and per user, short enough for a socket path.
  static QString serverNameFor(const std::filesystem::path& appDir);

  // Sends arguments to a program listening under the name and waits, up to timeoutMs, for its
  // acknowledgement. True when it took them; false when nobody listens or nobody answered.
  bool tryHandOver(const QStringList& arguments, int timeoutMs = 3000);

  // Listens under the name; a socket left behind by a program that was killed is removed first.
  // Call only after tryHandOver() failed, so that a live program's socket is never taken. False
  // when the socket cannot be made: the program then simply runs alone.
  bool listen();
  bool isListening() const;

 Q_SIGNALS:
  // A second start sent its command line (the arguments after the program's name).
  void argumentsReceived(const QStringList& arguments);

 private:
  void readRequest(QLocalSocket* client);

  QString m_name;
  QLocalServer* m_server = nullptr;
};

}  // namespace verbalon::ui
