// What the softphone's two connected UDP sockets (signalling and speech)
// do alike: read every waiting datagram, and go away cleanly.
#pragma once

#include <QObject>
#include <QUdpSocket>

#include <cstddef>
#include <cstdint>

namespace halvern::ui {

// A datagram is read whole into a buffer at least this large.
inline constexpr qint64 kReceiveBuffer = 2048;

// Hands each waiting datagram of `current` to take(data, size). Reads at
// least once per notice, since a read is what lets the socket report the
// next datagram; a read error (the far port closed) is dropped. Stops as
// soon as `current` no longer names the socket (take() may have dropped it).
template <class Take>
void readDatagrams(QUdpSocket* const& current, Take take) {
  QUdpSocket* s = current;
  if (!s) return;
  char buf[kReceiveBuffer];
  do {
    const qint64 n = s->readDatagram(buf, sizeof buf);
    if (n < 0) break;
    take(reinterpret_cast<const std::uint8_t*>(buf), std::size_t(n));
  } while (s == current && s->hasPendingDatagrams());
}

// Clears `socket` and deletes the socket it named, its signals to
// `receiver` cut first so nothing of it arrives afterwards.
inline void dropUdpSocket(QUdpSocket*& socket, QObject* receiver) {
  if (!socket) return;
  QUdpSocket* s = socket;
  socket = nullptr;
  s->disconnect(receiver);
  s->abort();
  delete s;
}

}  // namespace halvern::ui
