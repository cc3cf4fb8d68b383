#include "lumarc/discovery/discovery.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace lumarc {
namespace {

constexpr uint32_t ip(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }

class FakeSocket : public DiscoverySocket {
 public:
  std::vector<uint32_t> eligible{ip(192, 168, 1, 20)};
  SocketFault openResult = SocketFault::None;
  std::vector<std::string> sent;
  std::deque<std::string> waiting;
  uint32_t openedOn = 0;
  bool isOpen = false;

  std::vector<uint32_t> adapters() override { return eligible; }
  SocketFault open(uint32_t adapter) override {
    openedOn = adapter;
    isOpen = openResult == SocketFault::None;
    return openResult;
  }
  bool send(std::string_view bytes) override {
    sent.emplace_back(bytes);
    return true;
  }
  long receive(uint8_t* buf, size_t capacity) override {
    if (waiting.empty()) return -1;
    std::string d = waiting.front();
    waiting.pop_front();
    const size_t n = std::min(capacity, d.size());
    std::copy_n(d.begin(), n, buf);
    return long(n);
  }
  void close() override { isOpen = false; }
};

class Recorder : public DiscoveryEvents {
 public:
  std::vector<SocketFault> faults;
  std::vector<std::string> lines;
  int finishedAt = -1;
  size_t finishedLines = 0;
  std::optional<std::pair<bool, size_t>> wizard;
  std::vector<uint32_t> chosen;
  const DiscoveryEngine* engine = nullptr;

  void fault(SocketFault f) override { faults.push_back(f); }
  void clearMessage() override {}
  void progress(size_t, unsigned) override {}
  void started(const std::vector<uint32_t>&, uint32_t) override { lines.clear(); }
  void lineAdded(size_t, const std::string& line) override { lines.push_back(line); }
  void finished(size_t n) override {
    finishedAt = int(engine->tickCount());
    finishedLines = n;
  }
  void stateChanged(DiscoveryState) override {}
  void wizardTarget(bool found, size_t index) override { wizard = {found, index}; }
  void adapterChosen(uint32_t a) override { chosen.push_back(a); }
};

template <size_t N>
std::array<uint8_t, N> text(std::string_view s) {
  std::array<uint8_t, N> a{};
  for (size_t i = 0; i < N; ++i) a[i] = i < s.size() ? uint8_t(s[i]) : ' ';
  return a;
}

ExchangeEntry exchange(uint32_t address, uint8_t lastMac = 1) {
  ExchangeEntry e;
  e.id.ip = address;
  e.id.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, lastMac};
  e.platform = text<16>("CRV-PX48        ");
  e.webPort = 80;
  e.mask = ip(255, 255, 255, 0);
  e.gateway = ip(192, 168, 1, 1);
  e.flags = 1;
  e.version = text<16>("V2.11.04");
  e.name = text<8>("Office");
  return e;
}

const DiscoveryTexts kTexts{"Enabled  ", "Disabled "};
const uint32_t kPc = ip(192, 168, 1, 20);

DiscoveryConfig configIn(const std::string& workDir) {
  DiscoveryConfig c;
  c.workDir = workDir;
  c.texts = kTexts;
  return c;
}

struct Harness {
  FakeSocket socket;
  Recorder events;
  DiscoveryEngine engine;
  explicit Harness(DiscoveryConfig config = configIn("")) : engine(socket, events, std::move(config)) {
    events.engine = &engine;
  }
  void reply(const ExchangeEntry& e, size_t length = dscv::kFullReply, uint32_t to = kPc) {
    socket.waiting.push_back(buildDiscoveryReply(e, to, 0xFFFFFFFF, length));
  }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) engine.tick();
  }
};

TEST(DiscoveryRequest, DiscoverCarriesTheAdapterAndAllOnesElsewhere) {
  const std::string d = buildDiscover(ip(10, 0, 0, 7));
  ASSERT_EQ(d.size(), 25u);
  EXPECT_EQ(uint8_t(d[0]), 128);
  EXPECT_EQ(d.substr(1, 4), std::string("\x07\x00\x00\x0A", 4));
  EXPECT_EQ(d.substr(5), std::string(20, '\xFF'));
}

TEST(DiscoveryReplies, ForeignShortAndTruncatedDatagramsAddNoLine) {
  struct Case {
    const char* what;
    size_t length;
    uint32_t to;
    uint8_t code;
    size_t lines;
  } cases[] = {
      {"73 bytes: name complete", 73, kPc, 0, 1},   {"72 bytes: name cut", 72, kPc, 0, 0},
      {"24 bytes: no whole header", 24, kPc, 0, 0}, {"for another PC", 129, ip(192, 168, 1, 21), 0, 0},
      {"a wizard reply code", 129, kPc, 1, 0},
  };
  for (const Case& c : cases) {
    Harness h;
    ASSERT_TRUE(h.engine.open());
    std::string d =
        buildDiscoveryReply(exchange(ip(192, 168, 1, 10)), c.to, 0xFFFFFFFF, std::max<size_t>(c.length, 25));
    d.resize(c.length);
    if (!d.empty()) d[0] = char(c.code);
    h.engine.onDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size());
    EXPECT_EQ(h.engine.lines().size(), c.lines) << c.what;
  }
}

TEST(DiscoveryReplies, StatusTextFollowsTheTestsInOrder) {
  struct Case {
    const char* what;
    uint32_t pc, exchange, mask;
    const char* status;
  } cases[] = {
      {"same subnet", ip(10, 200, 0, 1), ip(10, 1, 2, 3), ip(255, 0, 0, 0), ""},
      {"other subnet", ip(192, 168, 0, 1), ip(10, 1, 2, 3), ip(255, 0, 0, 0), " Unaccessible"},
      {"PC's own address", ip(10, 1, 2, 3), ip(10, 1, 2, 3), ip(255, 0, 0, 0), " Unaccessible"},
      {"public", ip(8, 8, 0, 1), ip(8, 8, 8, 8), 0, " Public IP"},
      {"multicast is also public", ip(10, 0, 0, 1), ip(224, 1, 1, 1), 0, " Public IP"},
      {"172.31 is private", ip(172, 31, 0, 1), ip(172, 31, 0, 2), ip(255, 255, 0, 0), ""},
      {"172.32 is public", ip(172, 32, 0, 1), ip(172, 32, 0, 2), ip(255, 255, 0, 0), " Public IP"},
  };
  for (const Case& c : cases) {
    Harness h;
    h.socket.eligible = {c.pc};
    ASSERT_TRUE(h.engine.open());
    ExchangeEntry e = exchange(c.exchange);
    e.mask = c.mask;
    h.reply(e, 92, c.pc);
    h.engine.tick();
    ASSERT_EQ(h.engine.lines().size(), 1u) << c.what;
    EXPECT_EQ(h.engine.lines()[0], exchangeLine(e, kTexts) + c.status) << c.what;
  }
}

TEST(DiscoveryReplies, SecondMacOnTheSameAddressIsAConflictAndARepeatKeepsItsLine) {
  Harness h;
  ASSERT_TRUE(h.engine.open());
  ExchangeEntry a = exchange(ip(192, 168, 1, 10), 1);
  ExchangeEntry b = exchange(ip(192, 168, 1, 10), 2);
  h.reply(a);
  h.reply(b);
  ExchangeEntry renamed = a;
  renamed.name = text<8>("Renamed");
  h.reply(renamed);
  h.engine.tick();
  ASSERT_EQ(h.engine.lines().size(), 2u);
  EXPECT_TRUE(h.engine.lines()[1].ends_with(" IP conflict"));
  EXPECT_NE(h.engine.lines()[0].find("Office"), std::string::npos);
  EXPECT_EQ(h.engine.exchanges()[0].name, renamed.name);
}

TEST(DiscoveryLine, ColumnsAsTheListShowsThem) {
  ExchangeEntry e = exchange(ip(192, 168, 1, 10));
  e.id.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0xEF};
  e.platform = text<16>("CRV\x01PX48");
  e.platform[15] = 0x7F;
  // A 92-byte reply: the line ends after the name.
  EXPECT_EQ(exchangeLine(e, kTexts),
            "00:1A:2B:3C:4D:EF 192.168.1.10    80   CRV PX48         255.255.255.0   192.168.1.1     "
            "Enabled  V2.11.04         Office");
  e.webPort = 65535;
  e.flags = 0;
  e.xid = {1, 2, 3, 0xABCDEF01};
  const std::string head =
      "00:1A:2B:3C:4D:EF 192.168.1.10    65535 CRV PX48         255.255.255.0   192.168.1.1     "
      "Disabled V2.11.04         Office   ABCDEF01000000030000000200000001";
  EXPECT_EQ(exchangeLine(e, kTexts), head);
  e.dhcpIp = ip(192, 168, 1, 50);
  e.dhcpMask = ip(255, 255, 255, 0);
  e.dhcpGateway = ip(192, 168, 1, 1);
  e.dhcpServer = ip(192, 168, 1, 1);
  e.ipv6 = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0x02, 0x1a, 0, 0, 0, 0, 0, 1};
  // One DHCP value zero: the five columns are blank.
  EXPECT_EQ(exchangeLine(e, kTexts), head + std::string(80, ' ') + " fe80::21a:0:0:1");
  e.dhcpDns = ip(8, 8, 4, 4);
  EXPECT_EQ(exchangeLine(e, kTexts), head +
                                         " 192.168.1.50    255.255.255.0   192.168.1.1     192.168.1.1     8.8.4.4"
                                         "         fe80::21a:0:0:1");
}

TEST(DiscoveryLine, Ipv6TextShortensOnlyTheFirstZeroRun) {
  struct Case {
    std::array<uint8_t, 16> a;
    const char* text;
  } cases[] = {
      {{}, ""},
      {{10, 1, 2, 3}, "10.1.2.3"},
      {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, "2001:db8::1:0:0:0:1"},
      {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, "::1"},
      {{0x20, 0x01, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 0}, "2001:1:2:3:4:5:6::"},
  };
  for (const Case& c : cases) EXPECT_EQ(ipv6Text(c.a), c.text);
}

TEST(DiscoveryTiming, ListIsFinalAtTheRuledTicks) {
  {
    // Nobody answers: requests at ticks 1, 21, 41, 61 and the end at 79.
    Harness h;
    ASSERT_TRUE(h.engine.open());
    h.ticks(100);
    EXPECT_EQ(h.events.finishedAt, 79);
    EXPECT_EQ(h.events.finishedLines, 0u);
    EXPECT_EQ(h.socket.sent.size(), 4u);
    EXPECT_EQ(h.engine.state(), DiscoveryState::Listed);
  }
  {
    // An answer in the first cycle: three cycles with a list, then final.
    Harness h;
    ASSERT_TRUE(h.engine.open());
    h.ticks(3);
    h.reply(exchange(ip(192, 168, 1, 10)));
    h.ticks(100);
    EXPECT_EQ(h.events.finishedAt, 59);
    EXPECT_EQ(h.events.finishedLines, 1u);
  }
  {
    // The wizard target answers with a DHCP gateway: final at the next tick 19.
    Harness h;
    ASSERT_TRUE(h.engine.open("CRV-PX48"));
    h.ticks(25);
    ExchangeEntry e = exchange(ip(192, 168, 1, 10));
    e.dhcpGateway = ip(192, 168, 1, 1);
    h.reply(e);
    h.ticks(100);
    EXPECT_EQ(h.events.finishedAt, 39);
    ASSERT_TRUE(h.events.wizard);
    EXPECT_TRUE(h.events.wizard->first);
  }
  {
    // The target never answers: 55 s and then the wizard fails to start.
    Harness h;
    ASSERT_TRUE(h.engine.open("CRV-XX00"));
    h.reply(exchange(ip(192, 168, 1, 10)));
    h.ticks(600);
    EXPECT_EQ(h.events.finishedAt, 559);
    ASSERT_TRUE(h.events.wizard);
    EXPECT_FALSE(h.events.wizard->first);
  }
}

TEST(DiscoveryTiming, LargeNetworksAreReadUpToSixtyFourPerTickAndSixtyThreeListed) {
  Harness h;
  h.socket.eligible = {ip(10, 0, 0, 1)};
  ASSERT_TRUE(h.engine.open());
  for (unsigned i = 0; i < 70; ++i) {
    ExchangeEntry e = exchange(ip(10, 0, 1, i + 1), uint8_t(i));
    e.mask = ip(255, 0, 0, 0);
    h.socket.waiting.push_back(buildDiscoveryReply(e, ip(10, 0, 0, 1), 0xFFFFFFFF, 129));
  }
  h.engine.tick();
  EXPECT_EQ(h.socket.waiting.size(), 6u);
  h.engine.tick();
  EXPECT_EQ(h.engine.lines().size(), 63u);
}

TEST(DiscoveryState, PrintsByName) {
  EXPECT_STREQ(discoveryStateName(DiscoveryState::Idle), "Idle");
  EXPECT_STREQ(discoveryStateName(DiscoveryState::Discovering), "Discovering");
  EXPECT_STREQ(discoveryStateName(DiscoveryState::Listed), "Listed");
  EXPECT_STREQ(discoveryStateName(DiscoveryState::WizardStarting), "WizardStarting");
  EXPECT_STREQ(discoveryStateName(DiscoveryState::WizardReady), "WizardReady");
  EXPECT_STREQ(discoveryStateName(DiscoveryState::Closed), "Closed");
  EXPECT_STREQ(discoveryStateName(static_cast<DiscoveryState>(6)), "?");
  std::ostringstream os;
  os << DiscoveryState::Listed;
  EXPECT_EQ(os.str(), "Listed");
  EXPECT_EQ(::testing::PrintToString(DiscoveryState::WizardReady), "WizardReady");
}

TEST(DiscoveryAdapters, StoredAdapterWhileEligibleElseTheSmallest) {
  EXPECT_EQ(chooseAdapter({ip(192, 168, 1, 2), ip(10, 0, 0, 9)}, ip(192, 168, 1, 2)), ip(192, 168, 1, 2));
  EXPECT_EQ(chooseAdapter({ip(192, 168, 1, 2), ip(10, 0, 0, 9)}, ip(172, 16, 0, 1)), ip(10, 0, 0, 9));
  EXPECT_EQ(chooseAdapter({}, ip(172, 16, 0, 1)), 0u);
}

TEST(DiscoveryAdapters, NoEligibleAdapterIsABindingFaultAndNothingIsSent) {
  Harness h;
  h.socket.eligible.clear();
  EXPECT_FALSE(h.engine.open());
  h.ticks(30);
  EXPECT_EQ(h.events.faults, std::vector<SocketFault>{SocketFault::Binding});
  EXPECT_EQ(h.engine.state(), DiscoveryState::Closed);
  EXPECT_TRUE(h.socket.sent.empty());
}

TEST(DiscoveryAdapters, ChangingTheAdapterRestartsAndIsReportedForStorage) {
  Harness h;
  h.socket.eligible = {ip(192, 168, 1, 20), ip(10, 0, 0, 1)};
  ASSERT_TRUE(h.engine.open());
  EXPECT_EQ(h.engine.adapter(), ip(10, 0, 0, 1));
  EXPECT_FALSE(h.engine.selectAdapter(ip(172, 16, 0, 1)));
  EXPECT_TRUE(h.engine.selectAdapter(ip(192, 168, 1, 20)));
  EXPECT_EQ(h.socket.openedOn, ip(192, 168, 1, 20));
  EXPECT_EQ(h.events.chosen, std::vector<uint32_t>{ip(192, 168, 1, 20)});
  EXPECT_EQ(h.engine.state(), DiscoveryState::Discovering);
}

TEST(DiscoveryLog, LogHoldsTheDateLineAndEachNewLineWithCrLf) {
  const auto dir = std::filesystem::temp_directory_path() / ("dscvlog" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  {
    Harness h(configIn(dir.string()));
    ASSERT_TRUE(h.engine.open());
    ExchangeEntry e = exchange(ip(192, 168, 1, 10));
    e.name = text<8>("B\xFCro");
    h.reply(e);
    h.reply(e);
    h.ticks(100);
  }
  std::ifstream in(dir / "logD00.txt", std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string log = ss.str();
  ASSERT_GE(log.size(), 21u);
  EXPECT_EQ(log.substr(4, 1), "/");
  EXPECT_EQ(log.substr(19, 2), "\r\n");
  EXPECT_EQ(log.substr(21).find("B\xFCro"), log.substr(21).rfind("B\xFCro"));  // one line, bytes kept
  EXPECT_TRUE(log.ends_with("\r\n"));
  std::filesystem::remove_all(dir);
}

// A listed exchange and the wizard entered for it.
struct WizardHarness : Harness {
  ExchangeEntry e = exchange(ip(192, 168, 1, 10));
  WizardHarness() { open(); }
  void open() {
    EXPECT_TRUE(engine.open());
    reply(e);
    ticks(100);
    EXPECT_EQ(engine.state(), DiscoveryState::Listed);
    socket.sent.clear();
    EXPECT_TRUE(engine.enterWizard(0));
  }
  void answer(uint8_t command, uint32_t sequence, const ExchangeIdentity& from) {
    socket.waiting.push_back(buildWizardReply(command, from, kPc, sequence));
  }
};

TEST(WizardCommands, WizardStartIsAddressedToTheExchangeWithSequenceZero) {
  WizardHarness h;
  ASSERT_EQ(h.socket.sent.size(), 1u);
  const std::string& d = h.socket.sent[0];
  ASSERT_EQ(d.size(), 25u);
  EXPECT_EQ(uint8_t(d[0]), 129);
  EXPECT_EQ(d.substr(5, 6), std::string(6, '\xFF'));
  EXPECT_EQ(d.substr(11, 4), std::string("\x0A\x01\xA8\xC0", 4));
  EXPECT_EQ(d.substr(15, 6), std::string("\x3C\x2B\x1A\x00\x01\x4D", 6));
  EXPECT_EQ(d.substr(21, 4), std::string(4, '\0'));
  EXPECT_EQ(h.engine.state(), DiscoveryState::WizardStarting);
}

TEST(WizardCommands, UnansweredCommandIsResentSixTimesThenConnectionIsLost) {
  WizardHarness h;
  std::vector<unsigned> resentAt;
  for (unsigned t = 1; t <= 80 && h.engine.state() == DiscoveryState::WizardStarting; ++t) {
    const size_t before = h.socket.sent.size();
    h.engine.tick();
    if (h.socket.sent.size() > before) resentAt.push_back(t);
  }
  EXPECT_EQ(resentAt, (std::vector<unsigned>{9, 19, 29, 39, 49, 59}));
  EXPECT_EQ(h.engine.state(), DiscoveryState::Discovering);
  for (const std::string& d : h.socket.sent) EXPECT_EQ(d, h.socket.sent[0]);
}

TEST(WizardCommands, RepliesFromAnotherIdentitySequenceOrCodeAreIgnored) {
  WizardHarness h;
  ExchangeIdentity other = h.e.id;
  other.mac[5] = 9;
  h.answer(129, 0, other);
  h.answer(129, 1, h.e.id);
  h.answer(130, 0, h.e.id);
  h.ticks(5);
  EXPECT_EQ(h.engine.state(), DiscoveryState::WizardStarting);
  EXPECT_TRUE(h.engine.commandOutstanding());
  h.answer(129, 0, h.e.id);
  h.engine.tick();
  EXPECT_EQ(h.engine.state(), DiscoveryState::WizardReady);
  EXPECT_FALSE(h.engine.commandOutstanding());
}

TEST(WizardCommands, KeepAliveFollowsFifteenSecondsAfterTheLastReplyWithTheNextSequence) {
  WizardHarness h;
  h.answer(129, 0, h.e.id);
  h.ticks(149);  // the reply's tick sets the count to 0
  EXPECT_EQ(h.socket.sent.size(), 1u);
  h.engine.tick();
  ASSERT_EQ(h.socket.sent.size(), 2u);
  EXPECT_EQ(uint8_t(h.socket.sent[1][0]), 130);
  EXPECT_EQ(h.engine.sequence(), 1u);
  // Its own count of retransmissions starts from the sending.
  h.ticks(9);
  EXPECT_EQ(h.socket.sent.size(), 3u);
}

}  // namespace
}  // namespace lumarc
