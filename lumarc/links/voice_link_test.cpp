#include "lumarc/links/voice_link.h"

#include "common/byte_io.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/link_test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <deque>

using namespace lumarc;
using namespace lumarc::testing;

namespace {

struct FakeChannelSocket;

struct VoiceNet {
  struct Channel {
    int opens = 0;
    std::string host;
    uint16_t port = 0;
    std::vector<std::string> sent;
    DatagramEvents* events = nullptr;
    bool closed = false;
  };
  Channel ch[kVoiceChannels];
  int created = 0;
  OpenResult next;
  bool failCreateAt = false;
  int failCreateIndex = -1;
  int failOpenIndex = -1;
  // What the link did, in order: "send N" (request code N) and "row NAME"
  // (a row handed to the store).
  std::vector<std::string> events;
  VoiceNet() {
    next.status = OpenResult::Status::Ok;
    uint32_t a = 0xC0A80114;  // 192.168.1.20
    std::memcpy(next.address, &a, 4);
  }
};

class FakeChannelSocket : public DatagramTransport {
 public:
  FakeChannelSocket(VoiceNet& net, int index) : net_(net), i_(index) {}
  OpenResult open(const std::string& host, uint16_t port) override {
    auto& c = net_.ch[i_];
    ++c.opens;
    c.host = host;
    c.port = port;
    if (i_ == net_.failOpenIndex) {
      OpenResult r;
      r.status = OpenResult::Status::ConnectFailed;
      return r;
    }
    return net_.next;
  }
  bool send(std::string_view b) override {
    net_.ch[i_].sent.emplace_back(b);
    if (b.size() > 3) net_.events.push_back("send " + std::to_string(uint8_t(b[3])));
    return true;
  }
  void close() override { net_.ch[i_].closed = true; }

 private:
  VoiceNet& net_;
  int i_;
};

struct FakeVoiceSink : VoiceRecordSink {
  std::vector<VoiceRecord> rows;
  std::vector<bool> fileInPlace;  // per row: its file was complete under its name
  std::vector<std::string>* events = nullptr;
  std::string error;
  VoiceStoreOutcome storeVoiceRecord(const VoiceRecord& row) override {
    rows.push_back(row);
    fileInPlace.push_back(::access((row.rcdfn + "." + row.rcdfx).c_str(), F_OK) == 0);
    if (events) events->push_back("row " + row.rcdfn + "." + row.rcdfx);
    VoiceStoreOutcome o;
    o.stored = error.empty();
    o.error = error;
    return o;
  }
};

using corvane::ByteReader;
using corvane::ByteWriter;

uint32_t le32(const std::string& s, size_t p) { return ByteReader(s).le32(p); }

// The reply header: identifier of the request, 4 bytes, its sequence number;
// size bytes in all.
std::string replyTo(const std::string& request, uint32_t word4, size_t size = 12) {
  std::string s(size, '\0');
  ByteWriter w(s);
  w.putLe32(0, le32(request, 0));
  w.putLe32(4, word4);
  w.putLe32(8, le32(request, 8));
  return s;
}

const uint32_t kDate = 55 | 30 << 6 | 9 << 12 | 14 << 17 | 3 << 22 | 11u << 26;

std::string offerFor(const std::string& query, uint32_t key, uint32_t size, uint32_t date = kDate) {
  std::string s = replyTo(query, 0xFFFFFFFF, 12 + 76);
  ByteWriter w(s);
  w.putLe32(12, date);
  w.putLe32(16, key);
  w.putLe32(20, size);
  w.fill(24, 64, ' ');
  w.putBytes(12 + 20, std::string_view("123"));  // dialled digits at 20
  w.put8(12 + 35, 'A');                          // type at 35
  w.put8(12 + 36, 'O');                          // direction at 36
  w.putBytes(12 + 37, std::string_view("456"));  // receiving party at 37
  return s;
}

std::string blockFor(const std::string& request, const std::string& data) {
  std::string s = replyTo(request, le32(request, 4));
  return s + data;
}

std::string pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + size_t(seed)) & 0xFF);
  return s;
}

struct Fixture {
  TempDir dir;
  VoiceNet net;
  FakeVoiceSink sink;
  FakeView view;
  std::vector<ConnectionTarget> history;
  std::vector<std::string> labels;
  LinkList list;
  Fixture() : list(LinkKind::Voice, env(), voiceLinkFactory(setup())) { sink.events = &net.events; }
  LinkEnvironment env() {
    LinkEnvironment e;
    e.workDir = dir.path();
    e.messageText = linkMessages(englishTexts());
    e.view = &view;
    e.addToHistory = [this](const ConnectionTarget& t) { history.push_back(t); };
    return e;
  }
  VoiceLinkSetup setup() {
    VoiceLinkSetup s;
    s.makeSocket = [this](DatagramEvents&) -> std::unique_ptr<DatagramTransport> {
      int i = net.created++ % kVoiceChannels;
      if (i == net.failCreateIndex) return nullptr;
      net.ch[i] = VoiceNet::Channel{};
      return std::make_unique<FakeChannelSocket>(net, i);
    };
    s.sink = &sink;
    s.labelChanged = [this](int, const std::string& l) { labels.push_back(l); };
    return s;
  }
  VoiceLink& link() { return *static_cast<VoiceLink*>(list.link(0)); }
  const VoiceChannel& ch(int c) { return link().channel(c); }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) list.tick();
  }
  const std::string& last(int c) { return net.ch[c].sent.back(); }
  size_t sentCount(int c) { return net.ch[c].sent.size(); }
  void reply(int c, const std::string& bytes) {
    const_cast<VoiceChannel&>(ch(c)).onDatagram(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::string channelList(const std::vector<std::pair<uint32_t, uint16_t>>& entries) {
    std::string s = replyTo(last(0), 0, 14 + entries.size() * 6);
    ByteWriter w(s);
    w.putLe16(12, uint16_t(entries.size() * 6));
    for (size_t i = 0; i < entries.size(); ++i) {
      w.putLe32(14 + 6 * i, entries[i].first);
      w.putLe16(18 + 6 * i, entries[i].second);
    }
    return s;
  }
  // Opens the link and answers the first channel list request with a list
  // of one entry (channel 0 only); channel 0 then has sent its file query.
  void openAnswered() {
    ASSERT_EQ(list.openLink("192.168.1.20"), 0);
    ticks(1);
    reply(0, channelList({{0xC0A80114, 9874}}));
    ticks(1);
    ASSERT_EQ(uint8_t(last(0)[3]), kVoiceFileQuery);
  }
  // Serves the file on channel c through all its blocks and the done step.
  void serve(int c, uint32_t key, const std::string& content) {
    reply(c, offerFor(last(c), key, uint32_t(content.size())));
    size_t pos = 0;
    while (uint8_t(last(c)[3]) == kVoiceBlock) {
      ASSERT_EQ(le32(last(c), 16), pos / 1024);
      std::string part = content.substr(pos, 1024);
      pos += part.size();
      reply(c, blockFor(last(c), part));
    }
    ASSERT_EQ(uint8_t(last(c)[3]), kVoiceFileDone);
    reply(c, replyTo(last(c), key));
  }
  std::string expectedName() const { return dir.path() + "/Wav/1234_____110314_093055_AO_123_456___C0A80114.apc"; }
};

}  // namespace

// --- Messages ---------------------------------------------------------------

TEST(VoiceMessages, RequestsAreByteExact) {
  EXPECT_EQ(voiceIdentifier(5), 0x05ABCDEFu);
  // clang-format off
  EXPECT_EQ(voiceListRequest(0x01020304),
            std::string("\xEF\xCD\xAB\x08\xFF\xFF\xFF\xFF\x04\x03\x02\x01\x41", 13));
  // clang-format on
  EXPECT_EQ(voiceFileQuery(7), std::string("\xEF\xCD\xAB\x05\xFF\xFF\xFF\xFF\x07\x00\x00\x00\x41", 13));
  EXPECT_EQ(voiceBlockRequest(0xFFFF1234, 9, 0xA1B2C3D4, 2),
            std::string("\xEF\xCD\xAB\x06\x34\x12\xFF\xFF\x09\x00\x00\x00\xD4\xC3\xB2\xA1\x02\x00\x00\x00", 20));
  EXPECT_EQ(voiceFileDone(0xFFFF1234, 10, 0xA1B2C3D4),
            std::string("\xEF\xCD\xAB\x07\x34\x12\xFF\xFF\x0A\x00\x00\x00\xD4\xC3\xB2\xA1", 16));
}

TEST(VoiceMessages, BlockCountRoundsUpAtThe1024ByteBoundaries) {
  struct {
    uint32_t size, blocks;
  } cases[] = {{1, 1}, {1023, 1}, {1024, 1}, {1025, 2}, {2048, 2}, {2049, 3}, {1024 * 1000 + 1, 1001}};
  for (auto c : cases) EXPECT_EQ(voiceBlockCount(c.size), c.blocks) << c.size;
}

TEST(VoiceMessages, TemporaryFilesAreNamedPerSlotAndChannel) {
  EXPECT_EQ(voiceTempFileName(0, 0), "tmp.0000");
  EXPECT_EQ(voiceTempFileName(3, 31), "tmp.3031");
  EXPECT_EQ(voiceTempFileName(1, 5), "tmp.1005");
}

// --- Starting ---------------------------------------------------------------

TEST(VoiceStart, ChannelZeroConnectsToTheTypedAddressOnTheDefaultPort) {
  Fixture f;
  ASSERT_EQ(f.list.openLink("192.168.1.20"), 0);
  EXPECT_EQ(f.net.created, 32);
  EXPECT_EQ(f.net.ch[0].host, "192.168.1.20");
  EXPECT_EQ(f.net.ch[0].port, 9874);
  EXPECT_EQ(f.net.ch[1].opens, 0);
  EXPECT_EQ(f.ch(0).state, ChannelState::Connected);
  EXPECT_EQ(f.ch(1).state, ChannelState::Writable);
  EXPECT_EQ(f.view.icons[0], kIconConnecting);
  EXPECT_TRUE(f.link().hasLog());
}

TEST(VoiceStart, UnresolvableHostOrMissingSocketOpensNoLink) {
  Fixture f;
  f.net.next.status = OpenResult::Status::ResolveFailed;
  EXPECT_EQ(f.list.openLink("192.168.1.20"), -1);
  EXPECT_EQ(f.view.caption, "Socket opening fault!");
  EXPECT_EQ(f.list.openCount(), 0);

  Fixture g;
  g.net.failCreateIndex = 17;
  EXPECT_EQ(g.list.openLink("192.168.1.20"), -1);
  EXPECT_EQ(g.view.caption, "Socket creation fault!");
}

TEST(VoiceStart, SilentExchangeGetsThreeListRequestsThenQueriesThenFails) {
  Fixture f;
  ASSERT_EQ(f.list.openLink("192.168.1.20"), 0);
  std::string codes;
  for (int i = 0; i < 601; ++i) {
    size_t before = f.sentCount(0);
    f.ticks(1);
    if (f.sentCount(0) != before) codes += char('0' + f.last(0)[3]);
  }
  EXPECT_EQ(codes, "8885555");  // at 0.1 s, then every 10 s
  EXPECT_EQ(f.link().state(), VoiceLinkState::Failed);
  EXPECT_EQ(f.view.caption, "Socket connection fault!");
  EXPECT_EQ(f.view.icons[0], kIconClosed);
  f.ticks(1000);
  EXPECT_EQ(f.sentCount(0), 7u);  // a failed link stays quiet
}

TEST(VoiceStart, FirstValidReplyConnectsAndEntersTheHistory) {
  Fixture f;
  f.openAnswered();
  EXPECT_EQ(f.link().state(), VoiceLinkState::Connected);
  EXPECT_EQ(f.view.icons[0], kIconConnected);
  ASSERT_EQ(f.history.size(), 1u);
  EXPECT_EQ(f.history[0], parseAddressText("192.168.1.20"));
}

// --- Reply validity ---------------------------------------------------------

TEST(VoiceReplies, OldSequenceWrongIdentifierAndShortRepliesAreIgnored) {
  Fixture f;
  ASSERT_EQ(f.list.openLink("192.168.1.20"), 0);
  f.ticks(1);
  std::string first = f.last(0);
  f.ticks(100);  // resent: a new sequence number
  ASSERT_EQ(f.sentCount(0), 2u);
  f.reply(0, f.channelList({{0xC0A80114, 9874}}).replace(8, 4, first.substr(8, 4)));
  EXPECT_EQ(f.link().state(), VoiceLinkState::Starting);
  std::string wrongId = f.channelList({{0xC0A80114, 9874}});
  wrongId[3] = 5;
  f.reply(0, wrongId);
  f.reply(0, f.channelList({}).substr(0, 11));
  EXPECT_EQ(f.link().state(), VoiceLinkState::Starting);
  EXPECT_EQ(f.ch(0).ticks(), 101u);
  std::string good = f.channelList({{0xC0A80114, 9874}});
  f.reply(0, good);
  EXPECT_EQ(f.link().state(), VoiceLinkState::Connected);
  EXPECT_EQ(f.ch(0).ticks(), 0u);
  // The same reply again answers nothing any more.
  f.ticks(5);
  f.reply(0, good);
  EXPECT_EQ(f.ch(0).ticks(), 5u);
}

// --- Channel list -----------------------------------------------------------

TEST(VoiceChannelList, TwoEntriesSetUpChannelOneAtTheAnnouncedPort) {
  Fixture f;
  ASSERT_EQ(f.list.openLink("192.168.1.20"), 0);
  f.ticks(1);
  f.reply(0, f.channelList({{0xC0A80114, 9874}, {0xC0A80114, 9900}}));
  EXPECT_EQ(f.ch(0).channelList, ChannelListStep::Received);
  f.ticks(1);
  EXPECT_EQ(f.ch(0).channelList, ChannelListStep::Applied);
  EXPECT_EQ(uint8_t(f.last(0)[3]), kVoiceFileQuery);
  EXPECT_EQ(f.net.ch[1].host, "192.168.1.20");
  EXPECT_EQ(f.net.ch[1].port, 9900);
  EXPECT_EQ(f.ch(1).state, ChannelState::Connected);
  EXPECT_EQ(f.net.ch[2].opens, 0);
  f.ticks(1);
  ASSERT_EQ(f.sentCount(1), 1u);
  EXPECT_EQ(uint8_t(f.last(1)[3]), kVoiceFileQuery);  // channels other than 0 never ask for the list
}

TEST(VoiceChannelList, EntriesWithoutAddressOrPortStayUnusedAndFailedConnectsTimeOut) {
  Fixture f;
  f.net.failOpenIndex = 3;
  ASSERT_EQ(f.list.openLink("192.168.1.20"), 0);
  f.ticks(1);
  f.reply(0, f.channelList({{0xC0A80114, 9874}, {0xC0A80114, 0}, {0, 9876}, {0xC0A80114, 9877}}));
  f.ticks(1);
  EXPECT_EQ(f.net.ch[1].opens, 0);  // port 0
  EXPECT_EQ(f.net.ch[2].opens, 0);  // address 0
  EXPECT_EQ(f.ch(2).state, ChannelState::Writable);
  EXPECT_EQ(f.net.ch[3].opens, 1);
  EXPECT_EQ(f.ch(3).state, ChannelState::Connecting);
  // Its first tick came right after the connect, in the same round.
  f.ticks(49);
  EXPECT_EQ(f.ch(3).state, ChannelState::Connecting);
  f.ticks(1);
  EXPECT_EQ(f.ch(3).state, ChannelState::Failed);
  EXPECT_EQ(f.link().state(), VoiceLinkState::Connected);  // only channel 0 takes the link down
  EXPECT_EQ(f.ch(1).state, ChannelState::Writable);
}

TEST(VoiceChannelList, AnnouncedPrivateAddressIsReplacedByTheReachedOne) {
  Fixture f;
  ASSERT_EQ(f.list.openLink("192.168.1.20"), 0);
  f.ticks(1);
  // Behind address translation: the exchange announces 10.0.0.5.
  f.reply(0, f.channelList({{0x0A000005, 9874}, {0x0A000005, 9875}, {0x0A000005, 9876}}));
  f.ticks(1);
  EXPECT_EQ(f.net.ch[1].host, "192.168.1.20");
  EXPECT_EQ(f.net.ch[2].host, "192.168.1.20");
  EXPECT_EQ(f.net.ch[2].port, 9876);
}

TEST(VoiceChannelList, EntriesElsewhereAreKeptWhenChannelZeroIsAnnouncedAsReached) {
  Fixture f;
  ASSERT_EQ(f.list.openLink("192.168.1.20"), 0);
  f.ticks(1);
  f.reply(0, f.channelList({{0xC0A80114, 9874}, {0xC0A80115, 9875}}));
  f.ticks(1);
  EXPECT_EQ(f.net.ch[1].host, "192.168.1.21");
}

TEST(VoiceChannelList, MalformedListsConnectNoFurtherChannel) {
  struct Case {
    const char* what;
    std::function<std::string(Fixture&)> make;
  } cases[] = {
      {"13 bytes",
       [](Fixture& f) {
         std::string s = f.channelList({{0xC0A80114, 9874}, {0xC0A80114, 9900}});
         s[12] = 13;
         return s + '\0';
       }},
      {"length past the datagram",
       [](Fixture& f) {
         std::string s = f.channelList({{0xC0A80114, 9874}, {0xC0A80114, 9900}});
         return s.substr(0, s.size() - 1);
       }},
      {"no length field", [](Fixture& f) { return f.channelList({}).substr(0, 13); }},
      {"32 entries",
       [](Fixture& f) {
         std::vector<std::pair<uint32_t, uint16_t>> e(32, {0xC0A80114, 9000});
         return f.channelList(e);
       }},
  };
  for (auto& c : cases) {
    Fixture f;
    ASSERT_EQ(f.list.openLink("192.168.1.20"), 0);
    f.ticks(1);
    f.reply(0, c.make(f));
    EXPECT_EQ(f.link().state(), VoiceLinkState::Connected) << c.what;
    f.ticks(1);
    for (int i = 1; i < kVoiceChannels; ++i) EXPECT_EQ(f.net.ch[i].opens, 0) << c.what << " channel " << i;
    EXPECT_EQ(uint8_t(f.last(0)[3]), kVoiceFileQuery) << c.what;  // channel 0 works on alone
  }
}

TEST(VoiceChannelList, Ipv6LinkKeepsTheReachedNetworkPrefix) {
  Fixture f;
  f.net.next.ipv6 = true;
  uint8_t reached[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x14};
  std::memcpy(f.net.next.address, reached, 16);
  ASSERT_EQ(f.list.openLink("[2001:db8:0:1::14]"), 0);
  f.ticks(1);
  std::string s = replyTo(f.last(0), 0, 14 + 36);
  ByteWriter w(s);
  w.putLe16(12, 36);
  const uint8_t announced[16] = {0xfd, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0x15};
  for (size_t i = 0; i < 2; ++i) {
    w.putBytes(14 + 18 * i, announced);
    w.putLe16(30 + 18 * i, uint16_t(9874 + i));
  }
  f.reply(0, s);
  f.ticks(1);
  EXPECT_EQ(f.net.ch[1].host, "2001:db8:0:1::15");
  EXPECT_EQ(f.net.ch[1].port, 9875);
}

// --- Files ------------------------------------------------------------------

TEST(VoiceFiles, FileOf2048BytesTakesTwoBlocksThenDone) {
  Fixture f;
  f.openAnswered();
  std::string content = pattern(2048, 1);
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 2048));
  std::vector<uint32_t> blocks;
  while (uint8_t(f.last(0)[3]) == kVoiceBlock) {
    blocks.push_back(le32(f.last(0), 16));
    EXPECT_EQ(le32(f.last(0), 4), 0xFFFF1234u);
    EXPECT_EQ(le32(f.last(0), 12), kDate);
    f.reply(0, blockFor(f.last(0), content.substr(blocks.back() * 1024, 1024)));
  }
  EXPECT_EQ(blocks, (std::vector<uint32_t>{0, 1}));
  ASSERT_EQ(uint8_t(f.last(0)[3]), kVoiceFileDone);
  EXPECT_EQ(readAll(f.expectedName()), content);
  f.reply(0, replyTo(f.last(0), 0xFFFF1234));
  ASSERT_EQ(f.sink.rows.size(), 1u);
  EXPECT_EQ(f.sink.rows[0].rcdfn + ".apc", f.expectedName());
  EXPECT_EQ(f.sink.rows[0].ipadr, 0xC0A80114u);
  EXPECT_EQ(f.sink.rows[0].duration, 1u);
  EXPECT_EQ(f.view.lines[0].back(), f.expectedName());
  EXPECT_NE(readAll(f.link().logPath()).find(f.expectedName() + "\r\n"), std::string::npos);
  EXPECT_EQ(uint8_t(f.last(0)[3]), kVoiceFileQuery);  // asks for the next file at once
  EXPECT_EQ(::access(f.link().tempPath(0).c_str(), F_OK), -1);
}

TEST(VoiceFiles, FileOf2049BytesTakesThreeBlocksTheLastWithOneByte) {
  Fixture f;
  f.openAnswered();
  std::string content = pattern(2049, 2);
  f.serve(0, 0xFFFF1234, content);
  EXPECT_EQ(readAll(f.expectedName()), content);
  EXPECT_EQ(f.sink.rows.size(), 1u);
}

TEST(VoiceFiles, NoFileOfferOnlyRestartsTheTimer) {
  Fixture f;
  f.openAnswered();
  f.ticks(30);
  size_t sent = f.sentCount(0);
  f.reply(0, offerFor(f.last(0), kVoiceNoFile, 5000));
  EXPECT_EQ(f.ch(0).ticks(), 0u);
  EXPECT_EQ(f.ch(0).size, 0u);
  EXPECT_EQ(f.sentCount(0), sent);
}

TEST(VoiceFiles, OffersOfTheWrongLengthOrMarkAreIgnored) {
  Fixture f;
  f.openAnswered();
  std::string offer = offerFor(f.last(0), 0xFFFF1234, 5000);
  f.reply(0, offer + "x");
  EXPECT_EQ(f.ch(0).size, 0u);
  std::string marked = offer;
  marked[4] = 0;
  f.reply(0, marked);
  EXPECT_EQ(f.ch(0).size, 0u);
}

TEST(VoiceFiles, ShortBlockBeforeTheLastEndsTheFileTruncated) {
  Fixture f;
  f.openAnswered();
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 3000));
  f.reply(0, blockFor(f.last(0), pattern(1024, 3)));
  f.reply(0, blockFor(f.last(0), pattern(100, 4)));
  ASSERT_EQ(uint8_t(f.last(0)[3]), kVoiceFileDone);
  EXPECT_EQ(readAll(f.expectedName()).size(), 1024u);
}

TEST(VoiceFiles, EmptyBlockEndsTheFile) {
  Fixture f;
  f.openAnswered();
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 3000));
  f.reply(0, blockFor(f.last(0), pattern(1024, 3)));
  f.reply(0, blockFor(f.last(0), ""));
  ASSERT_EQ(uint8_t(f.last(0)[3]), kVoiceFileDone);
  EXPECT_EQ(readAll(f.expectedName()).size(), 1024u);
}

TEST(VoiceFiles, OversizedOrForeignBlocksAreIgnored) {
  Fixture f;
  f.openAnswered();
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 3000));
  std::string req = f.last(0);
  f.reply(0, blockFor(req, pattern(1025, 3)));
  std::string foreign = blockFor(req, pattern(1024, 3));
  foreign[4] = 0x55;
  f.reply(0, foreign);
  EXPECT_EQ(f.ch(0).blocksReceived, 0u);
  EXPECT_EQ(f.last(0), req);
}

TEST(VoiceFiles, RecordingSentAgainReplacesItselfButNeverAnotherRecording) {
  Fixture f;
  f.openAnswered();
  f.serve(0, 0xFFFF1234, pattern(1500, 1));
  f.serve(0, 0xFFFF1234, pattern(1500, 1));  // the same recording again
  EXPECT_EQ(readAll(f.expectedName()), pattern(1500, 1));
  f.serve(0, 0xFFFF1234, pattern(1500, 2));  // another one under the same name
  EXPECT_EQ(readAll(f.expectedName()), pattern(1500, 1));
  const std::string second = f.expectedName().substr(0, f.expectedName().size() - 4) + "_1.apc";
  EXPECT_EQ(readAll(second), pattern(1500, 2));
  ASSERT_EQ(f.sink.rows.size(), 3u);
  EXPECT_EQ(f.sink.rows[2].rcdfn + ".apc", second);
  EXPECT_TRUE(corvane::parseVoiceFileName(second, 1500));
}

TEST(VoiceFiles, StalledTransferResendsAndShowsTheWaitingTime) {
  Fixture f;
  f.openAnswered();
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 3000));
  f.reply(0, blockFor(f.last(0), pattern(1024, 3)));
  size_t sent = f.sentCount(0);
  f.ticks(98);
  EXPECT_EQ(f.sentCount(0), sent);
  f.ticks(1);
  ASSERT_EQ(f.sentCount(0), sent + 1);
  EXPECT_EQ(le32(f.last(0), 16), 1u);
  EXPECT_EQ(f.link().tabLabel(), "192.168.1.20 0");
  f.ticks(100);
  EXPECT_EQ(f.link().tabLabel(), "192.168.1.20 1");
  // The answer to the resent request continues the file.
  f.reply(0, blockFor(f.last(0), pattern(1024, 4)));
  f.reply(0, blockFor(f.last(0), pattern(952, 5)));
  f.reply(0, replyTo(f.last(0), 0xFFFF1234));
  EXPECT_EQ(f.link().tabLabel(), "192.168.1.20");
  EXPECT_EQ(f.labels.back(), "192.168.1.20");
  EXPECT_EQ(readAll(f.expectedName()), pattern(1024, 3) + pattern(1024, 4) + pattern(952, 5));
}

TEST(VoiceFiles, AbandonedDownloadDropsOnlyTheIncompleteTemporaryFile) {
  Fixture f;
  f.openAnswered();
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 3000));
  f.reply(0, blockFor(f.last(0), pattern(1024, 3)));
  EXPECT_EQ(::access(f.link().tempPath(0).c_str(), F_OK), 0);
  f.ticks(1100);
  EXPECT_EQ(f.ch(0).size, 0u);
  EXPECT_EQ(::access(f.link().tempPath(0).c_str(), F_OK), -1);
  EXPECT_EQ(::access(f.expectedName().c_str(), F_OK), -1);
  EXPECT_TRUE(f.sink.rows.empty());
  EXPECT_EQ(f.link().state(), VoiceLinkState::Connected);
}

TEST(VoiceFiles, RecordingIsListedBeforeTheExchangeIsToldItIsDone) {
  Fixture f;
  f.openAnswered();
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 1500));
  f.reply(0, blockFor(f.last(0), pattern(1024, 1)));
  f.net.events.clear();
  f.reply(0, blockFor(f.last(0), pattern(476, 2)));
  // Renamed, listed, then "done": a crash after "done" cannot lose the row.
  EXPECT_EQ(f.net.events, (std::vector<std::string>{"row " + f.expectedName(), "send 7"}));
  ASSERT_EQ(f.sink.fileInPlace.size(), 1u);
  EXPECT_TRUE(f.sink.fileInPlace[0]);
  EXPECT_EQ(::access(f.link().tempPath(0).c_str(), F_OK), -1);
  EXPECT_EQ(f.view.lines[0].back(), f.expectedName());
  EXPECT_EQ(f.link().filesDone(), 1u);
}

TEST(VoiceFiles, AnswerToDoneListsNothingASecondTime) {
  Fixture f;
  f.openAnswered();
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 100));
  f.reply(0, blockFor(f.last(0), pattern(100, 3)));
  ASSERT_EQ(uint8_t(f.last(0)[3]), kVoiceFileDone);
  f.ticks(99);  // "done" resent; the exchange answers the second one, twice
  ASSERT_EQ(uint8_t(f.last(0)[3]), kVoiceFileDone);
  std::string answer = replyTo(f.last(0), 0xFFFF1234);
  f.reply(0, answer);
  f.reply(0, answer);
  EXPECT_EQ(uint8_t(f.last(0)[3]), kVoiceFileQuery);
  EXPECT_EQ(f.sink.rows.size(), 1u);
  EXPECT_EQ(f.view.lines[0], std::vector<std::string>{f.expectedName()});
  EXPECT_EQ(f.link().filesDone(), 1u);
}

TEST(VoiceFiles, UnconfirmedCompleteFileIsKeptAndListedOnce) {
  Fixture f;
  f.openAnswered();
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 100));
  f.reply(0, blockFor(f.last(0), pattern(100, 3)));
  ASSERT_EQ(uint8_t(f.last(0)[3]), kVoiceFileDone);
  size_t sent = f.sentCount(0);
  f.ticks(99);
  EXPECT_EQ(f.sentCount(0), sent + 1);
  EXPECT_EQ(uint8_t(f.last(0)[3]), kVoiceFileDone);  // "done" is resent
  f.ticks(1001);
  EXPECT_EQ(f.ch(0).size, 0u);  // given up waiting for the answer
  EXPECT_EQ(readAll(f.expectedName()), pattern(100, 3));
  ASSERT_EQ(f.sink.rows.size(), 1u);
  EXPECT_EQ(f.sink.rows[0].rcdfn + ".apc", f.expectedName());
  EXPECT_EQ(f.view.lines[0], std::vector<std::string>{f.expectedName()});
  EXPECT_EQ(f.link().filesDone(), 1u);
}

TEST(VoiceFiles, UnwritableRecordingFolderFailsTheLinkWithoutConfirming) {
  Fixture f;
  f.openAnswered();
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 100));
  // The folder disappears under the running download.
  ::unlink(f.link().tempPath(0).c_str());
  ASSERT_EQ(::rmdir((f.dir.path() + "/Wav").c_str()), 0);
  f.reply(0, blockFor(f.last(0), pattern(100, 3)));
  EXPECT_EQ(uint8_t(f.last(0)[3]), kVoiceBlock);  // no "done"
  EXPECT_TRUE(f.sink.rows.empty());               // and no row without its file
  EXPECT_EQ(f.view.caption, "Recording file not writable! (" + f.expectedName() + ": No such file or directory)");
  EXPECT_EQ(f.link().state(), VoiceLinkState::Failed);
}

TEST(VoiceFiles, TemporaryFileThatCannotBeCreatedFailsTheLink) {
  Fixture f;
  f.openAnswered();
  ASSERT_EQ(::rmdir((f.dir.path() + "/Wav").c_str()), 0);
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 100));
  // clang-format off
  EXPECT_EQ(f.view.caption,
            "Recording file not writable! (" + f.link().tempPath(0) + ": No such file or directory)");
  // clang-format on
  EXPECT_EQ(f.link().state(), VoiceLinkState::Failed);
  EXPECT_EQ(f.ch(0).size, 0u);
}

TEST(VoiceFiles, RefusedRowIsShownAndTheWholeFileIsStillConfirmed) {
  Fixture f;
  f.openAnswered();
  f.sink.error = "database is locked";
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 10));
  f.net.events.clear();
  f.reply(0, blockFor(f.last(0), pattern(10, 1)));
  EXPECT_EQ(f.net.events, (std::vector<std::string>{"row " + f.expectedName(), "send 7"}));
  EXPECT_EQ(f.view.caption, "database is locked");
  EXPECT_EQ(readAll(f.expectedName()), pattern(10, 1));
  f.reply(0, replyTo(f.last(0), 0xFFFF1234));
  EXPECT_EQ(f.sink.rows.size(), 1u);  // not tried again on the answer
  EXPECT_EQ(uint8_t(f.last(0)[3]), kVoiceFileQuery);
  EXPECT_EQ(f.link().state(), VoiceLinkState::Connected);
}

TEST(VoiceFiles, ChannelsDownloadSideBySide) {
  Fixture f;
  ASSERT_EQ(f.list.openLink("192.168.1.20"), 0);
  f.ticks(1);
  f.reply(0, f.channelList({{0xC0A80114, 9874}, {0xC0A80114, 9875}}));
  f.ticks(2);
  ASSERT_EQ(uint8_t(f.last(1)[3]), kVoiceFileQuery);
  f.reply(0, offerFor(f.last(0), 0xFFFF1234, 1500));
  f.reply(1, offerFor(f.last(1), 0xFFFF1235, 1500, kDate + 1));
  f.reply(1, blockFor(f.last(1), pattern(1024, 9)));
  f.reply(0, blockFor(f.last(0), pattern(1024, 8)));
  f.reply(0, blockFor(f.last(0), pattern(476, 8)));
  f.reply(1, blockFor(f.last(1), pattern(476, 9)));
  f.reply(1, replyTo(f.last(1), 0));
  f.reply(0, replyTo(f.last(0), 0));
  ASSERT_EQ(f.sink.rows.size(), 2u);
  EXPECT_NE(f.sink.rows[0].rcdfn, f.sink.rows[1].rcdfn);
  EXPECT_EQ(readAll(f.sink.rows[0].rcdfn + ".apc").size(), 1500u);
  EXPECT_EQ(readAll(f.sink.rows[1].rcdfn + ".apc").size(), 1500u);
}

// --- Idle -------------------------------------------------------------------

TEST(VoiceIdle, QuietExchangeIsAskedAgainAfterAMinuteAndChannelZeroGivesUpAfterTwo) {
  Fixture f;
  f.openAnswered();
  f.reply(0, offerFor(f.last(0), kVoiceNoFile, 0));
  size_t sent = f.sentCount(0);
  f.ticks(601);
  EXPECT_EQ(f.sentCount(0), sent);
  f.ticks(1);
  EXPECT_EQ(f.sentCount(0), sent + 1);  // t = 602
  f.ticks(200);
  EXPECT_EQ(f.sentCount(0), sent + 2);  // t = 802
  f.ticks(397);
  EXPECT_EQ(f.link().state(), VoiceLinkState::Connected);
  f.ticks(1);  // t = 1200
  EXPECT_EQ(f.link().state(), VoiceLinkState::Failed);
  EXPECT_EQ(f.view.caption, "Socket creation fault!");
}

TEST(VoiceIdle, ClosingLeavesNoSocketOpen) {
  Fixture f;
  f.openAnswered();
  f.list.closeLink(0);
  EXPECT_TRUE(f.net.ch[0].closed);
  EXPECT_EQ(f.list.openCount(), 0);
}
