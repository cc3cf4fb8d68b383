// The CMDR download link: a TCP stream of 154-byte frames, each checked,
// decoded, shown, stored, and acknowledged per receive pass with one "X";
// keep-alive "X"s on a quiet link, a 10 s connect timeout and reconnection
// after 300 s. A state machine fed connect results, bytes, peer close and
// 100 ms ticks; it acts through its StreamTransport and CmdrRecordSink.
#pragma once

#include "lumarc/links/cmdr_frame.h"
#include "lumarc/links/link.h"
#include "lumarc/records/records.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lumarc {

enum class CmdrState : int { Connecting = 0, Connected = 1, Closed = 2, Failed = 3 };

// Ticks of quiet before keep-alive step k sends its "X".
int cmdrKeepAliveTicks(int step);

// Appends each line with CR LF to "fcmdr.txt" in dir (created if needed)
// and syncs it to disk: all of them or, on failure, none (the file is cut
// back), with the cause in `cause`.
bool appendFailedRecordLines(const std::string& dir, const std::vector<std::string>& lines, std::string& cause);
bool appendFailedRecordLine(const std::string& dir, const std::string& line);

class CmdrLink : public Link, public StreamEvents {
 public:
  // sink stores the decoded records; it must outlive the link.
  CmdrLink(LinkList& owner, const ConnectionTarget& target, int slot, StreamTransportFactory makeSocket,
           CmdrRecordSink& sink);
  ~CmdrLink() override;

  // Opening steps 1-6; false when resolving, creating or connecting failed.
  bool open() override;
  // The 100 ms tick: connect timeout, keep-alive, reconnection.
  void tick() override;
  int icon() const override;
  // Closes socket and log file.
  void shutdown() override;

  // Connect completed: state 1 and history, or "Socket opening fault!" and state 2.
  void onConnectResult(bool ok) override;
  // One receive pass: whole frames decoded and shown, their records stored
  // together (refused ones in "fcmdr.txt"), then one "X" when any was
  // handled.
  void onBytes(const uint8_t* data, size_t size) override;
  // "Socket closed unexpectedly!", state 2 (reconnection after 300 s).
  void onPeerClosed() override;

  // The link's state (0-3).
  CmdrState state() const { return state_; }
  // Ticks since the last event that restarted the counter.
  unsigned ticks() const { return ticks_; }
  // The keep-alive step k (0-6).
  int keepAliveStep() const { return keepAlive_; }
  // Whether the exchange was reached over IPv6.
  bool usesIpv6() const { return ipv6_; }
  // Host-order IPv4 of the exchange; 0 for IPv6.
  uint32_t exchangeIpv4() const;
  // Bytes received but not yet a whole frame.
  size_t pendingBytes() const { return buffer_.size(); }

 private:
  enum class FrameResult { Handled, Malformed, OutOfMemory };
  // The records of one receive pass and their lines.
  struct Pass {
    std::vector<CmdrRecord> records;
    std::vector<std::string> lines;
  };
  bool startOpen();
  void closeSocket();
  void setState(CmdrState s);
  void endLink(int textId);
  // Closes the connection without acknowledging, to be reconnected later.
  void dropUnacknowledged(const std::string& message);
  FrameResult handleCmdrFrame(const CmdrFrame& frame, Pass& pass);
  // Stores the pass; false when the link was closed because part of it is
  // kept nowhere (it is then not acknowledged).
  bool storePass(const Pass& pass);

  StreamTransportFactory makeSocket_;
  CmdrRecordSink& sink_;
  std::unique_ptr<StreamTransport> socket_;
  bool socketOpen_ = false;
  CmdrState state_ = CmdrState::Connecting;
  unsigned ticks_ = 0;
  int keepAlive_ = 0;
  bool ipv6_ = false;
  uint8_t address_[16] = {};
  std::string buffer_;
  std::string lastRefusal_;  // the store's reason for the last pass's refused records
};

// A factory for LinkList that makes CMDR links with the given sockets and store.
LinkFactory cmdrLinkFactory(StreamTransportFactory makeSocket, CmdrRecordSink& sink);

}  // namespace lumarc
