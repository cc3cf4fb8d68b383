// corvane-sim discovery: one or more exchanges answering the browser's
// `Discover` on 224.3.3.3:55555. The socket joins the group on the
// interface whose address --listen gives (so it belongs in a network
// namespace of its own, apart from the program). Every identity answers
// each request, to the group or by unicast to the requester, with a reply
// of its chosen length. Faults per identity: the replies to the first N
// requests dropped, a wrong destination address, a wrong reply code, no
// answer to wizard commands. Wizard commands addressed to an identity are
// answered as accepted (25 bytes); a repeated sequence number gets the
// stored reply again.
// Every request and reply is logged on standard output.
//
// Identities file: one exchange a line, blank-separated key=value pairs:
//   mac=00:1A:2B:3C:4D:01 ip=10.9.0.10 mask=255.255.255.0 gw=10.9.0.1
//   web=80 flags=3 platform=CRV-PX48 version=V2.11 name=Office xid=1,2,3,4
//   dhcp=IP,MASK,GW,SERVER,DNS ipv6=fe80::1 length=129 reply=group|unicast
//   drop=N wrongdest wrongcode silent
// Lines starting with "#" are skipped; "_" in texts stands for a blank.
#include "tools/sim/role.h"

#include "lumarc/discovery/discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::sim {
namespace {

using lumarc::ExchangeEntry;
using lumarc::parseDottedIp;

struct Identity {
  ExchangeEntry entry;
  size_t length = lumarc::dscv::kFullReply;
  bool unicast = false;
  int drop = 0;
  bool wrongDest = false, wrongCode = false;
  bool silent = false;  // never answers wizard commands
  // The last command's sequence number and reply: a repeat gets the same
  // reply and is not acted on again.
  bool answered = false;
  uint32_t lastSequence = 0;
  std::string lastReply;
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
    } else if (key == "drop")
      id.drop = std::atoi(value.c_str());
    else if (key == "wrongdest")
      id.wrongDest = true;
    else if (key == "wrongcode")
      id.wrongCode = true;
    else if (key == "silent")
      id.silent = true;
    else
      ok = false;
    if (!ok) {
      error = "bad " + token;
      return false;
    }
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

int run(const RoleOptions& opt) {
  std::string file;
  for (size_t i = 0; i < opt.args.size(); ++i) {
    const std::string& a = opt.args[i];
    if (a == "--identities" && i + 1 < opt.args.size()) {
      file = opt.args[++i];
    } else {
      std::fprintf(stderr, "corvane-sim discovery: unknown option %s\n", a.c_str());
      return 2;
    }
  }
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
    ids.push_back(id);
  }
  const int fd = openSocket(*iface);
  if (fd < 0) {
    std::fprintf(stderr, "corvane-sim discovery: cannot join 224.3.3.3 on %s: %s\n", opt.listen.c_str(),
                 std::strerror(errno));
    return 1;
  }
  ::signal(SIGPIPE, SIG_IGN);
  say("listening " + opt.listen + ":" + std::to_string(lumarc::kDiscoveryPort));
  int requests = 0;
  uint8_t buf[lumarc::dscv::kMaxDatagram];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n = ::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0) continue;
    char fromText[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &from.sin_addr, fromText, sizeof fromText);
    if (n < ssize_t(lumarc::dscv::kHeaderSize)) {
      say("ignored " + std::to_string(n) + " bytes from " + fromText);
      continue;
    }
    const uint8_t code = buf[0];
    const uint32_t pc = uint32_t(buf[1]) | uint32_t(buf[2]) << 8 | uint32_t(buf[3]) << 16 | uint32_t(buf[4]) << 24;
    auto sendReply = [&](const Identity& id, const std::string& reply) {
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_port = htons(lumarc::kDiscoveryPort);
      to.sin_addr.s_addr = id.unicast ? from.sin_addr.s_addr : htonl(lumarc::kDiscoveryGroup);
      ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    };
    if (code > lumarc::dscv::kDiscover && code <= 137) {
      const lumarc::ExchangeIdentity dest{
          uint32_t(buf[11]) | uint32_t(buf[12]) << 8 | uint32_t(buf[13]) << 16 | uint32_t(buf[14]) << 24,
          lumarc::macFromWire(buf + lumarc::dscv::kDestMac)};
      const uint32_t seq =
          uint32_t(buf[21]) | uint32_t(buf[22]) << 8 | uint32_t(buf[23]) << 16 | uint32_t(buf[24]) << 24;
      Identity* id = nullptr;
      for (Identity& i : ids)
        if (i.entry.id == dest) id = &i;
      const std::string what = "command " + std::to_string(code) + " seq " + std::to_string(seq);
      if (!id) {
        say("ignored " + what + " for unknown " + lumarc::dottedIp(dest.ip));
        continue;
      }
      const std::string who = lumarc::dottedIp(id->entry.id.ip);
      if (id->silent) {
        say("silent to " + what + " for " + who);
        continue;
      }
      if (id->answered && seq == id->lastSequence) {
        sendReply(*id, id->lastReply);
        say("repeated reply to " + what + " for " + who);
        continue;
      }
      if (code == 131) {
        say("ignored " + what + " for " + who);
        continue;
      }
      id->answered = true;
      id->lastSequence = seq;
      id->lastReply = lumarc::buildWizardReply(code, id->entry.id, pc, seq);
      sendReply(*id, id->lastReply);
      say("accepted " + what + " for " + who);
      continue;
    }
    if (code != lumarc::dscv::kDiscover) {
      say("ignored code " + std::to_string(code) + " from " + fromText);
      continue;
    }
    ++requests;
    say("request " + std::to_string(requests) + " from " + lumarc::dottedIp(pc) + " via " + fromText);
    for (Identity& id : ids) {
      const std::string who = lumarc::dottedIp(id.entry.id.ip);
      if (requests <= id.drop) {
        say("dropped reply of " + who);
        continue;
      }
      std::string reply = lumarc::buildDiscoveryReply(id.entry, id.wrongDest ? pc + 1 : pc, 0xFFFFFFFF, id.length);
      if (id.wrongCode) reply[0] = 5;
      sendReply(id, reply);
      say("reply of " + who + " " + std::to_string(reply.size()) + " bytes " + (id.unicast ? "unicast" : "group"));
    }
  }
  ::close(fd);
  return 0;
}

Register reg({"discovery", "[--identities FILE]",
              "exchanges answering Discover on 224.3.3.3:55555 (--listen: the interface address)", run});

}  // namespace
}  // namespace corvane::sim
