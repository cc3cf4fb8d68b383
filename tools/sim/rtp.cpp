// corvane-sim rtp: the exchange's speech end on its own, in clear speech:
// echoes a keyset's speech back, plays a WAV file to it, or bridges two
// keysets, with packet faults. Also the socket side of the speech peer the
// keyset role runs.
#include "tools/sim/role.h"
#include "tools/sim/rtp_socket.h"
#include "tools/sim/sockets.h"

#include "common/files.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace corvane::sim {

namespace {

std::string addressText(const sockaddr_storage& a, socklen_t length) {
  char host[NI_MAXHOST], port[NI_MAXSERV];
  if (::getnameinfo(reinterpret_cast<const sockaddr*>(&a), length, host, sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return "?";
  return a.ss_family == AF_INET6 ? "[" + std::string(host) + "]:" + port : std::string(host) + ":" + port;
}

}  // namespace

RtpSocketPeer::RtpSocketPeer(int fd, RtpMode mode, RtpFaults faults, LogLine log)
    : fd_(fd), log_(std::move(log)), peer_(mode, *this, std::move(faults)) {}

void RtpSocketPeer::readable(std::int64_t nowMs) {
  std::uint8_t buffer[2048];
  for (;;) {
    Address from;
    from.length = sizeof from.storage;
    const ssize_t n =
        ::recvfrom(fd_, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from.storage), &from.length);
    if (n < 0) return;
    const std::string text = addressText(from.storage, from.length);
    addresses_[text] = from;
    peer_.received(text, {buffer, std::size_t(n)}, nowMs);
  }
}

void RtpSocketPeer::sendTo(const std::string& to, std::span<const std::uint8_t> datagram) {
  const auto it = addresses_.find(to);
  if (it == addresses_.end()) return;
  ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&it->second.storage),
           it->second.length);
}

void RtpSocketPeer::logPacket(const char* dir, const std::string& peer, std::span<const std::uint8_t> datagram,
                              const std::string& what) {
  // The header is enough to tell packets apart; the frames are left out.
  char head[64];
  std::snprintf(head, sizeof head, "rtp %s %4zu %s ", dir, datagram.size(), peer.c_str());
  log_(head + what + " | " + hexOf(datagram.first(std::min(datagram.size(), halvern::rtp::kHeaderSize))));
}

bool takeRtpFault(const std::vector<std::string>& args, std::size_t& i, const std::string& prefix, RtpFaults& faults,
                  std::string& why) {
  const std::string& a = args[i];
  if (a.rfind("--" + prefix, 0) != 0) return false;
  const std::string name = a.substr(2 + prefix.size());
  static const std::pair<const char*, PacketSet RtpFaults::*> sets[] = {{"loss", &RtpFaults::loss},
                                                                        {"reorder", &RtpFaults::reorder},
                                                                        {"duplicate", &RtpFaults::duplicate},
                                                                        {"late", &RtpFaults::late},
                                                                        {"short-header", &RtpFaults::truncated},
                                                                        {"bad-version", &RtpFaults::badVersion},
                                                                        {"bad-padding", &RtpFaults::badPadding}};
  const std::string value = i + 1 < args.size() ? args[i + 1] : std::string();
  for (const auto& [option, member] : sets) {
    if (name != option) continue;
    const auto parsed = PacketSet::parse(value);
    if (!parsed) {
      why = a + " wants packet numbers (3,7) or every:N";
      return true;
    }
    faults.*member = *parsed;
    ++i;
    return true;
  }
  if (name == "delay") {
    char* end = nullptr;
    const long ms = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end || ms < 0) {
      why = a + " wants milliseconds";
      return true;
    }
    faults.delayMs = int(ms);
    ++i;
    return true;
  }
  return false;
}

namespace {

constexpr const char* kHelp =
    "usage: corvane-sim [--listen ADDRESS] [--port PORT] rtp --echo|--play FILE|--bridge [OPTIONS]\n"
    "Plays the exchange's speech end (RTP, G.729A, clear speech) on UDP PORT\n"
    "(default: a free port, printed as \"listening ADDRESS:PORT\").\n"
    "  --echo              every speech frame received goes back to its source\n"
    "  --play FILE         plays an 8 kHz mono 16-bit WAV file to the first\n"
    "                      source heard, 5 frames every 50 ms\n"
    "  --bridge            relays packets between the first two sources\n"
    "  --port P            the same as the PORT before the role\n"
    "  --log FILE          one line per packet (default: standard error)\n"
    "faults on outgoing packets (K: numbers from 1, comma separated, or every:N):\n"
    "  --loss K            never sent\n"
    "  --reorder K         sent after the packet that follows it\n"
    "  --duplicate K       sent twice\n"
    "  --late K            held 300 ms, beyond the keyset's jitter window\n"
    "  --short-header K    cut to 8 bytes\n"
    "  --bad-version K     RTP version 1\n"
    "  --bad-padding K     a padding count beyond the payload\n"
    "  --delay MS          every packet held MS milliseconds\n";

int run(const RoleOptions& opt) {
  std::optional<RtpMode> mode;
  std::string playFile, logFile;
  RtpFaults faults;
  int port = opt.port;
  for (std::size_t i = 0; i < opt.args.size(); ++i) {
    const std::string& a = opt.args[i];
    std::string why;
    if (takeRtpFault(opt.args, i, "", faults, why)) {
      if (!why.empty()) {
        std::fprintf(stderr, "corvane-sim rtp: %s\n", why.c_str());
        return 2;
      }
    } else if (a == "--echo") {
      mode = RtpMode::Echo;
    } else if (a == "--bridge") {
      mode = RtpMode::Bridge;
    } else if (a == "--play" && i + 1 < opt.args.size()) {
      mode = RtpMode::Play;
      playFile = opt.args[++i];
    } else if (a == "--port" && i + 1 < opt.args.size()) {
      port = std::atoi(opt.args[++i].c_str());
    } else if (a == "--log" && i + 1 < opt.args.size()) {
      logFile = opt.args[++i];
    } else if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "corvane-sim rtp: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  if (!mode) {
    std::fprintf(stderr, "corvane-sim rtp: one of --echo, --play FILE, --bridge\n");
    return 2;
  }
  std::vector<std::int16_t> samples;
  if (*mode == RtpMode::Play) {
    const auto file = corvane::readFileBytes(playFile);
    auto read = file ? wavSamples(*file) : std::nullopt;
    if (!read) {
      std::fprintf(stderr, "corvane-sim rtp: %s is not an 8 kHz mono 16-bit WAV file\n", playFile.c_str());
      return 2;
    }
    samples = std::move(*read);
  }
  std::FILE* log = stderr;
  if (!logFile.empty() && !(log = std::fopen(logFile.c_str(), "w"))) {
    std::fprintf(stderr, "corvane-sim rtp: cannot write %s\n", logFile.c_str());
    return 2;
  }
  const int fd = bindSocket(opt.listen, port, SOCK_DGRAM);
  if (fd < 0) {
    std::fprintf(stderr, "corvane-sim rtp: cannot bind %s:%d\n", opt.listen.c_str(), port);
    return 1;
  }
  std::printf("listening %s:%d\n", opt.listen.c_str(), boundPort(fd));
  std::fflush(stdout);
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto ms = [&] {
    return std::int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  };
  RtpSocketPeer rtp(fd, *mode, faults, [&](const std::string& line) {
    std::fprintf(log, "%9.3f %s\n", double(ms()) / 1000, line.c_str());
    std::fflush(log);
  });
  rtp.peer().setPlaySamples(std::move(samples));
  bool announced = false;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) rtp.readable(ms());
    rtp.tick(ms());
    if (*mode == RtpMode::Play && rtp.peer().playDone() && !announced) {
      announced = true;
      std::printf("played\n");
      std::fflush(stdout);
    }
  }
}

Register reg({"rtp", "--echo|--play FILE|--bridge [FAULTS] (rtp --help)",
              "speech end: echo, play a WAV file or bridge two keysets, with packet faults", run});

}  // namespace
}  // namespace corvane::sim
