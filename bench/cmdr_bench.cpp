// CMDR download speed: frames checked, decoded and turned into their line;
// and a backlog of frames from a TCP peer on 127.0.0.1 through the link, its
// Qt socket and the duplicate-tested store into SQLite. Baselines from the
// same run: copying the frames, and the store's plain insert rate.
// Usage: cmdr_bench [BACKLOG_FRAMES]   (default 100000)
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/cmdr_frame.h"
#include "lumarc/links/cmdr_line.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/net/stream_socket.h"
#include "lumarc/store/database.h"
#include "lumarc/store/record_store.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace lumarc;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::vector<CmdrFrame> makeFrames(size_t n) {
  std::vector<CmdrFrame> frames;
  frames.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    CmdrFrameFields s;
    s.kind = i % 10 == 9 ? uint32_t(1 + i % 4) : 0;  // mostly call records
    int secs = int(i % 86400);
    s.time = {2024, 1 + int(i / 86400) % 12, 1 + int(i / 3000) % 28, secs / 3600, (secs / 60) % 60, secs % 60};
    s.firstPort = 0xFFFF0000u | uint32_t(0x1000 + (i % 0x100));
    s.partnerPort = 0xFFFF2000u;
    s.usedPort = 0xFFFFF901u;
    s.flags = uint32_t((i % 4) << 21) | uint32_t(1 + i % 8);
    s.rawDuration = uint32_t(i % 20000);
    s.crefA = uint32_t(i + 1);
    s.externalPulses = uint16_t(i % 17);
    s.internalPulses = uint16_t(i % 3);
    s.digits1 = "02125550" + std::to_string(i);
    s.digits3 = "0532" + std::to_string(i);
    s.text1 = "Wake up call";
    frames.push_back(buildCmdrFrame(s));
  }
  return frames;
}

struct QuietPane : PaneView {
  size_t lines = 0;
  std::string lastMessage;
  void setCaptionMessage(const std::string& t) override {
    if (!t.empty()) lastMessage = t;
  }
  void tabAdded(int, const std::string&) override {}
  void tabRemoved(int) override {}
  void tabIcon(int, int) override {}
  void lineAppended(int, const std::string&, bool) override { ++lines; }
  void historyChanged() override {}
};

// The exchange: sends the backlog in batches of 100 frames, each after the
// "X" of the one before.
void exchange(int listenFd, const std::vector<CmdrFrame>& frames) {
  int fd = ::accept(listenFd, nullptr, nullptr);
  const size_t batch = 100;
  for (size_t i = 0; i < frames.size(); i += batch) {
    size_t end = std::min(frames.size(), i + batch);
    const char* p = reinterpret_cast<const char*>(frames[i].data());
    size_t left = (end - i) * kCmdrFrameSize;
    while (left > 0) {
      ssize_t n = ::send(fd, p, left, MSG_NOSIGNAL);
      if (n <= 0) return;
      p += n;
      left -= size_t(n);
    }
    char x;
    if (::recv(fd, &x, 1, 0) != 1) return;
  }
  ::shutdown(fd, SHUT_WR);
  char buf[64];
  while (::recv(fd, buf, sizeof buf, 0) > 0) {
  }
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  size_t backlog = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 100000;
  QCoreApplication app(argc, argv);
  std::vector<CmdrFrame> frames = makeFrames(backlog);

  // Baseline: copying the frames.
  {
    std::vector<CmdrFrame> copy(frames.size());
    auto t0 = Clock::now();
    for (int round = 0; round < 10; ++round) std::memcpy(copy.data(), frames.data(), frames.size() * kCmdrFrameSize);
    auto t1 = Clock::now();
    volatile uint8_t sink = copy.back()[3];
    (void)sink;
    std::printf("memcpy_frames: %.0f frames/s\n", 10.0 * double(frames.size()) / seconds(t0, t1));
  }

  // Checks, decoding and the long line.
  {
    size_t chars = 0;
    auto t0 = Clock::now();
    for (const CmdrFrame& f : frames) {
      if (!cmdrCheckWordOk(f) || !cmdrSumOk(f)) continue;
      CmdrRecord r;
      if (decodeCmdrFrame(f, 0x7F000001, r)) chars += cmdrLineText(r).size();
    }
    auto t1 = Clock::now();
    std::printf("decode_format: %.0f frames/s (baseline: memcpy_frames)\n", double(frames.size()) / seconds(t0, t1));
    if (chars == 0) return 1;
  }

  std::string dir = (std::filesystem::temp_directory_path() / "cmdr_bench.XXXXXX").string();
  if (!::mkdtemp(dir.data())) return 1;

  // The store's plain insert rate: Cdata rows added one by one.
  {
    std::string plainDir = dir + "/plain";
    std::filesystem::create_directory(plainDir);
    RecordStore store;
    if (!store.openMainDatabase(plainDir)) return 1;
    store::DrptCset cs(*store.mainDatabase());
    size_t n = std::min<size_t>(frames.size(), 20000);
    auto t0 = Clock::now();
    for (size_t i = 0; i < n; ++i) {
      CmdrRecord r;
      decodeCmdrFrame(frames[i], 0x7F000001, r);
      cs.add(r);
    }
    auto t1 = Clock::now();
    std::printf("sqlite_plain_insert: %.0f rows/s\n", double(n) / seconds(t0, t1));
  }

  // The duplicate-tested store alone (no socket, no line).
  {
    std::string storeDir = dir + "/store";
    std::filesystem::create_directory(storeDir);
    RecordStore store;
    if (!store.openMainDatabase(storeDir)) return 1;
    size_t n = std::min<size_t>(frames.size(), 20000);
    auto t0 = Clock::now();
    for (size_t i = 0; i < n; ++i) {
      CmdrRecord r;
      decodeCmdrFrame(frames[i], 0x7F000001, r);
      store.store(r);
    }
    auto t1 = Clock::now();
    std::printf("store_cmdr_record: %.0f records/s (baseline: sqlite_plain_insert)\n", double(n) / seconds(t0, t1));
  }

  // The backlog from a TCP peer through the link into SQLite.
  {
    int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(lfd, 1) != 0) return 1;
    ::getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &len);
    std::thread peer(exchange, lfd, std::cref(frames));

    QuietPane pane;
    RecordStore store;
    if (!store.openMainDatabase(dir)) return 1;
    LinkEnvironment env;
    env.workDir = dir;
    env.messageText = linkMessages(englishTexts());
    env.view = &pane;
    // clang-format off
    LinkList links(LinkKind::Cmdr, env,
                   cmdrLinkFactory(net::qtStreamTransportFactory(), store));
    // clang-format on
    auto t0 = Clock::now();
    links.openLink("127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
    auto* link = static_cast<CmdrLink*>(links.link(0));
    while (link && link->state() != CmdrState::Closed && link->state() != CmdrState::Failed)
      app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    auto t1 = Clock::now();
    peer.join();
    ::close(lfd);
    std::printf("tcp_check_decode_line_store: %.0f frames/s (baseline: sqlite_plain_insert)\n",
                double(frames.size()) / seconds(t0, t1));
    std::printf("tcp_backlog_lines: %zu lines\n", pane.lines);
    // The peer closing after the backlog is the expected end.
    if (!pane.lastMessage.empty() && pane.lastMessage != "Socket closed unexpectedly!")
      std::fprintf(stderr, "cmdr_bench: %s\n", pane.lastMessage.c_str());
    links.closeAll();
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
