// corvane-sim monitor: the exchange's side of the monitor link. Checks the
// login digest against its password, answers access codes (known ones with
// an hpidx, others as unknown), then sends monitor records one at a time,
// each resent until the link acknowledges it, and answers polls. Records come
// from a file in the decode input form or are generated. Faults: refusal,
// lost and corrupted records, repeated records, records of another hpidx,
// silence.
#include "tools/sim/role.h"
#include "tools/sim/sockets.h"

#include "common/byte_io.h"
#include "common/crypto.h"
#include "lumarc/links/bracket_frame.h"
#include "lumarc/links/monitor_protocol.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace corvane::sim {
namespace {

using lumarc::MonitorFrame;
using Clock = std::chrono::steady_clock;

struct Config {
  std::string password;                   // blank-padded to 32 for the digest
  std::map<std::string, uint16_t> codes;  // access code (no blanks) -> hpidx
  int count = 10;
  std::string file;
  int intervalMs = 100;                          // between records
  int resendMs = 1000;                           // an unacknowledged record goes again
  bool refuse = false;                           // answer every login with the refusal datagram
  std::set<int> lose, corrupt, repeat, foreign;  // 1-based record numbers, first sending only
  bool silence = false;                          // after the access code: nothing at all
  bool exitOnLogout = false;
  bool anyPort = false;
};

void say(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

std::string trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(' ');
  return s.substr(a, b - a + 1);
}

// Record i (0-based) of the generated series: call-control messages of a
// LAPD I frame (SETUP, CONNECT, RELEASE in turn), one second apart.
lumarc::MonitorFrame generatedFrame(int i) {
  using namespace lumarc::monframe;
  MonitorFrame f{};
  corvane::ByteWriter w(f);
  w.putLe32(kCallingPort, 0xFFFF1000u | uint32_t(0x100 + i % 10));
  w.putLe32(kPartnerPort, 0xFFFF2000u);
  w.put8(kYear, 24);
  w.put8(kMonth, 5);
  w.put8(kDay, 6);
  w.put8(kHour, 7);
  w.put8(kMinute, uint8_t((i / 60) % 60));
  w.put8(kSecond, uint8_t(i % 60));
  w.putLe16(kDirection, uint16_t(i & 1));
  w.putLe16(kType, 0xFD00);
  static const uint8_t types[3] = {0x05, 0x07, 0x4D};
  std::vector<uint8_t> msg = {0x00, 0x01, uint8_t((i * 2) & 0xFE),    0x00,
                              0x08, 0x01, uint8_t(0x80 | (i & 0x7F)), types[i % 3]};
  if (i % 3 == 0) msg.insert(msg.end(), {0x04, 0x03, 0x80, 0x90, 0xA3});
  if (i % 3 == 2) msg.insert(msg.end(), {0x08, 0x02, 0x80, 0x90});
  w.put8(kLength, uint8_t(msg.size()));
  w.putBytes(kMessage, msg);
  return f;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parseHex(const std::string& text, std::vector<uint8_t>& out) {
  if (text.size() % 2) return false;
  out.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int h = hexValue(text[i]), l = hexValue(text[i + 1]);
    if (h < 0 || l < 0) return false;
    out.push_back(uint8_t(h << 4 | l));
  }
  return true;
}

struct Record {
  uint8_t ptyp = 0;
  MonitorFrame frame{};
};

// Reads "HPIDX PTYP FRAME" lines (the hpidx of the file is replaced by the
// one the access code gets).
bool loadFrames(const std::string& path, std::vector<Record>& out) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (trimmed(line).empty() || line[0] == '#') continue;
    char a[16], b[16], c[512];
    if (std::sscanf(line.c_str(), "%15s %15s %511s", a, b, c) != 3) return false;
    std::vector<uint8_t> ptyp, frame;
    if (!parseHex(b, ptyp) || ptyp.size() != 1 || !parseHex(c, frame) || frame.size() != lumarc::kMonitorFrameSize)
      return false;
    Record r;
    r.ptyp = ptyp[0];
    std::memcpy(r.frame.data(), frame.data(), frame.size());
    out.push_back(r);
  }
  return true;
}

class Exchange {
 public:
  Exchange(const Config& c, std::vector<Record> records, int fd) : c_(c), records_(std::move(records)), fd_(fd) {}

  // Runs until a logout ends it (with --exit-on-logout) or forever.
  int run() {
    uint8_t buffer[65536];
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      ::poll(&p, 1, 20);
      if (p.revents & POLLIN) {
        peerLength_ = sizeof peer_;
        ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer_), &peerLength_);
        if (n > 0) {
          hasPeer_ = true;
          for (const std::string& payload : lumarc::parseBracketDatagram(buffer, size_t(n)))
            if (handle(payload)) return 0;
        }
      }
      if (monitoring_ && !c_.silence) sendDue();
    }
  }

 private:
  void sendRaw(const std::string& bytes) {
    if (hasPeer_) ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&peer_), peerLength_);
  }
  void sendFrame(const std::string& payload) { sendRaw(lumarc::encodeBracketFrame(payload)); }

  // True when the run should end.
  bool handle(const std::string& p) {
    if (p.size() == 30 && p[0] == '\x00' && p[1] == '\x07') {
      login(p);
    } else if (p.size() == 10 && p[0] == '\x14' && p[1] == '\x00') {
      if (c_.silence && monitoring_) return false;
      access(trimmed(p.substr(2)));
    } else if (p.size() == 10 && p[0] == '\x0B' && p[1] == '\x02') {
      if (c_.silence) return false;
      const corvane::ByteReader r(p);
      poll(r.le16(lumarc::monitormsg::kPollHpidx), r.le16(lumarc::monitormsg::kPollSequence));
    } else if (p == lumarc::monitorLogoutPayload()) {
      say("logout");
      monitoring_ = false;
      loggedIn_ = false;
      return c_.exitOnLogout;
    }
    return false;
  }

  void login(const std::string& p) {
    const uint32_t stamp = corvane::ByteReader(p).be32(lumarc::monitormsg::kLoginStamp);
    std::string expected = lumarc::monitorLoginPayload(stamp, c_.password);
    if (c_.refuse || expected != p) {
      say(c_.refuse ? "login refused" : "login refused: wrong digest");
      sendRaw(lumarc::monitorRefusalDatagram());
      return;
    }
    say("login ok");
    loggedIn_ = true;
    sendFrame(lumarc::monitorLoginAcceptedPayload());
  }

  void access(const std::string& code) {
    if (!loggedIn_) return;
    auto it = c_.codes.find(code);
    if (it == c_.codes.end() && !c_.codes.empty()) {
      say("access unknown " + code);
      sendFrame(lumarc::monitorAccessUnknownPayload());
      return;
    }
    hpidx_ = it == c_.codes.end() ? 1 : it->second;
    say("access " + code + " hpidx " + std::to_string(hpidx_));
    sendFrame(lumarc::monitorAccessAcceptedPayload(hpidx_));
    monitoring_ = true;
    nextAt_ = Clock::now() + std::chrono::milliseconds(c_.intervalMs);
  }

  void poll(uint16_t hpidx, uint16_t sequence) {
    if (!monitoring_) return;
    if (outstanding_ && hpidx == hpidx_ && sequence == sequenceOf(next_)) {
      std::printf("ack %d\n", int(next_) + 1);
      std::fflush(stdout);
      outstanding_ = false;
      ++next_;
      nextAt_ = Clock::now() + std::chrono::milliseconds(c_.intervalMs);
      if (next_ == records_.size()) say("done");
      return;
    }
    sendFrame("");  // poll answer
  }

  static uint16_t sequenceOf(size_t i) { return uint16_t(i + 1); }

  void sendDue() {
    if (next_ >= records_.size() || Clock::now() < nextAt_) return;
    int n = int(next_) + 1;
    const Record& r = records_[next_];
    std::string payload = lumarc::monitorRecordPayload(sequenceOf(next_), hpidx_, r.ptyp, r.frame);
    bool first = !outstanding_ && !sent_.count(n);
    sent_.insert(n);
    outstanding_ = true;
    nextAt_ = Clock::now() + std::chrono::milliseconds(c_.resendMs);
    if (first && c_.foreign.count(n)) {
      sendFrame(
          lumarc::monitorRecordPayload(uint16_t(sequenceOf(next_) + 1000), uint16_t(hpidx_ + 1), r.ptyp, r.frame));
      say("foreign before " + std::to_string(n));
    }
    if (first && c_.lose.count(n)) {
      say("lost " + std::to_string(n));
      return;
    }
    std::string datagram = lumarc::encodeBracketFrame(payload);
    if (first && c_.corrupt.count(n)) {
      datagram[3] = char(uint8_t(datagram[3]) ^ 0x01);
      say("corrupted " + std::to_string(n));
    }
    sendRaw(datagram);
    if (first && c_.repeat.count(n)) {
      sendRaw(datagram);
      say("repeated " + std::to_string(n));
    }
    std::printf("%s %d\n", first ? "record" : "resent", n);
    std::fflush(stdout);
  }

  const Config& c_;
  std::vector<Record> records_;
  int fd_;
  sockaddr_storage peer_{};
  socklen_t peerLength_ = 0;
  bool hasPeer_ = false;
  bool loggedIn_ = false;
  bool monitoring_ = false;
  uint16_t hpidx_ = 1;
  size_t next_ = 0;
  bool outstanding_ = false;
  std::set<int> sent_;
  Clock::time_point nextAt_{};
};

int run(const RoleOptions& opt, Config c) {
  c.password.resize(32, ' ');
  std::vector<Record> records;
  if (!c.file.empty()) {
    if (!loadFrames(c.file, records)) {
      std::fprintf(stderr, "corvane-sim monitor: cannot read frames from %s\n", c.file.c_str());
      return 2;
    }
  } else {
    for (int i = 0; i < c.count; ++i) records.push_back({0x10, generatedFrame(i)});
  }
  int port = c.anyPort ? 0 : (opt.port ? opt.port : 9876);
  int fd = bindSocket(opt.listen, port, SOCK_DGRAM);
  if (fd < 0) {
    std::fprintf(stderr, "corvane-sim monitor: cannot bind %s:%d\n", opt.listen.c_str(), port);
    return 1;
  }
  std::printf("listening %s:%d\n", opt.listen.c_str(), boundPort(fd));
  std::fflush(stdout);
  Exchange exchange(c, std::move(records), fd);
  int rc = exchange.run();
  ::close(fd);
  return rc;
}

int number(const std::string& v) { return std::atoi(v.c_str()); }

Runner define(CLI::App& parser) {
  auto c = std::make_shared<Config>();
  parser.add_option("--password", c->password, "the password a login's digest must be made with")->type_name("P");
  tools::repeatable(valueOption(parser, "--access", "CODE[=HPIDX]",
                                "an access code the exchange knows (hpidx 1 unless given)", [c](const std::string& v) {
                                  const size_t eq = v.find('=');
                                  c->codes[v.substr(0, eq)] =
                                      eq == std::string::npos ? 1
                                                              : uint16_t(std::strtoul(v.c_str() + eq + 1, nullptr, 0));
                                }));
  valueOption(parser, "--count", "N", "generated records (default 10)",
              [c](const std::string& v) { c->count = std::max(0, number(v)); });
  parser.add_option("--file", c->file, "records from a file in the decode input form")->type_name("FRAMES");
  valueOption(parser, "--interval", "MS", "milliseconds between records (default 100)",
              [c](const std::string& v) { c->intervalMs = std::max(0, number(v)); });
  valueOption(parser, "--resend", "MS", "an unacknowledged record goes again after MS milliseconds (default 1000)",
              [c](const std::string& v) { c->resendMs = std::max(10, number(v)); });
  parser.add_flag("--refuse", c->refuse, "answer every login with the refusal");
  numbersOption(parser, "--lose", "records K (from 1) are not sent the first time", c->lose);
  numbersOption(parser, "--corrupt", "records K are sent corrupted the first time", c->corrupt);
  numbersOption(parser, "--repeat", "records K are sent twice", c->repeat);
  numbersOption(parser, "--foreign", "a record of another hpidx goes before record K", c->foreign);
  parser.add_flag("--silence", c->silence, "after the access code, send nothing at all");
  parser.add_flag("--exit-on-logout", c->exitOnLogout, "end when the link logs out");
  parser.add_flag("--any-port", c->anyPort, "listen on a free port (printed as \"listening ADDRESS:PORT\")");
  return [c](const RoleOptions& opt) { return run(opt, *c); };
}

Register reg({"monitor", "monitor link: login check, access codes, records resent until acknowledged, polls", define});

}  // namespace
}  // namespace corvane::sim
