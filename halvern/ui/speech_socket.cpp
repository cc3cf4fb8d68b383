#include "halvern/ui/speech_socket.h"

#include "halvern/ui/udp_socket.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <cstring>
#include <utility>

namespace halvern::ui {

namespace {

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

void SpeechSocket::dropSocket() { dropUdpSocket(socket_, &owner_); }

void SpeechSocket::onReadable() {
  readDatagrams(socket_, [this](const std::uint8_t* data, std::size_t size) { path_.queueDatagram({data, size}); });
}

}  // namespace halvern::ui
