#include "lumarc/links/net/stream_socket.h"

#include "lumarc/links/resolve.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <cstring>

#include <sys/socket.h>

namespace lumarc::net {

QtStreamTransport::QtStreamTransport(StreamEvents& events, QObject* parent) : QObject(parent), events_(events) {}

QtStreamTransport::~QtStreamTransport() { close(); }

OpenResult QtStreamTransport::open(const std::string& host, uint16_t port) {
  close();
  OpenResult result;
  std::optional<ResolvedAddress> a = resolveAddress(host, port, true);
  if (!a) {
    result.status = OpenResult::Status::ResolveFailed;
    return result;
  }
  QHostAddress address(QString::fromStdString(a->text));
  if (address.isNull()) {
    result.status = OpenResult::Status::ResolveFailed;
    return result;
  }
  socket_ = new QTcpSocket(this);
  connect(socket_, &QTcpSocket::connected, this, &QtStreamTransport::onConnected);
  connect(socket_, &QTcpSocket::readyRead, this, &QtStreamTransport::onReadyRead);
  connect(socket_, &QTcpSocket::errorOccurred, this, &QtStreamTransport::onError);
  connect(socket_, &QTcpSocket::disconnected, this, &QtStreamTransport::onDisconnected);
  closed_ = false;
  connecting_ = true;
  socket_->connectToHost(address, port);
  result.status = OpenResult::Status::Ok;
  result.ipv6 = a->ipv6;
  std::memcpy(result.address, a->address, sizeof result.address);
  return result;
}

bool QtStreamTransport::send(std::string_view bytes) {
  if (closed_ || connecting_ || !socket_) return false;
  return socket_->write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

void QtStreamTransport::close() {
  closed_ = true;
  connecting_ = false;
  if (!socket_) return;
  QTcpSocket* s = socket_;
  socket_ = nullptr;
  s->disconnect(this);
  if (s->state() == QAbstractSocket::ConnectedState) {
    s->flush();
    if (s->socketDescriptor() >= 0) ::shutdown(int(s->socketDescriptor()), SHUT_RDWR);
  }
  s->abort();
  s->deleteLater();
}

void QtStreamTransport::onConnected() {
  if (closed_ || !connecting_) return;
  connecting_ = false;
  // Reported from the event loop, like every other event of the link.
  QTimer::singleShot(0, this, [this] {
    if (!closed_) events_.onConnectResult(true);
  });
}

void QtStreamTransport::drain() {
  while (!closed_ && socket_ && socket_->bytesAvailable() > 0) {
    QByteArray data = socket_->readAll();
    if (data.isEmpty()) break;
    events_.onBytes(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
  }
}

void QtStreamTransport::onReadyRead() {
  if (closed_ || connecting_ || !socket_) return;
  QByteArray data = socket_->readAll();
  if (!data.isEmpty()) events_.onBytes(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
}

void QtStreamTransport::onError(QAbstractSocket::SocketError) {
  if (closed_) return;
  if (connecting_) {
    connecting_ = false;
    closed_ = true;
    QTimer::singleShot(0, this, [this] { events_.onConnectResult(false); });
    return;
  }
  onDisconnected();
}

void QtStreamTransport::onDisconnected() {
  if (closed_ || connecting_) return;
  drain();
  if (closed_) return;
  closed_ = true;
  events_.onPeerClosed();
}

StreamTransportFactory qtStreamTransportFactory() {
  return [](StreamEvents& events) -> std::unique_ptr<StreamTransport> {
    return std::make_unique<QtStreamTransport>(events);
  };
}

}  // namespace lumarc::net
