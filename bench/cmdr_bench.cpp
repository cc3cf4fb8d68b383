// CMDR download speed: frames checked, decoded and turned into their line;
// and a backlog of frames from a TCP peer on 127.0.0.1 through the link, its
// Qt socket and the duplicate-tested store into SQLite. Baselines from the
// same run: copying the frames, and the store's plain insert rate.
// The same backlog into PostgreSQL (LUMARC_TEST_PG, else a throwaway
// server): one collector, then two collectors (processes of their own) at
// once, the charge counters checked exact at the end.
// Usage: cmdr_bench [BACKLOG_FRAMES]   (default 100000)
// Environment: CMDR_BENCH_PG_FRAMES (frames per collector, default 50000),
// CMDR_BENCH_SKIP_PG=1.
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/cmdr_frame.h"
#include "lumarc/links/cmdr_line.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/net/stream_socket.h"
#include "lumarc/store/database.h"
#include "lumarc/store/record_store.h"
#include "bench/bench_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>

#include <chrono>
#include <ctime>
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

std::vector<CmdrFrame> makeFrames(size_t n, uint32_t crefOffset = 0) {
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
    s.crefA = crefOffset + uint32_t(i + 1);
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

// What a backlog run measured.
struct Backlog {
  bool ok = false;
  double framesPerSecond = 0, framesPerCpuSecond = 0;
  size_t lines = 0;
};

double cpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The backlog from a TCP peer on loopback through the link into the main
// database: the server of `conn`, else an SQLite file in `dir`.
Backlog tcpBacklog(QCoreApplication& app, const std::vector<CmdrFrame>& frames, const std::string& dir,
                   const std::string& conn) {
  Backlog result;
  int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(lfd, 1) != 0) return result;
  ::getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &len);
  QuietPane pane;
  RecordStore store;
  if (!store.openMainDatabase(dir, conn)) {
    ::close(lfd);
    return result;
  }
  std::thread peer(exchange, lfd, std::cref(frames));
  LinkEnvironment env;
  env.workDir = dir;
  env.messageText = linkMessages(englishTexts());
  env.view = &pane;
  LinkList links(LinkKind::Cmdr, env, cmdrLinkFactory(net::qtStreamTransportFactory(), store));
  auto t0 = Clock::now();
  const double c0 = cpuNow();
  links.openLink("127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
  auto* link = static_cast<CmdrLink*>(links.link(0));
  while (link && link->state() != CmdrState::Closed && link->state() != CmdrState::Failed)
    app.processEvents(QEventLoop::WaitForMoreEvents, 50);
  auto t1 = Clock::now();
  const double c1 = cpuNow();
  peer.join();
  ::close(lfd);
  result.ok = true;
  result.framesPerSecond = double(frames.size()) / seconds(t0, t1);
  result.framesPerCpuSecond = double(frames.size()) / (c1 - c0);
  result.lines = pane.lines;
  // The peer closing after the backlog is the expected end.
  if (!pane.lastMessage.empty() && pane.lastMessage != "Socket closed unexpectedly!")
    std::fprintf(stderr, "cmdr_bench: %s\n", pane.lastMessage.c_str());
  links.closeAll();
  return result;
}

// What the records of some frames charge: calls stored and pulses.
struct Charges {
  int64_t records = 0, external = 0, internal = 0;
};
Charges chargesOf(const std::vector<CmdrFrame>& frames) {
  Charges c;
  for (const CmdrFrame& f : frames) {
    CmdrRecord r;
    if (!decodeCmdrFrame(f, 0x7F000001, r) || cmdrLineText(r).empty()) continue;
    ++c.records;
    if (r.type == "A" && !r.cport.empty() && r.cport.find_first_not_of(' ') != std::string::npos) {
      c.external += r.rpuls;
      c.internal += r.ppuls;
    }
  }
  return c;
}

// A schema of its own on the server for one figure.
std::string freshSchema(const std::string& server, const std::string& name) {
  store::Database admin(server);
  admin.connection().execute("DROP SCHEMA IF EXISTS " + name + " CASCADE");
  admin.connection().execute("CREATE SCHEMA " + name);
  std::string conn = server;
  if (conn.back() != ';') conn += ';';
  return conn + "ConnSettings={SET search_path TO " + name + "};";
}

// What the main database holds: records, and the pulses charged to users.
Charges stored(const std::string& conn) {
  store::Database db(conn);
  odbc::Statement q(db.connection());
  q.executeDirect(
      "SELECT (SELECT COUNT(*) FROM Cdata), (SELECT SUM(pra0 + pra1 + pra2 + pra3) FROM Pdata), "
      "(SELECT SUM(ppa0 + ppa1 + ppa2 + ppa3) FROM Pdata)");
  Charges c;
  std::string v;
  if (q.fetch()) {
    if (q.getText(1, v)) c.records = std::atoll(v.c_str());
    if (q.getText(2, v)) c.external = std::atoll(v.c_str());
    if (q.getText(3, v)) c.internal = std::atoll(v.c_str());
  }
  q.closeCursor();
  return c;
}

// One collector of the two-collector figure, in a process of its own:
// prints its frames per second.
int collector(QCoreApplication& app, const std::string& conn, size_t frames, uint32_t offset) {
  std::string dir = (std::filesystem::temp_directory_path() / "cmdr_bench_c.XXXXXX").string();
  if (!::mkdtemp(dir.data())) return 1;
  const Backlog b = tcpBacklog(app, makeFrames(frames, offset), dir, conn);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  if (!b.ok) return 1;
  std::printf("%.1f\n", b.framesPerSecond);
  return 0;
}

void postgres(QCoreApplication& app, const char* self) {
  bench::PgServer pg;
  if (!pg.start()) {
    std::printf("tcp_backlog_pg: 0 frames/s (no PostgreSQL server)\n");
    return;
  }
  const size_t n = size_t(
      std::strtoul(std::getenv("CMDR_BENCH_PG_FRAMES") ? std::getenv("CMDR_BENCH_PG_FRAMES") : "50000", nullptr, 10));
  const std::string tag = std::to_string(::getpid());
  try {
    // One collector.
    {
      const std::string conn = freshSchema(pg.conn, "cmdr_bench_one_" + tag);
      std::string dir = bench::tempDir("cmdr-pg");
      const std::vector<CmdrFrame> frames = makeFrames(n);
      const Backlog b = tcpBacklog(app, frames, dir, conn);
      bench::rmrf(dir);
      const Charges want = chargesOf(frames), got = stored(conn);
      std::printf("tcp_backlog_pg: %.0f frames/s (baseline: tcp_check_decode_line_store)\n", b.framesPerSecond);
      std::printf("tcp_backlog_pg_cpu: %.0f frames/s (this process only; the server's time is not in it)\n",
                  b.framesPerCpuSecond);
      std::printf("tcp_backlog_pg_exact: %s\n",
                  want.records == got.records && want.external == got.external && want.internal == got.internal
                      ? "yes"
                      : "NO: records, pulses differ from what was sent");
      std::fflush(stdout);
    }
    // Two collectors at once, each with calls of its own, charging the
    // same users.
    {
      const std::string conn = freshSchema(pg.conn, "cmdr_bench_two_" + tag);
      {  // the schema's tables exist before the two start
        RecordStore rs;
        rs.openMainDatabase("/nonexistent", conn);
      }
      auto t0 = Clock::now();
      pid_t kids[2];
      int outs[2];
      for (int k = 0; k < 2; ++k) {
        int p[2];
        if (::pipe(p) != 0) return;
        kids[k] = ::fork();
        if (kids[k] == 0) {
          ::dup2(p[1], 1);
          ::close(p[0]);
          ::close(p[1]);
          const std::string offset = std::to_string(k * 10000000);
          const std::string count = std::to_string(n);
          ::execl(self, self, "--collector", conn.c_str(), count.c_str(), offset.c_str(), static_cast<char*>(nullptr));
          ::_exit(127);
        }
        ::close(p[1]);
        outs[k] = p[0];
      }
      bool ok = true;
      for (int k = 0; k < 2; ++k) {
        std::string out;
        char buf[256];
        ssize_t got;
        while ((got = ::read(outs[k], buf, sizeof buf)) > 0) out.append(buf, size_t(got));
        ::close(outs[k]);
        int status = 0;
        ::waitpid(kids[k], &status, 0);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
      auto t1 = Clock::now();
      Charges want = chargesOf(makeFrames(n, 0)), other = chargesOf(makeFrames(n, 10000000));
      want.records += other.records;
      want.external += other.external;
      want.internal += other.internal;
      const Charges got = stored(conn);
      std::printf("tcp_backlog_pg_two_collectors: %.0f frames/s (baseline: tcp_backlog_pg)\n",
                  ok ? double(2 * n) / seconds(t0, t1) : 0.0);
      std::printf("tcp_backlog_pg_two_collectors_exact: %s\n",
                  ok && want.records == got.records && want.external == got.external && want.internal == got.internal
                      ? "yes"
                      : "NO: records, pulses differ from what was sent");
    }
    store::Database admin(pg.conn);
    admin.connection().execute("DROP SCHEMA cmdr_bench_one_" + tag + " CASCADE");
    admin.connection().execute("DROP SCHEMA cmdr_bench_two_" + tag + " CASCADE");
  } catch (const std::exception& e) {
    std::printf("tcp_backlog_pg: 0 frames/s (%s)\n", e.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc == 5 && std::string(argv[1]) == "--collector")
    return collector(app, argv[2], size_t(std::strtoul(argv[3], nullptr, 10)),
                     uint32_t(std::strtoul(argv[4], nullptr, 10)));
  size_t backlog = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 100000;
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
    const Backlog b = tcpBacklog(app, frames, dir, {});
    if (!b.ok) return 1;
    std::printf("tcp_check_decode_line_store: %.0f frames/s (baseline: sqlite_plain_insert)\n", b.framesPerSecond);
    std::printf("tcp_check_decode_line_store_cpu: %.0f frames/s\n", b.framesPerCpuSecond);
    std::printf("tcp_backlog_lines: %zu lines\n", b.lines);
  }
  std::fflush(stdout);
  if (!std::getenv("CMDR_BENCH_SKIP_PG")) postgres(app, argv[0]);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
