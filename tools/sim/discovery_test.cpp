// End to end, inside network namespaces this test creates: the discovery
// engine with its real multicast socket on a thread moved into the PC's
// namespace, corvane-sim's discovery role in the exchange's namespace,
// joined by a veth pair. Save IP with the exchange's reboot and
// rediscovery, an upload, refusals, lost replies and the exchange's pages.
#include "common/byte_io.h"
#include "common/test_support.h"
#include "lumarc/discovery/multicast_socket.h"
#include "lumarc/discovery/wizard_commands.h"
#include "tools/sim/netns.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

namespace lumarc {
namespace {

using corvane::testing::TempDir;
using testproc::ChildProcess;
using testproc::NamespacePair;

constexpr uint32_t ip(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }

class Events : public DiscoveryEvents {
 public:
  std::vector<std::string> done;
  void fault(SocketFault) override {}
  void clearMessage() override {}
  void progress(size_t, unsigned) override {}
  void started(const std::vector<uint32_t>&, uint32_t) override {}
  void lineAdded(size_t, const std::string&) override {}
  void finished(size_t) override {}
  void stateChanged(DiscoveryState) override {}
  void wizardTarget(bool, size_t) override {}
  void adapterChosen(uint32_t) override {}
  void connectionLost() override { done.push_back("lost"); }
  void commandDone(uint8_t command, bool accepted, const std::string& refusal) override {
    done.push_back((accepted ? "accepted " : "refused ") + std::to_string(command) +
                   (refusal.empty() ? "" : " '" + refusal + "'"));
  }
};

struct Network {
  NamespacePair ns{"lwz"};
  TempDir dir{"wizard-e2e"};
  bool ready = false;
  Network() {
    if (ns.ok()) ready = ns.link("vpc0", "10.79.0.1/24", "vex0", "10.79.0.2/24");
  }
  std::unique_ptr<ChildProcess> sim(const std::string& identities) {
    const std::string file = dir.file("identities.txt");
    std::ofstream(file) << identities;
    auto p = std::make_unique<ChildProcess>(NamespacePair::inside(
        ns.b(), {testproc::programPath("CORVANE_SIM"), "--listen", "10.79.0.2", "discovery", "--identities", file}));
    testproc::waitFor([&] { return p->output().find("listening") != std::string::npos || !p->running(); }, 10);
    return p;
  }
  // Runs body on a thread inside the PC's namespace: sockets it makes and
  // the adapters it sees are that namespace's only.
  void insidePc(const std::function<void()>& body) {
    std::thread t([&] {
      const int fd = ::open(("/run/netns/" + ns.a()).c_str(), O_RDONLY | O_CLOEXEC);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::setns(fd, CLONE_NEWNET), 0) << std::strerror(errno);
      ::close(fd);
      body();
    });
    t.join();
  }
};

#define NEED_NETWORK(net)                                                             \
  if (!(net).ns.ok()) GTEST_SKIP() << "no network namespaces: " << (net).ns.reason(); \
  ASSERT_TRUE((net).ready) << "veth pair could not be set up"

// The engine run at 50 ticks a second (its timing is counted in ticks).
struct Pc {
  MulticastDiscoverySocket socket;
  Events events;
  DiscoveryEngine engine{socket, events, DiscoveryConfig{}};
  // Ticks until done() or the limit; false at the limit.
  bool tickUntil(const std::function<bool()>& done, int limit = 1500) {
    for (int i = 0; i < limit; ++i) {
      if (done()) return true;
      engine.tick();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
  }
  bool listed() {
    return tickUntil([&] { return engine.state() == DiscoveryState::Listed; });
  }
  bool wizardReady() {
    return engine.enterWizard(0) && tickUntil([&] { return engine.state() == DiscoveryState::WizardReady; });
  }
};

std::string parameterFile(size_t size) {
  std::string f(size - 4, '\0');
  for (size_t i = 8; i < f.size(); ++i) f[i] = char(i * 13);
  std::string sum(4, '\0');
  corvane::ByteWriter(sum).putLe32(0, parameterChecksum(f));
  return f + sum;
}

// One HTTP GET from the current thread's namespace; the whole response.
std::string httpGet(const std::string& address, uint16_t port, const std::string& target) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
  std::string response;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: " + address + "\r\n\r\n";
    (void)::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) response.append(buf, size_t(n));
  }
  ::close(fd);
  return response;
}

TEST(WizardEndToEnd, SavedIpRebootsTheExchangeAndItIsFoundAtItsNewAddressThenAnUploadLoads) {
  Network net;
  NEED_NETWORK(net);
  auto sim = net.sim(
      "mac=00:1A:2B:3C:4D:01 ip=10.79.0.10 mask=255.255.255.0 gw=10.79.0.1 web=8080 flags=3 xid=1,2,3,4 "
      "dhcp=10.79.0.50,255.255.255.0,10.79.0.1,10.79.0.1,10.79.0.1 reboot=1\n");
  ASSERT_TRUE(sim->running()) << sim->output();
  const std::string file = net.dir.file("params.bin");
  std::ofstream(file, std::ios::binary) << parameterFile(3000);
  net.insidePc([&] {
    Pc pc;
    ASSERT_TRUE(pc.engine.open());
    ASSERT_TRUE(pc.listed()) << sim->output();
    ASSERT_EQ(pc.engine.exchanges().size(), 1u);
    ASSERT_TRUE(pc.wizardReady()) << sim->output();
    ASSERT_TRUE(pc.engine.saveIp(ip(10, 79, 0, 33), ip(255, 255, 255, 0), ip(10, 79, 0, 1)));
    ASSERT_TRUE(pc.tickUntil([&] { return pc.engine.state() == DiscoveryState::Discovering; }));
    ASSERT_TRUE(pc.listed()) << sim->output();
    ASSERT_EQ(pc.engine.exchanges().size(), 1u) << sim->output();
    EXPECT_EQ(dottedIp(pc.engine.exchanges()[0].id.ip), "10.79.0.33");

    ASSERT_TRUE(pc.wizardReady()) << sim->output();
    ASSERT_EQ(pc.engine.upload(file), DiscoveryEngine::UploadStart::Started);
    ASSERT_TRUE(pc.tickUntil([&] { return pc.engine.state() == DiscoveryState::Discovering; })) << sim->output();
    EXPECT_EQ(pc.events.done, (std::vector<std::string>{"accepted 129", "accepted 132", "accepted 129", "accepted 136",
                                                        "accepted 137"}));

    const std::string page = httpGet("10.79.0.2", 8080, "/xp.asp?fn_65");
    EXPECT_NE(page.find("200 OK"), std::string::npos) << page;
    EXPECT_NE(page.find("Content-Type: text/html"), std::string::npos) << page;
    EXPECT_NE(page.find("Easy set-up"), std::string::npos) << page;
    EXPECT_NE(httpGet("10.79.0.2", 8080, "/other").find("404"), std::string::npos);
  });
  const std::string& log = sim->output();
  EXPECT_NE(log.find("accepted command 132 seq 1 for 10.79.0.10: new 10.79.0.33"), std::string::npos) << log;
  EXPECT_NE(log.find("back from reboot: 10.79.0.33"), std::string::npos) << log;
  EXPECT_NE(log.find("parameter file loaded, 3000 bytes"), std::string::npos) << log;
  EXPECT_NE(log.find("http GET /xp.asp?fn_65 HTTP/1.1 from 10.79.0.1 -> 200 OK"), std::string::npos) << log;
}

TEST(WizardEndToEnd, RefusalsReachTheUserAndALostReplyIsNotActedOnTwice) {
  Network net;
  NEED_NETWORK(net);
  auto sim = net.sim(
      "mac=00:1A:2B:3C:4D:01 ip=10.79.0.10 mask=255.255.255.0 gw=10.79.0.1 flags=3 refuse=132,135 "
      "refusal=Locked_by_installer dropcmd=2\n");
  ASSERT_TRUE(sim->running()) << sim->output();
  net.insidePc([&] {
    Pc pc;
    ASSERT_TRUE(pc.engine.open());
    ASSERT_TRUE(pc.listed()) << sim->output();
    // The first two wizard datagrams' replies are lost: WizardStart is
    // sent three times and answered once it gets through.
    ASSERT_TRUE(pc.wizardReady()) << sim->output();
    ASSERT_TRUE(pc.engine.saveIp(ip(10, 79, 0, 33), ip(255, 255, 255, 0), ip(10, 79, 0, 1)));
    ASSERT_TRUE(pc.tickUntil([&] { return pc.engine.commandAllowed(); }));
    ASSERT_TRUE(pc.engine.halvernAccount());
    ASSERT_TRUE(pc.tickUntil([&] { return pc.engine.commandAllowed(); }));
    EXPECT_EQ(pc.events.done,
              (std::vector<std::string>{"accepted 129", "refused 132 'Locked by installer'", "refused 135"}));
    EXPECT_EQ(pc.engine.state(), DiscoveryState::WizardReady);
  });
  const std::string& log = sim->output();
  EXPECT_NE(log.find("(reply dropped)"), std::string::npos) << log;
  EXPECT_NE(log.find("repeated reply to command 129 seq 0"), std::string::npos) << log;
  size_t accepted = 0;
  for (size_t at = log.find("accepted command 129"); at != std::string::npos;
       at = log.find("accepted command 129", at + 1))
    ++accepted;
  EXPECT_EQ(accepted, 1u) << log;
}

TEST(WizardEndToEnd, RepliesWithWrongSequenceIdentityOrLengthAreIgnoredAndTheConnectionIsLost) {
  Network net;
  NEED_NETWORK(net);
  auto sim = net.sim(
      "mac=00:1A:2B:3C:4D:01 ip=10.79.0.10 mask=255.255.255.0 flags=1 wrongseq\n"
      "mac=00:1A:2B:3C:4D:02 ip=10.79.0.11 mask=255.255.255.0 flags=1 wrongid\n"
      "mac=00:1A:2B:3C:4D:03 ip=10.79.0.12 mask=255.255.255.0 flags=1 shortreply\n");
  ASSERT_TRUE(sim->running()) << sim->output();
  net.insidePc([&] {
    Pc pc;
    ASSERT_TRUE(pc.engine.open());
    for (size_t i = 0; i < 3; ++i) {
      ASSERT_TRUE(pc.listed()) << sim->output();
      ASSERT_EQ(pc.engine.exchanges().size(), 3u) << sim->output();
      pc.events.done.clear();
      ASSERT_TRUE(pc.engine.enterWizard(i));
      ASSERT_TRUE(pc.tickUntil([&] { return pc.engine.state() == DiscoveryState::Discovering; })) << i;
      EXPECT_EQ(pc.events.done, std::vector<std::string>{"lost"}) << i;
    }
  });
  const std::string& log = sim->output();
  for (const char* fault : {"wrong sequence", "wrong identity", "short"})
    EXPECT_NE(log.find(fault), std::string::npos) << fault;
}

}  // namespace
}  // namespace lumarc
