// End to end, inside network namespaces this test creates: corvane-sim's
// discovery role in one namespace, lumarc-cli discover in the other, joined
// by veth pairs. Replies to the group and by unicast, foreign and short
// replies, two adapters, and an adapter that is not eligible.
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "tools/sim/netns.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using corvane::testing::readAll;
using corvane::testing::TempDir;
using testproc::ChildProcess;
using testproc::NamespacePair;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) out.push_back(line);
  return out;
}

struct Network {
  NamespacePair ns{"lgd"};
  TempDir dir{"discover-e2e"};
  bool ready = false;
  Network() {
    if (!ns.ok()) return;
    ready = ns.link("vpc0", "10.77.0.1/24", "vex0", "10.77.0.2/24") &&
            ns.link("vpc1", "10.78.0.1/24", "vex1", "10.78.0.2/24");
  }
  std::unique_ptr<ChildProcess> sim(const std::string& listen, const std::string& identities) {
    const std::string file = dir.file("identities-" + listen + ".txt");
    std::ofstream(file) << identities;
    auto p = std::make_unique<ChildProcess>(NamespacePair::inside(
        ns.b(), {testproc::programPath("CORVANE_SIM"), "--listen", listen, "discovery", "--identities", file}));
    testproc::waitFor([&] { return p->output().find("listening") != std::string::npos || !p->running(); }, 10);
    return p;
  }
  // Runs lumarc-cli discover in the PC's namespace; its exit status.
  int discover(std::vector<std::string> args, std::string& out, std::string& err) {
    std::vector<std::string> argv = {testproc::programPath("LUMARC_CLI"), "--dir", dir.path(), "discover"};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string errFile = dir.file("stderr.txt");
    ChildProcess cli(NamespacePair::inside(ns.a(), argv), errFile);
    testproc::waitFor([&] { return !cli.running(); }, 60);
    out = cli.output();
    err = readAll(errFile);
    return cli.status();
  }
};

#define NEED_NETWORK(net)                                                             \
  if (!(net).ns.ok()) GTEST_SKIP() << "no network namespaces: " << (net).ns.reason(); \
  ASSERT_TRUE((net).ready) << "veth pairs could not be set up"

TEST(DiscoverEndToEnd, GroupAndUnicastRepliesAreListedAndForeignOnesDropped) {
  Network net;
  NEED_NETWORK(net);
  auto sim = net.sim("10.77.0.2",
                     "mac=00:1A:2B:3C:4D:01 ip=10.77.0.10 mask=255.255.255.0 gw=10.77.0.1 web=8080 flags=3 "
                     "platform=CRV-PX48 version=V2.11.04 name=Office xid=1,2,3,4 "
                     "dhcp=10.77.0.50,255.255.255.0,10.77.0.1,10.77.0.1,10.77.0.1 ipv6=fe80::21a:2bff:fe3c:4d01\n"
                     "mac=00:1A:2B:3C:4D:02 ip=10.77.0.11 mask=255.255.255.0 platform=CRV-MX12 name=Store "
                     "reply=unicast length=92 flags=0\n"
                     "mac=00:1A:2B:3C:4D:03 ip=10.77.0.12 mask=255.255.255.0 wrongdest\n"
                     "mac=00:1A:2B:3C:4D:04 ip=10.77.0.13 mask=255.255.255.0 length=72\n"
                     "mac=00:1A:2B:3C:4D:05 ip=10.77.0.14 mask=255.255.255.0 wrongcode\n");
  ASSERT_TRUE(sim->running()) << sim->output();
  std::string out, err;
  ASSERT_EQ(net.discover({}, out, err), 0) << err;
  const auto lines = linesOf(out);
  ASSERT_EQ(lines.size(), 3u) << out;
  const std::string& header = lines[0];
  EXPECT_TRUE(header.starts_with("Mac.Address       Ip.address")) << header;
  EXPECT_EQ(lines[1],
            "00:1A:2B:3C:4D:01 10.77.0.10      8080 CRV-PX48         255.255.255.0   10.77.0.1       Enabled  "
            "V2.11.04         Office   00000004000000030000000200000001 10.77.0.50      255.255.255.0   10.77.0.1"
            "       10.77.0.1       10.77.0.1       fe80::21a:2bff:fe3c:4d01");
  EXPECT_EQ(lines[2],
            "00:1A:2B:3C:4D:02 10.77.0.11      0    CRV-MX12         255.255.255.0   0.0.0.0         Disabled "
            "V2.11            Store");
  // Every title stands over its column.
  for (const char* title : {"Ip.address", "Platform", "Subnet mask", "DscvWiz", "Sw. Version", "Name", "Xid",
                            "Dhcp IpAd", "Dhcp Dns", "IPv6 address"}) {
    const size_t at = header.find(title);
    ASSERT_NE(at, std::string::npos) << title;
    EXPECT_TRUE(at == 0 || lines[1][at - 1] == ' ') << title;
    EXPECT_NE(lines[1][at], ' ') << title;
  }
  const std::string log = readAll(net.dir.file("logD00.txt"));
  EXPECT_NE(log.find("\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n"), std::string::npos) << log;
  EXPECT_NE(sim->output().find("unicast"), std::string::npos);
}

TEST(DiscoverEndToEnd, SilentNetworkSaysNoCorvaneFound) {
  Network net;
  NEED_NETWORK(net);
  std::string out, err;
  ASSERT_EQ(net.discover({}, out, err), 0) << err;
  EXPECT_EQ(out, "No Corvane found!\n");
  const std::string log = readAll(net.dir.file("logD00.txt"));
  EXPECT_EQ(log.find("No Corvane"), std::string::npos);
}

TEST(DiscoverEndToEnd, ChosenAdapterFindsItsSegmentAndIsStored) {
  Network net;
  NEED_NETWORK(net);
  auto sim = net.sim("10.78.0.2", "mac=00:1A:2B:3C:4D:09 ip=10.78.0.9 mask=255.255.255.0 name=Annex\n");
  ASSERT_TRUE(sim->running()) << sim->output();
  std::string out, err;
  // The smallest adapter (10.77.0.1) sees nothing of the other segment.
  ASSERT_EQ(net.discover({}, out, err), 0) << err;
  EXPECT_EQ(out, "No Corvane found!\n");
  ASSERT_EQ(net.discover({"--adapter", "10.78.0.1"}, out, err), 0) << err;
  ASSERT_EQ(linesOf(out).size(), 2u) << out;
  EXPECT_TRUE(linesOf(out)[1].starts_with("00:1A:2B:3C:4D:09 10.78.0.9 ")) << out;
  SettingsBlock settings;
  ASSERT_TRUE(loadSettings(settings, net.dir.path()));
  EXPECT_EQ(settings.adapter(), 0x0A4E0001u);
  // The stored adapter is used again without the option.
  ASSERT_EQ(net.discover({}, out, err), 0) << err;
  EXPECT_EQ(linesOf(out).size(), 2u) << out;
}

TEST(DiscoverEndToEnd, AdapterThatIsNotEligibleSendsNothingAndKeepsSettings) {
  Network net;
  NEED_NETWORK(net);
  auto sim = net.sim("10.77.0.2", "mac=00:1A:2B:3C:4D:01 ip=10.77.0.10 mask=255.255.255.0\n");
  ASSERT_TRUE(sim->running()) << sim->output();
  std::string out, err;
  for (const char* bad : {"10.77.0.99", "127.0.0.1", "not-an-address"}) {
    EXPECT_EQ(net.discover({"--adapter", bad}, out, err), 1) << bad;
    EXPECT_EQ(out, "") << bad;
    EXPECT_NE(err.find(bad), std::string::npos) << err;
  }
  EXPECT_FALSE(std::filesystem::exists(net.dir.file("Lumarc.set")));
  EXPECT_EQ(sim->output().find("request"), std::string::npos) << sim->output();
}

TEST(DiscoverEndToEnd, WizardPrintsTheAnalysisAndSendsNothingThatChangesTheExchange) {
  Network net;
  NEED_NETWORK(net);
  auto sim = net.sim("10.77.0.2",
                     "mac=00:1A:2B:3C:4D:01 ip=10.77.0.10 mask=255.255.255.0 gw=10.77.0.1 flags=3 xid=1,2,3,4 "
                     "dhcp=10.77.0.50,255.255.0.0,10.77.0.1,10.77.0.1,10.77.0.1\n"
                     "mac=00:1A:2B:3C:4D:02 ip=10.77.0.11 mask=255.255.255.0 flags=0\n"
                     "mac=00:1A:2B:3C:4D:03 ip=10.77.0.12 mask=255.255.255.0 flags=1 silent\n");
  ASSERT_TRUE(sim->running()) << sim->output();
  std::string out, err;
  ASSERT_EQ(net.discover({"--wizard", "10.77.0.10"}, out, err), 0) << err;
  const auto lines = linesOf(out);
  ASSERT_EQ(lines.size(), 4u + 8u) << out;
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
            (std::vector<std::string>{"Observations:", "1. CRV-PX48 Subnet mask is not DHCP server recommended!",
                                      "Recommendations:", "1. Set exchange Subnet mask as 255.255.0.0.",
                                      "2. Press 'Save IP'.",
                                      "3. CRV-PX48 will reboot with the new settings (This may take a few minutes).",
                                      "4. To edit system settings press 'Easy' setup or 'Expert' settings.",
                                      "5. To fill boxes with recommended values. Press 'Recommended IP'."}));
  EXPECT_NE(sim->output().find("accepted command 129 seq 0 for 10.77.0.10"), std::string::npos) << sim->output();
  for (const char* changing : {"command 132", "command 133", "command 136", "command 137"})
    EXPECT_EQ(sim->output().find(changing), std::string::npos) << changing;

  EXPECT_EQ(net.discover({"--wizard", "10.77.0.99"}, out, err), 1);
  EXPECT_NE(err.find("10.77.0.99"), std::string::npos) << err;
  EXPECT_EQ(net.discover({"--wizard", "10.77.0.11"}, out, err), 1);
  EXPECT_NE(err.find("10.77.0.11"), std::string::npos) << err;
  EXPECT_EQ(net.discover({"--wizard", "10.77.0.12"}, out, err), 1);
  EXPECT_NE(err.find("Connection lost!, rediscovering network for Corvane"), std::string::npos) << err;
  EXPECT_EQ(linesOf(out).size(), 4u) << out;  // the list only
}

TEST(DiscoverEndToEnd, InstallationTargetStartsTheWizardAndNamesTheEasyPage) {
  Network net;
  NEED_NETWORK(net);
  auto sim = net.sim("10.77.0.2",
                     "mac=00:1A:2B:3C:4D:01 ip=10.77.0.10 mask=255.255.255.0 gw=10.77.0.1 web=8080 flags=3 "
                     "platform=CRV-PX48 xid=1,2,3,4 dhcp=10.77.0.50,255.255.255.0,10.77.0.1,10.77.0.1,10.77.0.1\n");
  ASSERT_TRUE(sim->running()) << sim->output();
  std::string out, err;
  ASSERT_EQ(net.discover({"--target", "CRV-PX48"}, out, err), 0) << err;
  const auto lines = linesOf(out);
  ASSERT_EQ(lines.size(), 3u) << out;
  EXPECT_EQ(lines[2], "http://10.77.0.10:8080/xp.asp?fn_65");
}

}  // namespace
}  // namespace lumarc
