// The CMDR download link: a TCP stream of 154-byte frames, each checked,
// decoded, shown, stored, and acknowledged per receive pass with one "X";
// keep-alive "X"s on a quiet link, a 10 s connect timeout and reconnection
// after 300 s. A state machine fed connect results, bytes, peer close and
// 100 ms ticks; it acts through its StreamTransport and CmdrRecordSink.
#pragma once

#include "common/tick_timer.h"
#include "lumarc/links/cmdr_frame.h"
#include "lumarc/links/link.h"
#include "lumarc/records/records.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace lumarc {

enum class CmdrState : int { Connecting = 0, Connected = 1, Closed = 2, Failed = 3 };
// Its name as written here ("Connecting"), for logs and test messages.
const char* cmdrStateName(CmdrState s);
std::ostream& operator<<(std::ostream& os, CmdrState s);

// The records the database refused go to kFailedRecordsFile ("fcmdr.txt")
// in the working directory.

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

  // Resolves, creates the socket, starts the connect and re-creates the log;
  // false when resolving, creating or connecting failed.
  bool open() override;
  // The 100 ms tick: connect timeout, keep-alive, reconnection.
  void tick() override;
  int icon() const override;
  // Closes socket and log file.
  void shutdown() override;

  // Connect completed: connected and in the history, or "Socket opening
  // fault!" and closed (reconnection after 300 s).
  void onConnectResult(bool ok) override;
  // One receive pass: whole frames decoded and shown, their records stored
  // together (refused ones in "fcmdr.txt"), then one "X" when any was
  // handled.
  void onBytes(const uint8_t* data, size_t size) override;
  // "Socket closed unexpectedly!", closed (reconnection after 300 s).
  void onPeerClosed() override;

  // The link's state.
  CmdrState state() const { return state_; }
  // Ticks counted by the timer of the current state (connect timeout,
  // keep-alive, reconnection wait) since it was last restarted.
  unsigned ticks() const;
  // The keep-alive step k (0-6).
  int keepAliveStep() const { return keepAliveStep_; }
  // Whether the exchange was reached over IPv6.
  bool usesIpv6() const { return ipv6_; }
  // Host-order IPv4 of the exchange; 0 for IPv6.
  uint32_t exchangeIpv4() const;
  // Bytes received but not yet a whole frame.
  size_t pendingBytes() const { return buffer_.size(); }
  // Whole frames received since the link was made (the collector's health).
  uint64_t framesReceived() const { return framesReceived_; }

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
  void endLink(LinkMessage message);
  // The keep-alive schedule starts again at step 0.
  void restartKeepAlive();
  // Waits for the reconnection in the closed state.
  void closeForReconnection();
  // Closes the connection without acknowledging, to be reconnected later;
  // "fcmdr.txt" could not take the pass for the given cause.
  void dropUnacknowledged(const std::string& cause);
  FrameResult handleCmdrFrame(const CmdrFrame& frame, Pass& pass);
  // Stores the pass; false when the link was closed because part of it is
  // kept nowhere (it is then not acknowledged).
  bool storePass(const Pass& pass);

  StreamTransportFactory makeSocket_;
  CmdrRecordSink& sink_;
  std::unique_ptr<StreamTransport> socket_;
  bool socketOpen_ = false;
  CmdrState state_ = CmdrState::Connecting;
  // Connecting: the link gives up when the connect has not completed after 10 s.
  corvane::TickTimer connectTimeout_ = corvane::TickTimer::seconds(10);
  // Connected: an "X" when the link has been quiet for the step's time.
  corvane::TickTimer keepAlive_ = corvane::TickTimer::ticks(unsigned(cmdrKeepAliveTicks(0)));
  int keepAliveStep_ = 0;
  // Closed: a new connection after 300 s.
  corvane::TickTimer reconnectWait_ = corvane::TickTimer::seconds(300);
  bool ipv6_ = false;
  uint8_t address_[16] = {};
  std::string buffer_;
  std::string lastRefusal_;  // the store's reason for the last pass's refused records
  uint64_t framesReceived_ = 0;
};

// A factory for LinkList that makes CMDR links with the given sockets and store.
LinkFactory cmdrLinkFactory(StreamTransportFactory makeSocket, CmdrRecordSink& sink);

}  // namespace lumarc
