#include "lumarc/links/cmdr_link.h"

#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "common/byte_io.h"
#include "common/checks.h"
#include "lumarc/links/cmdr_line.h"
#include "lumarc/links/link_test_support.h"

#include <sys/stat.h>

#include <algorithm>

#include <gtest/gtest.h>

namespace lumarc {
namespace {

using namespace lumarc::testing;

CmdrFrame callFrame(uint32_t n) {
  CmdrFrameFields s;
  s.kind = 0;
  s.firstPort = 0xFFFF1000 | (n % 100);
  s.partnerPort = 0xFFFF2000;
  s.usedPort = 0xFFFFF900;
  s.crefA = n;
  s.externalPulses = uint16_t(n);
  s.time = {2024, 5, 6, 7, 8, int(n % 60)};
  s.digits1 = "0212" + std::to_string(n);
  return buildCmdrFrame(s);
}

std::string bytesOf(const std::vector<CmdrFrame>& frames) {
  std::string s;
  for (const CmdrFrame& f : frames) s.append(reinterpret_cast<const char*>(f.data()), f.size());
  return s;
}

struct Fixture {
  TempDir dir;
  FakeNet net;
  FakeSink sink;
  FakeView view;
  std::vector<ConnectionTarget> history;
  LinkList list;
  explicit Fixture(CmdrRecordSink* store = nullptr)
      : list(LinkKind::Cmdr, env(), cmdrLinkFactory(fakeSockets(net), store ? *store : sink)) {}
  LinkEnvironment env() {
    LinkEnvironment e;
    e.workDir = dir.path();
    e.messageText = linkMessages(englishTexts());
    e.view = &view;
    e.addToHistory = [this](const ConnectionTarget& t) { history.push_back(t); };
    return e;
  }
  CmdrLink& link() { return *static_cast<CmdrLink*>(list.link(0)); }
  void openConnected(const char* address = "192.168.1.20") {
    ASSERT_EQ(list.openLink(address), 0);
    net.events->onConnectResult(true);
  }
  void feed(const std::string& bytes) {
    net.events->onBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) list.tick();
  }
};

// --- Connecting -------------------------------------------------------------

TEST(CmdrConnect, SuccessfulConnectShowsConnectedAndEntersTheHistory) {
  Fixture f;
  f.openConnected("192.168.1.20:5001");
  EXPECT_EQ(f.link().state(), CmdrState::Connected);
  EXPECT_EQ(f.view.icons[0], kIconConnected);
  ASSERT_EQ(f.history.size(), 1u);
  EXPECT_EQ(f.history[0], parseAddressText("192.168.1.20:5001"));
  EXPECT_EQ(f.view.historyChanges, 1);
}

TEST(CmdrConnect, RefusedConnectSaysSocketOpeningFaultAndWaitsToReconnect) {
  Fixture f;
  f.list.openLink("192.168.1.20");
  f.net.events->onConnectResult(false);
  EXPECT_EQ(f.view.caption, "Socket opening fault!");
  EXPECT_EQ(f.link().state(), CmdrState::Closed);
  EXPECT_EQ(f.view.icons[0], kIconClosed);
  EXPECT_EQ(f.net.closes, 1);
  EXPECT_TRUE(f.history.empty());
}

TEST(CmdrConnect, ConnectTimeoutFiresWhenTheCounterBecomes101) {
  Fixture f;
  f.list.openLink("192.168.1.20");
  f.ticks(100);
  EXPECT_EQ(f.link().state(), CmdrState::Connecting);
  EXPECT_EQ(f.net.closes, 0);
  f.ticks(1);
  EXPECT_EQ(f.link().state(), CmdrState::Closed);
  EXPECT_EQ(f.view.icons[0], kIconClosed);
  EXPECT_EQ(f.net.closes, 1);
  EXPECT_EQ(f.view.caption, "");
  // A late connect result of the abandoned socket changes nothing.
  f.net.events->onConnectResult(true);
  EXPECT_EQ(f.link().state(), CmdrState::Closed);
}

TEST(CmdrConnect, ReconnectStartsWhenTheCounterBecomes3000WithAnEmptiedLog) {
  Fixture f;
  f.openConnected();
  f.link().appendLine("before the close");
  f.net.events->onPeerClosed();
  EXPECT_EQ(f.view.caption, "Socket closed unexpectedly!");
  EXPECT_EQ(f.link().state(), CmdrState::Closed);
  EXPECT_EQ(f.view.icons[0], kIconClosed);
  f.ticks(2999);
  EXPECT_EQ(f.net.opens, 1);
  f.ticks(1);
  EXPECT_EQ(f.net.opens, 2);
  EXPECT_EQ(f.link().state(), CmdrState::Connecting);
  EXPECT_EQ(f.view.icons[0], kIconConnecting);
  EXPECT_EQ(f.view.tabs.size(), 1u);
  std::string log = readAll(f.dir.path() + "/logC00.txt");
  EXPECT_EQ(log.find("before the close"), std::string::npos);
  EXPECT_NE(log.find("192.168.1.20:9876\r\n"), std::string::npos);
  // The list keeps its lines.
  EXPECT_EQ(f.link().lines().last(), "before the close");
  f.net.events->onConnectResult(true);
  EXPECT_EQ(f.link().state(), CmdrState::Connected);
}

TEST(CmdrConnect, ReconnectThatCannotStartEndsTheLink) {
  Fixture f;
  f.openConnected();
  f.net.events->onPeerClosed();
  f.net.next.status = OpenResult::Status::ResolveFailed;
  f.ticks(3000);
  EXPECT_EQ(f.link().state(), CmdrState::Failed);
  EXPECT_EQ(f.view.caption, "Socket opening fault!");
  EXPECT_EQ(f.view.icons[0], kIconClosed);
  f.ticks(10000);
  EXPECT_EQ(f.net.opens, 2);
}

TEST(CmdrConnect, TimedOutConnectIsRetried300sLater) {
  Fixture f;
  f.list.openLink("192.168.1.20");
  f.ticks(101 + 2999);
  EXPECT_EQ(f.net.opens, 1);
  f.ticks(1);
  EXPECT_EQ(f.net.opens, 2);
}

// --- Keep-alive -------------------------------------------------------------

TEST(CmdrKeepAlive, QuietLinkSendsXOnTheSevenStepCycle) {
  Fixture f;
  f.openConnected();
  std::vector<int> sentAt;
  for (int t = 1; t <= 7400; ++t) {
    size_t before = f.net.sent.size();
    f.list.tick();
    if (f.net.sent.size() != before) sentAt.push_back(t);
  }
  // 5, 10, 20, 30, 50, 70, 370 s, then the same pattern again from there.
  EXPECT_EQ(sentAt, (std::vector<int>{50, 100, 200, 300, 500, 700, 3700, 3750, 3800, 3900, 4000, 4200, 4400, 7400}));
  EXPECT_EQ(f.net.sent, std::string(14, 'X'));
}

TEST(CmdrKeepAlive, AcknowledgedBatchRestartsTheSchedule) {
  Fixture f;
  f.openConnected();
  f.ticks(300);  // four keep-alives: step 4 now
  EXPECT_EQ(f.link().keepAliveStep(), 4);
  f.ticks(150);
  f.feed(bytesOf({callFrame(1)}));
  EXPECT_EQ(f.link().keepAliveStep(), 0);
  EXPECT_EQ(f.link().ticks(), 0u);
  f.net.sent.clear();
  f.ticks(49);
  EXPECT_EQ(f.net.sent, "");
  f.ticks(1);
  EXPECT_EQ(f.net.sent, "X");
}

TEST(CmdrKeepAlive, PartialFrameIsNotAnAcknowledgedBatch) {
  Fixture f;
  f.openConnected();
  f.ticks(40);
  f.feed(bytesOf({callFrame(1)}).substr(0, 100));
  EXPECT_EQ(f.net.sent, "");
  EXPECT_EQ(f.link().ticks(), 40u);
  f.ticks(10);
  EXPECT_EQ(f.net.sent, "X");
}

// --- Framing ----------------------------------------------------------------

TEST(CmdrFraming, FramesSplitOrJoinedAreHandledExactlyOnce) {
  struct Case {
    const char* name;
    int frames;
    std::vector<size_t> chunks;  // sizes of the receive passes
    int acks;
  } cases[] = {
      {"one frame", 1, {154}, 1},
      {"two frames in one segment", 2, {308}, 1},
      {"frame split in two", 1, {100, 54}, 1},
      {"split after the first byte", 1, {1, 153}, 1},
      {"split before the last byte", 1, {153, 1}, 1},
      {"tail of one and a whole one", 2, {100, 208}, 1},
      {"frame and a half, then the rest", 2, {231, 77}, 2},
      {"three frames in odd pieces", 3, {50, 50, 50, 50, 50, 50, 50, 50, 62}, 3},
      {"five frames at once", 5, {770}, 1},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.openConnected();
    std::vector<CmdrFrame> frames;
    for (int i = 0; i < c.frames; ++i) frames.push_back(callFrame(uint32_t(i + 1)));
    std::string all = bytesOf(frames);
    size_t pos = 0;
    for (size_t n : c.chunks) {
      f.feed(all.substr(pos, n));
      pos += n;
    }
    ASSERT_EQ(pos, all.size()) << c.name;
    EXPECT_EQ(f.net.sent, std::string(size_t(c.acks), 'X')) << c.name;
    ASSERT_EQ(f.sink.stored.size(), size_t(c.frames)) << c.name;
    for (int i = 0; i < c.frames; ++i) EXPECT_EQ(f.sink.stored[size_t(i)].crefa, uint32_t(i + 1)) << c.name;
    EXPECT_EQ(f.link().pendingBytes(), 0u) << c.name;
  }
}

TEST(CmdrFraming, EveryByteInItsOwnSegmentStillMakesWholeFrames) {
  Fixture f;
  f.openConnected();
  std::string all = bytesOf({callFrame(1), callFrame(2)});
  for (char b : all) f.feed(std::string(1, b));
  EXPECT_EQ(f.sink.stored.size(), 2u);
  EXPECT_EQ(f.net.sent, "XX");
}

TEST(CmdrFraming, RecordLineIsShownLoggedAndStored) {
  Fixture f;
  f.openConnected();
  f.feed(bytesOf({callFrame(7)}));
  ASSERT_EQ(f.sink.stored.size(), 1u);
  const CmdrRecord& r = f.sink.stored[0];
  EXPECT_EQ(r.ipadr, 0xC0A80114u);
  std::string line = cmdrLineText(r);
  EXPECT_EQ(f.view.lines[0], std::vector<std::string>{line});
  EXPECT_NE(readAll(f.dir.path() + "/logC00.txt").find("\r\n" + line + "\r\n"), std::string::npos);
}

TEST(CmdrFraming, Ipv6LinkStoresNoExchangeAddress) {
  Fixture f;
  f.net.next.ipv6 = true;
  f.net.next.address[0] = 0xFE;
  f.openConnected("[fe80::1]");
  f.feed(bytesOf({callFrame(7)}));
  ASSERT_EQ(f.sink.stored.size(), 1u);
  EXPECT_EQ(f.sink.stored[0].ipadr, 0u);
}

TEST(CmdrFraming, KindFAndUnknownKindsAreAcknowledgedButNotShownOrStored) {
  Fixture f;
  f.openConnected();
  CmdrFrameFields s;
  s.kind = 5;
  CmdrFrame kindF = buildCmdrFrame(s);
  s.kind = 0x45;
  CmdrFrame kind45 = buildCmdrFrame(s);
  s.kind = 17;
  CmdrFrame kind17 = buildCmdrFrame(s);
  f.feed(bytesOf({kindF, kind45, kind17}));
  EXPECT_EQ(f.net.sent, "X");
  EXPECT_TRUE(f.sink.stored.empty());
  EXPECT_TRUE(f.view.lines[0].empty());
}

TEST(CmdrFraming, EveryAcceptedKindIsShownAndStored) {
  Fixture f;
  f.openConnected();
  std::vector<CmdrFrame> frames;
  for (uint32_t k = 0; k < 5; ++k) {
    CmdrFrameFields s;
    s.kind = k;
    s.firstPort = 0xFFFF0100;
    s.text1 = "text";
    frames.push_back(buildCmdrFrame(s));
  }
  f.feed(bytesOf(frames));
  ASSERT_EQ(f.sink.stored.size(), 5u);
  std::string types;
  for (auto& r : f.sink.stored) types += r.type;
  EXPECT_EQ(types, "ABCDE");
  EXPECT_EQ(f.view.lines[0].size(), 5u);
  EXPECT_EQ(f.view.lines[0][3].substr(0, 12), "D Malicious ");
}

// --- Malformed frames -------------------------------------------------------

TEST(CmdrMalformed, BadFrameEndsTheLinkWithoutAcknowledgingTheBatch) {
  struct Case {
    const char* name;
    size_t offset;
  } cases[] = {{"check word", cmdr::kCheck}, {"sum byte", cmdr::kSum}, {"end mark", cmdr::kEndMark}};
  for (const Case& c : cases) {
    Fixture f;
    f.openConnected();
    CmdrFrame bad = callFrame(2);
    bad[c.offset] ^= 0x01;
    if (c.offset != cmdr::kCheck)
      corvane::ByteWriter(bad).putLe16(cmdr::kCheck, corvane::frameCheck16(bad.data(), cmdr::kCheck));
    f.feed(bytesOf({callFrame(1), bad, callFrame(3)}));
    EXPECT_EQ(f.net.sent, "") << c.name;
    EXPECT_EQ(f.sink.stored.size(), 1u) << c.name;  // the good frame before it
    EXPECT_EQ(f.link().state(), CmdrState::Failed) << c.name;
    EXPECT_EQ(f.view.icons[0], kIconClosed) << c.name;
    EXPECT_EQ(f.view.caption, "Received data format faulty!") << c.name;
    EXPECT_EQ(f.net.closes, 1) << c.name;
    f.feed(bytesOf({callFrame(4)}));
    f.ticks(10000);
    EXPECT_EQ(f.sink.stored.size(), 1u) << c.name;
    EXPECT_EQ(f.net.opens, 1) << c.name;
    EXPECT_EQ(f.net.sent, "") << c.name;
  }
}

TEST(CmdrMalformed, NoMemoryForARecordEndsTheLink) {
  Fixture f;
  f.openConnected();
  f.sink.mode = FakeSink::Mode::OutOfMemory;
  f.feed(bytesOf({callFrame(1)}));
  EXPECT_EQ(f.view.caption, "Insufficient memory!");
  EXPECT_EQ(f.link().state(), CmdrState::Failed);
  EXPECT_EQ(f.net.closes, 1);
  EXPECT_EQ(f.net.sent, "");
}

// --- Records the database refuses -------------------------------------------

TEST(CmdrRefused, RefusedRecordGoesToFcmdrBeforeItIsAcknowledged) {
  Fixture f;
  f.openConnected();
  f.sink.mode = FakeSink::Mode::Fail;
  f.feed(bytesOf({callFrame(1), callFrame(2)}));
  f.feed(bytesOf({callFrame(3)}));
  EXPECT_EQ(f.net.sent, "XX");
  std::string want;
  for (uint32_t n : {1u, 2u, 3u}) {
    CmdrRecord r;
    decodeCmdrFrame(callFrame(n), 0xC0A80114, r);
    want += cmdrLineText(r) + "\r\n";
  }
  EXPECT_EQ(readAll(f.dir.path() + "/fcmdr.txt"), want);
  EXPECT_EQ(f.view.caption, "disk I/O error");  // the database's reason
  EXPECT_EQ(f.link().state(), CmdrState::Connected);
}

TEST(CmdrRefused, RecordNeitherStoredNorWrittenIsNeverAcknowledged) {
  Fixture f;
  f.openConnected();
  f.sink.mode = FakeSink::Mode::Fail;
  ASSERT_EQ(::mkdir((f.dir.path() + "/fcmdr.txt").c_str(), 0755), 0);  // cannot be appended to
  f.feed(bytesOf({callFrame(1), callFrame(2)}));
  EXPECT_EQ(f.net.sent, "");
  EXPECT_EQ(f.net.closes, 1);
  EXPECT_EQ(f.link().state(), CmdrState::Closed);
  EXPECT_EQ(f.view.caption, "fcmdr.txt File access failed! (Is a directory)");
  // No keep-alive either while the records are kept nowhere.
  f.ticks(2999);
  EXPECT_EQ(f.net.sent, "");
  // The exchange sends it again after the reconnection; now it is stored.
  f.sink.mode = FakeSink::Mode::Store;
  f.ticks(1);
  f.net.events->onConnectResult(true);
  f.feed(bytesOf({callFrame(1), callFrame(2)}));
  EXPECT_EQ(f.net.sent, "X");
  EXPECT_EQ(f.sink.stored.size(), 2u);
}

TEST(CmdrRefused, CounterUpdateErrorIsShownAndTheRecordAcknowledged) {
  Fixture f;
  f.openConnected();
  f.sink.mode = FakeSink::Mode::CountersFail;
  f.feed(bytesOf({callFrame(1)}));
  EXPECT_EQ(f.net.sent, "X");
  EXPECT_EQ(f.view.caption, "Pdata update failed");
  EXPECT_FALSE(std::filesystem::exists(f.dir.path() + "/fcmdr.txt"));
}

TEST(CmdrClose, PeerCloseDropsAHalfReceivedFrame) {
  Fixture f;
  f.openConnected();
  std::string all = bytesOf({callFrame(1)});
  f.feed(all.substr(0, 80));
  f.net.events->onPeerClosed();
  EXPECT_EQ(f.link().pendingBytes(), 0u);
  f.ticks(3000);
  f.net.events->onConnectResult(true);
  f.feed(all);
  EXPECT_EQ(f.sink.stored.size(), 1u);
  EXPECT_EQ(f.net.sent, "X");
}

}  // namespace
}  // namespace lumarc

namespace lumarc {
namespace {

// A store that logs each pass it is handed, with what was sent by then, and
// can refuse a whole pass.
struct PassSink : FakeSink {
  std::vector<std::string> calls;
  std::string refuseAll;
  const std::string* sent = nullptr;
  std::vector<StoreOutcome> storePass(const std::vector<CmdrRecord>& records) override {
    calls.push_back("pass:" + std::to_string(records.size()) + ":" + *sent);
    if (refuseAll.empty()) return FakeSink::storePass(records);
    std::vector<StoreOutcome> out(records.size());
    for (StoreOutcome& o : out) o.error = refuseAll;
    return out;
  }
};

struct BatchFixture : Fixture {
  BatchFixture() : Fixture(&passes) { passes.sent = &net.sent; }
  PassSink passes;
};

TEST(CmdrBatchStore, EachReceivePassIsStoredBeforeItsAcknowledgement) {
  BatchFixture f;
  f.openConnected();
  std::string all = bytesOf({callFrame(1), callFrame(2), callFrame(3)});
  f.feed(all.substr(0, 100));    // no whole frame: nothing to store
  f.feed(all.substr(100, 300));  // frames 1 and 2
  f.feed(all.substr(400));       // frame 3
  EXPECT_EQ(f.passes.calls, (std::vector<std::string>{"pass:2:", "pass:1:X"}));
  EXPECT_EQ(f.net.sent, "XX");
}

TEST(CmdrBatchStore, APassTheStoreRefusesWholeGoesToFcmdrOnceAndIsAcknowledged) {
  BatchFixture f;
  f.openConnected();
  f.passes.refuseAll = "[HY000] database or disk is full (13)";
  f.feed(bytesOf({callFrame(1), callFrame(2)}));
  EXPECT_EQ(f.net.sent, "X");
  EXPECT_EQ(f.view.caption, "[HY000] database or disk is full (13)");
  EXPECT_EQ(f.link().state(), CmdrState::Connected);
  std::string text = readAll(f.dir.path() + "/fcmdr.txt");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST(CmdrBatchStore, FramesBeforeAMalformedOneAreStillCommitted) {
  BatchFixture f;
  f.openConnected();
  CmdrFrame bad = callFrame(2);
  bad[cmdr::kCheck] ^= 1;
  f.feed(bytesOf({callFrame(1), bad}));
  EXPECT_EQ(f.passes.calls, (std::vector<std::string>{"pass:1:"}));
  EXPECT_EQ(f.link().state(), CmdrState::Failed);
  EXPECT_EQ(f.net.sent, "");
}

}  // namespace
}  // namespace lumarc

namespace lumarc {
namespace {

// Random segmentations of a stream in which one frame may be damaged: the
// frames before the damage are stored exactly once, nothing after it, and no
// "X" ever follows a pass that saw the damaged frame.
TEST(CmdrFramingProperty, RandomSegmentsNeverLoseOrDuplicateAndNeverAcknowledgeDamage) {
  uint32_t seed = 12345;
  auto rnd = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  for (int round = 0; round < 300; ++round) {
    Fixture f;
    f.openConnected();
    int frames = 1 + int(rnd(12));
    int damaged = rnd(3) == 0 ? int(rnd(uint32_t(frames))) : -1;
    std::vector<CmdrFrame> list;
    for (int i = 0; i < frames; ++i) {
      CmdrFrame fr = callFrame(uint32_t(i + 1));
      if (i == damaged) fr[rnd(kCmdrFrameSize)] ^= uint8_t(1 + rnd(255));
      list.push_back(fr);
    }
    std::string all = bytesOf(list);
    size_t pos = 0;
    int passesWithWholeFrames = 0;
    size_t received = 0;
    while (pos < all.size() && f.link().state() == CmdrState::Connected) {
      size_t n = 1 + rnd(400);
      n = std::min(n, all.size() - pos);
      size_t before = received / kCmdrFrameSize;
      received += n;
      size_t after = received / kCmdrFrameSize;
      bool sawDamage = damaged >= 0 && after > size_t(damaged);
      if (after > before && !sawDamage) ++passesWithWholeFrames;
      f.feed(all.substr(pos, n));
      pos += n;
    }
    size_t wantStored = damaged >= 0 ? size_t(damaged) : size_t(frames);
    ASSERT_EQ(f.sink.stored.size(), wantStored) << "round " << round;
    for (size_t i = 0; i < f.sink.stored.size(); ++i) ASSERT_EQ(f.sink.stored[i].crefa, uint32_t(i + 1));
    ASSERT_EQ(f.net.sent, std::string(size_t(passesWithWholeFrames), 'X')) << "round " << round;
    ASSERT_EQ(f.link().state(), damaged >= 0 ? CmdrState::Failed : CmdrState::Connected) << "round " << round;
  }
}

}  // namespace
}  // namespace lumarc
