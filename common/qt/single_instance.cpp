#include "common/qt/single_instance.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>
#include <QtGlobal>

#include <unistd.h>

namespace corvane {

QString instanceEndpoint(const QString& windowTitle) {
  const QString name = windowTitle + "-" + QString::number(::getuid());
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (runtime.isEmpty()) return name;
  return QString::fromLocal8Bit(runtime) + "/" + name;
}

bool sendInstanceCommand(const QString& windowTitle, const QByteArray& command) {
  QLocalSocket s;
  s.connectToServer(instanceEndpoint(windowTitle));
  if (!s.waitForConnected(1000)) return false;
  s.write(command + "\n");
  s.flush();
  s.waitForBytesWritten(1000);
  s.disconnectFromServer();
  if (s.state() != QLocalSocket::UnconnectedState) s.waitForDisconnected(500);
  return true;
}

bool closeRunningInstance(const QString& windowTitle, int waitMs) {
  if (!sendInstanceCommand(windowTitle, "close")) return false;
  QDeadlineTimer deadline(waitMs);
  while (!deadline.hasExpired()) {
    QLocalSocket probe;
    probe.connectToServer(instanceEndpoint(windowTitle));
    if (!probe.waitForConnected(200)) return true;
    probe.abort();
    QThread::msleep(100);
  }
  return true;
}

bool InstanceServer::listen(const QString& windowTitle) {
  QString name = instanceEndpoint(windowTitle);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_.listen(name)) {
    // Nobody answered there (the new start asked first), so the file is stale.
    QLocalServer::removeServer(name);
    if (!server_.listen(name)) return false;
  }
  connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::onConnection);
  return true;
}

void InstanceServer::onConnection() {
  while (QLocalSocket* s = server_.nextPendingConnection()) {
    connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    connect(s, &QLocalSocket::readyRead, this, [this, s] {
      while (s->canReadLine()) {
        QByteArray line = s->readLine().trimmed();
        if (line == "close")
          emit closeRequested();
        else if (line == "raise")
          emit raiseRequested();
      }
    });
  }
}

}  // namespace corvane
