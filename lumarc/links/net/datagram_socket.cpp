#include "lumarc/links/net/datagram_socket.h"

#include "lumarc/links/resolve.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lumarc::net {

namespace {
// Large enough for any UDP datagram; the link cuts it to its own buffer size.
constexpr size_t kReceiveSize = 65536;
// Datagrams handled per readable event before the loop goes back to Qt.
constexpr int kMaxPerEvent = 256;
}  // namespace

QtDatagramTransport::QtDatagramTransport(DatagramEvents& events, QObject* parent) : QObject(parent), events_(events) {}

QtDatagramTransport::~QtDatagramTransport() { close(); }

OpenResult QtDatagramTransport::open(const std::string& host, uint16_t port) {
  close();
  OpenResult result;
  std::optional<ResolvedAddress> a = resolveAddress(host, port, false);
  if (!a) {
    result.status = OpenResult::Status::ResolveFailed;
    return result;
  }
  result.ipv6 = a->ipv6;
  std::memcpy(result.address, a->address, sizeof result.address);
  int fd = ::socket(a->ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    result.status = OpenResult::Status::CreateFailed;
    return result;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&a->addr), a->length) != 0) {
    ::close(fd);
    result.status = OpenResult::Status::ConnectFailed;
    return result;
  }
  fd_ = fd;
  notifier_ = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QtDatagramTransport::onReadable);
  result.status = OpenResult::Status::Ok;
  return result;
}

bool QtDatagramTransport::send(std::string_view bytes) {
  if (fd_ < 0) return false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return size_t(n) == bytes.size();
    // A pending ICMP error is reported once by the next call and then
    // cleared: try again so the datagram still leaves.
    if (errno != ECONNREFUSED && errno != EINTR) return false;
  }
  return false;
}

void QtDatagramTransport::close() {
  if (notifier_) {
    notifier_->setEnabled(false);
    notifier_->disconnect(this);
    notifier_->deleteLater();
    notifier_ = nullptr;
  }
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

uint16_t QtDatagramTransport::localPort() const {
  if (fd_ < 0) return 0;
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  if (local.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port);
  return ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
}

void QtDatagramTransport::onReadable() {
  std::vector<uint8_t> buffer(kReceiveSize);
  for (int i = 0; i < kMaxPerEvent && fd_ >= 0; ++i) {
    ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      // ECONNREFUSED and the like: the error is now cleared; carry on.
      continue;
    }
    events_.onDatagram(buffer.data(), size_t(n));
  }
}

DatagramTransportFactory qtDatagramTransportFactory() {
  return [](DatagramEvents& events) -> std::unique_ptr<DatagramTransport> {
    return std::make_unique<QtDatagramTransport>(events);
  };
}

}  // namespace lumarc::net
