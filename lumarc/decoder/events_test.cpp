// Exchange-internal event goldens: call-control primitives with digit and
// release-cause rows, E1 events, signalling bits, register signalling and
// SIP packet lines, decoded as whole records.
#include "lumarc/decoder/events.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/monitor_record.h"
#include "lumarc/decoder/test_support.h"

#include "common/format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumarc {
namespace {

using test::kHeader;
using test::recordOf;
using test::visible;

MonitorRecord eventRecord(int32_t type, std::vector<uint8_t> bytes, int32_t ind, int32_t datl = -1) {
  MonitorRecord r = recordOf(type, std::move(bytes), datl);
  r.ind = ind;
  return r;
}

// Four hexadecimal digits of an indicator value.
std::string h4(int32_t v) { return corvane::hex4(uint16_t(v)); }

std::string decoded(const MonitorRecord& r) { return visible(decodeMonitorRecord(r)); }

// Header, label and call-control prefix of a record made by eventRecord
// (direction "I", both ports "    1234").
std::string ccStart(const char* label, const char* ind) { return kHeader + label + ind + " I     1234          "; }

std::string digits32() {
  std::string s;
  for (int i = 0; i < 32; ++i) s += char('0' + i % 10);
  return s;
}

// ---- call-control primitives ----

TEST(CallControlPrimitives, NamesFollowTheReferenceBytes) {
  // clang-format off
  struct Case { int32_t type; const char* label; const char* name; } cases[] = {
      // clang-format on
      {0xFF03, "  TO CC ", "DtmfReceiverTimeout"},
      {0xFF10, "  TO CC ", "DisconnetIndication"},
      {0xFF19, "  TO CC ", "Unknown"},
      {0xFF26, "  TO CC ", "InfIndication"},
      {0xFF27, "  TO CC ", "Unknown"},
      {0xFF00, "  TO CC ", "Unknown"},
      {0xF01E, "      TO CC Linked process ", "AdrCompleteIndication"},
      {0xFE19, "FROM CC ", "MaliciousCallRequest"},
      {0xFE24, "FROM CC ", "InbandInfoRequest"},
      {0xFE25, "FROM CC ", "Unknown"},
      {0xEF0F, "    FROM CC Linked process ", "InfoRequest"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decoded(eventRecord(c.type, {0x12, 0x34, 0x56, 0x0F}, 0x0100)),
              ccStart(c.label, "0100") + "123456 " + c.name)
        << std::hex << c.type;
  }
}

TEST(CallControlPrimitives, SetupShowsTheDigitRow) {
  // clang-format off
  struct Case { const char* what; int32_t type; std::vector<uint8_t> bytes; std::string expected; };
  // clang-format on
  const Case cases[] = {
      {"setup request with b3 = 15 has no digit line",
       0xFE06,
       {0, 0, 1, 0x0F, 1, 2},
       ccStart("FROM CC ", "0000") + "000001 SetupRequest"},
      {"setup indication up to the first byte of 15 or more",
       0xFF01,
       {0, 0, 1, 1, 2, 3, 0xFF, 4},
       ccStart("  TO CC ", "0000") + "000001 SetupIndication|        Digits   123"},
      {"digit values 10 to 14",
       0xFF01,
       {0, 0, 1, 10, 11, 12, 13, 14, 0, 9, 15},
       ccStart("  TO CC ", "0000") + "000001 SetupIndication|        Digits   :;<=>09"},
      {"linked-process setup request",
       0xEF06,
       {0xAB, 0xCD, 0xEF, 7, 16},
       ccStart("    FROM CC Linked process ", "0000") + "ABCDEF SetupRequest|        Digits   7"},
      {"other primitives show no digits",
       0xFF0A,
       {0, 0, 1, 1, 2, 3, 0xFF},
       ccStart("  TO CC ", "0000") + "000001 ConnectIndication"},
  };
  for (const Case& c : cases) EXPECT_EQ(decoded(eventRecord(c.type, c.bytes, 0)), c.expected) << c.what;
}

TEST(CallControlPrimitives, DigitRowStopsAfter32DigitsAndIgnoresDatl) {
  std::vector<uint8_t> bytes = {0, 0, 0};
  for (int i = 0; i < 32; ++i) bytes.push_back(uint8_t(i % 10));
  bytes.push_back(5);  // b35: never read
  EXPECT_EQ(decoded(eventRecord(0xFF01, bytes, 0, 0)),
            ccStart("  TO CC ", "0000") + "000000 SetupIndication|        Digits   " + digits32());
}

TEST(CallControlPrimitives, ReleaseCauseRowsArePaddedTo32Characters) {
  // clang-format off
  struct Case { int32_t type; int32_t ind; const char* name; std::string row; } cases[] = {
      // clang-format on
      {0xFF09, 0x0011, "ReleaseIndication", "E User busy"},
      {0xFF09, 0x0000, "ReleaseIndication", ""},
      {0xFF04, 0x0510, "ReleaseConfirm", "B Party         cleared"},
      {0xFF10, 0x00D6, "DisconnetIndication", "E Call progress tone clear"},
      {0xFE05, 0x00FA, "ReleaseRequest", ""},
      {0xFE05, 0x00D7, "ReleaseRequest", ""},
      {0xFE01, 0x0007, "RejectRequest", "E Channel awarded already in use"},
      {0xFE02, 0x007F, "DisconnectRequest", "E Interworking  unsecified"},
      {0xFE02, 0x000A, "DisconnectRequest", ""},
  };
  for (const auto& c : cases) {
    const std::string ind = h4(c.ind);
    const char* label = (c.type >> 8) == 0xFF ? "  TO CC " : "FROM CC ";
    std::string expected = ccStart(label, ind.c_str()) + "000000 " + c.name;
    if (!c.row.empty()) expected += "|                 " + c.row + std::string(32 - c.row.size(), ' ');
    EXPECT_EQ(decoded(eventRecord(c.type, {}, c.ind)), expected) << c.name << " " << c.ind;
  }
}

TEST(CallControlPrimitives, ReleaseCauseTableHas154Rows) {
  int rows = 0;
  for (int code = 0; code < 256; ++code) {
    const std::string row = releaseCauseRow(uint8_t(code));
    if (row.empty()) continue;
    ++rows;
    EXPECT_EQ(row.size(), 32u) << code;
    EXPECT_NE(row[0], ' ') << code;
  }
  EXPECT_EQ(rows, 154);
  EXPECT_EQ(releaseCauseRow(1), "E Unallocated   number          ");
  EXPECT_EQ(releaseCauseRow(58), "E Bearer cap. presently unavail.");
  EXPECT_EQ(releaseCauseRow(0), "");
  EXPECT_EQ(releaseCauseRow(10), "");
  EXPECT_EQ(releaseCauseRow(215), "");
}

TEST(CallControlPrimitives, InfoIndicationKindAndPoolDigits) {
  // clang-format off
  struct Case { int32_t ind; std::vector<uint8_t> bytes; std::string tail; } cases[] = {
      // clang-format on
      {0x0600, {0, 0, 0, 1}, "InfoIndication"},
      {0x0100, {0, 0, 0, 1}, "InfoIndication DialPulse"},
      {0x0205, {0, 0, 0, 1}, "InfoIndication Dtmf"},
      {0x0500, {0, 0, 0, 1}, "InfoIndication O.BAND"},
      {0x0B00, {0, 0, 0, 1}, "InfoIndication QUILLET  "},
      {0x0700, {0, 0, 0, 4, 5, 0x0F}, "InfoIndication From pool|        Digits   45"},
      {0x0700, {0, 0, 0, 0x0F}, "InfoIndication From pool"},
  };
  for (const auto& c : cases) {
    const std::string ind = h4(c.ind);
    EXPECT_EQ(decoded(eventRecord(0xFF02, c.bytes, c.ind)), ccStart("  TO CC ", ind.c_str()) + "000000 " + c.tail)
        << c.ind;
  }
}

TEST(CallControlPrimitives, NotifyRequestNamesTheNotification) {
  // clang-format off
  struct Case { int32_t ind; const char* text; } cases[] = {
      {0x0042, "ConfEstablished"}, {0x0100, "UserSuspended"}, {0x0080, "3PtyRemoved"},
      {0x007B, "CallisDiverting"}, {0x0044, ""},              {0x0003, ""}};
  // clang-format on
  for (const auto& c : cases) {
    const std::string ind = h4(c.ind);
    EXPECT_EQ(decoded(eventRecord(0xFE0C, {}, c.ind)),
              ccStart("FROM CC ", ind.c_str()) + "000000 NotifyRequest " + c.text)
        << c.ind;
  }
}

TEST(CallControlPrimitives, NameLookupByDirection) {
  EXPECT_EQ(callControlPrimitiveName(true, 12), "ConnectAckIndication");
  EXPECT_EQ(callControlPrimitiveName(false, 12), "NotifyRequest ");
  EXPECT_EQ(callControlPrimitiveName(true, 25), "Unknown");
  EXPECT_EQ(callControlPrimitiveName(false, 0), "Unknown");
}

// ---- E1 events and signalling bits ----

TEST(E1Events, TextOfTheWholeIndicator) {
  struct Case {
    int32_t ind;
    const char* text;
  } cases[] = {
      {1, "CRC4 error treshold exceeded, Reframing"},
      {3, "Frame synchronization Lost"},
      {13, "no CAS Multiframing error at remote side"},
      {19, "CRC4 multiframing timout, Reframing"},
      {20, "Operational timeout, All existing calls cleared"},
      {21, ""},
      {0, ""},
      {0x0102, ""},
  };
  for (const auto& c : cases) {
    // clang-format off
    EXPECT_EQ(decoded(eventRecord(0xF900, {}, c.ind)),
              kHeader + "E1 SYNC " + h4(c.ind) + std::string(21, ' ') + c.text)
        // clang-format on
        << c.ind;
  }
}

TEST(SignallingBits, StateBeforeAndAfterTheChange) {
  // clang-format off
  struct Case { int32_t type; int32_t ind; std::vector<uint8_t> bytes; int32_t datl; std::string body; } cases[] = {
      // clang-format on
      {0xF800, 0x0305, {}, 0, "R Bits  0110 -> 0101"},
      {0xF700, 0x0305, {}, 0, "X Bits  0011 -> 0101"},
      {0xF800, 0x0305, {0x0A}, 1, "R Bits          1010 0110 -> 0101"},
      {0xF700, 0x0305, {0x0A}, 1, "X Bits  0011 -> 0101 1010"},
      {0xF800, 0xF3F5, {0x0A, 0x0B}, 2, "R Bits  0110 -> 0101"},
      {0xF700, 0x0F00, {0xFA}, 1, "X Bits  1111 -> 0000 1010"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decoded(eventRecord(c.type, c.bytes, c.ind, c.datl)), kHeader + c.body) << c.body;
  }
}

// ---- register signalling ----

TEST(RegisterSignallingBody, IndicatorDirectionPortAndKind) {
  // clang-format off
  struct Case { int32_t type; int32_t ind; int32_t dir; std::string expected; } cases[] = {
      // clang-format on
      {0xF300, 0x0201, 1, "RcvTone 0201 O     1234            DTMF"},
      {0xF400, 0x0105, 0, "XmtTone 0105 I     1234              DP"},
      {0xF100, 0x0401, 0, "    RcvTone Linked process 0401 I     1234          MFC R2"},
      {0xF200, 0x0400, 1, "    XmtTstp Linked process 0400 O     1234          MFC R2"},
      {0xF300, 0x0700, 0, "RcvTone 0700 I     1234            POOL"},
      {0xF300, 0x0601, 0, "RcvTone 0601 I     1234 "},
      {0xF400, 0x0B01, 0, "XmtTone 0B01 I     1234 "},
  };
  for (const auto& c : cases) {
    MonitorRecord r = eventRecord(c.type, {}, c.ind);
    r.dir = c.dir;
    // dir also gives the time fraction of the header (2 ms per unit).
    const std::string header = " 0001 2024/05/06 07:08:09." + corvane::dec3(uint32_t(c.dir) * 2) + " ";
    EXPECT_EQ(decoded(r), header + c.expected) << c.expected;
  }
}

// ---- SIP packet lines ----

MonitorRecord sipRecord(int32_t type, const std::string& cport, const std::string& pport, const std::string& packet,
                        int32_t datl = -1) {
  MonitorRecord r = recordOf(type, std::vector<uint8_t>(packet.begin(), packet.end()), datl);
  r.cport = cport;
  r.pport = pport;
  return r;
}

TEST(SipPackets, AddressPortAndFirstLine) {
  // clang-format off
  struct Case { const char* what; MonitorRecord record; std::string expected; };
  // clang-format on
  const Case cases[] = {
      {"request line up to the carriage return",
       sipRecord(0xED00, "C0A8010A", "000013C4", "INVITE sip:200@10.0.0.1 SIP/2.0\r\nVia: x"),
       "SIP RCV PKT 192.168.1.10:5060|        INVITE sip:200@10.0.0.1 SIP/2.0"},
      {"five-digit ports are shown whole", sipRecord(0xEC00, "0A000001", "0000EA60", "SIP/2.0 200 OK\r\n"),
       "SIP XMT PKT 10.0.0.1:60000|        SIP/2.0 200 OK"},
      {"port 65535", sipRecord(0xEC00, "0A000001", "    FFFF", "x"), "SIP XMT PKT 10.0.0.1:65535|        x"},
      {"blank for nibble 15", sipRecord(0xED00, "C0A801 A", "    13C4", "A"),
       "SIP RCV PKT 192.168.1.250:5060|        A"},
      {"line feed also ends the line", sipRecord(0xED00, "C0A8010A", "000013C4", "ACK x\ny"),
       "SIP RCV PKT 192.168.1.10:5060|        ACK x"},
      {"control bytes and 0xFF are shown as dots",
       sipRecord(0xED00, "C0A8010A", "000013C4", std::string("BYE \x01\x7F\xFF\xE9z", 9)),
       "SIP RCV PKT 192.168.1.10:5060|        BYE ...\xE9z"},
      {"never beyond datl", sipRecord(0xED00, "C0A8010A", "000013C4", "INVITE", 5),
       "SIP RCV PKT 192.168.1.10:5060|        INVIT"},
      {"empty packet", sipRecord(0xED00, "C0A8010A", "000013C4", "", 0), "SIP RCV PKT 192.168.1.10:5060|        "},
      {"short cport: no address and no port", sipRecord(0xED00, "1234567", "000013C4", "OPTIONS"),
       "SIP RCV PKT |        OPTIONS"},
      {"short pport: address without port", sipRecord(0xED00, "C0A8010A", "13C4", "OPTIONS"),
       "SIP RCV PKT 192.168.1.10|        OPTIONS"},
  };
  for (const Case& c : cases) EXPECT_EQ(decoded(c.record), kHeader + c.expected) << c.what;
}

TEST(SipPackets, AddressComesFromTheFrameWords) {
  MonitorFrame f{};
  const uint32_t address = 0xC0A8010A, port = 0x0000EA61;
  for (int i = 0; i < 4; ++i) {
    f[i] = uint8_t(address >> (8 * i));
    f[4 + i] = uint8_t(port >> (8 * i));
  }
  // clang-format off
  f[8] = 26; f[9] = 12; f[10] = 9; f[11] = 6; f[12] = 0; f[13] = 1;
  f[18] = 0x00; f[19] = 0xED;
  // clang-format on
  const std::string packet = "REGISTER sip:x SIP/2.0\r\n";
  f[22] = uint8_t(packet.size());
  for (size_t i = 0; i < packet.size(); ++i) f[23 + i] = uint8_t(packet[i]);
  EXPECT_EQ(visible(decodeMonitorRecord(buildMonitorRecord(f, 2, 0))),
            " 0002 2026/12/09 06:00:01.000 SIP RCV PKT 192.168.1.10:60001|        REGISTER sip:x SIP/2.0");
}

}  // namespace
}  // namespace lumarc
