#include "halvern/tarnet.h"
#include "halvern/tarnet_frame.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>
#include <vector>

namespace halvern {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;  // 127.0.0.1

struct Sent {
  std::uint32_t tick;
  std::string bytes;
};

class Wire : public TarnetTransport {
 public:
  void send(std::string_view d) override { sent.push_back({*clock, std::string(d)}); }
  std::vector<std::string> take() {
    std::vector<std::string> out;
    for (auto& s : sent) out.push_back(s.bytes);
    sent.clear();
    return out;
  }
  std::vector<Sent> sent;
  const std::uint32_t* clock = nullptr;
};

class Speech : public SpeechControl {
 public:
  void startSpeech() override { log += "start;"; }
  void stopSpeech() override { log += "stop;"; }
  bool speechAddress(const PeerAddress& a, std::uint16_t port) override {
    log += "address " + std::to_string(a.ipv4) + ":" + std::to_string(port) + ";";
    return socketWorks;
  }
  void tone(std::uint8_t, const Melody&) override { log += "tone;"; }
  void toneLevel(std::uint16_t) override {}
  void transmitMute(bool) override {}
  std::string log;
  bool socketWorks = true;
};

AccountBlock validAccount(std::string_view password = "twelve-chars") {
  AccountBlock a;
  a.setHost("127.0.0.1");
  a.setAccountId("204");
  a.setAuthId("auth204");
  a.setPassword(password);
  return a;
}

// A keyset on virtual ticks, with the exchange's datagrams fed by hand.
struct Keyset {
  Keyset() { wire.clock = &ticks; }

  void ticks_(std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
      ++ticks;
      tarnet.tick();
    }
  }
  void feed(const std::string& d) { tarnet.onDatagram(reinterpret_cast<const std::uint8_t*>(d.data()), d.size()); }
  std::string line(int n) const { return tarnet.snapshot().displayLine(n); }

  // Registering, connected, the first request taken off the wire.
  void register_() {
    tarnet.reset(validAccount());
    ticks_(1);
    tarnet.onConnected(PeerAddress::v4(kLoopback));
    wire.sent.clear();
  }
  // Running with terminal id 0x0102, the first data frame (the terminal
  // element, send number 0) sent and unacknowledged.
  void run() {
    register_();
    RegistrationAccept a;
    a.terminalId = 0x0102;
    a.extension = 0x204FFFFF;
    a.exchangeName = "CORVANE1";
    feed(buildRegistrationAccept(a));
    feed(buildLinkReady());
    ticks_(1);
    wire.sent.clear();
  }
  // An exchange data frame carrying `elements` as the next in sequence.
  void deliver(std::string_view elements, std::uint8_t nr = 0) { feed(buildExchangeDataFrame(nr, nextNs++, elements)); }

  std::uint32_t ticks = 0;
  std::uint8_t nextNs = 0;
  Wire wire;
  Speech speech;
  PlainKeys keys;
  Tarnet tarnet{wire, speech, keys};
};

std::string pad(std::string_view s) {
  std::string r(s);
  r.resize(kDisplayColumns, ' ');
  return r;
}

std::string dataFrame(std::uint8_t vr, std::uint8_t ns, std::string_view elements) {
  return buildKeysetDataFrame(0x0102, vr, ns, elements);
}

// ---- registration ----

struct ValidationCase {
  const char* host;
  const char* account;
  const char* password;
  LinkState state;
  const char* line6;
  const char* line7;
};

TEST(KeysetSettings, BadSettingsShowTheirMessageAndNeverRegister) {
  const ValidationCase cases[] = {
      {"", "204", "twelve-chars", LinkState::InvalidSettings, "Corvane IP address", "invalid!"},
      {"pbx", "", "twelve-chars", LinkState::InvalidSettings, "Corvane Account", "invalid!"},
      {"pbx", "204", "eleven-char", LinkState::InvalidSettings, "Corvane Password", "too short!"},
      {"pbx", "204", "twelve-chars", LinkState::Registering, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.password);
    Keyset k;
    AccountBlock a;
    a.setHost(c.host);
    a.setAccountId(c.account);
    a.setPassword(c.password);
    k.tarnet.reset(a);
    k.ticks_(1);
    EXPECT_EQ(k.tarnet.state(), c.state);
    EXPECT_EQ(k.line(6), pad(c.line6));
    EXPECT_EQ(k.line(7), pad(c.line7));
    EXPECT_EQ(k.line(1), pad(c.state == LinkState::Registering ? "Registering.." : "Validating Settings.."));
    k.tarnet.onConnected(PeerAddress::v4(kLoopback));
    k.ticks_(400);
    if (c.state != LinkState::Registering) {
      EXPECT_TRUE(k.wire.sent.empty());
    }
  }
}

std::array<std::uint8_t, 16> evpMd5(const std::string& in) {
  std::array<std::uint8_t, 16> out{};
  unsigned len = 0;
  EVP_Digest(in.data(), in.size(), out.data(), &len, EVP_md5(), nullptr);
  return out;
}

// The digest as the exchange computes it from the account's texts.
std::string expectedDigest(std::uint16_t counter) {
  std::string in = std::string("204") + std::string(20, '\0');
  in += char(counter & 0xFF);
  in += char(counter >> 8);
  in += std::string("auth204") + std::string(16, '\0');
  in += std::string("twelve-chars").substr(0, 15) + std::string(3, '\0');
  const auto md5 = evpMd5(in);
  return std::string(reinterpret_cast<const char*>(md5.data()), 8);
}

TEST(KeysetRegistration, RequestsFollowTheRetryTimelineWithFreshCounterAndDigest) {
  struct Case {
    const char* name;
    bool secondSocket;  // a socket after a settings change waits for the countdown
    std::vector<std::uint32_t> requestTicks;
  };
  const Case cases[] = {
      {"first connect sends at once", false, {1, 21, 61, 141, 291, 441}},
      {"later socket waits 1.5 s, then 4 s, 8 s, 15 s", true, {16, 56, 136, 286, 436}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Keyset k;
    k.tarnet.reset(validAccount());
    if (c.secondSocket) {
      k.tarnet.onConnected(PeerAddress::v4(kLoopback));  // before Registering: no request
      k.tarnet.reset(validAccount());
    }
    k.ticks_(1);
    k.tarnet.onConnected(PeerAddress::v4(kLoopback));
    k.ticks_(460 - 1);
    ASSERT_EQ(k.wire.sent.size(), c.requestTicks.size());
    for (std::size_t i = 0; i < c.requestTicks.size(); ++i) {
      const std::string& d = k.wire.sent[i].bytes;
      EXPECT_EQ(k.wire.sent[i].tick, c.requestTicks[i]) << i;
      ASSERT_EQ(d.size(), 41u);
      EXPECT_EQ(d.substr(0, 3), std::string("\x00\x14\x01", 3));
      EXPECT_EQ(d.substr(3, 24), std::string("204") + std::string(21, '\0'));
      const std::uint16_t counter = std::uint16_t(i + 1);
      EXPECT_EQ(d.substr(27, 2), (std::string{char(counter), char(counter >> 8)}));
      EXPECT_EQ(d.substr(29, 8), expectedDigest(counter)) << i;
      EXPECT_EQ(d.substr(37, 4), std::string("\x01\x00\x00\x7F", 4));
      const auto q = decodeRegistrationRequest(asBytes(d));
      ASSERT_TRUE(q);
      EXPECT_TRUE(registrationDigestOk(*q, validAccount()));
    }
  }
}

TEST(KeysetRegistration, NoRequestWithoutExchangeAddress) {
  Keyset k;
  k.tarnet.reset(validAccount());
  k.ticks_(200);
  EXPECT_TRUE(k.wire.sent.empty());
  EXPECT_EQ(k.tarnet.state(), LinkState::Registering);
}

TEST(KeysetRegistration, RefusalShowsTheTextAndHoldsOffFiveMinutes) {
  const struct {
    std::string refusal;
    std::string line7;
  } cases[] = {
      {"Unknown account", "Unknown account"},
      {std::string("Busy\0trailing", 13), "Busy"},
      {"This text is far longer than twenty-five", "This text is far longer t"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line7);
    Keyset k;
    k.register_();
    k.feed(buildRefusal(c.refusal));
    EXPECT_EQ(k.tarnet.state(), LinkState::Registering);
    EXPECT_EQ(k.line(6), pad("Corvane refused connctn!"));
    EXPECT_EQ(k.line(7), pad(c.line7));
    k.ticks_(2999);
    EXPECT_TRUE(k.wire.sent.empty());
    k.ticks_(1);
    ASSERT_EQ(k.wire.sent.size(), 1u);
    EXPECT_EQ(k.wire.sent[0].bytes.size(), 41u);
    EXPECT_EQ(k.line(6), pad(""));  // a request clears the refusal
  }
}

TEST(KeysetRegistration, UnansweredLinkSetupFallsBackToRegistering) {
  Keyset k;
  k.register_();
  RegistrationAccept a;
  a.terminalId = 7;
  const std::string accept = buildRegistrationAccept(a);
  k.feed(accept.substr(0, 16));  // shorter than the fixed fields: ignored
  EXPECT_EQ(k.tarnet.state(), LinkState::Registering);
  k.feed(accept);
  EXPECT_EQ(k.tarnet.state(), LinkState::Synchronizing);
  EXPECT_EQ(k.line(1), pad("Synchronizing.."));
  k.ticks_(219);
  ASSERT_EQ(k.wire.sent.size(), 11u);  // with the accept and 10 more, 2 s apart
  for (std::size_t i = 0; i < 11; ++i) {
    EXPECT_EQ(k.wire.sent[i].bytes, std::string("\xFF\x07\x00\x01", 4));
    EXPECT_EQ(k.wire.sent[i].tick, 1 + 20 * i);
  }
  EXPECT_EQ(k.tarnet.state(), LinkState::Synchronizing);
  k.ticks_(1);
  EXPECT_EQ(k.tarnet.state(), LinkState::Registering);
  EXPECT_EQ(k.wire.sent.size(), 11u);
  k.ticks_(100);
  ASSERT_EQ(k.wire.sent.size(), 12u);
  EXPECT_EQ(k.wire.sent.back().bytes.size(), 41u);
  EXPECT_EQ(k.wire.sent.back().tick, 1 + 20 * 11 + 100);
}

TEST(KeysetRegistration, AcceptLengthDecidesWhatItCarries) {
  const struct {
    std::size_t size;
    bool keyValue;
    AddressFamily family;
  } cases[] = {
      {17, false, AddressFamily::IPv4}, {112, false, AddressFamily::IPv4}, {113, true, AddressFamily::IPv4},
      {128, true, AddressFamily::IPv4}, {129, true, AddressFamily::IPv6},
  };
  RegistrationAccept full;
  full.terminalId = 0x0B0A;
  full.extension = 0x1234FFFF;
  full.recordingPort = 9878;
  full.exchangeName = "EXCHANGE";
  full.keyValue.emplace();
  full.keyValue->fill(0x5A);
  full.recordingAddress = {0x20010DB8, 0, 0, 1};
  const std::string bytes = buildRegistrationAccept(full);
  ASSERT_EQ(bytes.size(), 129u);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const auto a = decodeRegistrationAccept(asBytes(std::string_view(bytes).substr(0, c.size)));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->terminalId, 0x0B0A);
    EXPECT_EQ(a->extension, 0x1234FFFFu);
    EXPECT_EQ(a->recordingPort, 9878);
    EXPECT_EQ(a->exchangeName, "EXCHANGE");
    EXPECT_EQ(a->keyValue.has_value(), c.keyValue);
    EXPECT_EQ(a->recordingFamily(), c.family);
  }
  EXPECT_FALSE(decodeRegistrationAccept(asBytes(std::string_view(bytes).substr(0, 16))));
}

// ---- link ----

TEST(KeysetLink, FirstDataFrameCarriesTheTerminalElement) {
  Keyset k;
  k.register_();
  RegistrationAccept a;
  a.terminalId = 0x0102;
  k.feed(buildRegistrationAccept(a));
  k.wire.sent.clear();
  k.feed(buildLinkReady() + "x");  // wrong length: not a link ready
  EXPECT_EQ(k.tarnet.state(), LinkState::Synchronizing);
  k.feed(buildLinkReady());
  EXPECT_EQ(k.tarnet.state(), LinkState::Running);
  EXPECT_TRUE(k.wire.sent.empty());
  k.ticks_(1);
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{dataFrame(0, 0, terminalElement())});
}

TEST(KeysetLink, ElementsAreFlushedByFillKeyAndTick) {
  Keyset k;
  k.run();
  // Three echo answers fill a frame (14 bytes): it goes at once.
  k.deliver(echoElement(1) + echoElement(2) + echoElement(3));
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{dataFrame(0, 1, echoElement(1) + echoElement(2) + echoElement(3))});
  // One answer waits for the tick; a key press rides with it and goes at once.
  k.deliver(echoElement(4));
  EXPECT_TRUE(k.wire.sent.empty());
  k.tarnet.pressKey(0xFEFE);
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{dataFrame(2, 2, echoElement(4) + keyElement(0xFEFE))});
  k.ticks_(1);
  EXPECT_TRUE(k.wire.sent.empty());  // nothing left to flush
}

TEST(KeysetLink, FullWindowDropsTheFrameAndReRegisters) {
  Keyset k;
  k.run();  // frame 0 outstanding
  for (std::uint16_t key = 1; key <= 6; ++key) k.tarnet.pressKey(key);
  EXPECT_EQ(k.wire.take().size(), 6u);  // frames 1-6: seven outstanding
  EXPECT_FALSE(k.tarnet.snapshot().linkFailure);
  k.tarnet.pressKey(7);
  EXPECT_TRUE(k.wire.sent.empty());
  EXPECT_TRUE(k.tarnet.snapshot().linkFailure);
  // V(S) stayed at 7: an acknowledge of frames 0-2 resends 3-6 and nothing
  // of the dropped frame.
  k.feed(buildExchangeAcknowledge(3));
  const std::vector<std::string> resent = k.wire.take();
  ASSERT_EQ(resent.size(), 4u);
  EXPECT_EQ(resent.back(), dataFrame(0, 6, keyElement(6)));
  k.ticks_(1);
  EXPECT_EQ(k.tarnet.state(), LinkState::Registering);
  EXPECT_EQ(k.line(0), pad("KV430 Tarnet Version 1.20"));
  EXPECT_EQ(k.line(1), pad("Registering.."));
  k.ticks_(99);
  EXPECT_TRUE(k.wire.sent.empty());
  k.ticks_(1);
  ASSERT_EQ(k.wire.sent.size(), 1u);
  EXPECT_EQ(k.wire.sent[0].bytes.size(), 41u);
}

TEST(KeysetLink, ReceivedFramesAreAcknowledgedAfterOneSecondUnlessAFrameCarriesIt) {
  Keyset k;
  k.run();
  k.deliver(rawElement(0xF0, 1, ""));
  k.ticks_(9);
  EXPECT_TRUE(k.wire.sent.empty());
  k.ticks_(1);
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{buildKeysetAcknowledge(0x0102, 1, 0)});
  k.ticks_(20);
  EXPECT_TRUE(k.wire.sent.empty());
  k.deliver(rawElement(0xF0, 1, ""));
  k.ticks_(5);
  k.tarnet.pressKey(0x1234);
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{dataFrame(2, 1, keyElement(0x1234))});
  k.ticks_(30);
  EXPECT_TRUE(k.wire.sent.empty());
}

TEST(KeysetLink, LostFrameIsRejectedOnceThenIgnoredForThreeTicks) {
  Keyset k;
  k.run();
  const std::string lamp = lampsElement({{3, 3}});
  k.feed(buildExchangeDataFrame(0, 1, lamp));  // frame 0 lost
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{buildKeysetAcknowledge(0x0102, 0, 0)});
  EXPECT_EQ(k.tarnet.snapshot().lamps[3], LampState::Off);
  k.ticks_(2);
  k.feed(buildExchangeDataFrame(0, 2, lamp));
  EXPECT_TRUE(k.wire.sent.empty());
  k.ticks_(1);
  k.feed(buildExchangeDataFrame(0, 2, lamp));
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{buildKeysetAcknowledge(0x0102, 0, 0)});
  // The resent frame 0 is taken and acknowledged a second later.
  k.feed(buildExchangeDataFrame(0, 0, lamp));
  EXPECT_EQ(k.tarnet.snapshot().lamps[3], LampState::On);
  k.ticks_(10);
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{buildKeysetAcknowledge(0x0102, 1, 0)});
}

TEST(KeysetLink, AcknowledgeOfAnOlderNumberResendsWhatFollows) {
  struct Case {
    std::uint8_t nr;
    std::vector<std::uint8_t> resent;
  };
  // Frames 0-3 outstanding (V(A) 0, V(S) 4).
  const Case cases[] = {{0, {0, 1, 2, 3}}, {2, {2, 3}}, {3, {3}}, {4, {}}, {5, {}}, {7, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.nr));
    Keyset k;
    k.run();
    for (std::uint16_t key = 1; key <= 3; ++key) k.tarnet.pressKey(key);
    k.wire.sent.clear();
    k.feed(buildExchangeAcknowledge(c.nr));
    std::vector<std::string> expected;
    for (std::uint8_t n : c.resent) {
      expected.push_back(n == 0 ? dataFrame(0, 0, terminalElement()) : dataFrame(0, n, keyElement(n)));
    }
    EXPECT_EQ(k.wire.take(), expected);
  }
}

TEST(KeysetLink, WindowNumbersWrapAroundEight) {
  // V(A) 6 and V(S) 1: N(R) 6, 7, 0, 1 are valid, 2 to 5 are not.
  for (std::uint8_t nr = 0; nr < 8; ++nr) {
    SCOPED_TRACE(int(nr));
    Keyset k;
    k.run();
    for (std::uint16_t key = 1; key <= 5; ++key) k.tarnet.pressKey(key);
    k.feed(buildExchangeAcknowledge(6));                                  // V(A) 6, V(S) 6
    for (std::uint16_t key = 6; key <= 8; ++key) k.tarnet.pressKey(key);  // frames 6, 7, 0
    k.wire.sent.clear();
    k.feed(buildExchangeAcknowledge(nr));
    const bool valid = nr >= 6 || nr <= 1;
    const std::size_t resent = valid ? std::size_t((1 - nr + 8) % 8) : 0;
    EXPECT_EQ(k.wire.take().size(), resent);
  }
}

// ---- elements ----

TEST(KeysetElements, ElementsRunningPastTheFrameAreNotActedOnButTheFrameCounts) {
  const std::string display = displayElement(1, "Hello");
  const struct {
    const char* name;
    std::string elements;
    int lamp5;     // expected state of lamp 5
    bool display;  // line 2 shows "Hello"
  } cases[] = {
      {"lamp pair (0x85, 7)", lampsElement({{0x85, 7}}), 3, false},
      {"lamp 64 and above ignored", lampsElement({{64, 3}, {5, 2}}), 2, false},
      {"display then lamps", display + lampsElement({{5, 1}}), 1, true},
      {"display cut short", display.substr(0, 40), 0, false},
      {"lamps claiming more pairs than sent", rawElement(0x80, 5, "\x05\x03"), 0, false},
      {"0x30 occupies 72 bytes", opaqueElement() + lampsElement({{5, 3}}), 3, false},
      {"0x30 cut short", opaqueElement().substr(0, 60), 0, false},
      {"0x60 stops parsing", keyElement(1) + lampsElement({{5, 3}}), 0, false},
      {"0xB0 stops parsing", rawElement(0xB0, 1, "") + lampsElement({{5, 3}}), 0, false},
      {"0xF0 is skipped", rawElement(0xF0, 3, "ab") + lampsElement({{5, 3}}), 3, false},
      {"wrong length skipped", rawElement(0x40, 3, "\x01z") + lampsElement({{5, 3}}), 3, false},
      {"lone type byte", std::string("\x80", 1), 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Keyset k;
    k.run();
    k.deliver(c.elements);
    const KeysetSnapshot s = k.tarnet.snapshot();
    EXPECT_EQ(int(s.lamps[5]), c.lamp5);
    EXPECT_EQ(s.displayLine(2) == pad("Hello"), c.display);
    // The frame was taken: the next one in sequence is acted on.
    k.deliver(lampsElement({{9, 3}}));
    EXPECT_EQ(k.tarnet.snapshot().lamps[9], LampState::On);
  }
}

TEST(KeysetElements, SpeechFollowsControlToneAndAddress) {
  const struct {
    const char* name;
    std::vector<std::string> elements;
    bool socketWorks;
    int speechMode;
    const char* log;
    bool fault;
  } cases[] = {
      {"tone then start", {toneElement(1, {}), speechControlElement(0)}, true, 3, "tone;start;", false},
      {"tone during speech ignored", {speechControlElement(0), toneElement(1, {})}, true, 3, "start;", false},
      {"stop", {speechControlElement(0), speechControlElement(4)}, true, 0, "start;stop;", false},
      {"address to the exchange", {speechAddressElement(5004, {})}, true, 0, "address 2130706433:5004;", false},
      {"address with nonzero pad byte", {rawElement(0xA0, 4, std::string("\x01\x8c\x13", 3))}, true, 0, "", false},
      {"speech socket fault stops speech, link stays",
       {speechControlElement(0), speechAddressElement(5004, PeerAddress::v4(0x0A000001))},
       false,
       0,
       "start;address 167772161:5004;stop;",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Keyset k;
    k.run();
    k.speech.socketWorks = c.socketWorks;
    std::string all;
    for (const auto& e : c.elements) all += e;
    k.deliver(all);
    const KeysetSnapshot s = k.tarnet.snapshot();
    EXPECT_EQ(s.speechMode, c.speechMode);
    EXPECT_EQ(k.speech.log, c.log);
    EXPECT_EQ(s.socketFault, c.fault);
    EXPECT_EQ(s.lamps[kSpeechLamp], c.speechMode == 3 ? LampState::On : LampState::Off);
    EXPECT_EQ(s.state, LinkState::Running);
  }
}

TEST(KeysetElements, EchoCounterWrapsAtSixteenBits) {
  Keyset k;
  k.run();
  k.feed(buildExchangeAcknowledge(1));
  std::uint8_t va = 1;
  for (std::uint32_t v = 0; v <= 0x10000; ++v) {
    k.deliver(counterElement(std::uint16_t(v)) + counterElement(std::uint16_t(v + 7)), va);
    k.ticks_(1);
    ASSERT_EQ(k.wire.sent.size(), 1u) << v;
    const std::string expected = dataFrame(k.nextNs & 7, va, counterElement(std::uint16_t(v + 1)));
    ASSERT_EQ(k.wire.sent[0].bytes, expected) << v;
    k.wire.sent.clear();
    va = (va + 1) & 7;
  }
}

TEST(KeysetLink, SilentLinkSendsItsStatusEveryTenSecondsAndTheHookSwitchesSpeech) {
  Keyset k;
  k.run();
  k.ticks_(99);
  EXPECT_TRUE(k.wire.sent.empty());
  k.ticks_(1);
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{dataFrame(0, 1, statusElement(0))});
  k.tarnet.toggleHook();
  EXPECT_EQ(k.tarnet.snapshot().lamps[kSpeechLamp], LampState::On);
  k.tarnet.toggleHook();
  k.ticks_(1);
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{dataFrame(0, 2, statusElement(3) + statusElement(0))});
  EXPECT_EQ(k.speech.log, "start;stop;");
  // Outside Running the hook and keys are dropped, never queued.
  Keyset idle;
  idle.register_();
  idle.tarnet.toggleHook();
  idle.tarnet.pressKey(0x1234);
  EXPECT_EQ(idle.tarnet.snapshot().speechMode, 0);
  EXPECT_TRUE(idle.speech.log.empty());
}

class OfferedKey : public KeyMaterial {
 public:
  void restart() override { log += "restart;"; }
  std::optional<SpeechKeyBlock> nextKeyPair() override {
    log += "pair;";
    SpeechKeyBlock b;
    b.fill(0xE7);
    return b;
  }
  void accepted(const ExchangeKeyValue* v) override { log += v ? "value;" : "no value;"; }
  void speechPathOpened() override { log += "path;"; }
  std::string log;
};

TEST(KeysetRegistration, OfferedKeyMakesLongRequestsAndReachesTheKeyMaterial) {
  Wire wire;
  std::uint32_t clock = 0;
  wire.clock = &clock;
  NullSpeech speech;
  OfferedKey keys;
  Tarnet t(wire, speech, keys);
  t.reset(validAccount());
  t.tick();
  t.onConnected(PeerAddress::v4(kLoopback));
  for (int i = 0; i < 20; ++i) t.tick();
  const std::vector<std::string> requests = wire.take();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& r : requests) {
    ASSERT_EQ(r.size(), 137u);
    EXPECT_EQ(r.substr(41), std::string(96, '\xE7'));
  }
  EXPECT_EQ(keys.log, "restart;pair;");  // one pair until the next reset
  RegistrationAccept a;
  a.keyValue.emplace();
  a.keyValue->fill(1);
  const std::string accept = buildRegistrationAccept(a);
  t.onDatagram(reinterpret_cast<const std::uint8_t*>(accept.data()), accept.size());
  EXPECT_EQ(keys.log, "restart;pair;value;");
}

TEST(KeysetUnregister, SentFromRegisteringOnWithTheTerminalId) {
  Keyset k;
  k.tarnet.reset(validAccount());
  k.tarnet.onConnected(PeerAddress::v4(kLoopback));
  k.tarnet.unregister();
  EXPECT_TRUE(k.wire.sent.empty());  // Initial: nothing
  k.run();
  k.tarnet.unregister();
  EXPECT_EQ(k.wire.take(), std::vector<std::string>{std::string("\x01\x02\x01", 3)});
  k.tarnet.socketFault();
  k.tarnet.unregister();
  EXPECT_TRUE(k.wire.sent.empty());
  EXPECT_TRUE(k.tarnet.snapshot().socketFault);
}

}  // namespace
}  // namespace halvern
