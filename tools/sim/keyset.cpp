// corvane-sim keyset: the exchange's side of the keyset signalling protocol
// on UDP port 9877. Registration requests are checked (layout, a counter
// that keeps increasing, the digest of the configured account) and accepted
// or refused; link setup is answered with link ready; then a script of
// timed steps sends display lines, lamps, tones and every other element
// kind and waits for keys and other elements from the keyset, through a
// send window of its own with acknowledgements and go-back-N. Every
// datagram is logged. Faults: silence, refusal, unanswered link setup,
// withheld acknowledgements, out-of-sequence and repeated frames, an old
// N(R), truncated and overlong elements, wrong frame lengths, lost frames
// and a closed port. With --speech-key the exchange answers a keyset's
// offered speech key with X; with --rtp a speech peer (echo or a played
// WAV file) runs in the same process, keyed with the derived speech key.
#include "tools/sim/role.h"
#include "tools/sim/rtp_socket.h"
#include "tools/sim/sockets.h"
#include "tools/sim/speech.h"

#include "halvern/account.h"
#include "halvern/tarnet_frame.h"

#include "common/files.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <optional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::sim {
namespace {

using halvern::Bytes;
using halvern::KeysetElementKind;
namespace tarnet = halvern::tarnet;

constexpr const char* kHelpNotes =
    "Data frames to the keyset are counted by transmission, retransmissions\n"
    "included; link ready and acknowledgements are counted together.\n"
    "\n"
    "Script: one step per line, '#' starts a comment. A step runs right after\n"
    "the one before it, or with \"at SECONDS\" in front not before that many\n"
    "seconds after the first link ready. Numbers may be written in hex (0x..).\n"
    "  display LINE \"TEXT\"     display line 0-7, up to 25 characters\n"
    "  lamp N S [N S ...]       lamp N to state S (0 off, 1 fast, 2 slow, 3 on)\n"
    "  counter V | echo V       counter or echo element\n"
    "  opaque                   the 72-byte element 0x30\n"
    "  tone PARAM [HEX]         ring melody (32 bytes in hex, default zeros)\n"
    "  level L                  tone level\n"
    "  speech start|stop|mute|unmute|V   speech control\n"
    "  address PORT [IP]        speech address: none, IPv4 or IPv6\n"
    "  skip N                   element 0xF0 with N bytes after its length\n"
    "  raw HEX                  element bytes as written\n"
    "  expect key CODE | expect status MODE | expect counter V |\n"
    "  expect echo V | expect terminal\n"
    "                           waits until the keyset sends that element\n"
    "Example:\n"
    "  at 1 display 0 \"HELLO\"\n"
    "  at 1 lamp 7 3 26 0\n"
    "  expect key 0xFBF7\n"
    "  display 1 \"GOT 1\"";

struct Config {
  std::string account = "100", auth = "100", password = "123456789012";
  std::uint16_t terminal = 1;
  std::string extension = "200";
  std::uint16_t recordingPort = 9874;
  std::string name = "CORVANE";
  std::string script;
  std::string log;
  double expectTimeout = 30;
  bool exitOnUnregister = false;
  bool anyPort = false;
  bool speechKey = false;
  std::optional<RtpMode> rtp;
  std::string rtpPlay;
  int rtpPort = 0;
  RtpFaults rtpFaults;
  bool silence = false;
  std::optional<std::string> refuse;
  int unansweredSetup = 0;
  bool withholdAcks = false;
  std::set<int> outOfSequence, repeat, oldNr, truncate, overlong, badLength, loseIn, loseOut;
  double closedFor = 0;
};

// ---- the script ----

struct Step {
  int line = 0;
  std::string text;  // as written, for the log
  double at = -1;    // seconds after the first link ready; -1: at once
  // A step either sends an element, writes a display line or expects one.
  std::string element;
  int displayLine = -1;
  std::string displayText;
  bool expect = false;
  KeysetElementKind expectKind = KeysetElementKind::Key;
  std::optional<std::uint16_t> expectValue;
};

bool parseHex(const std::string& text, std::string& out) {
  std::string hex;
  for (char c : text)
    if (std::isxdigit(std::uint8_t(c)))
      hex += c;
    else if (c != ' ' && c != ':')
      return false;
  if (hex.size() % 2) return false;
  for (size_t i = 0; i < hex.size(); i += 2) out += char(std::stoul(hex.substr(i, 2), nullptr, 16));
  return true;
}

bool parseNumber(const std::string& word, long& out) {
  if (word.empty()) return false;
  char* end = nullptr;
  out = std::strtol(word.c_str(), &end, 0);
  return *end == '\0';
}

std::optional<halvern::PeerAddress> parseAddress(const std::string& text) {
  in_addr a4{};
  in6_addr a6{};
  if (::inet_pton(AF_INET, text.c_str(), &a4) == 1) return halvern::PeerAddress::v4(ntohl(a4.s_addr));
  if (::inet_pton(AF_INET6, text.c_str(), &a6) == 1) {
    std::array<std::uint8_t, 16> b{};
    std::memcpy(b.data(), a6.s6_addr, 16);
    return halvern::PeerAddress::v6(b);
  }
  return std::nullopt;
}

// "expect KIND [VALUE]": the step waits for the keyset's element.
bool parseExpect(const std::vector<std::string>& words, Step& s, std::string& why) {
  static const std::pair<const char*, KeysetElementKind> kinds[] = {{"key", KeysetElementKind::Key},
                                                                    {"status", KeysetElementKind::Status},
                                                                    {"counter", KeysetElementKind::Counter},
                                                                    {"echo", KeysetElementKind::Echo},
                                                                    {"terminal", KeysetElementKind::Terminal}};
  s.expect = true;
  bool known = false;
  for (auto& [k, kind] : kinds)
    if (!words.empty() && words[0] == k) {
      known = true;
      s.expectKind = kind;
    }
  long v;
  if (!known || words.size() > 2 || (words.size() == 2 && !parseNumber(words[1], v)))
    return why = "expect key|status|counter|echo|terminal [VALUE]", false;
  if (words.size() == 2) s.expectValue = std::uint16_t(v);
  return true;
}

// The words after a step's verb into the step's element; false with a
// reason on a fault.
bool parseStepVerb(const std::string& word, const std::string& rest, const std::vector<std::string>& words, Step& s,
                   std::string& why) {
  std::vector<long> n;
  for (const std::string& w : words) {
    long v;
    if (parseNumber(w, v)) n.push_back(v);
  }
  auto numbers = [&](size_t count) { return n.size() == words.size() && n.size() >= count; };
  if (word == "display") {
    size_t open = rest.find('"'), close = rest.rfind('"');
    long l;
    if (words.empty() || !parseNumber(words[0], l) || l < 0 || l > 7 || open == std::string::npos || close == open)
      return why = "display LINE \"TEXT\"", false;
    s.displayLine = int(l);
    s.displayText = rest.substr(open + 1, close - open - 1);
    s.displayText.resize(halvern::kDisplayColumns, ' ');
    return true;
  }
  if (word == "lamp") {
    if (!numbers(2) || n.size() % 2) return why = "lamp N S [N S ...]", false;
    std::vector<std::pair<std::uint8_t, std::uint8_t>> pairs;
    for (size_t i = 0; i < n.size(); i += 2) pairs.emplace_back(std::uint8_t(n[i]), std::uint8_t(n[i + 1]));
    s.element = halvern::lampsElement(pairs);
    return true;
  }
  if (word == "counter" || word == "echo" || word == "level") {
    if (!numbers(1) || n.size() != 1) return why = word + " VALUE", false;
    const auto v = std::uint16_t(n[0]);
    s.element = word == "counter" ? halvern::counterElement(v)
                : word == "echo"  ? halvern::echoElement(v)
                                  : halvern::toneLevelElement(v);
    return true;
  }
  if (word == "opaque") {
    s.element = halvern::opaqueElement();
    return true;
  }
  if (word == "tone") {
    std::string melody;
    long p;
    if (words.empty() || !parseNumber(words[0], p)) return why = "tone PARAM [HEX]", false;
    for (size_t i = 1; i < words.size(); ++i)
      if (!parseHex(words[i], melody)) return why = "tone PARAM [HEX]", false;
    melody.resize(tarnet::kMelodySize, '\0');
    std::array<std::uint8_t, tarnet::kMelodySize> m{};
    std::memcpy(m.data(), melody.data(), m.size());
    s.element = halvern::toneElement(std::uint8_t(p), m);
    return true;
  }
  if (word == "speech") {
    static const std::pair<const char*, int> named[] = {{"start", 0}, {"stop", 1}, {"mute", 2}, {"unmute", 3}};
    long v = -1;
    for (auto& [k, value] : named)
      if (words.size() == 1 && words[0] == k) v = value;
    if (v < 0 && !(numbers(1) && n.size() == 1 && (v = n[0]) >= 0))
      return why = "speech start|stop|mute|unmute|V", false;
    s.element = halvern::speechControlElement(std::uint8_t(v));
    return true;
  }
  if (word == "address") {
    long port;
    if (words.empty() || words.size() > 2 || !parseNumber(words[0], port)) return why = "address PORT [IP]", false;
    halvern::PeerAddress a;
    if (words.size() == 2) {
      auto parsed = parseAddress(words[1]);
      if (!parsed) return why = "address PORT [IP]", false;
      a = *parsed;
    }
    s.element = halvern::speechAddressElement(std::uint16_t(port), a);
    return true;
  }
  if (word == "skip") {
    if (!numbers(1) || n.size() != 1 || n[0] < 0 || n[0] > 250) return why = "skip N", false;
    s.element = halvern::rawElement(tarnet::kElSkip, std::uint8_t(n[0] + 1), std::string(size_t(n[0]), '\0'));
    return true;
  }
  if (word == "raw") {
    if (!parseHex(rest, s.element) || s.element.empty()) return why = "raw HEX", false;
    return true;
  }
  if (word == "expect") return parseExpect(words, s, why);
  return why = "unknown step " + word, false;
}

// One script line into a step; false with a reason on a fault.
bool parseStep(const std::string& raw, Step& s, std::string& why) {
  std::string line = raw.substr(0, raw.find('#'));
  std::istringstream in(line);
  std::string word;
  if (!(in >> word)) return true;  // blank
  s.text = line;
  while (!s.text.empty() && (s.text.back() == ' ' || s.text.back() == '\r')) s.text.pop_back();
  std::vector<std::string> words;
  if (word == "at") {
    std::string t;
    in >> t;
    char* end = nullptr;
    s.at = std::strtod(t.c_str(), &end);
    if (t.empty() || *end || s.at < 0) return why = "bad time", false;
    if (!(in >> word)) return why = "nothing to do", false;
  }
  std::string rest;
  std::getline(in, rest);
  std::istringstream args(rest);
  for (std::string a; args >> a;) words.push_back(a);
  return parseStepVerb(word, rest, words, s, why);
}

bool loadScript(const std::string& path, std::vector<Step>& steps) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "corvane-sim keyset: cannot read %s\n", path.c_str());
    return false;
  }
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    Step s;
    s.line = number;
    std::string why;
    if (!parseStep(raw, s, why)) {
      std::fprintf(stderr, "corvane-sim keyset: %s:%d: %s\n", path.c_str(), number, why.c_str());
      return false;
    }
    if (!s.text.empty()) steps.push_back(std::move(s));
  }
  return true;
}

// Packed BCD, most significant digit in the top nibble, filled with 0xF in
// front: "200" is 0xFFFFF200.
std::uint32_t packedExtension(const std::string& digits) {
  std::uint32_t v = 0xFFFFFFFFu;
  for (char c : digits)
    if (c >= '0' && c <= '9') v = v << 4 | std::uint32_t(c - '0');
  return v;
}

const char* kindName(KeysetElementKind k) {
  switch (k) {
    case KeysetElementKind::Counter: return "counter";
    case KeysetElementKind::Echo: return "echo";
    case KeysetElementKind::Status: return "status";
    case KeysetElementKind::Terminal: return "terminal";
    case KeysetElementKind::Key: return "key";
  }
  return "?";
}

std::string hex16(std::uint16_t v) {
  char b[8];
  std::snprintf(b, sizeof b, "0x%04X", v);
  return b;
}

// Words for the elements of an exchange data frame, as the keyset would read them.
std::string describeExchangeElements(Bytes area) {
  using K = halvern::ExchangeElementKind;
  std::string out;
  halvern::ExchangeElementReader r(area);
  while (auto e = r.next()) {
    out += out.empty() ? "" : ", ";
    switch (e->kind) {
      case K::Counter: out += "counter " + std::to_string(e->value); break;
      case K::Echo: out += "echo " + std::to_string(e->value); break;
      case K::Display:
        out += "display pair " + std::to_string(e->value) + " \"" +
               std::string(reinterpret_cast<const char*>(e->data.data()), e->data.size()) + "\"";
        break;
      case K::Tone: out += "tone " + std::to_string(e->value); break;
      case K::ToneLevel: out += "level " + std::to_string(e->value); break;
      case K::Lamps: {
        out += "lamps";
        for (size_t i = 0; i + 1 < e->data.size(); i += 2)
          out += " " + std::to_string(e->data[i] & 0x7F) + "=" + std::to_string(e->data[i + 1] & 3);
        break;
      }
      case K::SpeechControl: out += "speech " + std::to_string(e->value); break;
      case K::SpeechAddress: out += "address port " + std::to_string(e->port); break;
      case K::Skipped: out += "skipped " + hex16(e->type).substr(4); break;
    }
  }
  if (r.stopped()) out += (out.empty() ? "" : ", ") + std::string("(stops at ") + std::to_string(r.offset()) + ")";
  return out;
}

// ---- the exchange ----

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(100);
// Elements packed into one data frame to the keyset.
constexpr size_t kFrameElementsMax = 200;
// Ticks without progress before outstanding frames are sent again.
constexpr int kRetransmitTicks = 20;
// Ticks an explicit acknowledgement waits for a data frame to ride on.
constexpr int kAckDelayTicks = 2;
constexpr int kRejectTicks = 3;

class Exchange {
 public:
  Exchange(const Config& c, std::vector<Step> steps, int fd, std::FILE* log,
           std::optional<ExchangeSpeechKey> speechKey = std::nullopt)
      : c_(c), steps_(std::move(steps)), fd_(fd), log_(log), start_(Clock::now()), speechKey_(std::move(speechKey)) {
    account_.setAccountId(c.account);
    account_.setAuthId(c.auth);
    account_.setPassword(c.password);
    display_.assign(halvern::kDisplaySize, ' ');
  }

  // The speech end run beside the signalling; its packets are logged here.
  void setRtp(RtpSocketPeer* rtp) { rtp_ = rtp; }
  std::int64_t milliseconds() const {
    return std::int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count());
  }
  void note(const std::string& what) {
    std::fprintf(log_, "%9.3f %s\n", seconds(), what.c_str());
    std::fflush(log_);
  }

  int run() {
    auto nextTick = Clock::now() + kTick;
    std::uint8_t buffer[2048];
    for (;;) {
      const auto now = Clock::now();
      if (rtp_) rtp_->tick(milliseconds());
      if (now >= nextTick) {
        nextTick += kTick;
        tick();
        if (done_) return 0;
        continue;
      }
      pollfd p[2] = {{fd_, POLLIN, 0}, {rtp_ ? rtp_->fd() : -1, POLLIN, 0}};
      int wait = int(std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - now).count()) + 1;
      // Speech packets are paced in 10 ms frames.
      if (rtp_) wait = std::min(wait, 5);
      if (::poll(p, 2, wait) <= 0) continue;
      if (rtp_ && (p[1].revents & POLLIN)) rtp_->readable(milliseconds());
      if (!(p[0].revents & POLLIN)) continue;
      sockaddr_storage peer{};
      socklen_t len = sizeof peer;
      const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &len);
      if (n < 0) continue;
      peer_ = peer;
      peerLen_ = len;
      receive(Bytes(buffer, size_t(n)));
      if (done_) return 0;
    }
  }

 private:
  // ---- logging ----

  double seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
  void log(const char* dir, Bytes bytes, const std::string& what) {
    std::fprintf(log_, "%9.3f %s %4zu %s | %s\n", seconds(), dir, bytes.size(), what.c_str(), hexOf(bytes).c_str());
    std::fflush(log_);
  }
  static void say(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }

  void send(const std::string& datagram, const std::string& what) {
    log("send", halvern::asBytes(datagram), what);
    if (peerLen_ == 0) return;
    ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&peer_), peerLen_);
  }

  // ---- received datagrams ----

  void receive(Bytes d) {
    if (c_.silence) {
      log("recv", d, "ignored (silent)");
      return;
    }
    if (d.size() < 2) {
      log("recv", d, "too short, ignored");
      return;
    }
    switch (d[0]) {
      case tarnet::kRegistration: registration(d); return;
      case tarnet::kUnregister: unregister(d); return;
      case tarnet::kLink: linkFrame(d); return;
      default: log("recv", d, "unknown message class, ignored");
    }
  }

  void registration(Bytes d) {
    const auto req = halvern::decodeRegistrationRequest(d);
    if (!req) {
      log("recv", d, "registration request with a bad layout, ignored");
      return;
    }
    std::string what = "registration account \"" + req->accountId + "\" counter " + std::to_string(req->counter) +
                       (req->encryptedKey ? " with key" : "");
    if (registered_ && req->counter <= lastCounter_) {
      log("recv", d, what + ": counter not above " + std::to_string(lastCounter_) + ", ignored");
      return;
    }
    if (req->accountId != c_.account || !halvern::registrationDigestOk(*req, account_)) {
      log("recv", d, what + ": wrong account or digest");
      refuse("Access denied");
      return;
    }
    if (c_.refuse) {
      log("recv", d, what);
      refuse(*c_.refuse);
      return;
    }
    log("recv", d, what + ": accepted");
    lastCounter_ = req->counter;
    registered_ = true;
    dropLink();
    halvern::RegistrationAccept a;
    a.terminalId = c_.terminal;
    a.extension = packedExtension(c_.extension);
    a.recordingPort = c_.recordingPort;
    a.exchangeName = c_.name;
    a.exchangeName.resize(tarnet::kAccNameSize, ' ');
    std::string keyWords;
    std::optional<halvern::SpeechKey> speechKey;
    if (speechKey_ && req->encryptedKey) {
      const auto k = speechKey_->recoverKey(*req->encryptedKey);
      const auto answer = k ? speechKey_->answer(*k) : std::nullopt;
      if (answer) {
        a.keyValue = answer->x;
        speechKey = answer->key;
        keyWords = " with X";
      } else {
        keyWords = " without X (the offered key could not be read)";
      }
    }
    // Every accept starts the speech key afresh: clear unless X went out.
    if (rtp_ && !rtp_->peer().setKey(speechKey)) note("speech cipher failed: speech end in clear");
    send(halvern::buildRegistrationAccept(a), "accept terminal " + std::to_string(a.terminalId) + keyWords);
    say("registered " + std::to_string(a.terminalId) + " counter " + std::to_string(req->counter));
  }

  void refuse(const std::string& text) {
    send(halvern::buildRefusal(text), "refusal \"" + text + "\"");
    say("refused \"" + text + "\"");
  }

  void unregister(Bytes d) {
    const auto tid = halvern::decodeUnregister(d);
    if (!tid) {
      log("recv", d, "unregister with a bad length, ignored");
      return;
    }
    log("recv", d, "unregister terminal " + std::to_string(*tid));
    say("unregistered " + std::to_string(*tid));
    registered_ = linked_ = false;
    lastCounter_ = 0;
    if (c_.exitOnUnregister) done_ = true;
  }

  void linkFrame(Bytes d) {
    const auto f = halvern::decodeKeysetLinkFrame(d);
    if (!f) {
      log("recv", d, "not a link frame, ignored");
      return;
    }
    if (!registered_ || f->terminalId != c_.terminal) {
      log("recv", d, "link frame of unknown terminal " + std::to_string(f->terminalId) + ", ignored");
      return;
    }
    switch (f->type) {
      case tarnet::kLinkSetup: linkSetup(d); return;
      case tarnet::kAcknowledge: acknowledge(d, *f); return;
      case tarnet::kDataFrame: dataFrame(d, *f); return;
      default: log("recv", d, "unknown frame type, ignored");
    }
  }

  void linkSetup(Bytes d) {
    if (setupsIgnored_ < c_.unansweredSetup || c_.unansweredSetup < 0) {
      ++setupsIgnored_;
      log("recv", d, "link setup, left unanswered");
      return;
    }
    log("recv", d, "link setup");
    // A new link: both sides count from 0.
    dropLink();
    linked_ = true;
    va_ = vs_ = vr_ = lastAckedNr_ = 0;
    frozenNr_ = 0;
    held_.reset();
    rejectTicks_ = ackTicks_ = idleTicks_ = 0;
    display_.assign(halvern::kDisplaySize, ' ');
    sendLinkOnly(halvern::buildLinkReady(), "link ready");
    if (!scriptClock_) scriptClock_ = Clock::now();
    say("link ready");
  }

  // Ends the link; what was outstanding on it goes out first on the next.
  void dropLink() {
    if (!linked_) return;
    for (int n = (vs_ + 7) & 7; n != ((va_ + 7) & 7); n = (n + 7) & 7)
      pending_.insert(pending_.begin(), window_[size_t(n)].begin(), window_[size_t(n)].end());
    va_ = vs_;
    linked_ = false;
  }

  static bool inWindow(int nr, int va, int vs) { return vs >= va ? nr >= va && nr <= vs : nr >= va || nr <= vs; }

  // A received N(R): a valid one acknowledges our frames up to it.
  bool takeNr(int nr) {
    if (!inWindow(nr, va_, vs_)) return false;
    if (nr != va_) idleTicks_ = 0;
    va_ = nr;
    return true;
  }

  void acknowledge(Bytes d, const halvern::LinkFrame& f) {
    if (!linked_) {
      log("recv", d, "acknowledge before link ready, ignored");
      return;
    }
    const bool valid = takeNr(f.nr);
    log("recv", d,
        "acknowledge nr " + std::to_string(f.nr) + " va " + std::to_string(f.low) + (valid ? "" : " (invalid)"));
    if (valid && va_ != vs_) resendOutstanding("acknowledged up to " + std::to_string(f.nr));
  }

  void dataFrame(Bytes d, const halvern::LinkFrame& f) {
    if (!linked_) {
      log("recv", d, "data frame before link ready, ignored");
      return;
    }
    ++dataIn_;
    const std::string head = "data ns " + std::to_string(f.low) + " nr " + std::to_string(f.nr);
    if (c_.loseIn.count(dataIn_)) {
      log("recv", d, head + ": lost (fault " + std::to_string(dataIn_) + ")");
      return;
    }
    if (f.low != vr_) {
      if (rejectTicks_ > 0) {
        log("recv", d, head + ": out of sequence, ignored");
        return;
      }
      takeNr(f.nr);
      log("recv", d, head + ": out of sequence, expected " + std::to_string(vr_));
      sendAcknowledge();
      rejectTicks_ = kRejectTicks;
      return;
    }
    rejectTicks_ = 0;
    std::string what;
    halvern::KeysetElementReader r(f.elements);
    while (auto e = r.next()) {
      what += what.empty() ? ": " : ", ";
      what += kindName(e->kind);
      if (e->kind == KeysetElementKind::Key || e->kind == KeysetElementKind::Status)
        what += " " + (e->kind == KeysetElementKind::Key ? hex16(e->value) : std::to_string(e->value));
      else if (e->kind != KeysetElementKind::Terminal)
        what += " " + std::to_string(e->value);
      received_.push_back({e->kind, e->value});
    }
    if (r.stopped()) what += " (stops)";
    vr_ = (vr_ + 1) & 7;
    if (va_ != vs_) takeNr(f.nr);
    log("recv", d, head + what);
    if (ackTicks_ == 0) ackTicks_ = 1;
  }

  // ---- sending ----

  int nrToSend() const { return c_.withholdAcks ? frozenNr_ : vr_; }

  // Link ready and acknowledgements, with the wrong-length fault.
  void sendLinkOnly(std::string datagram, const std::string& what) {
    ++linkOnlyOut_;
    if (c_.badLength.count(linkOnlyOut_)) {
      datagram += '\0';
      send(datagram, what + " (a byte too many)");
      return;
    }
    send(datagram, what);
  }

  void sendAcknowledge() {
    if (c_.withholdAcks) return;
    sendLinkOnly(halvern::buildExchangeAcknowledge(std::uint8_t(vr_)), "acknowledge nr " + std::to_string(vr_));
    lastAckedNr_ = vr_;
    ackTicks_ = 0;
  }

  void sendDataFrame(int n) {
    ++dataOut_;
    const int k = dataOut_;
    std::vector<std::string> elements = window_[size_t(n)];
    std::string what = "data ns " + std::to_string(n);
    if (c_.overlong.count(k) && !elements.empty()) {
      std::string& first = elements.front();
      if (first.size() >= 2) {
        first[1] = char(std::uint8_t(first[1]) + 1);
        first += '\0';
        what += " (first element overlong)";
      }
    }
    std::string body;
    for (const std::string& e : elements) body += e;
    int nr = nrToSend();
    if (c_.oldNr.count(k)) {
      nr = (nr + 7) & 7;
      what += " (old nr)";
    }
    std::string datagram = halvern::buildExchangeDataFrame(std::uint8_t(nr), std::uint8_t(n), body);
    what += " nr " + std::to_string(nr);
    if (c_.truncate.count(k) && datagram.size() > tarnet::kExchangeElements) {
      datagram.pop_back();
      what += " (truncated)";
    }
    lastAckedNr_ = vr_;
    ackTicks_ = 0;
    const std::string described = what + ": " +
                                  describeExchangeElements(halvern::asBytes(datagram).subspan(
                                      std::min(datagram.size(), tarnet::kExchangeElements)));
    if (c_.loseOut.count(k)) {
      log("lost", halvern::asBytes(datagram), described);
      return;
    }
    if (c_.outOfSequence.count(k) && !held_) {
      held_ = Held{datagram, described, 0};
      note("holding back data ns " + std::to_string(n));
      return;
    }
    send(datagram, described);
    if (c_.repeat.count(k)) send(datagram, described + " (repeated)");
    if (held_) {
      send(held_->datagram, held_->what + " (late)");
      held_.reset();
    }
  }

  void resendOutstanding(const std::string& why) {
    note("go back to " + std::to_string(va_) + ": " + why);
    for (int n = va_; n != vs_; n = (n + 1) & 7) sendDataFrame(n);
    idleTicks_ = 0;
  }

  // Packs queued elements into new frames while the window has room.
  void sendPending() {
    while (!pending_.empty() && ((vs_ + 1) & 7) != va_) {
      std::vector<std::string> frame;
      size_t size = 0;
      while (!pending_.empty() && (frame.empty() || size + pending_.front().size() <= kFrameElementsMax)) {
        size += pending_.front().size();
        frame.push_back(std::move(pending_.front()));
        pending_.pop_front();
      }
      if (va_ == vs_) idleTicks_ = 0;
      window_[size_t(vs_)] = std::move(frame);
      const int n = vs_;
      vs_ = (vs_ + 1) & 7;
      sendDataFrame(n);
    }
  }

  // ---- the script ----

  double scriptSeconds() const {
    return scriptClock_ ? std::chrono::duration<double>(Clock::now() - *scriptClock_).count() : -1;
  }

  void runScript() {
    while (scriptClock_ && next_ < steps_.size()) {
      Step& s = steps_[next_];
      if (s.at >= 0 && scriptSeconds() < s.at) return;
      if (s.expect) {
        if (!expectStarted_) {
          expectStarted_ = Clock::now();
          note("waiting: " + s.text);
        }
        bool met = false;
        while (!met && cursor_ < received_.size()) {
          const auto& [kind, value] = received_[cursor_++];
          met = kind == s.expectKind && (!s.expectValue || *s.expectValue == value);
        }
        if (!met) {
          if (std::chrono::duration<double>(Clock::now() - *expectStarted_).count() < c_.expectTimeout) return;
          say("missed line " + std::to_string(s.line) + ": " + s.text);
          ++missed_;
        } else {
          say("met line " + std::to_string(s.line) + ": " + s.text);
        }
        expectStarted_.reset();
      } else if (s.displayLine >= 0) {
        display_.replace(size_t(s.displayLine) * halvern::kDisplayColumns, halvern::kDisplayColumns, s.displayText);
        const size_t pair = size_t(s.displayLine / 2);
        pending_.push_back(halvern::displayElement(std::uint8_t(pair), display_.substr(pair * 50, 50)));
        note("step line " + std::to_string(s.line) + ": " + s.text);
      } else {
        pending_.push_back(s.element);
        note("step line " + std::to_string(s.line) + ": " + s.text);
      }
      if (++next_ == steps_.size())
        say("script done" + (missed_ ? ", " + std::to_string(missed_) + " missed" : std::string()));
    }
  }

  void tick() {
    if (!linked_) return;
    runScript();
    sendPending();
    if (rejectTicks_ > 0) --rejectTicks_;
    if (held_ && ++held_->ticks > 10) {
      send(held_->datagram, held_->what + " (late)");
      held_.reset();
    }
    if (va_ != vs_ && ++idleTicks_ >= kRetransmitTicks) resendOutstanding("no acknowledgement");
    if (vr_ != lastAckedNr_ && ++ackTicks_ > kAckDelayTicks && rejectTicks_ == 0) sendAcknowledge();
  }

  struct Held {
    std::string datagram, what;
    int ticks = 0;
  };

  const Config& c_;
  std::vector<Step> steps_;
  int fd_;
  std::FILE* log_;
  Clock::time_point start_;
  std::optional<ExchangeSpeechKey> speechKey_;
  RtpSocketPeer* rtp_ = nullptr;
  halvern::AccountBlock account_;
  sockaddr_storage peer_{};
  socklen_t peerLen_ = 0;

  bool registered_ = false, linked_ = false, done_ = false;
  std::uint16_t lastCounter_ = 0;
  int setupsIgnored_ = 0;
  // Window variables: oldest unacknowledged, next to send, next expected.
  int va_ = 0, vs_ = 0, vr_ = 0, lastAckedNr_ = 0, frozenNr_ = 0;
  std::array<std::vector<std::string>, 8> window_;
  std::deque<std::string> pending_;
  std::optional<Held> held_;
  int rejectTicks_ = 0, ackTicks_ = 0, idleTicks_ = 0;
  int dataIn_ = 0, dataOut_ = 0, linkOnlyOut_ = 0;
  std::string display_;

  std::optional<Clock::time_point> scriptClock_, expectStarted_;
  size_t next_ = 0, cursor_ = 0;
  int missed_ = 0;
  std::vector<std::pair<KeysetElementKind, std::uint16_t>> received_;
};

int run(const RoleOptions& opt, const Config& c) {
  halvern::AccountBlock check;
  if (!check.setAccountId(c.account) || !check.setAuthId(c.auth) || !check.setPassword(c.password)) {
    std::fprintf(stderr, "corvane-sim keyset: account, authentication id or password too long\n");
    return 2;
  }
  std::vector<Step> steps;
  if (!c.script.empty() && !loadScript(c.script, steps)) return 2;
  std::FILE* log = stderr;
  if (!c.log.empty() && !(log = std::fopen(c.log.c_str(), "w"))) {
    std::fprintf(stderr, "corvane-sim keyset: cannot write %s\n", c.log.c_str());
    return 2;
  }
  const int port = c.anyPort ? 0 : (opt.port ? opt.port : halvern::kTarnetPort);
  if (c.closedFor > 0) {
    // Nothing listens: the keyset's datagrams meet a closed port.
    std::fprintf(log, "port %s:%d closed for %g s\n", opt.listen.c_str(), port, c.closedFor);
    std::fflush(log);
    ::usleep(useconds_t(c.closedFor * 1e6));
  }
  const int fd = bindSocket(opt.listen, port, SOCK_DGRAM);
  if (fd < 0) {
    std::fprintf(stderr, "corvane-sim keyset: cannot bind %s:%d\n", opt.listen.c_str(), port);
    return 1;
  }
  std::optional<ExchangeSpeechKey> speechKey;
  if (c.speechKey && !(speechKey = ExchangeSpeechKey::make())) {
    std::fprintf(stderr, "corvane-sim keyset: cannot make the speech key\n");
    return 1;
  }
  std::vector<std::int16_t> samples;
  if (c.rtp == RtpMode::Play) {
    const auto file = corvane::readFileBytes(c.rtpPlay);
    auto read = file ? wavSamples(*file) : std::nullopt;
    if (!read) {
      std::fprintf(stderr, "corvane-sim keyset: %s is not an 8 kHz mono 16-bit WAV file\n", c.rtpPlay.c_str());
      return 2;
    }
    samples = std::move(*read);
  }
  const int rtpFd = c.rtp ? bindSocket(opt.listen, c.rtpPort, SOCK_DGRAM) : -1;
  if (c.rtp && rtpFd < 0) {
    std::fprintf(stderr, "corvane-sim keyset: cannot bind %s:%d for speech\n", opt.listen.c_str(), c.rtpPort);
    return 1;
  }
  std::printf("listening %s:%d\n", opt.listen.c_str(), boundPort(fd));
  if (speechKey) std::printf("modulus %s\n", speechKey->modulusDecimal().c_str());
  if (c.rtp) std::printf("rtp %s:%d\n", opt.listen.c_str(), boundPort(rtpFd));
  std::fflush(stdout);
  Exchange exchange(c, std::move(steps), fd, log, std::move(speechKey));
  std::optional<RtpSocketPeer> rtp;
  if (c.rtp) {
    rtp.emplace(rtpFd, *c.rtp, c.rtpFaults, [&exchange](const std::string& line) { exchange.note(line); });
    rtp->peer().setPlaySamples(std::move(samples));
    exchange.setRtp(&*rtp);
  }
  const int rc = exchange.run();
  rtp.reset();
  if (rtpFd >= 0) ::close(rtpFd);
  ::close(fd);
  if (log != stderr) std::fclose(log);
  return rc;
}

int number(const std::string& v) { return std::atoi(v.c_str()); }

// The account, the exchange's answers and the speech end.
void exchangeOptions(CLI::App& parser, const std::shared_ptr<Config>& c) {
  parser.add_option("--account", c->account, "the account a registration must name (default 100)")->type_name("ID");
  parser.add_option("--auth", c->auth, "its authentication id (default 100)")->type_name("ID");
  parser.add_option("--password", c->password, "its password (default 123456789012)")->type_name("PW");
  valueOption(parser, "--terminal", "N", "terminal id given in the accept (default 1)",
              [c](const std::string& v) { c->terminal = std::uint16_t(std::strtoul(v.c_str(), nullptr, 0)); });
  parser.add_option("--extension", c->extension, "the keyset's extension (default 200)")->type_name("DIGITS");
  valueOption(parser, "--recording-port", "N", "voice recording port in the accept (default 9874)",
              [c](const std::string& v) { c->recordingPort = std::uint16_t(number(v)); });
  parser.add_option("--name", c->name, "exchange name, 8 characters (default CORVANE)")->type_name("TEXT");
  parser.add_option("--script", c->script, "steps run once the link is ready (below)")->type_name("FILE");
  parser.add_option("--log", c->log, "the datagram log (default: standard error)")->type_name("FILE");
  valueOption(parser, "--expect-timeout", "S", "an expect step gives up after S seconds (default 30)",
              [c](const std::string& v) { c->expectTimeout = std::atof(v.c_str()); });
  parser.add_flag("--exit-on-unregister", c->exitOnUnregister, "end when the keyset unregisters");
  parser.add_flag("--any-port", c->anyPort, "listen on a free port");
  parser.add_flag("--speech-key", c->speechKey,
                  "make an RSA key of exponent 3, print its modulus as \"modulus DECIMAL\" (for HALVERN_MODULUS) "
                  "and answer an offered speech key with X in the accept");
  const CLI::Validator rtpMode(
      [](std::string& v) { return v == "echo" || (v.rfind("play:", 0) == 0 && v.size() > 5) ? "" : "echo|play:FILE"; },
      "");
  valueOption(
      parser, "--rtp", "echo|play:FILE",
      "the speech end in this process: echo the keyset's speech, or play an 8 kHz mono 16-bit WAV file to "
      "it; enciphered once a speech key is agreed. Its port is printed as \"rtp ADDRESS:PORT\"",
      [c](const std::string& v) {
        c->rtp = v == "echo" ? RtpMode::Echo : RtpMode::Play;
        if (v != "echo") c->rtpPlay = v.substr(5);
      },
      &rtpMode);
  valueOption(parser, "--rtp-port", "N", "the speech end's UDP port (default: a free one)",
              [c](const std::string& v) { c->rtpPort = number(v); });
  addRtpFaultOptions(parser, "rtp-", c->rtpFaults);
}

// Faults (K: 1-based numbers, comma separated).
void faultOptions(CLI::App& parser, const std::shared_ptr<Config>& c) {
  parser.add_flag("--silence", c->silence, "log what arrives, answer nothing");
  valueOption(parser, "--refuse", "TEXT", "refuse every registration with TEXT",
              [c](const std::string& v) { c->refuse = v; });
  valueOption(parser, "--unanswered-setup", "N", "leave the first N link setups unanswered (-1: all)",
              [c](const std::string& v) { c->unansweredSetup = number(v); });
  parser.add_flag("--withhold-acks", c->withholdAcks, "never acknowledge the keyset's frames");
  numbersOption(parser, "--out-of-sequence", "data frame K goes out after the frame that follows it", c->outOfSequence);
  numbersOption(parser, "--repeat", "data frame K is sent twice", c->repeat);
  numbersOption(parser, "--old-nr", "data frame K carries an N(R) one below the right one", c->oldNr);
  numbersOption(parser, "--truncate", "data frame K loses its last byte (its last element runs past the end)",
                c->truncate);
  numbersOption(parser, "--overlong", "the first element of data frame K is one byte longer than its kind",
                c->overlong);
  numbersOption(parser, "--bad-length", "link ready or acknowledgement K carries a byte too many", c->badLength);
  numbersOption(parser, "--lose-in", "data frame K from the keyset is dropped unread", c->loseIn);
  numbersOption(parser, "--lose-out", "data frame K to the keyset is never sent", c->loseOut);
  valueOption(parser, "--closed-for", "S", "the port stays closed for the first S seconds",
              [c](const std::string& v) { c->closedFor = std::max(0.0, std::atof(v.c_str())); });
}

Runner define(CLI::App& parser) {
  auto c = std::make_shared<Config>();
  exchangeOptions(parser, c);
  faultOptions(parser, c);
  parser.footer(std::string("Plays the exchange for one KV430 keyset on UDP port 9877 (or PORT).\n"
                            "K: numbers counted from 1, comma separated; for the --rtp- faults also every:N.\n") +
                kHelpNotes);
  return [c](const RoleOptions& opt) { return run(opt, *c); };
}

Register reg({"keyset", "keyset signalling: registration, link, scripted display, lamps and tones, keys expected",
              define});

}  // namespace
}  // namespace corvane::sim
