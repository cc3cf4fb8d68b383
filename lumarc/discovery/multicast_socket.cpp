#include "lumarc/discovery/multicast_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QNetworkInterface>

#include <cstring>

namespace lumarc {

MulticastDiscoverySocket::~MulticastDiscoverySocket() { close(); }

std::vector<uint32_t> MulticastDiscoverySocket::adapters() {
  std::vector<uint32_t> out;
  const auto all = QNetworkInterface::allInterfaces();
  for (const QNetworkInterface& iface : all) {
    const auto f = iface.flags();
    if (!(f & QNetworkInterface::IsUp) || !(f & QNetworkInterface::CanBroadcast) ||
        !(f & QNetworkInterface::CanMulticast) || (f & QNetworkInterface::IsLoopBack) ||
        (f & QNetworkInterface::IsPointToPoint))
      continue;
    for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
      if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
      if (out.size() < 8) out.push_back(entry.ip().toIPv4Address());
    }
  }
  return out;
}

SocketFault MulticastDiscoverySocket::open(uint32_t adapter) {
  close();
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return SocketFault::Creation;
  auto fail = [this](SocketFault f) {
    close();
    return f;
  };
  const int one = 1, zero = 0;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(kDiscoveryPort);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
    return fail(SocketFault::Binding);
  in_addr iface{};
  iface.s_addr = htonl(adapter);
  ip_mreq join{};
  join.imr_multiaddr.s_addr = htonl(kDiscoveryGroup);
  join.imr_interface = iface;
  if (::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &iface, sizeof iface) != 0 ||
      ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0 ||
      ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &zero, sizeof zero) != 0 ||
      ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_ALL, &zero, sizeof zero) != 0)
    return fail(SocketFault::Options);
  const int fl = ::fcntl(fd_, F_GETFL);
  if (fl < 0 || ::fcntl(fd_, F_SETFL, fl | O_NONBLOCK) != 0) return fail(SocketFault::Ioctl);
  return SocketFault::None;
}

bool MulticastDiscoverySocket::send(std::string_view bytes) {
  if (fd_ < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kDiscoveryPort);
  to.sin_addr.s_addr = htonl(kDiscoveryGroup);
  const ssize_t n =
      ::sendto(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to), sizeof to);
  return n == ssize_t(bytes.size());
}

long MulticastDiscoverySocket::receive(uint8_t* buf, size_t capacity) {
  if (fd_ < 0) return -1;
  const ssize_t n = ::recv(fd_, buf, capacity, MSG_DONTWAIT);
  return n < 0 ? -1 : long(n);
}

void MulticastDiscoverySocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace lumarc
