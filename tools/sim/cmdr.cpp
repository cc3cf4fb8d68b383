// corvane-sim cmdr: the exchange's side of the CMDR download link. Serves
// 154-byte frames of every record kind over TCP in batches, waits for the
// "X" of each batch, and after a reconnection sends again what was not
// acknowledged. Faults: split or joined segments, a bad check word, sum byte
// or end mark, a disconnect in the middle of a batch, silence.
#include "tools/sim/role.h"
#include "tools/sim/sockets.h"

#include "common/byte_io.h"
#include "common/checks.h"
#include "common/format.h"
#include "lumarc/links/cmdr_frame.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace corvane::sim {
namespace {

using lumarc::CmdrFrame;
using lumarc::CmdrFrameFields;

struct Config {
  int count = 12;
  std::string file;
  int batch = 4;
  size_t split = 0;                          // write pieces of this many bytes; 0 = whole frames
  bool join = false;                         // one write per batch
  int badCheck = 0, badSum = 0, badEnd = 0;  // 1-based frame numbers, first sending only
  int dropAfter = 0;                         // first connection: close after this many frames
  bool silence = false;                      // accept, send nothing
  int pauseMs = 0;                           // wait between an acknowledgement and the next batch
  bool exitWhenAcked = false;
  bool anyPort = false;
};

void say(const char* fmt, const std::string& a = {}) {
  std::printf(fmt, a.c_str());
  std::printf("\n");
  std::fflush(stdout);
}

// Frame i (0-based) of the generated series: kinds A, B, C, D, E, F in turn.
CmdrFrame generatedFrame(int i) {
  CmdrFrameFields s;
  s.kind = uint32_t(i % 6);
  int n = i + 1;
  int secs = 8 * 3600 + n;
  s.time = {2024, 5, 6, (secs / 3600) % 24, (secs / 60) % 60, secs % 60};
  s.firstPort = corvane::parsePort(std::to_string(1000 + n % 50));
  switch (s.kind) {
    case 0:
      s.partnerPort = corvane::parsePort(std::to_string(2000 + n % 7));
      s.usedPort = corvane::parsePort(std::to_string(900 + n % 3));
      s.flags = uint32_t((n % 4) << 21) | uint32_t(n % 9);
      s.rawDuration = uint32_t(n * 137);
      s.crefA = uint32_t(n);
      s.crefB = uint32_t(n * 2);
      s.crefC = n % 5 == 0 ? 0xC0A80100u + uint32_t(n % 200) : 0;
      s.externalPulses = uint16_t(n % 13);
      s.internalPulses = uint16_t(n % 3);
      s.digits1 = "0212555" + std::to_string(n);
      s.digits2 = "555" + std::to_string(n);
      s.digits3 = "0532" + std::to_string(n);
      break;
    case 1: s.text1 = n % 2 ? "Power up" : "System restart " + std::to_string(n); break;
    case 2:
      s.usedPort = corvane::parsePort("901");
      s.internalPulses = uint16_t(n % 5);
      s.text1 = "Wake up call " + std::to_string(n);
      break;
    case 3:
      s.usedPort = corvane::parsePort("902");
      s.digits1 = "100" + std::to_string(n);
      s.digits3 = "0532" + std::to_string(n);
      break;
    case 4:
      s.externalPulses = uint16_t(n);
      s.internalPulses = uint16_t(n % 4);
      break;
    default: s.text1 = "Room " + std::to_string(n); break;
  }
  return lumarc::buildCmdrFrame(s);
}

bool loadHexFrames(const std::string& path, std::vector<CmdrFrame>& out) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    std::string hex;
    for (char c : line) {
      if (c == '#') break;
      if (std::isxdigit(uint8_t(c))) hex += c;
    }
    if (hex.empty()) continue;
    if (hex.size() != 2 * lumarc::kCmdrFrameSize) return false;
    CmdrFrame f;
    for (size_t i = 0; i < f.size(); ++i) f[i] = uint8_t(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    out.push_back(f);
  }
  return true;
}

bool sendAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

// Waits for bytes from the link; returns the number of "X" seen, -1 when the
// link closed. timeoutMs < 0 waits for ever.
int readAcks(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  int r = ::poll(&p, 1, timeoutMs);
  if (r <= 0) return 0;
  char buf[256];
  ssize_t n = ::recv(fd, buf, sizeof buf, 0);
  if (n <= 0) return -1;
  int x = 0;
  for (ssize_t i = 0; i < n; ++i) x += buf[i] == 'X';
  return x;
}

// Frames [from, end) as sent: the faults of the options on their first
// sending (marked in corrupted).
std::string batchBytes(const Config& c, const std::vector<CmdrFrame>& frames, size_t from, size_t end,
                       std::vector<bool>& corrupted) {
  std::string batch;
  for (size_t i = from; i < end; ++i) {
    CmdrFrame f = frames[i];
    int n = int(i) + 1;
    if (!corrupted[i] && (n == c.badCheck || n == c.badSum || n == c.badEnd)) {
      corrupted[i] = true;
      if (n == c.badCheck) f[lumarc::cmdr::kCheck] ^= 0x01;
      if (n == c.badSum || n == c.badEnd) {
        if (n == c.badSum) f[lumarc::cmdr::kSum] ^= 0x01;
        if (n == c.badEnd) f[lumarc::cmdr::kEndMark] = 0x00;
        corvane::ByteWriter(f).putLe16(lumarc::cmdr::kCheck, corvane::frameCheck16(f.data(), lumarc::cmdr::kCheck));
      }
    }
    batch.append(reinterpret_cast<const char*>(f.data()), f.size());
  }
  return batch;
}

int run(const RoleOptions& opt, const Config& c) {
  std::vector<CmdrFrame> frames;
  if (!c.file.empty()) {
    if (!loadHexFrames(c.file, frames)) {
      std::fprintf(stderr, "corvane-sim cmdr: cannot read frames from %s\n", c.file.c_str());
      return 2;
    }
  } else {
    for (int i = 0; i < c.count; ++i) frames.push_back(generatedFrame(i));
  }
  std::vector<bool> corrupted(frames.size(), false);

  ::signal(SIGPIPE, SIG_IGN);
  int port = c.anyPort ? 0 : (opt.port ? opt.port : 9876);
  int lfd = bindSocket(opt.listen, port, SOCK_STREAM);
  if (lfd < 0) {
    std::fprintf(stderr, "corvane-sim cmdr: cannot listen on %s:%d\n", opt.listen.c_str(), port);
    return 1;
  }
  std::printf("listening %s:%d\n", opt.listen.c_str(), boundPort(lfd));
  std::fflush(stdout);

  size_t acked = 0;
  int connection = 0;
  for (;;) {
    int fd = ::accept(lfd, nullptr, nullptr);
    if (fd < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ++connection;
    say("connected");
    bool open = true;
    int sentThisConnection = 0;
    while (open && !c.silence && acked < frames.size()) {
      size_t end = std::min(frames.size(), acked + size_t(c.batch));
      const std::string batch = batchBytes(c, frames, acked, end, corrupted);
      // Write the batch: whole, per frame or in pieces. On the first
      // connection --drop-after closes the line once that many frames went
      // out, which may be in the middle of a batch.
      size_t budget = batch.size();
      bool drop = false;
      if (c.dropAfter > 0 && connection == 1) {
        size_t limit = size_t(c.dropAfter) * lumarc::kCmdrFrameSize;
        size_t already = size_t(sentThisConnection) * lumarc::kCmdrFrameSize;
        if (already + batch.size() >= limit) {
          budget = limit > already ? limit - already : 0;
          drop = true;
        }
      }
      size_t piece = c.split ? c.split : c.join ? batch.size() : lumarc::kCmdrFrameSize;
      for (size_t off = 0; off < budget && open; off += piece) {
        size_t n = std::min(piece, budget - off);
        if (!sendAll(fd, reinterpret_cast<const uint8_t*>(batch.data()) + off, n)) open = false;
        if (c.split) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (drop) {
        say("dropping the line");
        open = false;
      }
      if (!open) break;
      sentThisConnection += int(end - acked);
      // Wait for the acknowledgement, then take any further "X" of the batch.
      int x = 0;
      while (x == 0) {
        x = readAcks(fd, -1);
        if (x < 0) open = false;
        if (!open) break;
      }
      if (!open) break;
      while (readAcks(fd, 100) > 0) {
      }
      acked = end;
      std::printf("ack %zu\n", acked);
      std::fflush(stdout);
      if (c.pauseMs > 0 && acked < frames.size()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
        // Keep-alive "X"s of the pause acknowledge nothing of the next batch.
        int x;
        while ((x = readAcks(fd, 0)) > 0) {
        }
        if (x < 0) open = false;
      }
    }
    if (open && acked >= frames.size() && !c.silence) say("done");
    if (open && c.exitWhenAcked && acked >= frames.size()) {
      ::close(fd);
      ::close(lfd);
      return 0;
    }
    // Stay on the line, silent, until the link closes it.
    while (open) {
      if (readAcks(fd, -1) < 0) open = false;
    }
    ::close(fd);
    say("closed");
  }
}

int number(const std::string& v) { return std::atoi(v.c_str()); }

Runner define(CLI::App& parser) {
  auto c = std::make_shared<Config>();
  valueOption(parser, "--count", "N", "generated frames, kinds A to F in turn (default 12)",
              [c](const std::string& v) { c->count = number(v); });
  parser.add_option("--file", c->file, "frames from a file, 308 hex digits per line, '#' comments")->type_name("HEX");
  valueOption(parser, "--batch", "N", "frames per batch, each batch waits for \"X\" (default 4)",
              [c](const std::string& v) { c->batch = std::max(1, number(v)); });
  valueOption(parser, "--split", "B", "write in pieces of B bytes, 10 ms apart",
              [c](const std::string& v) { c->split = size_t(std::max(1, number(v))); });
  parser.add_flag("--join", c->join, "write each batch in one piece");
  valueOption(parser, "--bad-check", "K", "frame K (from 1) with a wrong check word, first sending only",
              [c](const std::string& v) { c->badCheck = number(v); });
  valueOption(parser, "--bad-sum", "K", "frame K with a wrong sum byte",
              [c](const std::string& v) { c->badSum = number(v); });
  valueOption(parser, "--bad-end", "K", "frame K with a wrong end mark",
              [c](const std::string& v) { c->badEnd = number(v); });
  valueOption(parser, "--drop-after", "N", "first connection: close the line after N frames",
              [c](const std::string& v) { c->dropAfter = number(v); });
  parser.add_flag("--silence", c->silence, "accept and send nothing");
  valueOption(parser, "--pause", "MS", "wait MS milliseconds after each acknowledgement",
              [c](const std::string& v) { c->pauseMs = std::max(0, number(v)); });
  parser.add_flag("--exit-when-acked", c->exitWhenAcked, "end once every frame is acknowledged");
  parser.add_flag("--any-port", c->anyPort, "listen on a free port (printed as \"listening ADDRESS:PORT\")");
  parser.footer("Unacknowledged frames are sent again after a reconnection.");
  return [c](const RoleOptions& opt) { return run(opt, *c); };
}

Register reg({"cmdr", "CMDR download: frames of every kind in acknowledged batches, resent after reconnection",
              define});

}  // namespace
}  // namespace corvane::sim
