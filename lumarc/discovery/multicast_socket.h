// The browser's UDP socket on Linux: bound to 0.0.0.0:55555 with address
// reuse, sending through the chosen adapter to 224.3.3.3:55555, joined to
// the group on that adapter only, without loop-back of its own datagrams
// and without the datagrams of groups joined by other sockets. Replies may
// come to the group or to the adapter's own address; the header's
// destination address is the filter.
#pragma once

#include "lumarc/discovery/discovery.h"

namespace lumarc {

class MulticastDiscoverySocket : public DiscoverySocket {
 public:
  MulticastDiscoverySocket() = default;
  ~MulticastDiscoverySocket() override;
  MulticastDiscoverySocket(const MulticastDiscoverySocket&) = delete;
  MulticastDiscoverySocket& operator=(const MulticastDiscoverySocket&) = delete;

  // Up, broadcast- and multicast-capable, neither loop-back nor
  // point-to-point; their IPv4 addresses, at most 8.
  std::vector<uint32_t> adapters() override;
  SocketFault open(uint32_t adapter) override;
  bool send(std::string_view bytes) override;
  long receive(uint8_t* buf, size_t capacity) override;
  void close() override;

 private:
  int fd_ = -1;
};

}  // namespace lumarc
