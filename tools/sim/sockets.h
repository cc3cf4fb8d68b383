// The simulator roles' sockets: bound to a numeric address of either family;
// and the hex text their logs show datagrams in.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace corvane::sim {

// A socket of `type` (SOCK_DGRAM, or SOCK_STREAM that is then listening)
// bound to a numeric address and port (0: any free port); -1 when any step
// fails. `ipv6`, when given, tells the address family.
int bindSocket(const std::string& address, int port, int type, bool* ipv6 = nullptr);

// The port a socket is bound to.
int boundPort(int fd);

// Bytes as lower-case hex digits, two per byte, for the logs.
std::string hexOf(std::span<const std::uint8_t> bytes);

}  // namespace corvane::sim
