// End to end over loopback UDP: corvane-sim's monitor role against
// lumarc-cli monitor (the real engine, Qt socket, files and settings).
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "lumarc/links/target.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tools/sim/test_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace lumarc {
namespace {

using corvane::testing::readAll;
using corvane::testing::TempDir;

using Process = testproc::ChildProcess;
using testproc::waitFor;
constexpr auto binary = testproc::programPath;

int countLinesStartingWith(const std::string& text, const std::string& prefix) {
  int n = 0;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(prefix, 0) == 0) ++n;
  return n;
}

struct Session {
  TempDir dir;
  std::unique_ptr<Process> sim;
  std::unique_ptr<Process> cli;
  std::string port;

  bool startSim(std::vector<std::string> args) {
    std::vector<std::string> argv = {binary("CORVANE_SIM"), "--listen", "127.0.0.1", "monitor", "--any-port"};
    argv.insert(argv.end(), args.begin(), args.end());
    sim = std::make_unique<Process>(argv, dir.path() + "/sim.err");
    if (!sim->ok()) return false;
    port = testproc::listeningPort(*sim, 60);
    return !port.empty();
  }
  void startCli(const std::string& address, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {binary("LUMARC_CLI"), "--dir", dir.path(), "monitor", address};
    argv.insert(argv.end(), extra.begin(), extra.end());
    cli = std::make_unique<Process>(argv, dir.path() + "/cli.err");
  }
  std::string cliErrors() const { return readAll(dir.path() + "/cli.err"); }
};

TEST(MonitorEndToEnd, RecordsArriveOnceDespiteLostCorruptRepeatedAndForeignOnes) {
  Session s;
  ASSERT_TRUE(s.startSim({"--password", "secret12", "--access", "12AB=0x42", "--count", "6", "--resend", "300",
                          "--lose", "2", "--corrupt", "3", "--repeat", "4", "--foreign", "5", "--exit-on-logout"}));
  s.startCli("127.0.0.1:" + s.port + ",secret12-12AB");
  ASSERT_TRUE(s.cli->ok());
  ASSERT_TRUE(waitFor([&] { return s.sim->printed("done") || !s.cli->running(); })) << s.sim->output();
  ASSERT_TRUE(s.sim->printed("done")) << s.sim->output() << s.cliErrors();
  EXPECT_TRUE(s.sim->printed("login ok"));
  EXPECT_TRUE(s.sim->printed("access 12AB hpidx 66"));
  EXPECT_TRUE(s.sim->printed("resent 2")) << "a lost record is sent again";
  EXPECT_TRUE(s.sim->printed("resent 3")) << "a corrupted record is dropped and sent again";

  s.cli->signal(SIGINT);
  EXPECT_EQ(s.cli->wait(), 0) << s.cliErrors();
  EXPECT_TRUE(waitFor([&] { return !s.sim->running(); })) << "the simulator ends on the logout";
  EXPECT_TRUE(s.sim->printed("logout"));
  EXPECT_EQ(s.sim->status(), 0);

  // Every record shown exactly once, records of the other hpidx never.
  const std::string& out = s.cli->output();
  EXPECT_EQ(countLinesStartingWith(out, " 0042 "), 6) << out;
  EXPECT_EQ(countLinesStartingWith(out, " 0043 "), 0);
  EXPECT_NE(out.find("SETUP"), std::string::npos);

  // The log holds its header and exactly the printed lines, CR LF ended.
  std::string log = readAll(s.dir.path() + "/logM00.txt");
  ASSERT_NE(log.find("\r\n"), std::string::npos);
  EXPECT_EQ(log.substr(0, log.find(' ')), s.dir.path() + "/logM00.txt");
  std::string body = log.substr(log.find("\r\n") + 2);
  std::string lf;
  for (size_t i = 0; i < body.size(); ++i)
    if (!(body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n')) lf.push_back(body[i]);
  EXPECT_EQ(lf, out);

  // The frame file keeps the six frames for a later decode.
  std::string frames = readAll(s.dir.path() + "/logM00.frm");
  EXPECT_EQ(countLinesStartingWith(frames, "0042 10 "), 6);

  // The monitor history now starts with this exchange.
  SettingsBlock settings;
  ASSERT_TRUE(loadSettings(settings, s.dir.path()));
  ConnectionTarget first = settings.history(LinkKind::Monitor).slot(0);
  EXPECT_EQ(first.hostText(), "127.0.0.1");
  EXPECT_EQ(first.accessCodeText(), "    12AB");
}

TEST(MonitorEndToEnd, WrongPasswordIsRefused) {
  Session s;
  ASSERT_TRUE(s.startSim({"--password", "secret12", "--access", "12AB"}));
  s.startCli("127.0.0.1:" + s.port + ",wrong-12AB");
  EXPECT_EQ(s.cli->wait(), 1);
  EXPECT_EQ(s.cliErrors(), "Corvane refused connection. Press OK!\n");
  EXPECT_TRUE(s.sim->printed("login refused: wrong digest"));
  EXPECT_EQ(s.cli->output(), "");
}

TEST(MonitorEndToEnd, UnknownAccessCodeIsReported) {
  Session s;
  ASSERT_TRUE(s.startSim({"--access", "12AB"}));
  s.startCli("127.0.0.1:" + s.port + "-99");
  EXPECT_EQ(s.cli->wait(), 1);
  EXPECT_EQ(s.cliErrors(), "Port access code not found!\n");
  EXPECT_TRUE(s.sim->printed("access unknown 99"));
}

TEST(MonitorEndToEnd, RunForSecondsEndsWithALogout) {
  Session s;
  ASSERT_TRUE(s.startSim({"--silence", "--exit-on-logout"}));
  s.startCli("127.0.0.1:" + s.port, {"--for", "1"});
  EXPECT_EQ(s.cli->wait(), 0) << s.cliErrors();
  EXPECT_TRUE(waitFor([&] { return !s.sim->running(); }));
  EXPECT_TRUE(s.sim->printed("logout"));
}

TEST(MonitorEndToEnd, UnusableAddressOpensNothing) {
  Session s;
  s.startCli("localhost:9876");
  EXPECT_EQ(s.cli->wait(), 1);
  EXPECT_NE(s.cliErrors().find("names no usable host"), std::string::npos);
}

TEST(MonitorEndToEnd, FrameFileDecodesToTheSameLines) {
  Session s;
  ASSERT_TRUE(s.startSim({"--count", "3", "--exit-on-logout"}));
  s.startCli("127.0.0.1:" + s.port);
  ASSERT_TRUE(waitFor([&] { return s.sim->printed("done"); })) << s.sim->output();
  s.cli->signal(SIGTERM);
  ASSERT_EQ(s.cli->wait(), 0);
  Process decode({binary("LUMARC_CLI"), "decode", s.dir.path() + "/logM00.frm"}, s.dir.path() + "/decode.err");
  int rc = decode.wait();
  if (readAll(s.dir.path() + "/decode.err").find("unknown command") != std::string::npos)
    GTEST_SKIP() << "no decode command in this build";
  EXPECT_EQ(rc, 0) << readAll(s.dir.path() + "/decode.err");
  EXPECT_EQ(decode.output(), s.cli->output());
}

TEST(MonitorEndToEnd, RecordedFramesReplayedByTheSimulatorShowTheSameLines) {
  Session first;
  ASSERT_TRUE(first.startSim({"--count", "4", "--exit-on-logout"}));
  first.startCli("127.0.0.1:" + first.port);
  ASSERT_TRUE(waitFor([&] { return first.sim->printed("done"); })) << first.sim->output();
  first.cli->signal(SIGTERM);
  ASSERT_EQ(first.cli->wait(), 0);

  Session second;
  ASSERT_TRUE(second.startSim({"--file", first.dir.path() + "/logM00.frm", "--exit-on-logout"}));
  second.startCli("127.0.0.1:" + second.port);
  ASSERT_TRUE(waitFor([&] { return second.sim->printed("done"); })) << second.sim->output();
  second.cli->signal(SIGTERM);
  ASSERT_EQ(second.cli->wait(), 0);
  EXPECT_EQ(second.cli->output(), first.cli->output());
  // The same frames, under each session's own header line.
  auto framesOf = [](const Session& s) {
    std::string text = readAll(s.dir.path() + "/logM00.frm");
    return text.substr(text.find('\n') + 1);
  };
  EXPECT_EQ(framesOf(second), framesOf(first));
}

TEST(MonitorEndToEnd, CollectRunsTheMonitorLinkBesideItsOtherLinksAndLogsOutOnSigterm) {
  Session s;
  ASSERT_TRUE(s.startSim({"--password", "secret12", "--access", "12AB=0x42", "--count", "5", "--resend", "300",
                          "--lose", "2", "--repeat", "3", "--exit-on-logout"}));
  Process init({binary("LUMARC_CLI"), "--dir", s.dir.path(), "db", "init"}, s.dir.path() + "/init.err");
  ASSERT_EQ(init.wait(), 0) << readAll(s.dir.path() + "/init.err");
  s.cli = std::make_unique<Process>(std::vector<std::string>{binary("LUMARC_CLI"), "--dir", s.dir.path(), "collect",
                                                             "--monitor", "127.0.0.1:" + s.port + ",secret12-12AB"},
                                    s.dir.path() + "/cli.err");
  ASSERT_TRUE(waitFor([&] { return s.sim->printed("done") || !s.cli->running(); })) << s.sim->output();
  ASSERT_TRUE(s.sim->printed("done")) << s.sim->output() << s.cliErrors();
  s.cli->signal(SIGTERM);
  EXPECT_EQ(s.cli->wait(), 0) << s.cliErrors();
  EXPECT_TRUE(waitFor([&] { return !s.sim->running(); })) << "collect logs the monitor link out";
  EXPECT_TRUE(s.sim->printed("logout"));
  // Each record once on the console and once in the frame file.
  EXPECT_EQ(countLinesStartingWith(s.cli->output(), " 0042 "), 5) << s.cli->output();
  EXPECT_EQ(countLinesStartingWith(readAll(s.dir.path() + "/logM00.frm"), "0042 10 "), 5);
  SettingsBlock settings;
  ASSERT_TRUE(loadSettings(settings, s.dir.path()));
  EXPECT_EQ(settings.history(LinkKind::Monitor).slot(0).hostText(), "127.0.0.1");
}

}  // namespace
}  // namespace lumarc
