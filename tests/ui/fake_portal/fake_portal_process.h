#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

// The fake desktop portal (fake_portal.cpp) as a child process of a test, on the test's session
// bus (the test runs under dbus-run-session). FAKE_PORTAL names its executable.
namespace verbalon::testing {

class FakePortalProcess {
 public:
  // Starts it and waits until it owns the portal's name; arguments as fake_portal.cpp takes.
  explicit FakePortalProcess(const QStringList& arguments = {}) {
    m_process.setProgram(qEnvironmentVariable("FAKE_PORTAL"));
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    m_ready = !waitForLine(QStringLiteral("ready")).isEmpty();
  }
  ~FakePortalProcess() {
    m_process.closeWriteChannel();  // it ends at the end of its input
    if (!m_process.waitForFinished(3000)) {
      m_process.kill();
      m_process.waitForFinished(3000);
    }
  }
  FakePortalProcess(const FakePortalProcess&) = delete;
  FakePortalProcess& operator=(const FakePortalProcess&) = delete;

  bool isReady() const { return m_ready; }

  // Waits, running the test's event loop, for an output line that starts with prefix; returns
  // it (empty when none came within timeoutMs). Lines before it are consumed.
  QString waitForLine(const QString& prefix, int timeoutMs = 5000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
      while (m_process.canReadLine()) {
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        m_seen << line;
        if (line.startsWith(prefix)) {
          return line;
        }
      }
      QTest::qWait(20);
    }
    return {};
  }

  // Every output line read so far.
  const QStringList& seen() const { return m_seen; }

  // Makes the portal send Activated for shortcut id.
  void press(const QString& id) { m_process.write(QStringLiteral("press %1\n").arg(id).toUtf8()); }

 private:
  QProcess m_process;
  QStringList m_seen;
  bool m_ready = false;
};

}  // namespace verbalon::testing
