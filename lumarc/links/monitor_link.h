// The monitor link: a UDP conversation with the exchange that logs in with
// the link password, selects what is monitored with the access code, then
// receives one monitor record per signalling event, decodes it into lines of
// the tab and the log file, keeps its raw frame in the link's frame file and
// acknowledges it with the next poll. A state machine fed datagrams and
// 100 ms ticks; it acts through its DatagramTransport.
#pragma once

#include "common/files.h"
#include "common/tick_timer.h"
#include "lumarc/decoder/context.h"
#include "lumarc/links/datagram.h"
#include "lumarc/links/link.h"
#include "lumarc/links/mail_file.h"
#include "lumarc/links/monitor_protocol.h"

#include <cstdio>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

namespace lumarc {

enum class MonitorState : int { LoggingIn = 1, SendingAccessCode = 2, Monitoring = 3, Failed = 5 };
// Its name as written here ("LoggingIn"), for logs and test messages.
const char* monitorStateName(MonitorState s);
std::ostream& operator<<(std::ostream& os, MonitorState s);

// Bytes of one received datagram the link looks at.
constexpr size_t kMonitorReceiveBuffer = 4096;

class MonitorLink;

// What became of a record a front end keeps in a file of its own.
struct MonitorRecordKept {
  std::string file;  // the file's name as the messages show it
  bool written = true;
  std::string cause;  // why not, when not written
};

// Told of every new record (not of a repeat) as it arrives, with its link
// and raw frame: a front end that keeps the session in a capture file. The
// link tells the pane when that file stops (and starts again) taking them.
using MonitorRecordObserver =
    std::function<MonitorRecordKept(const MonitorLink& link, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame)>;

// What a monitor link needs besides its pane.
struct MonitorLinkSetup {
  DatagramTransportFactory makeSocket;
  // The decoder options of the moment (the layer 2 setting); read per record.
  std::function<DecodeOptions()> decodeOptions = [] { return DecodeOptions{}; };
  // May be empty.
  MonitorRecordObserver recordArrived;
};

// The frame file's name beside a slot's log, e.g. "logM00.frm".
std::string monitorFrameFileName(int slot);

// One frame-file line (no line end): hpidx as 4 hex digits, ptyp as 2, the
// 120-byte frame as 240, separated by single blanks; the decode input form.
std::string monitorFrameLine(uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame);

// Cuts decode text into the link's lines: every 0xFF ends a line (an empty
// one too); the text after the last 0xFF is a line only when not empty.
std::vector<std::string> monitorLines(const std::string& decodeText);

class MonitorLink : public Link, public DatagramEvents {
 public:
  MonitorLink(LinkList& owner, const ConnectionTarget& target, int slot, MonitorLinkSetup setup);
  ~MonitorLink() override;

  // Opening steps: resolve, create and connect the UDP socket, log and frame
  // files; false (message shown) when the socket could not be set up.
  bool open() override;
  // The 100 ms tick: login, access code and poll repeats, time-outs.
  void tick() override;
  int icon() const override;
  // Sends the logout while monitoring, then closes files and socket.
  void shutdown() override;
  // Host, "-" and the access code without its leading blanks.
  std::string tabLabel() const override;

  void onDatagram(const uint8_t* data, size_t size) override;

  MonitorState state() const { return state_; }
  // Ticks counted in the current state since its timers were last
  // restarted (an answer while monitoring counts as tick 1).
  unsigned ticks() const;
  uint16_t hpidx() const { return hpidx_; }
  bool hasLastSequence() const { return hasLastSequence_; }
  uint16_t lastSequence() const { return lastSequence_; }
  // Lines written to the log file so far ("Mail" needs at least one).
  unsigned long loggedLines() const { return loggedLines_; }
  std::string framePath() const;
  bool usesIpv6() const { return ipv6_; }

 private:
  // A log file that may stop taking frames: shown once when it does, and
  // once, with the count of frames it missed, when it takes them again.
  struct LogFileHealth {
    bool failing = false;
    unsigned long lost = 0;
  };

  void setState(MonitorState s);
  void fail(LinkMessage message);
  // Writes the frame file's line; the cause when it could not.
  std::optional<std::string> writeFrameLine(const std::string& line);
  void noteLogWrite(LogFileHealth& health, const std::string& file, const std::optional<std::string>& failure);
  void sendPayload(const std::string& payload);
  void handlePayload(const std::string& payload);
  void handleRecord(const MonitorMessage& m);
  void openFrameFile();
  void closeFrameFile();
  void closeSocket();

  MonitorLinkSetup setup_;
  std::unique_ptr<DatagramTransport> socket_;
  bool socketOpen_ = false;
  MonitorState state_ = MonitorState::LoggingIn;
  // Logging in: requests 0.1 s, 1.1 s and 4.1 s into every 32 s round.
  corvane::TickTimer loginRetry_ = corvane::TickTimer::seconds(32);
  // Sending the access code: repeated every 4 s, 0.1 s into each round...
  corvane::TickTimer accessRepeat_ = corvane::TickTimer::seconds(4);
  // ... until, 20 s without an answer exceeded, the login starts again.
  corvane::TickTimer accessTimeout_ = corvane::TickTimer::seconds(20);
  // Monitoring: a poll every 4 s, 0.1 s into each round...
  corvane::TickTimer pollRepeat_ = corvane::TickTimer::seconds(4);
  // ... until, 200 s without an answer exceeded, the login starts again.
  corvane::TickTimer silenceTimeout_ = corvane::TickTimer::seconds(200);
  uint16_t hpidx_ = 0;
  bool hasLastSequence_ = false;
  uint16_t lastSequence_ = 0;
  unsigned long loggedLines_ = 0;
  bool ipv6_ = false;
  uint8_t address_[16] = {};
  corvane::FilePtr frames_;
  LogFileHealth frameHealth_, observerHealth_;
};

// True when "Mail" applies to the link of slot: a monitor link that has
// written at least one line to its log file.
bool canMailMonitorLog(const LinkList& links, int slot);

// The pane's "Mail": closes the monitor link of slot (logout first, tab
// removed), then mails its log file as "Monitor.txt"; a failure text goes to
// the message bar. Nothing happens (Sent) when slot holds no monitor link.
MailOutcome mailMonitorLog(LinkList& links, int slot, ProcessRunner& runner);

// A factory for LinkList that makes monitor links.
LinkFactory monitorLinkFactory(MonitorLinkSetup setup);

}  // namespace lumarc
