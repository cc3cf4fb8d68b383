// The monitor link's messages: login stamp and digest, the fixed payloads,
// and recognising what the exchange sends.
#include "lumarc/links/monitor_protocol.h"

#include <gtest/gtest.h>

#include <string>

namespace lumarc {
namespace {

std::tm localTime(int y, int mo, int d, int h, int mi, int s) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  return t;
}

std::string hex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (char c : s) {
    out.push_back(d[uint8_t(c) >> 4]);
    out.push_back(d[uint8_t(c) & 15]);
  }
  return out;
}

TEST(MonitorLogin, TimeStampOverlapsItsFieldsAndWraps) {
  struct Case {
    std::tm t;
    uint32_t stamp;
  };
  Case cases[] = {
      {localTime(2011, 3, 14, 9, 30, 55), 0xDB3E97B7u},
      {localTime(2026, 12, 31, 23, 59, 59), 0xEADF7EFBu},
  };
  for (const auto& c : cases) EXPECT_EQ(monitorTimeStamp(c.t), c.stamp);
}

TEST(MonitorLogin, PayloadCarriesStampAndDigestOfPassword) {
  std::string p = monitorLoginPayload(0xDB3E97B7u, "secret12" + std::string(24, ' '));
  ASSERT_EQ(p.size(), 30u);
  EXPECT_EQ(hex(p.substr(0, 14)),
            "0007"
            "0000000000000000"
            "db3e97b7");
  EXPECT_EQ(hex(p.substr(14)), "2ef400008035ae3f06b83279840268a4");
}

TEST(MonitorLogin, NoPasswordDigestsThirtyTwoBlanks) {
  std::string p = monitorLoginPayload(0xDB3E97B7u, std::string(32, ' '));
  EXPECT_EQ(hex(p.substr(14)), "50b5fd900d7258be8a5cdfd4d0da75f9");
}

TEST(MonitorMessages, FixedPayloadsAreByteExact) {
  EXPECT_EQ(hex(monitorAccessPayload("    12AB")),
            "1400"
            "2020202031324142");
  EXPECT_EQ(hex(monitorPollPayload(0x1234, 0xBEEF)),
            "0b02ffffffff"
            "3412"
            "efbe");
  EXPECT_EQ(hex(monitorPollPayload(0, 0)), "0b02ffffffff00000000");
  EXPECT_EQ(hex(monitorLogoutPayload()), "26000000");
}

TEST(MonitorMessages, RefusalIsEightBytesOfHex11Only) {
  std::string r = monitorRefusalDatagram();
  EXPECT_TRUE(isMonitorRefusal(reinterpret_cast<const uint8_t*>(r.data()), r.size()));
  std::string nine(9, '\x11'), seven(7, '\x11'), odd = r;
  odd[7] = '\x12';
  EXPECT_FALSE(isMonitorRefusal(reinterpret_cast<const uint8_t*>(nine.data()), nine.size()));
  EXPECT_FALSE(isMonitorRefusal(reinterpret_cast<const uint8_t*>(seven.data()), seven.size()));
  EXPECT_FALSE(isMonitorRefusal(reinterpret_cast<const uint8_t*>(odd.data()), odd.size()));
}

TEST(MonitorMessages, ExchangeMessagesAreRecognisedByStartAndLength) {
  struct Case {
    const char* name;
    std::string payload;
    MonitorMessageKind kind;
  };
  MonitorFrame frame{};
  Case cases[] = {
      {"login accepted", monitorLoginAcceptedPayload(), MonitorMessageKind::LoginAccepted},
      {"login accepted, wrong length", std::string(160, '\0'), MonitorMessageKind::Other},
      // clang-format off
      {"login accepted, wrong first byte", std::string(1, '\x01') + std::string(160, '\0'),
       MonitorMessageKind::Other},
      // clang-format on
      {"access unknown", monitorAccessUnknownPayload(), MonitorMessageKind::AccessUnknown},
      {"access accepted", monitorAccessAcceptedPayload(7), MonitorMessageKind::AccessAccepted},
      {"access answer of 13 bytes", std::string("\x14\x00", 2) + std::string(11, 'x'), MonitorMessageKind::Other},
      {"poll answer", "", MonitorMessageKind::PollAnswer},
      {"record", monitorRecordPayload(1, 2, 3, frame), MonitorMessageKind::Record},
      {"record one byte short", monitorRecordPayload(1, 2, 3, frame).substr(0, 126), MonitorMessageKind::Other},
      {"record marker with access length", std::string("\x14\x01", 2) + std::string(10, 'x'),
       MonitorMessageKind::Other},
      {"one byte", "\x14", MonitorMessageKind::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(parseMonitorPayload(c.payload).kind, c.kind) << c.name;
}

TEST(MonitorMessages, AccessAcceptedGivesHpidxFromBytes10And11) {
  std::string p = monitorAccessAcceptedPayload(0xA1B2);
  EXPECT_EQ(uint8_t(p[10]), 0xB2);
  EXPECT_EQ(parseMonitorPayload(p).hpidx, 0xA1B2);
}

TEST(MonitorMessages, RecordFieldsComeFromTheirPlaces) {
  MonitorFrame frame;
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i * 7);
  std::string p = monitorRecordPayload(0x0102, 0x0304, 0x55, frame);
  ASSERT_EQ(p.size(), 127u);
  EXPECT_EQ(hex(p.substr(0, 7)), "14010201040355");
  MonitorMessage m = parseMonitorPayload(p);
  EXPECT_EQ(m.sequence, 0x0102);
  EXPECT_EQ(m.hpidx, 0x0304);
  EXPECT_EQ(m.ptyp, 0x55);
  EXPECT_EQ(m.frame, frame);
}

}  // namespace
}  // namespace lumarc
