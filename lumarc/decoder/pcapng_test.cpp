// Monitor records as pcapng: which link type and bytes each record kind
// gets, the block layout read back, and a sink that fails.
#include "lumarc/decoder/pcapng.h"

#include "common/byte_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using Bytes = std::vector<uint8_t>;

// A monitor frame of kind type with the given message bytes, dated
// 2024/05/06 07:08:09.
MonitorFrame frameOf(uint16_t type, const Bytes& bytes, uint16_t ind = 0, uint16_t dir = 0) {
  MonitorFrame f{};
  corvane::ByteWriter w(f.data(), f.size());
  const uint8_t date[6] = {24, 5, 6, 7, 8, 9};
  for (size_t i = 0; i < 6; ++i) w.put8(monframe::kYear + i, date[i]);
  w.putLe16(monframe::kDirection, dir);
  w.putLe16(monframe::kType, type);
  w.putLe16(monframe::kIndicator, ind);
  w.put8(monframe::kLength, uint8_t(bytes.size()));
  for (size_t i = 0; i < bytes.size(); ++i) w.put8(monframe::kMessage + i, bytes[i]);
  return f;
}

std::string str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A V5.2 envelope address (13 bits) as its two octets.
Bytes envelope(unsigned address) { return {uint8_t((address >> 7) << 2), uint8_t(((address & 0x7F) << 1) | 1)}; }

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(CapturePackets, EachRecordKindGetsTheLinkTypeWiresharkDissects) {
  const Bytes setup = {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3};
  const Bytes isup = {0x85, 0x86, 0x0A, 0x85, 0x01, 0x02, 0x03, 0x04, 0x01, 0x00, 0x10};
  const Bytes v5dl = {0xFF, 0xE1, 0x00, 0x00, 0x48, 0x00, 0x01, 0x00};
  const Bytes noEnvelope = {0x01, 0x01, 0x00, 0x00, 0x08};  // address extension bits wrong
  const std::string pdu = std::string("\0\x0C\0\x04v5dl\0\0\0\0", 12);
  using T = CaptureLinkType;
  using D = CaptureDirection;
  struct Case {
    const char* what;
    uint16_t type;
    Bytes bytes;
    T link;
    D direction;
    std::string data;     // "" with user: the hpidx, ptyp and frame
    std::string comment;  // a part of the comment
  } cases[] = {
      {"received ISDN frame", 0xFD00, setup, T::Lapd, D::Inbound, str(setup), ""},
      {"transmitted ISDN frame", 0xFC01, setup, T::Lapd, D::Outbound, str(setup), ""},
      {"received subtype 0x25 stays LAPD", 0xFD25, setup, T::Lapd, D::Inbound, str(setup), ""},
      {"transmitted signal unit, subtype 0x25", 0xFC25, isup, T::Mtp2, D::Outbound, str(isup), ""},
      {"received signal unit", 0xF500, isup, T::Mtp2, D::Inbound, str(isup), ""},
      {"transmitted signal unit", 0xF600, isup, T::Mtp2, D::Outbound, str(isup), ""},
      {"V5.2 protocol frame", 0xFD27, envelope(8176) + v5dl, T::UpperPdu, D::Inbound, pdu + str(v5dl),
       "V5.2 envelope function address 8176"},
      {"V5.2 relayed ISDN frame", 0xFC26, envelope(17) + setup, T::Lapd, D::Outbound, str(setup),
       "V5.2 envelope function address 17"},
      {"V5.2 frame without an envelope address", 0xFD26, noEnvelope, T::Lapd, D::Inbound, str(noEnvelope), ""},
      {"line event", 0xEE00, {}, T::User, D::Unknown, "", "L.event 0000"},
      {"SIP line", 0xED00, {'I', 'N', 'V', 'I', 'T', 'E', ' ', 0xE9}, T::User, D::Unknown, "", "INVITE \xC3\xA9"},
      {"unknown kind", 0x1200, {1, 2, 3}, T::User, D::Unknown, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const MonitorFrame frame = frameOf(c.type, c.bytes);
    const CapturePacket p = capturePacket(0x0042, 0x10, frame);
    EXPECT_EQ(p.linkType, c.link);
    EXPECT_EQ(p.direction, c.direction);
    if (c.link == T::User) {
      EXPECT_EQ(p.data, std::string("\x00\x42\x10", 3) + std::string(frame.begin(), frame.end()));
    } else {
      EXPECT_EQ(p.data, c.data);
    }
    if (c.comment.empty() && c.link != T::User) {
      EXPECT_EQ(p.comment, "");
    } else {
      EXPECT_NE(p.comment.find(c.comment), std::string::npos) << p.comment;
    }
  }
}

// ---- the file read back ----

struct Block {
  uint32_t type = 0;
  std::string body;
};

// Splits a capture into blocks; a block whose lengths disagree or do not
// fit fails the test.
std::vector<Block> blocksOf(const std::string& file) {
  std::vector<Block> blocks;
  const corvane::ByteReader in(file);
  size_t at = 0;
  while (at < file.size()) {
    const uint32_t length = in.le32(at + 4);
    EXPECT_EQ(length % 4, 0u);
    EXPECT_GE(length, 12u);
    EXPECT_LE(at + length, file.size());
    if (length < 12 || length % 4 || at + length > file.size()) return {};
    EXPECT_EQ(in.le32(at + length - 4), length) << "trailing length at " << at;
    blocks.push_back({in.le32(at), file.substr(at + 8, length - 12)});
    at += length;
  }
  return blocks;
}

// The options of a block body from offset on: code -> value.
std::multimap<uint16_t, std::string> optionsOf(const std::string& body, size_t at) {
  std::multimap<uint16_t, std::string> options;
  const corvane::ByteReader in(body);
  while (at + 4 <= body.size()) {
    const uint16_t code = in.le16(at), length = in.le16(at + 2);
    if (code == 0) break;
    options.emplace(code, body.substr(at + 4, length));
    at += 4 + ((length + 3u) & ~3u);
  }
  return options;
}

class StringSink : public CaptureSink {
 public:
  bool write(std::string_view bytes) override {
    ++writes;
    if (failFrom > 0 && writes >= failFrom) return false;
    data.append(bytes);
    return true;
  }
  std::string data;
  int writes = 0;
  int failFrom = 0;  // the first write that fails (0: none)
};

TEST(PcapngFile, EveryPacketNamesAnInterfaceOfItsSourceAndLinkType) {
  StringSink sink;
  PcapngWriter w(sink, "lumarc-cli");
  const CaptureSource pbx1{"pbx1", "12AB"}, pbx2{"192.168.1.20", ""};
  const Bytes unit = {0x85, 0x86, 0x00};
  ASSERT_TRUE(w.write(pbx1, 1, 0x10, frameOf(0xFD00, {0x00, 0x01, 0x03}), 1000001));
  ASSERT_TRUE(w.write(pbx1, 1, 0x10, frameOf(0xF500, unit), (int64_t(5) << 32) + 7));
  ASSERT_TRUE(w.write(pbx2, 2, 0x10, frameOf(0xFC00, {0x02, 0x01, 0x03}), 3));
  ASSERT_TRUE(w.write(pbx1, 1, 0x10, frameOf(0xF600, unit), 4));
  EXPECT_EQ(w.packets(), 4u);

  const std::vector<Block> blocks = blocksOf(sink.data);
  ASSERT_FALSE(blocks.empty());
  ASSERT_EQ(blocks[0].type, 0x0A0D0D0Au);
  const corvane::ByteReader shb(blocks[0].body);
  EXPECT_EQ(shb.le32(0), 0x1A2B3C4Du);
  EXPECT_EQ(optionsOf(blocks[0].body, 16).find(4)->second, "lumarc-cli");

  struct Interface {
    uint16_t linkType;
    std::string name, description;
  };
  std::vector<Interface> interfaces;
  struct Packet {
    uint32_t interface;
    uint64_t micros;
    std::string data;
    uint32_t flags;
  };
  std::vector<Packet> packets;
  for (size_t i = 1; i < blocks.size(); ++i) {
    const corvane::ByteReader in(blocks[i].body);
    if (blocks[i].type == 1) {
      auto o = optionsOf(blocks[i].body, 8);
      interfaces.push_back({in.le16(0), o.find(2)->second, o.find(3)->second});
    } else {
      ASSERT_EQ(blocks[i].type, 6u);
      const uint32_t id = in.le32(0), length = in.le32(12);
      ASSERT_LT(id, interfaces.size()) << "a packet before its interface";
      EXPECT_EQ(in.le32(16), length);
      auto o = optionsOf(blocks[i].body, 20 + ((length + 3u) & ~3u));
      packets.push_back({id, uint64_t(in.le32(4)) << 32 | in.le32(8), blocks[i].body.substr(20, length),
                         o.count(2) ? corvane::ByteReader(o.find(2)->second).le32(0) : 0});
    }
  }
  ASSERT_EQ(interfaces.size(), 3u) << "LAPD and MTP2 of pbx1, LAPD of the other";
  ASSERT_EQ(packets.size(), 4u);
  EXPECT_EQ(interfaces[packets[0].interface].linkType, 203);
  EXPECT_EQ(interfaces[packets[0].interface].name, "pbx1-12AB");
  EXPECT_EQ(interfaces[packets[0].interface].description, "Corvane exchange pbx1, access code 12AB");
  EXPECT_EQ(interfaces[packets[1].interface].linkType, 140);
  EXPECT_EQ(interfaces[packets[2].interface].name, "192.168.1.20");
  EXPECT_NE(packets[2].interface, packets[0].interface) << "another exchange, another interface";
  EXPECT_EQ(packets[3].interface, packets[1].interface);
  EXPECT_EQ(packets[0].micros, 1000001u);
  EXPECT_EQ(packets[1].micros, (uint64_t(5) << 32) + 7);
  EXPECT_EQ(packets[1].data, str(unit));
  EXPECT_EQ(packets[0].flags, 1u) << "received: inbound";
  EXPECT_EQ(packets[2].flags, 2u) << "transmitted: outbound";
}

TEST(PcapngFile, AFailedWriteIsReportedAndNothingIsWrittenAfterIt) {
  struct Case {
    const char* what;
    int failFrom;
    uint64_t packets;
  } cases[] = {{"the section header", 1, 0}, {"the interface", 2, 0}, {"the second packet", 4, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StringSink sink;
    sink.failFrom = c.failFrom;
    PcapngWriter w(sink, "lumarc-cli");
    const CaptureSource source{"pbx1", ""};
    bool allOk = true;
    for (int i = 0; i < 3; ++i) allOk = w.write(source, 1, 0x10, frameOf(0xFD00, {0x00, 0x01, 0x03}), i) && allOk;
    EXPECT_FALSE(allOk);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.packets(), c.packets);
    EXPECT_EQ(sink.writes, c.failFrom) << "nothing is tried after the failure";
  }
}

TEST(PcapngFile, ASavedRecordIsStampedWithItsOwnLocalTime) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  const MonitorRecord r = buildMonitorRecord(frameOf(0xFD00, {}, 0, 0x0010), 1, 0x10);
  EXPECT_EQ(recordTimeMicros(r), int64_t(1714979289) * 1000000 + 32000) << "2024/05/06 07:08:09.032";
  if (old)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
}  // namespace lumarc
