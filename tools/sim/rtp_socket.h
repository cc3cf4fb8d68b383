// The speech peer on a UDP socket: datagrams read from the socket go to
// the peer with their source as "HOST:PORT" text, the peer's packets go
// back out to the sources it names, and every packet is one log line.
#pragma once

#include "tools/sim/rtp_peer.h"
#include "tools/sim/role.h"

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace corvane::sim {

class RtpSocketPeer final : public RtpPeerOutput {
 public:
  // A log line without its time.
  using LogLine = std::function<void(const std::string&)>;

  // fd: a bound UDP socket; it stays the caller's to close.
  RtpSocketPeer(int fd, RtpMode mode, RtpFaults faults, LogLine log);

  RtpPeer& peer() { return peer_; }
  int fd() const { return fd_; }
  // Takes every datagram waiting on the socket.
  void readable(std::int64_t nowMs);
  void tick(std::int64_t nowMs) { peer_.tick(nowMs); }

  void sendTo(const std::string& to, std::span<const std::uint8_t> datagram) override;
  void logPacket(const char* dir, const std::string& peer, std::span<const std::uint8_t> datagram,
                 const std::string& what) override;

 private:
  struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
  };

  int fd_;
  LogLine log_;
  std::map<std::string, Address> addresses_;
  RtpPeer peer_;
};

// Declares the options "--loss K", "--reorder K", "--duplicate K",
// "--late K", "--short-header K", "--bad-version K", "--bad-padding K" and
// "--delay MS" (K: packet numbers "3,7" or "every:N"), each name after "--"
// with `prefix` in front, setting the faults they name.
void addRtpFaultOptions(CLI::App& parser, const std::string& prefix, RtpFaults& faults);

}  // namespace corvane::sim
