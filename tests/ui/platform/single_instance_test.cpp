// One program per data folder: the hand-over from a second start, a socket left by a killed
// program, and clients that are not a second start.

#include "platform/single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QtTest>
#include <future>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "support/temp_folder.h"

using verbalon::testing::TempFolder;
using verbalon::ui::SingleInstance;

namespace {

// A name of this test run, so that runs side by side do not meet.
QString uniqueName(const char* what) {
  return QStringLiteral("verbalon-test-%1-%2")
      .arg(QCoreApplication::applicationPid())
      .arg(QLatin1String(what));
}

// The second start's side runs on a thread of its own, as it blocks while the first, here on
// the test's thread, needs its event loop to answer.
bool handOver(const QString& name, const QStringList& arguments) {
  std::future<bool> done = std::async(std::launch::async, [&] {
    SingleInstance second(name);
    return second.tryHandOver(arguments, 3000);
  });
  while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
    QTest::qWait(10);
  }
  return done.get();
}

// What a killed program leaves: the socket file, with nobody behind it.
void leaveStaleSocket(const QString& name) {
  const QByteArray path = (QDir::tempPath() + QLatin1Char('/') + name).toLocal8Bit();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  QVERIFY(static_cast<size_t>(path.size()) < sizeof address.sun_path);
  std::copy(path.begin(), path.end(), address.sun_path);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  QVERIFY(fd >= 0);
  QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  QVERIFY(QFile::exists(QString::fromLocal8Bit(path)));
}

}  // namespace

class SingleInstanceTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void secondStartHandsItsArgumentsOver() {
    const QString name = uniqueName("handover");
    SingleInstance first(name);
    QVERIFY(!handOver(name, {}));  // nobody listens yet
    QVERIFY(first.listen());
    QSignalSpy received(&first, &SingleInstance::argumentsReceived);

    const QStringList arguments{QStringLiteral("/di:/home/анна/Толк словарь.brd"),
                                QStringLiteral("two\nlines"), QString()};
    QVERIFY(handOver(name, arguments));
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.front().front().toStringList(), arguments);
    QVERIFY(handOver(name, {}));
    QCOMPARE(received.size(), 2);
    QVERIFY(received.back().front().toStringList().isEmpty());
  }

  void staleSocketIsTakenOver() {
    const QString name = uniqueName("stale");
    leaveStaleSocket(name);
    QVERIFY(!handOver(name, {}));
    SingleInstance first(name);
    QVERIFY(first.listen());
    QSignalSpy received(&first, &SingleInstance::argumentsReceived);
    QVERIFY(handOver(name, {QStringLiteral("again")}));
    QCOMPARE(received.size(), 1);
  }

  void liveProgramKeepsItsSocket() {
    const QString name = uniqueName("live");
    SingleInstance first(name);
    QVERIFY(first.listen());
    SingleInstance intruder(name);
    QVERIFY(!intruder.listen());
    QSignalSpy received(&first, &SingleInstance::argumentsReceived);
    QVERIFY(handOver(name, {}));
    QCOMPARE(received.size(), 1);
  }

  void clientsThatAreNoSecondStartAreIgnored() {
    const QString name = uniqueName("garbage");
    SingleInstance first(name);
    QVERIFY(first.listen());
    QSignalSpy received(&first, &SingleInstance::argumentsReceived);

    const QByteArray junk[] = {
        QByteArrayLiteral("hello\n"),
        QByteArrayLiteral("vrbx-args {\"not\":\"a list\"}\n"),
        QByteArrayLiteral("vrbx-args [\"text\", 7]\n"),
        QByteArrayLiteral("vrbx-args [\"unterminated\n"),
        QByteArray(70 * 1024, 'x'),  // longer than any command line, and no line end
    };
    for (const QByteArray& bytes : junk) {
      QLocalSocket client;
      client.connectToServer(name);
      QVERIFY(client.waitForConnected(1000));
      client.write(bytes);
      client.flush();
      // The program drops the connection without an answer.
      QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
      QVERIFY(!client.canReadLine());
    }
    QCOMPARE(received.size(), 0);
    QVERIFY(handOver(name, {}));  // and still serves a real second start
    QCOMPARE(received.size(), 1);
  }

  void nameFollowsTheFolderNotItsSpelling() {
    TempFolder folder;
    std::filesystem::create_directories(folder / "App");
    std::filesystem::create_directories(folder / "Other");
    const QString name = SingleInstance::serverNameFor(folder / "App");
    QCOMPARE(SingleInstance::serverNameFor(folder.path() / "Other" / ".." / "App" / ""), name);
    QVERIFY(SingleInstance::serverNameFor(folder / "Other") != name);
    // A name, not a path, and short enough for a socket path under any temporary folder.
    QVERIFY(!name.contains(QLatin1Char('/')));
    QVERIFY(name.size() < 60);
  }
};

QTEST_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
