#include "tools/sim/sockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane::sim {

int bindSocket(const std::string& address, int port, int type, bool* ipv6) {
  addrinfo hints{};
  hints.ai_socktype = type;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
  addrinfo* ai = nullptr;
  if (::getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &ai) != 0 || !ai) return -1;
  if (ipv6) *ipv6 = ai->ai_family == AF_INET6;
  int fd = ::socket(ai->ai_family, type | SOCK_CLOEXEC, 0);
  if (fd >= 0 && type == SOCK_STREAM) {
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  }
  if (fd >= 0 && (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || (type == SOCK_STREAM && ::listen(fd, 4) != 0))) {
    ::close(fd);
    fd = -1;
  }
  ::freeaddrinfo(ai);
  return fd;
}

int boundPort(int fd) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
  return ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
}

std::string hexOf(std::span<const std::uint8_t> bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (std::uint8_t c : bytes) {
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}

}  // namespace corvane::sim
