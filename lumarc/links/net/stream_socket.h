// The Qt side of a link's TCP socket: a QTcpSocket that reports connect
// completion, received bytes and peer close to the link's engine on the
// event thread. Nothing of the protocol lives here.
#pragma once

#include "lumarc/links/link.h"

#include <QAbstractSocket>
#include <QObject>

class QTcpSocket;

namespace lumarc::net {

class QtStreamTransport : public QObject, public StreamTransport {
  Q_OBJECT
 public:
  explicit QtStreamTransport(StreamEvents& events, QObject* parent = nullptr);
  ~QtStreamTransport() override;

  // Resolves (IPv4, then IPv6) and starts the connect; its result arrives
  // later through onConnectResult, never from inside this call.
  OpenResult open(const std::string& host, uint16_t port) override;
  // Queues bytes; false without a connected socket.
  bool send(std::string_view bytes) override;
  // Writes what is queued, shuts the socket down both ways and closes it;
  // no event follows. Safe to call from inside an event of this socket.
  void close() override;

 private:
  void onConnected();
  void onReadyRead();
  void onError(QAbstractSocket::SocketError error);
  void onDisconnected();
  void drain();

  StreamEvents& events_;
  QTcpSocket* socket_ = nullptr;
  bool connecting_ = false;
  bool closed_ = true;
};

// A factory for CMDR links: one QtStreamTransport per link.
StreamTransportFactory qtStreamTransportFactory();

}  // namespace lumarc::net
