#include "lumarc/links/resolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace lumarc {

namespace {
std::optional<ResolvedAddress> resolveFamily(const std::string& host, uint16_t port, bool stream, int family) {
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = stream ? SOCK_STREAM : SOCK_DGRAM;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || !list) return std::nullopt;
  ResolvedAddress r;
  r.ipv6 = list->ai_family == AF_INET6;
  r.length = socklen_t(std::min<size_t>(list->ai_addrlen, sizeof r.addr));
  std::memcpy(&r.addr, list->ai_addr, r.length);
  char text[INET6_ADDRSTRLEN] = {};
  if (r.ipv6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(list->ai_addr);
    std::memcpy(r.address, &a->sin6_addr, 16);
    inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
  } else {
    const auto* a = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
    uint32_t host32 = ntohl(a->sin_addr.s_addr);
    std::memcpy(r.address, &host32, 4);
    inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
  }
  r.text = text;
  ::freeaddrinfo(list);
  return r;
}
}  // namespace

std::optional<ResolvedAddress> resolveAddress(const std::string& host, uint16_t port, bool stream) {
  if (auto r = resolveFamily(host, port, stream, AF_INET)) return r;
  return resolveFamily(host, port, stream, AF_INET6);
}

}  // namespace lumarc
