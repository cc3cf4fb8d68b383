// Name resolution of a link's host: IPv4 first, then IPv6.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>

namespace lumarc {

struct ResolvedAddress {
  bool ipv6 = false;
  sockaddr_storage addr{};
  socklen_t length = 0;
  // IPv4: the host-order value in the first 4 bytes (native order), rest
  // zero. IPv6: the 16 address bytes.
  uint8_t address[16] = {};
  // The numeric address text (no brackets).
  std::string text;
};

// The first address of host and port for a stream (stream = true) or
// datagram socket: IPv4 if it resolves, else IPv6; nothing when neither does.
std::optional<ResolvedAddress> resolveAddress(const std::string& host, uint16_t port, bool stream);

}  // namespace lumarc
