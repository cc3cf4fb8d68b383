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
#include <memory>

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

void addRtpFaultOptions(CLI::App& parser, const std::string& prefix, RtpFaults& faults) {
  // clang-format off
  static const struct { const char* name; PacketSet RtpFaults::*set; const char* help; } sets[] = {
      {"loss", &RtpFaults::loss, "never sent"},
      {"reorder", &RtpFaults::reorder, "sent after the packet that follows it"},
      {"duplicate", &RtpFaults::duplicate, "sent twice"},
      {"late", &RtpFaults::late, "held 300 ms, beyond the keyset's jitter window"},
      {"short-header", &RtpFaults::truncated, "cut to 8 bytes"},
      {"bad-version", &RtpFaults::badVersion, "RTP version 1"},
      {"bad-padding", &RtpFaults::badPadding, "a padding count beyond the payload"}};
  // clang-format on
  const CLI::Validator packets(
      [](std::string& v) { return PacketSet::parse(v) ? std::string() : "wants packet numbers (3,7) or every:N"; }, "");
  for (const auto& s : sets)
    valueOption(
        parser, "--" + prefix + s.name, "K", std::string("outgoing packets K: ") + s.help,
        [&faults, member = s.set](const std::string& v) { faults.*member = *PacketSet::parse(v); }, &packets);
  const CLI::Validator millis(
      [](std::string& v) {
        char* end = nullptr;
        const long ms = std::strtol(v.c_str(), &end, 10);
        return v.empty() || *end || ms < 0 ? "wants milliseconds" : "";
      },
      "");
  valueOption(
      parser, "--" + prefix + "delay", "MS", "every outgoing packet held MS milliseconds",
      [&faults](const std::string& v) { faults.delayMs = int(std::strtol(v.c_str(), nullptr, 10)); }, &millis);
}

namespace {

// What the command line asks for.
struct RtpArgs {
  bool echo = false, bridge = false;
  std::string playFile, logFile;
  RtpFaults faults;
  int port = 0;
};

int run(const RoleOptions& opt, const RtpArgs& a) {
  const std::string& playFile = a.playFile;
  const std::string& logFile = a.logFile;
  const RtpFaults& faults = a.faults;
  const int port = a.port ? a.port : opt.port;
  const RtpMode mode = a.echo ? RtpMode::Echo : a.bridge ? RtpMode::Bridge : RtpMode::Play;
  std::vector<std::int16_t> samples;
  if (mode == RtpMode::Play) {
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
  RtpSocketPeer rtp(fd, mode, faults, [&](const std::string& line) {
    std::fprintf(log, "%9.3f %s\n", double(ms()) / 1000, line.c_str());
    std::fflush(log);
  });
  rtp.peer().setPlaySamples(std::move(samples));
  bool announced = false;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) rtp.readable(ms());
    rtp.tick(ms());
    if (mode == RtpMode::Play && rtp.peer().playDone() && !announced) {
      announced = true;
      std::printf("played\n");
      std::fflush(stdout);
    }
  }
}

Runner define(CLI::App& parser) {
  auto a = std::make_shared<RtpArgs>();
  parser.add_flag("--echo", a->echo, "every speech frame received goes back to its source");
  parser
      .add_option("--play", a->playFile,
                  "plays an 8 kHz mono 16-bit WAV file to the first source heard, 5 frames every 50 ms")
      ->type_name("FILE");
  parser.add_flag("--bridge", a->bridge, "relays packets between the first two sources");
  parser.add_option("--port", a->port, "the same as the PORT before the role")->type_name("P");
  parser.add_option("--log", a->logFile, "one line per packet (default: standard error)")->type_name("FILE");
  addRtpFaultOptions(parser, "", a->faults);
  parser.footer(
      "Plays the exchange's speech end (RTP, G.729A, clear speech) on UDP PORT (default: a free port,\n"
      "printed as \"listening ADDRESS:PORT\"). K: packet numbers from 1, comma separated, or every:N.");
  return [&parser, a](const RoleOptions& opt) {
    if (!a->echo && !a->bridge && a->playFile.empty())
      return tools::usageError(parser, "one of --echo, --play FILE, --bridge");
    return run(opt, *a);
  };
}

Register reg({"rtp", "speech end: echo, play a WAV file or bridge two keysets, with packet faults", define});

}  // namespace
}  // namespace corvane::sim
