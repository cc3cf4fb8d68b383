// The UDP socket of a monitor link or of one voice channel: a connected
// datagram socket that hands every received datagram to its link. Errors of
// a connected UDP socket (an ICMP port unreachable, say) are swallowed: the
// link's timers deal with silence, there is no "peer closed" for UDP.
#pragma once

#include "lumarc/links/link.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace lumarc {

// Events of a datagram socket, delivered to its link on the event thread.
class DatagramEvents {
 public:
  virtual ~DatagramEvents() = default;
  // One datagram arrived, whole (the link applies its own size limit).
  virtual void onDatagram(const uint8_t* data, size_t size) = 0;
};

// One connected UDP socket owned by a link. After close() no event arrives.
class DatagramTransport {
 public:
  virtual ~DatagramTransport() = default;
  // Resolves host (IPv4 first, then IPv6), creates a datagram socket and
  // connects it to host:port at once; reports the exchange's address.
  virtual OpenResult open(const std::string& host, uint16_t port) = 0;
  // Sends one datagram; false when it could not be sent whole.
  virtual bool send(std::string_view bytes) = 0;
  // Closes the socket; safe from inside an event of this socket.
  virtual void close() = 0;
};

// Makes one datagram socket; its events go to the given receiver.
using DatagramTransportFactory = std::function<std::unique_ptr<DatagramTransport>(DatagramEvents&)>;

}  // namespace lumarc
