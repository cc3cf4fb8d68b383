// MTP level 2 and 3 goldens: signal unit kinds, the length indicator rule,
// the hex dump, the routing label, network management and link test.
#include "lumarc/decoder/ss7_test_support.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

using namespace test;

TEST(Mtp2SignalUnits, WholeRecordFisuIsOneLineWithoutDump) {
  EXPECT_EQ(decodeUnit({0x85, 0x86, 0x00}), kHeader + "RCV PKT Bib=1 Bsn=05 Fib=1 Fsn=06 FISU");
}

TEST(Mtp2SignalUnits, TransmitKindsCarryTheSameDecode) {
  for (int32_t type : {0xF600, 0xFC25}) {
    EXPECT_EQ(visible(decodeMonitorRecord(recordOf(type, {0x05, 0xFF, 0x00}))),
              kHeader + "XMT PKT Bib=0 Bsn=05 Fib=1 Fsn=7F FISU")
        << std::hex << type;
  }
}

TEST(Mtp2SignalUnits, UnitShorterThanThreeBytesShowsNothing) {
  EXPECT_EQ(decodeUnit({0x85, 0x86}), "");
  EXPECT_EQ(decodeUnit({0x85, 0x86, 0x00}, 2), "");
}

TEST(Mtp2SignalUnits, LinkStatusNamesAndWhenTheDumpFollows) {
  struct Case {
    std::vector<uint8_t> bytes;
    std::string tail;
  } cases[] = {
      {{0x85, 0x86, 0x01, 0x00}, " SIO"},
      {{0x85, 0x86, 0x01, 0x01}, " SIN"},
      {{0x85, 0x86, 0x01, 0x02}, " SIE"},
      {{0x85, 0x86, 0x01, 0x03}, " SIOS"},
      {{0x85, 0x86, 0x01, 0x04}, " SIPO"},
      {{0x85, 0x86, 0x01, 0x05}, " SIB"},
      {{0x85, 0x86, 0x02, 0x02}, " SIE" + dumpOf({0x85, 0x86, 0x02, 0x02})},
      {{0x85, 0x86, 0x01, 0x06}, "|        00000110 Spare field ok"},
      {{0x85, 0x86, 0x02, 0x46}, "|        01000110 "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodeUnit(c.bytes), kHeader + "RCV PKT Bib=1 Bsn=05 Fib=1 Fsn=06" + c.tail);
  }
}

TEST(Mtp2SignalUnits, LengthIndicatorAbove63ShowsOnlyTheDump) {
  const std::vector<uint8_t> bytes = {0x85, 0x86, 0x40, 0x85, 0x01};
  EXPECT_EQ(decodeUnit(bytes), kHeader + "RCV PKT Bib=1 Bsn=05 Fib=1 Fsn=06" + dumpOf(bytes));
}

TEST(Mtp3LengthIndicator, ConsistencyRule) {
  struct Case {
    uint8_t li;
    size_t datl;
    bool consistent;
  } cases[] = {{63, 70, true}, {63, 66, true}, {63, 65, false}, {20, 22, false}, {20, 23, true}, {20, 24, false}};
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes(c.datl, 0);
    bytes[0] = 0x85;
    bytes[1] = 0x86;
    bytes[2] = c.li;
    bytes[3] = 0x84;  // TUP: nothing decoded after the label
    const std::string text = decodeUnit(bytes);
    EXPECT_EQ(text.find(", Length indicator inconsistent!") == std::string::npos, c.consistent)
        << int(c.li) << " " << c.datl;
    EXPECT_NE(text.find("|        Hex Dump 85 86 "), std::string::npos);
  }
}

TEST(Mtp3RoutingLabel, TupShowsServiceNameAndNotImplemented) {
  const std::vector<uint8_t> bytes = msuBytes(0x84, {0x11, 0x22});
  EXPECT_EQ(decodeUnit(bytes), msuHead() + level3Lines(7, 4, "TUP") +
                                   "|        00010001 ****** Service indicator not implemented" + dumpOf(bytes));
}

TEST(Mtp3RoutingLabel, NetworkIndicatorAndSpareBitsTexts) {
  struct Case {
    uint8_t sio;
    const char* text;
  } cases[] = {{0x04, "Subservice:International network,Spare bits:00,TUP"},
               {0x5B, "Subservice:Spare,Spare bits:01,Spare"},
               {0xA9, "Subservice:National network-0,Spare bits:10,Broad band ISDN user part"},
               {0xF2, "Subservice:National network-1,Spare bits:11,Spare"},
               {0xCA, "Subservice:National network-1,Spare bits:00,Satellite ISDN user part"}};
  for (const auto& c : cases) {
    const std::string text = decodeUnit(msuBytes(c.sio, {0}));
    EXPECT_NE(text.find("|        " + bitsOf(c.sio) + " " + c.text + "|"), std::string::npos) << text;
  }
}

TEST(Mtp3RoutingLabel, PointCodesUseFourteenBitsAndLinkCodeTheTopNibble) {
  const uint32_t r = 0x3FFFu | (0x2AAAu << 14) | (0xFu << 28);
  // clang-format off
  std::vector<uint8_t> bytes = {0x85, 0x86, 0x06, 0x84, uint8_t(r), uint8_t(r >> 8), uint8_t(r >> 16),
                                uint8_t(r >> 24), 0x00};
  // clang-format on
  const std::string text = decodeUnit(bytes);
  EXPECT_NE(text.find("|        ******** Destination point code:3FFF"
                      "|        ******** Originating point code:2AAA"
                      "|        ******** Signalling link code:000F"),
            std::string::npos)
      << text;
}

struct NmCase {
  std::vector<uint8_t> payload;
  std::string name;
  std::string lines;
};

TEST(NetworkManagement, MessageNamesAndContents) {
  const NmCase cases[] = {
      // clang-format off
      {{0x11, 0x2A}, "COO  Changeover order",
       "|        00101010 Spare field ok,FSN of last acknowledged MSU:2A"},
      // clang-format on
      {{0x21, 0xAA}, "COA  Changeover ack.", "|        10101010 Spare field ill"},
      {{0x51, 0x07}, "CBD  Changeback declaration", "|        00000111 Changeback code=07"},
      {{0x61, 0xF0}, "CBA  Changeback ack.", "|        11110000 Changeback code=F0"},
      {{0x12}, "ECO  Emergency changeover order", ""},
      {{0x23, 0x55, 0x55}, "TFC  Transfer controlled", ""},
      // clang-format off
      {{0x14, 0x34, 0x12}, "TFP  Transfer prohibited",
       "|        ******** Spare field ok,Destination point code:1234"},
      // clang-format on
      {{0x34, 0x34, 0x40}, "TFR  Transfer restricted", "|        ******** Spare field ill"},
      {{0x54, 0xFF, 0x3F}, "TFA  Transfer allowed", "|        ******** Spare field ok,Destination point code:3FFF"},
      {{0x15, 0x01, 0x00},
       "RST  Signalling route set test for prohibited destination",
       "|        ******** Spare field ok,Destination point code:0001"},
      {{0x25, 0x01, 0x00},
       "RSR  Signalling route set test for restricted destination",
       "|        ******** Spare field ok,Destination point code:0001"},
      {{0x86}, "LRT  Link remote inhibit test", ""},
      {{0x17}, "TRA  Traffic restart allowed", ""},
      {{0x18, 0xFF, 0x0F},
       "DLC  Signalling data link connection order",
       "|        ******** Spare field ok,Signalling data link identity:0FFF"},
      {{0x18, 0xFF, 0x10}, "DLC  Signalling data link connection order", "|        ******** Spare field ill"},
      {{0x48}, "CNP  Connection not possible", ""},
      {{0x1A, 0x23, 0x01, 0x15},
       "UPU  User part unavailable",
       "|        ******** Spare field ok,Destination point code:0123"
       "|        00010101 ISUP,Cause:Unequipped remote user"},
      {{0x1A, 0x23, 0x01, 0x23},
       "UPU  User part unavailable",
       "|        ******** Spare field ok,Destination point code:0123"
       "|        00100011 SCCP,Cause:Inaccessible remote user"},
      {{0x1A, 0x23, 0x01, 0x34},
       "UPU  User part unavailable",
       "|        ******** Spare field ok,Destination point code:0123"
       "|        00110100 TUP,Cause:"},
      {{0x99, 0x01}, "Unknown message", ""},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> bytes = msuBytes(0x80, c.payload);
    const uint8_t h = c.payload[0];
    const std::string heading = "|        " + bitsOf(h) + " Heading Code H1:0" + "0123456789ABCDEF"[h >> 4] +
                                ",Heading Code H0:0" + "0123456789ABCDEF"[h & 0x0F];
    EXPECT_EQ(decodeUnit(bytes), msuHead() + c.name +
                                     level3Lines(uint8_t(bytes.size() - 3), 0, "Signalling network management") +
                                     heading + c.lines + dumpOf(bytes))
        << c.name;
  }
}

TEST(LinkTest, FifteenBytePatternStaysOnOneLine) {
  std::vector<uint8_t> payload = {0x11, 0xF0};
  for (uint8_t i = 1; i <= 15; ++i) payload.push_back(i);
  const std::vector<uint8_t> bytes = msuBytes(0x81, payload);
  EXPECT_EQ(decodeUnit(bytes),
            msuHead() + "SLTM Signalling link test" +
                level3Lines(uint8_t(bytes.size() - 3), 1, "Signalling network testing and maintenence") +
                "|        00010001 Heading Code H1:01,Heading Code H0:01"
                "|        11110000 Len=0F"
                "|        TestPtrn 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F " +
                dumpOf(bytes));
}

TEST(LinkTest, AcknowledgementWithEmptyPatternAndOtherHeadings) {
  const std::vector<uint8_t> ack = msuBytes(0x81, {0x21, 0x00});
  EXPECT_EQ(decodeUnit(ack), msuHead() + "SLTA Signalling link test ack." +
                                 level3Lines(7, 1, "Signalling network testing and maintenence") +
                                 "|        00100001 Heading Code H1:02,Heading Code H0:01"
                                 "|        00000000 Len=00" +
                                 dumpOf(ack));
  const std::vector<uint8_t> other = msuBytes(0x81, {0x31, 0x20, 0x01, 0x02});
  EXPECT_EQ(decodeUnit(other), msuHead() + level3Lines(9, 1, "Signalling network testing and maintenence") +
                                   "|        00110001 Heading Code H1:03,Heading Code H0:01" + dumpOf(other));
}

}  // namespace
}  // namespace lumarc
