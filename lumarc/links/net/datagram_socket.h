// The Qt side of a link's UDP socket: a plain connected datagram socket
// watched by a QSocketNotifier, so every datagram reaches the link's engine
// on the event thread. Nothing of the protocol lives here.
#pragma once

#include "lumarc/links/datagram.h"

#include <QObject>

class QSocketNotifier;

namespace lumarc::net {

class QtDatagramTransport : public QObject, public DatagramTransport {
  Q_OBJECT
 public:
  explicit QtDatagramTransport(DatagramEvents& events, QObject* parent = nullptr);
  ~QtDatagramTransport() override;

  // Resolves (IPv4, then IPv6), creates the socket and connects it; the
  // result is final when this returns.
  OpenResult open(const std::string& host, uint16_t port) override;
  // Sends one datagram without blocking; false when it was not sent whole.
  bool send(std::string_view bytes) override;
  // Closes the socket; no event follows. Safe from inside an event.
  void close() override;
  // The local port the socket is bound to, 0 without a socket.
  uint16_t localPort() const;

 private:
  void onReadable();

  DatagramEvents& events_;
  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

// A factory for monitor links and voice channels: one QtDatagramTransport each.
DatagramTransportFactory qtDatagramTransportFactory();

}  // namespace lumarc::net
