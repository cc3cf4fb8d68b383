// A monitor link whose frame file or capture file stops taking frames, over
// loopback UDP against corvane-sim's monitor role: the pane hears of it once
// with the file and the cause, and once more with the count of frames lost
// when the file takes them again; the records are acknowledged throughout.
// Once in this program with injected write failures, once with lumarc-cli
// monitor on a small tmpfs that fills up.
#include "common/fault_seam.h"
#include "common/test_support.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/monitor_link.h"
#include "lumarc/links/net/datagram_socket.h"
#include "tools/cli/pcap_output.h"
#include "tools/sim/test_process.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using corvane::testing::readAll;
using corvane::testing::TempDir;
using Process = testproc::ChildProcess;
using testproc::waitFor;
constexpr auto binary = testproc::programPath;

// The one application object the Qt sockets need; the one another test made
// when there is one.
void ensureApp() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "tools_test";
  static char* argv[] = {name, nullptr};
  new QCoreApplication(argc, argv);
}

class Captions : public PaneView {
 public:
  std::vector<std::string> said;
  void setCaptionMessage(const std::string& t) override {
    if (!t.empty()) said.push_back(t);
  }
  void tabAdded(int, const std::string&) override {}
  void tabRemoved(int) override {}
  void tabIcon(int, int) override {}
  void lineAppended(int, const std::string&, bool) override {}
  void historyChanged() override {}
};

int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

int frameLines(const std::string& path) {
  std::istringstream in(readAll(path));
  int n = 0;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') ++n;
  return n;
}

// The block types of a pcapng file in order; empty when a block is cut.
std::vector<uint32_t> pcapngBlocks(const std::string& bytes) {
  std::vector<uint32_t> types;
  size_t at = 0;
  while (at + 12 <= bytes.size()) {
    uint32_t type, length;
    std::memcpy(&type, bytes.data() + at, 4);
    std::memcpy(&length, bytes.data() + at + 4, 4);
    if (length < 12 || at + length > bytes.size()) return {};
    types.push_back(type);
    at += length;
  }
  return at == bytes.size() ? types : std::vector<uint32_t>{};
}

std::unique_ptr<Process> startSim(const TempDir& dir, int count, int intervalMs, std::string& port) {
  auto sim = std::make_unique<Process>(
      std::vector<std::string>{binary("CORVANE_SIM"), "--listen", "127.0.0.1", "monitor", "--any-port", "--password",
                               "secret12", "--access", "12AB=0x42", "--count", std::to_string(count), "--interval",
                               std::to_string(intervalMs), "--resend", "3000"},
      dir.file("sim.err"));
  port = sim->ok() ? testproc::listeningPort(*sim, 60) : "";
  return sim;
}

TEST(MonitorLogFiles, AFileThatStopsTakingFramesIsShownOnceAndAgainWithTheLostCountWhenItTakesThemAgain) {
  if (binary("CORVANE_SIM").empty()) GTEST_SKIP() << "CORVANE_SIM not set";
  ensureApp();
  using corvane::fault::Point;
  struct Case {
    const char* name;
    const char* failing;  // the file the writes fail for
    int nth, times;       // which of its writes fail
    int lost;             // frames it misses
  };
  // The frame file's first write is its header. The capture's first record
  // brings its interface description: lost with it, it goes in before the
  // next packet that fits.
  // clang-format off
  const Case cases[] = {
      {"frame file", "logM00.frm",     4, 3, 3},
      {"capture",    "session.pcapng", 1, 3, 2},
  };
  // clang-format on
  constexpr int kRecords = 8;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::string port;
    auto sim = startSim(dir, kRecords, 20, port);
    ASSERT_FALSE(port.empty()) << readAll(dir.file("sim.err"));

    cli::PcapOutput pcap("tools_test");
    const std::string capture = dir.file("session.pcapng");
    ASSERT_TRUE(pcap.open(capture, false, true));
    Captions pane;
    LinkEnvironment env;
    env.workDir = dir.path();
    env.messageText = linkMessages(textsFor(0));
    env.view = &pane;
    MonitorLinkSetup setup;
    setup.makeSocket = net::qtDatagramTransportFactory();
    setup.recordArrived = [&pcap](const MonitorLink& link, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame) {
      const CaptureSource source{link.target().hostText(), cli::captureAccessCode(link.target().accessCodeText())};
      const std::optional<std::string> failure = pcap.write(source, hpidx, ptyp, frame, cli::nowMicros());
      return MonitorRecordKept{pcap.path(), !failure, failure.value_or("")};
    };
    LinkList links(LinkKind::Monitor, env, monitorLinkFactory(setup));

    corvane::fault::Guard guard;
    corvane::fault::Injected full;
    full.errnum = ENOSPC;
    full.only = c.failing;
    corvane::fault::arm(Point::FileWrite, c.nth, full, c.times);
    ASSERT_EQ(links.openLink("127.0.0.1:" + port + ",secret12-12AB"), 0);
    QElapsedTimer clock, tick;
    clock.start();
    tick.start();
    while (!sim->printed("done") && clock.elapsed() < 60000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      if (tick.elapsed() >= 100) {
        tick.restart();
        links.tick();
      }
    }
    corvane::fault::disarm();
    links.closeAll();

    const std::string simOut = sim->output();
    ASSERT_TRUE(sim->printed("done")) << simOut;
    EXPECT_EQ(countOf(simOut, "resent"), 0) << "a record was not acknowledged at once:\n" << simOut;
    const std::string shown = c.failing == std::string("logM00.frm") ? "logM00.frm" : capture;
    const std::vector<std::string> expected = {
        shown + " File access failed! (No space left on device)",
        shown + " File access works again! Frames not written: " + std::to_string(c.lost),
    };
    EXPECT_EQ(pane.said, expected);

    const bool frameFails = shown == "logM00.frm";
    EXPECT_EQ(frameLines(dir.file("logM00.frm")), kRecords - (frameFails ? c.lost : 0));
    EXPECT_EQ(pcap.close(), frameFails) << "a capture with gaps ends as not written whole";
    // Section header, interface description, then a packet per record
    // kept: a capture that reads.
    std::vector<uint32_t> blocks = pcapngBlocks(readAll(capture));
    std::vector<uint32_t> want = {0x0A0D0D0A, 1};
    want.insert(want.end(), size_t(kRecords - (frameFails ? 0 : c.lost)), 6u);
    EXPECT_EQ(blocks, want);
  }
}

// Writes until the file system is full; the bytes written.
long long fill(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  const std::string chunk(4096, 'x');
  long long total = 0;
  for (;;) {
    const ssize_t n = ::write(fd, chunk.data(), chunk.size());
    if (n <= 0) break;
    total += n;
  }
  ::close(fd);
  return total;
}

TEST(MonitorLogFiles, OnAFullDiskLumarcCliSaysWhichFilesLostFramesAndGoesOnAcknowledging) {
  if (binary("CORVANE_SIM").empty() || binary("LUMARC_CLI").empty())
    GTEST_SKIP() << "CORVANE_SIM or LUMARC_CLI not set";
  if (::geteuid() != 0) GTEST_SKIP() << "mounting the small tmpfs this test fills needs root";
  TempDir dir;
  const std::string disk = dir.file("disk");
  ASSERT_EQ(::mkdir(disk.c_str(), 0700), 0);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk};

  constexpr int kRecords = 80;
  std::string port;
  auto sim = startSim(dir, kRecords, 100, port);
  ASSERT_FALSE(port.empty()) << readAll(dir.file("sim.err"));
  const std::string capture = disk + "/session.pcapng";
  const std::string errors = dir.file("cli.err");
  Process cli(
      {binary("LUMARC_CLI"), "--dir", disk, "monitor", "127.0.0.1:" + port + ",secret12-12AB", "--pcap", capture},
      errors);
  ASSERT_TRUE(cli.ok());
  auto acks = [&] { return countOf(sim->output(), "\nack "); };
  ASSERT_TRUE(waitFor([&] { return acks() >= 3 || !cli.running(); })) << sim->output() << readAll(errors);

  const std::string filler = disk + "/filler";
  ASSERT_GT(fill(filler), 0);
  const std::string frameFailed = "logM00.frm File access failed! (No space left on device)";
  const std::string captureFailed = capture + " File access failed! (No space left on device)";
  ASSERT_TRUE(waitFor(
      [&] {
        const std::string e = readAll(errors);
        return (e.find(frameFailed) != std::string::npos && e.find(captureFailed) != std::string::npos) ||
               !cli.running() || sim->printed("done");
      },
      30))
      << readAll(errors);
  // Still acknowledged while nothing can be written.
  const int whileFull = acks();
  ASSERT_TRUE(waitFor([&] { return acks() >= whileFull + 3 || sim->printed("done"); }, 30)) << sim->output();
  ASSERT_FALSE(sim->printed("done")) << "the records ran out before the disk was freed";
  ASSERT_EQ(::unlink(filler.c_str()), 0);

  ASSERT_TRUE(waitFor([&] { return sim->printed("done") || !cli.running(); }, 60)) << sim->output();
  cli.signal(SIGTERM);
  EXPECT_EQ(cli.wait(), 1) << "a capture with gaps ends the run as not written whole";
  const std::string e = readAll(errors);
  EXPECT_EQ(countOf(e, frameFailed), 1) << e;
  EXPECT_EQ(countOf(e, captureFailed), 1) << e;
  EXPECT_EQ(countOf(e, "logM00.frm File access works again! Frames not written: "), 1) << e;
  EXPECT_EQ(countOf(e, capture + " File access works again! Frames not written: "), 1) << e;
  EXPECT_EQ(countOf(sim->output(), "resent"), 0) << sim->output();

  // What the frame file and the capture hold and what they missed add up to
  // every record.
  auto lostIn = [&](const std::string& file) {
    const std::string head = file + " File access works again! Frames not written: ";
    const size_t at = e.find(head);
    return at == std::string::npos ? -1 : std::atoi(e.c_str() + at + head.size());
  };
  EXPECT_EQ(frameLines(disk + "/logM00.frm") + lostIn("logM00.frm"), kRecords);
  const std::vector<uint32_t> blocks = pcapngBlocks(readAll(capture));
  ASSERT_FALSE(blocks.empty()) << "the capture does not read";
  EXPECT_EQ(int(std::count(blocks.begin(), blocks.end(), 6u)) + lostIn(capture), kRecords);
}

}  // namespace
}  // namespace lumarc
