// corvane-sim discovery: one or more exchanges answering the browser's
// `Discover` on 224.3.3.3:55555 and its wizard commands. The socket joins
// the group on the interface whose address --listen gives (so it belongs
// in a network namespace of its own, apart from the program). Every
// identity answers each request, to the group or by unicast to the
// requester, with a reply of its chosen length.
//
// Wizard commands are checked for identity (destination address and MAC),
// sequence (`WizardStart` opens a session; each later command carries the
// next number; a repeated number gets the stored reply and nothing is done
// again) and layout (length and fixed bytes of each command), then accepted
// (25 bytes) or refused with a text. An accepted `SaveIp` or `FactoryReset`,
// and an `UploadEnd` after a parameter file that passes its check, make the
// exchange "reboot": silent for --reboot seconds (or reboot=S), then back
// with the new settings. Upload blocks are put together and the whole file
// checked at `UploadEnd`.
//
// An HTTP server on each identity's web port (all addresses) serves the
// Expert page "/xp.asp" and the Easy page "/xp.asp?fn_65" as text/html.
// Every datagram, request and decision is logged on standard output.
//
// Identities file: one exchange a line, blank-separated key=value pairs:
//   mac=00:1A:2B:3C:4D:01 ip=10.9.0.10 mask=255.255.255.0 gw=10.9.0.1
//   web=80 flags=3 platform=CRV-PX48 version=V2.11 name=Office xid=1,2,3,4
//   dhcp=IP,MASK,GW,SERVER,DNS ipv6=fe80::1 length=129 reply=group|unicast
//   factory=IP,MASK,GW (the settings after `FactoryReset`; default: the
//   line's own) reboot=SECONDS refuse=CODE,CODE... refusal=TEXT
// Faults: drop=N (replies to the first N Discovers), dropcmd=N (replies to
// the first N wizard datagrams: the command is done, its reply lost),
// wrongdest, wrongcode, wrongseq, wrongid (wizard replies from another
// MAC), shortreply (wizard replies of 20 bytes), nodhcpgw (DHCP findings
// without a gateway), silent (no answer to wizard commands).
// Lines starting with "#" are skipped; "_" in texts stands for a blank.
#include "tools/sim/role.h"

#include "common/byte_io.h"
#include "lumarc/discovery/discovery.h"
#include "lumarc/discovery/wizard_commands.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::sim {
namespace {

using lumarc::ExchangeEntry;
using lumarc::parseDottedIp;
using Clock = std::chrono::steady_clock;

struct Identity {
  ExchangeEntry entry;
  uint32_t factoryIp = 0, factoryMask = 0, factoryGateway = 0;
  bool factorySet = false;
  size_t length = lumarc::dscv::kFullReply;
  bool unicast = false;
  int drop = 0;
  int dropCommands = 0;
  bool wrongDest = false, wrongCode = false, wrongSeq = false, wrongId = false, shortReply = false;
  bool silent = false;        // never answers wizard commands
  double rebootSeconds = -1;  // -1: the --reboot value
  std::set<int> refuse;
  std::string refusal = "Not allowed";
  // The session: the last command's code, sequence number and reply. A
  // repeat gets the same reply and is not acted on again.
  bool session = false;
  uint8_t lastCode = 0;
  uint32_t lastSequence = 0;
  std::string lastReply;
  int commands = 0;  // wizard datagrams received
  // Rebooting: silent until then, then back with the pending settings.
  bool rebooting = false;
  Clock::time_point backAt;
  uint32_t pendingIp = 0, pendingMask = 0, pendingGateway = 0;
  // The upload being put together.
  std::string upload;
  uint32_t uploadSize = 0;
  std::set<uint32_t> blocks;
};

void say(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

template <size_t N>
void setText(std::array<uint8_t, N>& field, std::string value) {
  for (char& c : value)
    if (c == '_') c = ' ';
  field.fill(0);
  for (size_t i = 0; i < N && i < value.size(); ++i) field[i] = uint8_t(value[i]);
}

bool parseMac(const std::string& s, std::array<uint8_t, 6>& mac) {
  unsigned v[6];
  if (std::sscanf(s.c_str(), "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6) return false;
  for (int i = 0; i < 6; ++i) mac[size_t(i)] = uint8_t(v[i]);
  return true;
}

bool parseIpList(const std::string& s, uint32_t* out, size_t n) {
  std::stringstream ss(s);
  std::string part;
  for (size_t i = 0; i < n; ++i) {
    if (!std::getline(ss, part, ',')) return false;
    auto v = parseDottedIp(part);
    if (!v) return false;
    out[i] = *v;
  }
  return true;
}

bool parseIdentity(const std::string& line, Identity& id, std::string& error) {
  ExchangeEntry& e = id.entry;
  setText(e.platform, "CRV-PX48");
  setText(e.version, "V2.11");
  setText(e.name, "Corvane");
  std::stringstream ss(line);
  std::string token;
  bool noDhcpGateway = false;
  while (ss >> token) {
    const size_t eq = token.find('=');
    const std::string key = token.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : token.substr(eq + 1);
    bool ok = true;
    if (key == "mac")
      ok = parseMac(value, e.id.mac);
    else if (key == "ip")
      ok = parseIpList(value, &e.id.ip, 1);
    else if (key == "mask")
      ok = parseIpList(value, &e.mask, 1);
    else if (key == "gw")
      ok = parseIpList(value, &e.gateway, 1);
    else if (key == "web")
      e.webPort = uint16_t(std::atoi(value.c_str()));
    else if (key == "flags")
      e.flags = uint8_t(std::atoi(value.c_str()));
    else if (key == "platform")
      setText(e.platform, value);
    else if (key == "version")
      setText(e.version, value);
    else if (key == "name")
      setText(e.name, value);
    else if (key == "xid")
      ok = std::sscanf(value.c_str(), "%x,%x,%x,%x", &e.xid[0], &e.xid[1], &e.xid[2], &e.xid[3]) == 4;
    else if (key == "dhcp") {
      uint32_t d[5];
      ok = parseIpList(value, d, 5);
      e.dhcpIp = d[0], e.dhcpMask = d[1], e.dhcpGateway = d[2], e.dhcpServer = d[3], e.dhcpDns = d[4];
    } else if (key == "ipv6") {
      ok = ::inet_pton(AF_INET6, value.c_str(), e.ipv6.data()) == 1;
    } else if (key == "length") {
      id.length = size_t(std::atoi(value.c_str()));
      ok = id.length >= lumarc::dscv::kHeaderSize && id.length <= lumarc::dscv::kMaxDatagram;
    } else if (key == "reply") {
      ok = value == "group" || value == "unicast";
      id.unicast = value == "unicast";
    } else if (key == "factory") {
      uint32_t f[3];
      ok = parseIpList(value, f, 3);
      id.factoryIp = f[0], id.factoryMask = f[1], id.factoryGateway = f[2];
      id.factorySet = true;
    } else if (key == "reboot") {
      id.rebootSeconds = std::atof(value.c_str());
      ok = id.rebootSeconds >= 0;
    } else if (key == "refuse") {
      std::stringstream codes(value);
      std::string code;
      while (std::getline(codes, code, ',')) id.refuse.insert(std::atoi(code.c_str()));
    } else if (key == "refusal") {
      id.refusal = value;
      for (char& c : id.refusal)
        if (c == '_') c = ' ';
    } else if (key == "drop")
      id.drop = std::atoi(value.c_str());
    else if (key == "dropcmd")
      id.dropCommands = std::atoi(value.c_str());
    else if (key == "wrongdest")
      id.wrongDest = true;
    else if (key == "wrongcode")
      id.wrongCode = true;
    else if (key == "wrongseq")
      id.wrongSeq = true;
    else if (key == "wrongid")
      id.wrongId = true;
    else if (key == "shortreply")
      id.shortReply = true;
    else if (key == "nodhcpgw")
      noDhcpGateway = true;
    else if (key == "silent")
      id.silent = true;
    else
      ok = false;
    if (!ok) {
      error = "bad " + token;
      return false;
    }
  }
  if (noDhcpGateway) e.dhcpGateway = 0;
  if (!id.factorySet) {
    id.factoryIp = e.id.ip;
    id.factoryMask = e.mask;
    id.factoryGateway = e.gateway;
  }
  return true;
}

bool loadIdentities(const std::string& path, std::vector<Identity>& out) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "corvane-sim discovery: cannot read %s\n", path.c_str());
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') continue;
    Identity id;
    std::string error;
    if (!parseIdentity(line, id, error)) {
      std::fprintf(stderr, "corvane-sim discovery: %s line %d: %s\n", path.c_str(), number, error.c_str());
      return false;
    }
    out.push_back(id);
  }
  return true;
}

int openSocket(uint32_t iface) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1, zero = 0;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(lumarc::kDiscoveryPort);
  in_addr ifaddr{};
  ifaddr.s_addr = htonl(iface);
  ip_mreq join{};
  join.imr_multiaddr.s_addr = htonl(lumarc::kDiscoveryGroup);
  join.imr_interface = ifaddr;
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &ifaddr, sizeof ifaddr) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &zero, sizeof zero) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &zero, sizeof zero) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// A TCP listener on all addresses of the namespace at the port; -1 when
// the port cannot be had.
int openHttp(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string platformOf(const ExchangeEntry& e) {
  std::string s(reinterpret_cast<const char*>(e.platform.data()), e.platform.size());
  s.resize(std::strlen(s.c_str()));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Answers one HTTP request on a connection just accepted, then closes it.
void serveHttp(int listener, const std::vector<Identity>& ids) {
  sockaddr_in peer{}, local{};
  socklen_t peerLen = sizeof peer, localLen = sizeof local;
  const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peerLen, SOCK_CLOEXEC);
  if (fd < 0) return;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen);
  std::string request;
  char buf[2048];
  const auto giveUp = Clock::now() + std::chrono::seconds(2);
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384 && Clock::now() < giveUp) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) continue;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    request.append(buf, size_t(n));
  }
  const std::string line = request.substr(0, request.find("\r\n"));
  std::string method, target;
  std::stringstream(line) >> method >> target;
  // The exchange whose address was asked for, else the first on the port.
  const uint32_t address = ntohl(local.sin_addr.s_addr);
  const uint16_t port = ntohs(local.sin_port);
  const Identity* id = nullptr;
  for (const Identity& i : ids)
    if (i.entry.webPort == port && (!id || i.entry.id.ip == address)) id = &i;
  const std::string name = id ? platformOf(id->entry) : "Corvane";
  std::string status = "200 OK", body;
  if (method != "GET") {
    status = "405 Method Not Allowed";
  } else if (target == "/xp.asp") {
    body = "<!DOCTYPE html>\n<html><head><title>" + name +
           " Expert programming</title></head>\n<body><h1>Expert programming</h1><p>" + name + "</p></body></html>\n";
  } else if (target == "/xp.asp?fn_65") {
    body = "<!DOCTYPE html>\n<html><head><title>" + name +
           " Easy set-up</title></head>\n<body><h1>Easy set-up</h1><p>" + name + "</p></body></html>\n";
  } else {
    status = "404 Not Found";
  }
  if (body.empty()) body = "<!DOCTYPE html>\n<html><body><h1>" + status + "</h1></body></html>\n";
  const std::string response = "HTTP/1.0 " + status +
                               "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\nConnection: close\r\n\r\n" + body;
  size_t off = 0;
  while (off < response.size()) {
    const ssize_t n = ::send(fd, response.data() + off, response.size() - off, MSG_NOSIGNAL);
    if (n <= 0) break;
    off += size_t(n);
  }
  ::close(fd);
  char peerText[INET_ADDRSTRLEN];
  ::inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof peerText);
  say("http " + (line.empty() ? std::string("(no request)") : line) + " from " + peerText + " -> " + status);
}

// The layout of a wizard command: its length and fixed bytes. Empty when
// it is sound, else what is wrong.
std::string layoutFault(const uint8_t* d, size_t n) {
  using namespace lumarc;
  for (size_t i = dscv::kSourceMac; i < dscv::kSourceMac + 6; ++i)
    if (d[i] != 0xFF) return "source MAC not all FF";
  size_t want = dscv::kHeaderSize;
  switch (d[0]) {
    case kSaveIp: want = kSaveIpSize; break;
    case kQuilletAccess: want = kQuilletAccessSize; break;
    case kHalvernAccount: want = kHalvernAccountSize; break;
    case kUploadBlock: want = kUploadBlockSize; break;
    default: break;
  }
  if (n != want) return "length " + std::to_string(n) + ", not " + std::to_string(want);
  const corvane::ByteReader r(d, n);
  if (d[0] == kQuilletAccess && r.le32(25) != 0xFFFFFFFF) return "QuilletAccess bytes 25-28 not FF";
  if (d[0] == kHalvernAccount) {
    const std::string names(reinterpret_cast<const char*>(d) + 27, 72);
    if (names != std::string("Halvern") + std::string(29, '\0') + "Halvern" + std::string(29, '\0'))
      return "account names";
    for (size_t i = 99; i < 111; ++i)
      if (!((d[i] >= '0' && d[i] <= '9') || (d[i] >= 'A' && d[i] <= 'V'))) return "password characters";
    if (r.le32(111) != 0) return "password not followed by 4 zero bytes";
  }
  if (d[0] == kUploadBlock) {
    const uint32_t size = r.le32(29);
    if (size < 8 || size > kMaxParameterFile) return "file size " + std::to_string(size);
    if (uint64_t(r.le32(25)) * kUploadBlockData >= size) return "block past the end of the file";
    if (d[33] != 0) return "flag byte not 0";
  }
  if (d[0] == kSaveIp) {
    const uint32_t mask = r.le32(30);
    if ((~mask & (~mask + 1)) != 0) return "subnet mask not contiguous";
    if (d[39] < 1 || d[39] > 12 || d[40] < 1 || d[40] > 31 || d[41] > 23 || d[42] > 59 || d[43] > 60 || d[46] > 1)
      return "date or time";
  }
  return {};
}

class Simulator {
 public:
  Simulator(int fd, std::vector<Identity> ids, double rebootSeconds)
      : fd_(fd), ids_(std::move(ids)), rebootSeconds_(rebootSeconds) {}

  void onDatagram(const uint8_t* buf, size_t n, const sockaddr_in& from) {
    char fromText[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &from.sin_addr, fromText, sizeof fromText);
    if (n < lumarc::dscv::kHeaderSize) {
      say("ignored " + std::to_string(n) + " bytes from " + fromText);
      return;
    }
    const corvane::ByteReader r(buf, n);
    const uint8_t code = buf[0];
    const uint32_t pc = r.le32(lumarc::dscv::kSourceIp);
    if (code > lumarc::dscv::kDiscover && code <= lumarc::kUploadEnd) {
      onCommand(buf, n, from, pc);
      return;
    }
    if (code != lumarc::dscv::kDiscover) {
      say("ignored code " + std::to_string(code) + " from " + fromText);
      return;
    }
    ++requests_;
    say("request " + std::to_string(requests_) + " from " + lumarc::dottedIp(pc) + " via " + fromText);
    for (Identity& id : ids_) {
      const std::string who = lumarc::dottedIp(id.entry.id.ip);
      if (id.rebooting) {
        say("rebooting, silent: " + who);
        continue;
      }
      if (requests_ <= id.drop) {
        say("dropped reply of " + who);
        continue;
      }
      std::string reply = lumarc::buildDiscoveryReply(id.entry, id.wrongDest ? pc + 1 : pc, 0xFFFFFFFF, id.length);
      if (id.wrongCode) reply[0] = 5;
      send(id, from, reply);
      say("reply of " + who + " " + std::to_string(reply.size()) + " bytes " + (id.unicast ? "unicast" : "group"));
    }
  }

  // Ends the reboots that are due; the time until the next one, in ms (-1: none).
  int reboots() {
    int next = -1;
    const auto now = Clock::now();
    for (Identity& id : ids_) {
      if (!id.rebooting) continue;
      if (now >= id.backAt) {
        id.rebooting = false;
        id.entry.id.ip = id.pendingIp;
        id.entry.mask = id.pendingMask;
        id.entry.gateway = id.pendingGateway;
        say("back from reboot: " + lumarc::dottedIp(id.entry.id.ip) + " mask " + lumarc::dottedIp(id.entry.mask) +
            " gateway " + lumarc::dottedIp(id.entry.gateway));
        continue;
      }
      const int ms = int(std::chrono::duration_cast<std::chrono::milliseconds>(id.backAt - now).count()) + 1;
      if (next < 0 || ms < next) next = ms;
    }
    return next;
  }

  const std::vector<Identity>& identities() const { return ids_; }

 private:
  void send(const Identity& id, const sockaddr_in& from, const std::string& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(lumarc::kDiscoveryPort);
    to.sin_addr.s_addr = id.unicast ? from.sin_addr.s_addr : htonl(lumarc::kDiscoveryGroup);
    ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }

  void onCommand(const uint8_t* buf, size_t n, const sockaddr_in& from, uint32_t pc) {
    using namespace lumarc;
    const corvane::ByteReader r(buf, n);
    const uint8_t code = buf[0];
    const ExchangeIdentity dest{r.le32(dscv::kDestIp), macFromWire(buf + dscv::kDestMac)};
    const uint32_t seq = r.le32(dscv::kSequence);
    const std::string what = "command " + std::to_string(code) + " seq " + std::to_string(seq);
    Identity* id = nullptr;
    for (Identity& i : ids_)
      if (i.entry.id == dest) id = &i;
    if (!id) {
      say("ignored " + what + " for unknown " + dottedIp(dest.ip));
      return;
    }
    const std::string who = dottedIp(id->entry.id.ip);
    if (id->rebooting) {
      say("rebooting, silent to " + what + " for " + who);
      return;
    }
    if (id->silent) {
      say("silent to " + what + " for " + who);
      return;
    }
    ++id->commands;
    if (id->session && seq == id->lastSequence && code == id->lastCode) {
      reply(*id, from, id->lastReply, "repeated reply to " + what + " for " + who);
      return;
    }
    // `WizardStart` opens a session with number 0; then each command
    // carries the next number.
    const bool inSequence = code == kWizardStart ? seq == 0 : id->session && seq == id->lastSequence + 1;
    if (!inSequence) {
      say("out of sequence: " + what + " for " + who);
      return;
    }
    const std::string fault = layoutFault(buf, n);
    if (!fault.empty()) {
      say("malformed " + what + " for " + who + ": " + fault);
      return;
    }
    if (code == 131) {
      say("ignored " + what + " for " + who);
      return;
    }
    std::string refusal;
    if (id->refuse.count(code)) {
      refusal = id->refusal;
    } else if ((code == kSaveIp || code == kFactoryReset) && !(id->entry.flags & dscv::kFlagWizard)) {
      refusal = "Protected";
    } else if (code == kSaveIp && (r.le32(26) == 0 || r.le32(30) == 0)) {
      refusal = "Invalid IP settings";
    }
    // Where the exchange cannot refuse, a refusal is a plain acceptance.
    const bool canRefuse = code == kSaveIp || code == kQuilletAccess || code == kHalvernAccount || code == kUploadBlock;
    if (!canRefuse) refusal.clear();
    id->session = true;
    id->lastCode = code;
    id->lastSequence = seq;
    std::string text;
    if (!refusal.empty()) {
      text = code == kSaveIp ? refusal.substr(0, kRefusalTextSize) : refusal;
      if (code == kSaveIp) text.resize(kRefusalTextSize, '\0');
    }
    id->lastReply = buildWizardReply(code, id->entry.id, pc, seq, text);
    std::string done = (refusal.empty() ? "accepted " : "refused '" + refusal + "' ") + what + " for " + who;
    bool reboot = false;
    if (refusal.empty()) act(*id, buf, n, done, reboot);
    reply(*id, from, id->lastReply, done);
    if (reboot) {
      const double seconds = id->rebootSeconds >= 0 ? id->rebootSeconds : rebootSeconds_;
      id->rebooting = true;
      id->session = false;
      id->backAt = Clock::now() + std::chrono::milliseconds(long(seconds * 1000));
      say("rebooting " + who + " for " + std::to_string(seconds) + " s");
    }
  }

  // Carries out an accepted command; reboot is set when the exchange
  // restarts after replying.
  void act(Identity& id, const uint8_t* buf, size_t n, std::string& done, bool& reboot) {
    using namespace lumarc;
    const corvane::ByteReader r(buf, n);
    switch (buf[0]) {
      case kSaveIp: {
        id.pendingIp = r.le32(26);
        id.pendingMask = r.le32(30);
        id.pendingGateway = r.le32(34);
        char when[64];
        std::snprintf(when, sizeof when, " at 20%02u-%02u-%02u %02u:%02u:%02u zone %d dst %u language %u", buf[38],
                      buf[39], buf[40], buf[41], buf[42], buf[43], int(int8_t(buf[45])), buf[46], buf[25]);
        done += ": new " + dottedIp(id.pendingIp) + " mask " + dottedIp(id.pendingMask) + " gateway " +
                dottedIp(id.pendingGateway) + when;
        reboot = true;
        break;
      }
      case kFactoryReset:
        id.pendingIp = id.factoryIp;
        id.pendingMask = id.factoryMask;
        id.pendingGateway = id.factoryGateway;
        id.upload.clear();
        id.blocks.clear();
        done += ": factory settings";
        reboot = true;
        break;
      case kHalvernAccount:
        done += ": account Halvern password " + std::string(reinterpret_cast<const char*>(buf) + 99, 12);
        break;
      case kUploadBlock: {
        const uint32_t block = r.le32(25), size = r.le32(29);
        if (block == 0 || size != id.uploadSize) {
          id.upload.assign(size, '\0');
          id.uploadSize = size;
          id.blocks.clear();
        }
        const size_t start = size_t(block) * kUploadBlockData;
        const size_t count = std::min<size_t>(kUploadBlockData, size - start);
        std::memcpy(id.upload.data() + start, buf + 34, count);
        id.blocks.insert(block);
        done += ": block " + std::to_string(block) + " of " + std::to_string(size) + " bytes";
        break;
      }
      case kUploadEnd: {
        const size_t expected = (size_t(id.uploadSize) + kUploadBlockData - 1) / kUploadBlockData;
        const ParameterFileFault f = checkParameterFile(id.upload);
        if (id.uploadSize == 0 || id.blocks.size() != expected) {
          done += ": parameter file incomplete (" + std::to_string(id.blocks.size()) + " of " +
                  std::to_string(expected) + " blocks)";
        } else if (f != ParameterFileFault::None) {
          done += ": parameter file rejected";
        } else {
          char sum[16];
          std::snprintf(sum, sizeof sum, "%08X", corvane::ByteReader(id.upload).le32(id.upload.size() - 4));
          done += ": parameter file loaded, " + std::to_string(id.upload.size()) + " bytes, checksum " + sum;
          id.pendingIp = id.entry.id.ip;
          id.pendingMask = id.entry.mask;
          id.pendingGateway = id.entry.gateway;
          reboot = true;
        }
        id.upload.clear();
        id.uploadSize = 0;
        id.blocks.clear();
        break;
      }
      default: break;
    }
  }

  void reply(Identity& id, const sockaddr_in& from, std::string bytes, const std::string& done) {
    if (id.commands <= id.dropCommands) {
      say(done + " (reply dropped)");
      return;
    }
    std::string fault;
    corvane::ByteWriter w(bytes);
    if (id.wrongSeq) {
      w.putLe32(lumarc::dscv::kSequence, corvane::ByteReader(bytes).le32(lumarc::dscv::kSequence) + 1);
      fault = ", wrong sequence";
    }
    if (id.wrongDest) {
      w.putLe32(lumarc::dscv::kDestIp, corvane::ByteReader(bytes).le32(lumarc::dscv::kDestIp) + 1);
      fault += ", wrong destination";
    }
    if (id.wrongId) {
      bytes[lumarc::dscv::kSourceMac] ^= 0x01;
      fault += ", wrong identity";
    }
    if (id.wrongCode) {
      bytes[0] = char(uint8_t(bytes[0]) ^ 0x0F);
      fault += ", wrong code";
    }
    if (id.shortReply) {
      bytes.resize(20);
      fault += ", short";
    }
    send(id, from, bytes);
    say(done + fault);
  }

  int fd_;
  std::vector<Identity> ids_;
  double rebootSeconds_;
  int requests_ = 0;
};

// What the command line asks for.
struct DiscoveryArgs {
  std::string file;
  double rebootSeconds = 3;
  bool noHttp = false;
};

int run(const RoleOptions& opt, const DiscoveryArgs& a) {
  const std::string& file = a.file;
  const double rebootSeconds = a.rebootSeconds;
  const bool http = !a.noHttp;
  const auto iface = parseDottedIp(opt.listen);
  if (!iface) {
    std::fprintf(stderr, "corvane-sim discovery: --listen needs the interface's IPv4 address\n");
    return 2;
  }
  std::vector<Identity> ids;
  if (!file.empty()) {
    if (!loadIdentities(file, ids)) return 2;
  } else {
    Identity id;
    std::string error;
    parseIdentity("mac=00:1A:2B:3C:4D:01 mask=255.255.255.0 web=80 flags=3", id, error);
    id.entry.id.ip = *iface + 1;
    id.factoryIp = id.entry.id.ip;
    ids.push_back(id);
  }
  const int fd = openSocket(*iface);
  if (fd < 0) {
    std::fprintf(stderr, "corvane-sim discovery: cannot join 224.3.3.3 on %s: %s\n", opt.listen.c_str(),
                 std::strerror(errno));
    return 1;
  }
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<pollfd> polled{{fd, POLLIN, 0}};
  if (http) {
    std::set<uint16_t> ports;
    for (const Identity& id : ids)
      if (id.entry.webPort != 0) ports.insert(id.entry.webPort);
    for (uint16_t port : ports) {
      const int l = openHttp(port);
      if (l < 0) {
        say("no http on port " + std::to_string(port) + ": " + std::strerror(errno));
        continue;
      }
      polled.push_back({l, POLLIN, 0});
      say("http on port " + std::to_string(port));
    }
  }
  say("listening " + opt.listen + ":" + std::to_string(lumarc::kDiscoveryPort));
  Simulator sim(fd, std::move(ids), rebootSeconds);
  uint8_t buf[lumarc::dscv::kMaxDatagram];
  for (;;) {
    const int timeout = sim.reboots();
    for (pollfd& p : polled) p.revents = 0;
    if (::poll(polled.data(), polled.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (size_t i = 1; i < polled.size(); ++i)
      if (polled[i].revents & POLLIN) serveHttp(polled[i].fd, sim.identities());
    if (!(polled[0].revents & POLLIN)) continue;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n = ::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0) continue;
    sim.onDatagram(buf, size_t(n), from);
  }
  for (const pollfd& p : polled) ::close(p.fd);
  return 0;
}

Runner define(CLI::App& parser) {
  auto a = std::make_shared<DiscoveryArgs>();
  parser.add_option("--identities", a->file, "the exchanges to play, one a line (default: one at ADDRESS + 1)")
      ->type_name("FILE");
  valueOption(parser, "--reboot", "S", "seconds an exchange takes to restart after the wizard (default 3)",
              [a](const std::string& v) { a->rebootSeconds = std::atof(v.c_str()); });
  parser.add_flag("--no-http", a->noHttp, "serve no pages over HTTP");
  return [a](const RoleOptions& opt) { return run(opt, *a); };
}

Register reg({"discovery",
              "exchanges answering Discover and the wizard on 224.3.3.3:55555, and their pages over HTTP "
              "(--listen: the interface address)",
              define});

}  // namespace
}  // namespace corvane::sim
