#include "halvern/ui/speech_socket.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <cstring>
#include <utility>

namespace halvern::ui {

namespace {
// Longer datagrams are read whole and then dropped by the path's queue.
constexpr qint64 kReceiveBuffer = 2048;

QHostAddress hostOf(const PeerAddress& a) {
  switch (a.family) {
    case AddressFamily::IPv4: return QHostAddress(quint32(a.ipv4));
    case AddressFamily::IPv6: {
      Q_IPV6ADDR v6;
      std::memcpy(v6.c, a.ipv6.data(), 16);
      return QHostAddress(v6);
    }
    default: return QHostAddress();
  }
}
}  // namespace

SpeechSocket::SpeechSocket(QObject& owner, std::function<std::uint32_t()> ssrc)
    : owner_(owner), ssrc_(std::move(ssrc)) {}

SpeechSocket::~SpeechSocket() { dropSocket(); }

void SpeechSocket::stopSpeech() {
  dropSocket();
  path_.reset(ssrc_());
}

bool SpeechSocket::speechAddress(const PeerAddress& address, std::uint16_t port) {
  dropSocket();
  const QHostAddress host = hostOf(address);
  if (host.isNull()) return false;
  socket_ = new QUdpSocket(&owner_);
  // Errors on the connected socket (ICMP refusals while the far end is not
  // listening yet) are ignored; only the read loop looks at it.
  QObject::connect(socket_, &QUdpSocket::readyRead, &owner_, [this] { onReadable(); });
  socket_->connectToHost(host, port);
  if (socket_->state() == QAbstractSocket::UnconnectedState) {
    dropSocket();
    return false;
  }
  return true;
}

void SpeechSocket::sendDatagram(std::span<const std::uint8_t> datagram) {
  if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) return;
  socket_->write(reinterpret_cast<const char*>(datagram.data()), qint64(datagram.size()));
}

void SpeechSocket::dropSocket() {
  if (!socket_) return;
  QUdpSocket* s = socket_;
  socket_ = nullptr;
  s->disconnect(&owner_);
  s->abort();
  delete s;
}

void SpeechSocket::onReadable() {
  QUdpSocket* s = socket_;
  if (!s) return;
  // Read at least once per notice so the socket reports the next datagram;
  // a read error (the far port closed) is dropped.
  char buf[kReceiveBuffer];
  do {
    const qint64 n = s->readDatagram(buf, sizeof buf);
    if (n < 0) break;
    path_.queueDatagram({reinterpret_cast<const std::uint8_t*>(buf), std::size_t(n)});
  } while (s == socket_ && s->hasPendingDatagrams());
}

}  // namespace halvern::ui
