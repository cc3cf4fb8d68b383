// corvane-sim keyset over loopback: first driven by a plain UDP socket
// speaking the keyset's side with the protocol's own builders, then end to
// end against `halvern --headless`, once clean and once with lost frames.
#include "halvern/account.h"
#include "halvern/tarnet_frame.h"

#include "common/test_support.h"
#include "tools/sim/headless_program.h"
#include "tools/sim/test_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

using corvane::testing::readAll;
using corvane::testing::TempDir;
using lumarc::testproc::ChildProcess;
using lumarc::testproc::Program;
using lumarc::testproc::programPath;
using lumarc::testproc::waitFor;
namespace tarnet = halvern::tarnet;

// A loopback address of its own for every run, so parallel runs (and other
// programs on port 9877) never meet.
std::string loopbackAddress(int n) {
  return "127.83." + std::to_string(::getpid() % 250 + 1) + "." + std::to_string(n);
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

halvern::AccountBlock account(const std::string& password) {
  halvern::AccountBlock a;
  a.setAccountId("100");
  a.setAuthId("100");
  a.setPassword(password);
  return a;
}

// The keyset's side: a UDP socket connected to the simulator.
class Keyset {
 public:
  Keyset(const std::string& address, int port) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    peer_ = ntohl(a.sin_addr.s_addr);
    ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  ~Keyset() { ::close(fd_); }
  void send(const std::string& d) { ::send(fd_, d.data(), d.size(), 0); }
  // The next datagram within the time, or nothing.
  std::optional<std::string> receive(int ms = 5000) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return std::nullopt;
    char buf[2048];
    ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    return n < 0 ? std::nullopt : std::optional<std::string>(std::string(buf, size_t(n)));
  }
  void registerWith(const halvern::AccountBlock& a, uint16_t counter) {
    send(halvern::buildRegistrationRequest(a, counter, halvern::PeerAddress::v4(peer_)));
  }

 private:
  int fd_ = -1;
  uint32_t peer_ = 0;
};

TEST(KeysetExchange, OnlyARegistrationSignedWithTheAccountsPasswordIsAccepted) {
  if (programPath("CORVANE_SIM").empty()) GTEST_SKIP() << "corvane-sim not built";
  const std::string host = loopbackAddress(1);
  TempDir dir;
  ChildProcess sim({programPath("CORVANE_SIM"), "--listen", host, "keyset", "--any-port", "--account", "100", "--auth",
                    "100", "--password", "123456789012", "--terminal", "7", "--extension", "4711"},
                   dir.path() + "/log");
  const std::string port = lumarc::testproc::listeningPort(sim);
  ASSERT_FALSE(port.empty()) << sim.output();
  Keyset keyset(host, std::stoi(port));

  struct Case {
    const char* password;
    uint16_t counter;
    bool accepted;
  };
  const Case cases[] = {
      {"123456789013", 1, false},  // wrong password
      {"123456789012", 2, true},
      {"123456789012", 2, false},  // a replayed counter is not taken again
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.password) + " counter " + std::to_string(c.counter));
    keyset.registerWith(account(c.password), c.counter);
    auto reply = keyset.receive(c.accepted || c.counter == 1 ? 5000 : 500);
    if (!c.accepted && c.counter != 1) {
      EXPECT_FALSE(reply) << "a replayed request was answered";
      continue;
    }
    ASSERT_TRUE(reply);
    if (!c.accepted) {
      auto text = halvern::decodeRefusal(halvern::asBytes(*reply));
      ASSERT_TRUE(text) << "no refusal";
      EXPECT_EQ(text->substr(0, 13), "Access denied");
      continue;
    }
    auto accept = halvern::decodeRegistrationAccept(halvern::asBytes(*reply));
    ASSERT_TRUE(accept) << "no accept";
    EXPECT_EQ(accept->terminalId, 7);
    EXPECT_EQ(accept->extension, 0xFFFF4711u);
    EXPECT_EQ(accept->exchangeName, "CORVANE ");
  }
  EXPECT_TRUE(sim.printed("registered 7 counter 2")) << sim.output();
}

// Link ready, a scripted display line and lamp, a key acknowledged and met
// by the script; a frame the keyset says it lacks comes again.
TEST(KeysetExchange, ScriptedDisplayReachesTheKeysetAndItsKeyIsAcknowledged) {
  if (programPath("CORVANE_SIM").empty()) GTEST_SKIP() << "corvane-sim not built";
  const std::string host = loopbackAddress(2);
  TempDir dir;
  writeFile(dir.path() + "/script",
            "# greet, then wait for key 1\n"
            "at 0.2 display 3 \"HELLO\"\n"
            "lamp 7 3\n"
            "expect key 0xFBF7\n"
            "display 3 \"GOT IT\"\n");
  ChildProcess sim({programPath("CORVANE_SIM"), "--listen", host, "keyset", "--any-port", "--script",
                    dir.path() + "/script", "--expect-timeout", "10"},
                   dir.path() + "/log");
  const std::string port = lumarc::testproc::listeningPort(sim);
  ASSERT_FALSE(port.empty()) << sim.output();
  Keyset keyset(host, std::stoi(port));
  keyset.registerWith(account("123456789012"), 1);
  auto accept = keyset.receive();
  ASSERT_TRUE(accept && halvern::decodeRegistrationAccept(halvern::asBytes(*accept)));
  keyset.send(halvern::buildLinkSetup(1));
  auto ready = keyset.receive();
  ASSERT_TRUE(ready);
  auto frame = halvern::decodeExchangeLinkFrame(halvern::asBytes(*ready));
  ASSERT_TRUE(frame && frame->type == tarnet::kLinkReady);

  // The next data frame from the simulator, and the N(R)s seen before it.
  auto nextDataFrame = [&](std::vector<int>& nrs) -> std::optional<std::string> {
    for (int i = 0; i < 10; ++i) {
      auto d = keyset.receive();
      if (!d) return std::nullopt;
      auto f = halvern::decodeExchangeLinkFrame(halvern::asBytes(*d));
      if (!f) continue;
      nrs.push_back(f->nr);
      if (f->type == tarnet::kDataFrame) return d;
    }
    return std::nullopt;
  };
  auto displayText = [](const halvern::ExchangeElement& e) {
    return std::string(reinterpret_cast<const char*>(e.data.data()), e.data.size());
  };

  // Frame 0: display line 3 (pair 1) and the lamp.
  std::vector<int> nrs;
  auto data = nextDataFrame(nrs);
  ASSERT_TRUE(data) << "no display frame";
  frame = halvern::decodeExchangeLinkFrame(halvern::asBytes(*data));
  EXPECT_EQ(frame->low, 0);
  halvern::ExchangeElementReader elements(frame->elements);
  auto display = elements.next();
  ASSERT_TRUE(display && display->kind == halvern::ExchangeElementKind::Display);
  EXPECT_EQ(display->value, 1);
  EXPECT_EQ(displayText(*display), std::string(25, ' ') + "HELLO" + std::string(20, ' '));
  auto lamp = elements.next();
  ASSERT_TRUE(lamp && lamp->kind == halvern::ExchangeElementKind::Lamps);

  // Key 1, acknowledging frame 0. The simulator acknowledges it (alone or
  // on its next frame), and the script goes on to "GOT IT" in frame 1.
  keyset.send(halvern::buildKeysetDataFrame(1, 1, 0, halvern::terminalElement() + halvern::keyElement(0xFBF7)));
  nrs.clear();
  data = nextDataFrame(nrs);
  ASSERT_TRUE(data) << "the script did not go on after the key";
  EXPECT_EQ(nrs.front(), 1) << "the key was not acknowledged";
  frame = halvern::decodeExchangeLinkFrame(halvern::asBytes(*data));
  EXPECT_EQ(frame->low, 1);
  display = halvern::ExchangeElementReader(frame->elements).next();
  ASSERT_TRUE(display);
  EXPECT_EQ(displayText(*display).substr(25, 6), "GOT IT");
  EXPECT_TRUE(waitFor([&] { return sim.printed("met line 4: expect key 0xFBF7"); }, 10)) << sim.output();

  // The keyset says it still expects frame 1: it comes again.
  keyset.send(halvern::buildKeysetAcknowledge(1, 1, 1));
  data = nextDataFrame(nrs);
  ASSERT_TRUE(data) << "frame 1 was not sent again";
  EXPECT_EQ(halvern::decodeExchangeLinkFrame(halvern::asBytes(*data))->low, 1);
  EXPECT_NE(readAll(dir.path() + "/log").find("key 0xFBF7"), std::string::npos);
}

// ---- end to end: halvern --headless against the simulator ----

std::string displayLine(int n, const std::string& text) {
  return "display " + std::to_string(n) + " \"" + text + std::string(25 - text.size(), ' ') + "\"";
}

// Registration, the greeting and lamps, two keys met by the script, its
// answer shown, and the unregister at "quit": what a user of the keyset
// sees from start to close. Returns the simulator's log.
std::string keysetSession(const std::string& host, const std::vector<std::string>& faults) {
  TempDir dir;
  const std::string runtime = dir.path() + "/run";
  ::mkdir(runtime.c_str(), 0700);
  writeFile(dir.path() + "/script",
            "at 0.3 display 0 \"HELLO HALVERN\"\n"
            "at 0.3 lamp 7 3 15 1\n"
            "expect key 0xFBF7\n"
            "expect key 0xFD7F\n"
            "display 1 \"KEYS OK\"\n"
            "lamp 15 2\n");
  std::vector<std::string> simArgs{programPath("CORVANE_SIM"),
                                   "--listen",
                                   host,
                                   "keyset",
                                   "--script",
                                   dir.path() + "/script",
                                   "--log",
                                   dir.path() + "/sim.log",
                                   "--exit-on-unregister",
                                   "--expect-timeout",
                                   "60"};
  simArgs.insert(simArgs.end(), faults.begin(), faults.end());
  ChildProcess sim(simArgs, dir.path() + "/sim.err");
  if (lumarc::testproc::listeningPort(sim) != "9877") {
    ADD_FAILURE() << "simulator not listening: " << sim.output() << readAll(dir.path() + "/sim.err");
    return {};
  }
  Program phone({programPath("HALVERN"), "--headless", "-C100", "-I" + host, "-P123456789012", "-U100"}, dir.path(),
                {"XDG_RUNTIME_DIR=" + runtime, "LANG=C", "LC_ALL=C", "QT_QPA_PLATFORM=offscreen"});
  EXPECT_TRUE(phone.ok());
  const auto seen = [&](const std::string& event) {
    const bool ok = waitFor([&] { return phone.printed(event) || !sim.running(); }, 60) && phone.printed(event);
    EXPECT_TRUE(ok) << "never printed: " << event << "\n" << phone.output() << readAll(dir.path() + "/sim.log");
    return ok;
  };
  for (const std::string& event :
       {std::string("registered 1 200 \"CORVANE\""), std::string("state Running"), displayLine(0, "HELLO HALVERN"),
        std::string("lamp 7 On"), std::string("lamp 15 FastFlash")})
    if (!seen(event)) return readAll(dir.path() + "/sim.log");
  phone.type("key 1");
  phone.type("key esc");
  seen(displayLine(1, "KEYS OK"));
  seen("lamp 15 SlowFlash");
  phone.type("quit");
  EXPECT_EQ(phone.exitStatus(30), 0) << phone.output() << readAll(dir.path() + "/stderr");
  EXPECT_TRUE(waitFor([&] { return !sim.running(); }, 30)) << "the simulator never saw the unregister";
  EXPECT_EQ(sim.wait(), 0);
  EXPECT_TRUE(sim.printed("met line 3: expect key 0xFBF7")) << sim.output();
  EXPECT_TRUE(sim.printed("met line 4: expect key 0xFD7F")) << sim.output();
  EXPECT_TRUE(sim.printed("unregistered 1")) << sim.output();
  EXPECT_TRUE(phone.printed("state Running"));
  const std::string log = readAll(dir.path() + "/sim.log");
  EXPECT_NE(log.find("unregister terminal 1"), std::string::npos) << log;
  return log;
}

bool haveHalvern() { return !programPath("CORVANE_SIM").empty() && !programPath("HALVERN").empty(); }

TEST(KeysetEndToEnd, HeadlessKeysetShowsTheExchangesDisplayAndLampsAndDeliversKeys) {
  if (!haveHalvern()) GTEST_SKIP() << "halvern not built";
  const std::string log = keysetSession(loopbackAddress(3), {});
  EXPECT_NE(log.find("key 0xFBF7"), std::string::npos) << log;
  EXPECT_EQ(log.find("go back"), std::string::npos) << "frames sent again on a clean line:\n" << log;
}

TEST(KeysetEndToEnd, LostFramesInBothDirectionsAreSentAgainAndNoKeyOrLineIsLost) {
  if (!haveHalvern()) GTEST_SKIP() << "halvern not built";
  // The greeting frame and the answer to the keys never reach the keyset;
  // the keyset's frame with the first key never reaches the exchange.
  const std::string log = keysetSession(loopbackAddress(4), {"--lose-out", "1,3", "--lose-in", "2"});
  EXPECT_NE(log.find("lost"), std::string::npos) << log;
  EXPECT_NE(log.find("go back"), std::string::npos) << log;
  // Each key reached the exchange's script exactly once.
  size_t keys = 0;
  for (size_t at = log.find("recv"); at != std::string::npos; at = log.find("recv", at + 1)) {
    const size_t end = log.find('\n', at);
    const std::string line = log.substr(at, end - at);
    if (line.find("key 0xFBF7") != std::string::npos && line.find("lost") == std::string::npos &&
        line.find("out of sequence") == std::string::npos)
      ++keys;
  }
  EXPECT_EQ(keys, 1u) << log;
}

}  // namespace
