// End to end: corvane-sim's cmdr role on 127.0.0.1 against the real CMDR
// link, its Qt socket and the SQLite record store; and lumarc-cli collect
// against the same simulator.
#include "common/files.h"
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/cmdr_frame.h"
#include "lumarc/links/cmdr_line.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/net/stream_socket.h"
#include "lumarc/store/database.h"
#include "lumarc/store/record_store.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include "tools/sim/test_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace lumarc {
namespace {

QCoreApplication& app() {
  static int argc = 1;
  static char name[] = "tools_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication a(argc, argv);
  return a;
}

using Child = testproc::ChildProcess;
constexpr auto binary = testproc::programPath;

// Runs the event loop until done() holds; gives up after a generous while so
// that a fault shows as a failed expectation instead of a hang.
bool runUntil(const std::function<bool()>& done) {
  auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    app().processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

using corvane::testing::TempDir;

struct NullPane : PaneView {
  std::vector<std::string> captions, lines;
  void setCaptionMessage(const std::string& t) override {
    if (!t.empty()) captions.push_back(t);
  }
  void tabAdded(int, const std::string&) override {}
  void tabRemoved(int) override {}
  void tabIcon(int, int) override {}
  void lineAppended(int, const std::string& l, bool) override { lines.push_back(l); }
  void historyChanged() override {}
};

std::string simPort(Child& sim) { return testproc::listeningPort(sim, 60); }

std::vector<CmdrRecord> storedRows(RecordStore& store) {
  std::vector<CmdrRecord> rows;
  store::DrptCset cs(*store.mainDatabase());
  cs.open();
  CmdrRecord r;
  while (cs.next(r)) rows.push_back(r);
  return rows;
}

std::vector<UserRecord> users(RecordStore& store) {
  std::vector<UserRecord> rows;
  store::DrptPset ps(*store.mainDatabase());
  ps.open();
  UserRecord r;
  while (ps.next(r)) rows.push_back(r);
  return rows;
}

struct Collector {
  TempDir dir;
  NullPane pane;
  RecordStore store;
  std::unique_ptr<LinkList> links;
  Collector() {
    store.openMainDatabase(dir.path());
    LinkEnvironment env;
    env.workDir = dir.path();
    env.messageText = linkMessages(englishTexts());
    env.view = &pane;
    links = std::make_unique<LinkList>(LinkKind::Cmdr, env, cmdrLinkFactory(net::qtStreamTransportFactory(), store));
  }
  CmdrLink* link() { return static_cast<CmdrLink*>(links->link(0)); }
};

TEST(CmdrEndToEnd, ResentFramesAfterADroppedLineAreStoredOnceAndChargedOnce) {
  app();
  const int kFrames = 24;
  // clang-format off
  Child sim({binary("CORVANE_SIM"), "cmdr", "--any-port", "--count", std::to_string(kFrames), "--batch", "4",
             "--split", "70", "--drop-after", "7"});
  // clang-format on
  ASSERT_TRUE(sim.ok());
  std::string port = simPort(sim);
  ASSERT_FALSE(port.empty()) << sim.output();
  Collector c;
  ASSERT_TRUE(c.store.mainOpen());
  ASSERT_EQ(c.links->openLink("127.0.0.1:" + port), 0);
  // The simulator drops the line after frame 7, in the middle of its second batch.
  ASSERT_TRUE(runUntil([&] { return c.link()->state() == CmdrState::Closed; }));
  EXPECT_EQ(c.pane.captions.back(), "Socket closed unexpectedly!");
  for (int i = 0; i < 3000; ++i) c.links->tick();  // 300 s later
  ASSERT_TRUE(runUntil([&] { return sim.printed("done"); })) << sim.output();
  EXPECT_EQ(c.link()->state(), CmdrState::Connected);

  // Every call record exactly once, with the charge pulses of each charged once.
  std::map<uint32_t, int> callRows;
  uint64_t external = 0, internal = 0;
  for (const CmdrRecord& r : storedRows(c.store))
    if (r.type == "A") ++callRows[r.crefa];
  // Call records are frames 1, 7, 13, 19 of the series (crefa = frame number).
  std::map<uint32_t, int> wantRows;
  for (int i = 0; i < kFrames; i += 6) wantRows[uint32_t(i + 1)] = 1;
  EXPECT_EQ(callRows, wantRows);
  // Frame 7 was handled before the line dropped and came again afterwards:
  // shown twice, stored once.
  EXPECT_NE(sim.output().find("dropping the line"), std::string::npos);
  for (const CmdrRecord& r : storedRows(c.store)) {
    if (r.type == "A" && r.crefa == 7) {
      EXPECT_EQ(std::count(c.pane.lines.begin(), c.pane.lines.end(), cmdrLineText(r)), 2);
    }
  }
  for (const UserRecord& u : users(c.store)) {
    external += u.pra0 + u.pra1 + u.pra2 + u.pra3;
    internal += u.ppa0 + u.ppa1 + u.ppa2 + u.ppa3;
  }
  uint64_t wantExternal = 0, wantInternal = 0;
  for (const CmdrRecord& r : storedRows(c.store))
    if (r.type == "A") {
      wantExternal += r.rpuls;
      wantInternal += r.ppuls;
    }
  EXPECT_EQ(external, wantExternal);
  EXPECT_EQ(internal, wantInternal);
  EXPECT_GT(wantExternal, 0u);
}

TEST(CmdrEndToEnd, CorruptedFrameStopsTheLinkAndStoresNothingWrong) {
  app();
  Child sim({binary("CORVANE_SIM"), "cmdr", "--any-port", "--count", "8", "--batch", "4", "--bad-check", "3"});
  std::string port = simPort(sim);
  ASSERT_FALSE(port.empty()) << sim.output();
  Collector c;
  ASSERT_EQ(c.links->openLink("127.0.0.1:" + port), 0);
  ASSERT_TRUE(runUntil([&] { return c.link()->state() == CmdrState::Failed; }));
  EXPECT_EQ(c.pane.captions.back(), "Received data format faulty!");
  ASSERT_TRUE(runUntil([&] { return sim.printed("closed"); }));
  // The two good frames may arrive in a receive pass of their own and be
  // acknowledged before the bad one comes: what must hold is that nothing
  // from the bad frame on is stored.
  std::string types;
  for (const CmdrRecord& r : storedRows(c.store)) types += r.type;
  EXPECT_EQ(types, "AB");
  for (int i = 0; i < 5000; ++i) c.links->tick();
  EXPECT_EQ(c.link()->state(), CmdrState::Failed);
}

TEST(CmdrEndToEnd, FramesFromAHexFileAreSentAsTheyAre) {
  app();
  TempDir files;
  CmdrFrameFields a;
  a.kind = 0;
  a.crefA = 77;
  a.firstPort = 0xFFFF4321;
  CmdrFrameFields b;
  b.kind = 1;
  b.text1 = "Power up";
  std::string hex = "# two frames\n";
  for (const CmdrFrameFields* s : {&a, &b}) {
    CmdrFrame f = buildCmdrFrame(*s);
    for (size_t i = 0; i < f.size(); ++i) {
      char h[3];
      std::snprintf(h, sizeof h, "%02x", f[i]);
      hex += h;
      if (i % 32 == 31) hex += ' ';
    }
    hex += "\n";
  }
  std::string path = files.path() + "/frames.hex";
  ASSERT_TRUE(corvane::writeFileAtomic(path, hex, 0644));
  Child sim({binary("CORVANE_SIM"), "cmdr", "--any-port", "--file", path, "--join"});
  std::string port = simPort(sim);
  ASSERT_FALSE(port.empty()) << sim.output();
  Collector c;
  ASSERT_EQ(c.links->openLink("127.0.0.1:" + port), 0);
  ASSERT_TRUE(runUntil([&] { return sim.printed("done"); })) << sim.output();
  std::vector<CmdrRecord> rows = storedRows(c.store);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].crefa, 77u);
  EXPECT_EQ(rows[0].cport, "    4321");
  EXPECT_EQ(rows[1].rdata.substr(0, 9), "Power up ");
}

TEST(CmdrEndToEnd, WrongSumByteOrEndMarkStopsTheLink) {
  app();
  for (const char* fault : {"--bad-sum", "--bad-end"}) {
    Child sim({binary("CORVANE_SIM"), "cmdr", "--any-port", "--count", "4", fault, "2"});
    std::string port = simPort(sim);
    ASSERT_FALSE(port.empty()) << sim.output();
    Collector c;
    ASSERT_EQ(c.links->openLink("127.0.0.1:" + port), 0);
    ASSERT_TRUE(runUntil([&] { return c.link()->state() == CmdrState::Failed; })) << fault;
    EXPECT_EQ(c.pane.captions.back(), "Received data format faulty!") << fault;
    EXPECT_EQ(storedRows(c.store).size(), 1u) << fault;
  }
}

TEST(CollectCommand, PrintsTheLinesStoresTheRecordsAndEndsCleanlyOnSigterm) {
  TempDir dir;
  Child sim({binary("CORVANE_SIM"), "cmdr", "--any-port", "--count", "12", "--join"});
  std::string port = simPort(sim);
  ASSERT_FALSE(port.empty()) << sim.output();
  Child cli({binary("LUMARC_CLI"), "--dir", dir.path(), "collect", "--cmdr", "127.0.0.1:" + port});
  ASSERT_TRUE(cli.ok());
  auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!sim.printed("done") && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(sim.printed("done")) << sim.output();
  cli.signal(SIGTERM);
  EXPECT_EQ(cli.wait(), 0);
  // 12 frames: A-F twice; F is not shown.
  std::vector<std::string> lines;
  std::string out = cli.output(), line;
  for (char ch : out) {
    if (ch == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += ch;
    }
  }
  ASSERT_EQ(lines.size(), 10u) << out;
  EXPECT_EQ(lines[0].substr(0, 12), "*    PlDynm ");
  EXPECT_EQ(lines[3].substr(0, 12), "D Malicious ");
  // Log file and settings as the window program writes them.
  std::string log = corvane::readFileBytes(dir.path() + "/logC00.txt").value_or("");
  EXPECT_NE(log.find(lines[9] + "\r\n"), std::string::npos);
  SettingsBlock s;
  ASSERT_TRUE(loadSettings(s, dir.path()));
  EXPECT_EQ(s.history(LinkKind::Cmdr).slot(0), parseAddressText("127.0.0.1:" + port));
  RecordStore store;
  ASSERT_TRUE(store.openMainDatabase(dir.path()));
  EXPECT_EQ(storedRows(store).size(), 10u);
}

TEST(CollectCommand, EndsAfterTheGivenSecondsEvenWithoutAnExchange) {
  TempDir dir;
  Child cli({binary("LUMARC_CLI"), "--dir", dir.path(), "collect", "--cmdr", "127.0.0.1:1", "--for", "0.5"});
  EXPECT_EQ(cli.wait(), 0);
  EXPECT_NE(cli.output().find("Socket opening fault!"), std::string::npos);
}

TEST(CollectCommand, AddressThatOpensNothingIsAnError) {
  TempDir dir;
  Child cli({binary("LUMARC_CLI"), "--dir", dir.path(), "collect", "--cmdr", "localhost", "--for", "1"});
  EXPECT_EQ(cli.wait(), 1);
}

}  // namespace
}  // namespace lumarc
