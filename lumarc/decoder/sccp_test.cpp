// SCCP goldens: message names, fixed parameters, pointer lines (two-octet
// pointers of the long unitdata messages), called and calling addresses with
// every global title indicator, the optional part and where decoding stops.
#include "lumarc/decoder/ss7_test_support.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

using namespace test;

std::string C(const std::string& name) { return "|                 " + name; }
std::string L(const std::string& bits, const std::string& text) { return "|        " + bits + " " + text; }
std::string S(const std::string& text) { return "|        ******** " + text; }
std::string D(const std::string& digits) { return "|        Digits   " + digits; }

std::vector<uint8_t> sccpUnit(std::vector<uint8_t> payload) { return msuBytes(0x83, payload); }

std::string sccpHead(const std::string& name, const std::vector<uint8_t>& bytes) {
  return msuHead() + name + level3Lines(uint8_t(bytes.size() > 66 ? 63 : bytes.size() - 3), 3, "SCCP");
}

// Lines after the level 3 lines, up to the hex dump.
std::string bodyOf(const std::vector<uint8_t>& bytes) {
  const std::string text = decodeUnit(bytes);
  const size_t from = text.find("Signalling link code:0005");
  const size_t to = text.find("|        Hex Dump");
  if (from == std::string::npos || to == std::string::npos) return "<" + text + ">";
  return text.substr(from + 25, to - from - 25);
}

const std::string kCalledGt4 =
    C("Called party address") + L("00000111", "Parameter length:07") + L("-------0", "Signalling point code absent") +
    L("------1-", "Address contains a subsystem number") +
    L("--0100--",
      "Global title includes translation type, numbering plan, encoding scheme and nature of address indicator") +
    L("-0------", "Route on GT") + L("0-------", "Reserved") + L("00000110", "SSN:Home location register (HLR)") +
    L("00000000", "Translation type:00") + L("----0010", "Encoding scheme:BCD, even number of digits") +
    L("0001----", "Numbering plan:ISDN/Telephony numbering plan (CCITT E.164)") +
    L("-0000100", "Nature of address indicator:International number") +
    L("0-------", "Odd/even indicator:Even number of address signals") + D("1234");

const std::string kCallingPcSsn =
    C("Calling party address") + L("00000100", "Parameter length:04") +
    L("-------1", "Address contains a signalling point code") + L("------1-", "Address contains a subsystem number") +
    L("--0000--", "No global title included") + L("-1------", "Route on SSN") + L("0-------", "Reserved") +
    S("Destination point code:012B") + L("00------", "Reserved") + L("00001000", "SSN:Mobile switching centre (MSC)");

TEST(SccpMessages, UnitdataShowsClassPointersAddressesAndData) {
  const std::vector<uint8_t> bytes = sccpUnit({0x09, 0x80, 0x03, 0x0A, 0x0E,                    // type, class, pointers
                                               0x07, 0x12, 0x06, 0x00, 0x12, 0x04, 0x21, 0x43,  // called
                                               0x04, 0x43, 0x2B, 0x01, 0x08,                    // calling
                                               0x03, 'a',  'b',  'c'});                         // data
  EXPECT_EQ(decodeUnit(bytes),
            sccpHead("UDT   SCCP Unitdata", bytes) + C("Protocol class") + L("----0000", "Class 0") +
                L("1000----", "Return message on error") + L("00000011", "Pointer to Called party address:03") +
                L("00001010", "Pointer to Calling party address:0A") + L("00001110", "Pointer to Data:0E") +
                kCalledGt4 + kCallingPcSsn + C("Data") + L("00000011", "Parameter length:03") + dumpOf(bytes));
}

TEST(SccpMessages, UnitdataServiceIsHeadedReturnCause) {
  // clang-format off
  const std::vector<uint8_t> bytes = sccpUnit({0x0A, 0x01, 0x03, 0x0A, 0x0E, 0x07, 0x12, 0x06, 0x00, 0x12, 0x04,
                                               0x21, 0x43, 0x04, 0x43, 0x2B, 0x01, 0x08, 0x01, 0x00});
  // clang-format on
  EXPECT_EQ(bodyOf(bytes), C("Return cause") + L("00000001", "No translation for this specific address") +
                               L("00000011", "Pointer to Called party address:03") +
                               L("00001010", "Pointer to Calling party address:0A") +
                               L("00001110", "Pointer to Data:0E") + kCalledGt4 + kCallingPcSsn + C("Data") +
                               L("00000001", "Parameter length:01"));
}

TEST(SccpMessages, ConnectionRequestWithOptionalPart) {
  const std::vector<uint8_t> bytes =
      sccpUnit({0x01, 0x01, 0x02, 0x03, 0x02, 0x02, 0x05,  // type, SLR, class 2, pointers
                                                           // clang-format off
                0x03, 0x42, 0x08, 0x93,                     // called: SSN only, route on SSN
                0x12, 0x01, 0x05,                           // importance 5
                0x13, 0x02, 0xAA, 0xBB,                     // long data: skipped silently
                0x19, 0x01, 0x00,                           // unknown code
                // clang-format on
                0x00});
  EXPECT_EQ(decodeUnit(bytes),
            sccpHead("CR    SCCP Connection request", bytes) + C("Source local reference") + S("00030201") +
                C("Protocol class") + L("----0010", "Class 2") + L("0000----", "Spare") +
                L("00000010", "Pointer to Called party address:02") + L("00000101", "Pointer to optional part:05") +
                C("Called party address") + L("00000011", "Parameter length:03") +
                L("-------0", "Signalling point code absent") + L("------1-", "Address contains a subsystem number") +
                L("--0000--", "No global title included") + L("-1------", "Route on SSN") + L("0-------", "Reserved") +
                L("00001000", "SSN:Mobile switching centre (MSC)") + C("Importance") +
                L("00000001", "Parameter length:01") + L("-----101", "05") + L("00000---", "Spare") +
                C("Unknown SCCP parameter") + C("End of optional parameters") + dumpOf(bytes));
}

struct BodyCase {
  std::vector<uint8_t> payload;
  std::string name;
  std::string body;
};

TEST(SccpMessages, ConnectionOrientedMessages) {
  const std::string dlr = C("Destination local reference") + S("Destination Local Reference:00030201");
  const std::string slr = C("Source local reference") + S("00060504");
  const BodyCase cases[] = {
      {{0x02, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x82, 0x00},
       "CC    SCCP Connection confirm",
       dlr + slr + C("Protocol class") + L("----0010", "Class 2") + L("1000----", "Spare") +
           L("00000000", "Pointer to optional part:00")},
      // clang-format off
      {{0x03, 0x01, 0x02, 0x03, 0x0B, 0x00}, "CREF  SCCP Connection refused",
       dlr + C("Refusal cause") + L("00001011", "Eubsystem congestion") +
           L("00000000", "Pointer to optional part:00")},
      {{0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x10, 0x00}, "RLSD  SCCP Released",
       // clang-format on
       dlr + slr + C("Release cause") + L("00010000", "SCCP failure") + L("00000000", "Pointer to optional part:00")},
      {{0x05, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, "RLC   SCCP Release complete", dlr + slr},
      {{0x06, 0x01, 0x02, 0x03, 0x01, 0x01, 0x02, 0xAA, 0xBB},
       "DT1   SCCP Data form 1",
       dlr + C("Segmenting/reassembling") + L("-------1", "More data") + L("0000000-", "Spare") +
           L("00000001", "Pointer to Data:01") + C("Data") + L("00000010", "Parameter length:02")},
      {{0x07, 0x01, 0x02, 0x03, 0x0A, 0x01, 0x01, 0x01, 0xAA},
       "DT2   SCCP Data form 2",
       dlr + C("Sequencing/segmenting") + L("-------1", "More data") + S("Send sequence number:0005") +
           L("00000001", "Pointer to Data:01") + C("Data") + L("00000001", "Parameter length:01")},
      {{0x08, 0x01, 0x02, 0x03, 0x0B, 0x10},
       "AK    SCCP Data acknowledgement",
       dlr + C("Receive sequence number") + L("-------1", "Spare") + L("0000101-", "05") + C("Credit") +
           L("00010000", "Window size value:10")},
      {{0x0B, 0x01, 0x02, 0x03, 0x01, 0x01, 0x7E},
       "ED    SCCP Expedited data",
       dlr + L("00000001", "Pointer to Data:01") + C("Data") + L("00000001", "Parameter length:01")},
      {{0x0C, 0x01, 0x02, 0x03}, "EA    SCCP Expedited data acknowledgement", dlr},
      // clang-format off
      {{0x0D, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x05}, "RSR   SCCP Reset request",
       dlr + slr + C("Reset cause") + L("00000101", "Remote procedure error - incorrect P(S) after (re)initialization")},
      // clang-format on
      {{0x0E, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, "RSC   SCCP Reset confirmation", dlr + slr},
      {{0x0F, 0x01, 0x02, 0x03, 0x02},
       "ERR   SCCP Protocol data unit error",
       dlr + C("Error cause") + L("00000010", "Point code mismatch")},
      {{0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x03, 0x00, 0x00, 0x07},
       "IT    SCCP Inactivity test",
       dlr + slr + C("Protocol class") + L("----0011", "Class 3") + L("0000----", "Spare") +
           C("Sequencing/segmenting") + L("-------0", "No more data") + S("Send sequence number:0000") + C("Credit") +
           L("00000111", "Window size value:07")},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> bytes = sccpUnit(c.payload);
    EXPECT_EQ(decodeUnit(bytes), sccpHead(c.name, bytes) + c.body + dumpOf(bytes)) << c.name;
  }
}

TEST(SccpMessages, ExtendedUnitdataWithHopCounterAndSegmentation) {
  const std::vector<uint8_t> bytes =
      sccpUnit({0x11, 0x01, 0x0F, 0x04, 0x07, 0x0A, 0x0C,  // class, hop counter, four pointers
                                                           // clang-format off
                0x03, 0x42, 0x08, 0x93,                     // called
                0x03, 0x42, 0x07, 0x00,                     // calling
                0x02, 0x01, 0x02,                           // data
                0x10, 0x04, 0xC3, 0x01, 0x02, 0x03,         // segmentation
                // clang-format on
                0x00});
  EXPECT_EQ(bodyOf(bytes),
            C("Protocol class") + L("----0001", "Class 1") + L("0000----", "No special options") + C("Hop counter") +
                L("00001111", "0F") + L("00000100", "Pointer to Called party address:04") +
                L("00000111", "Pointer to Calling party address:07") + L("00001010", "Pointer to Data:0A") +
                L("00001100", "Pointer to optional part:0C") + C("Called party address") +
                L("00000011", "Parameter length:03") + L("-------0", "Signalling point code absent") +
                L("------1-", "Address contains a subsystem number") + L("--0000--", "No global title included") +
                L("-1------", "Route on SSN") + L("0-------", "Reserved") +
                L("00001000", "SSN:Mobile switching centre (MSC)") + C("Calling party address") +
                L("00000011", "Parameter length:03") + L("-------0", "Signalling point code absent") +
                L("------1-", "Address contains a subsystem number") + L("--0000--", "No global title included") +
                L("-1------", "Route on SSN") + L("0-------", "Reserved") +
                L("00000111", "SSN:Visitor location register (VLR)") + C("Data") +
                L("00000010", "Parameter length:02") + C("Segmentation") + L("00000100", "Parameter length:04") +
                L("----0011", "Remaining segments:03") + L("--00----", "Spare") + L("-1------", "Class 1 selected") +
                L("1-------", "First segment") + C("End of optional parameters"));
  EXPECT_EQ(decodeUnit(bytes).substr(0, msuHead().size() + 28), msuHead() + "XUDT  SCCP Extended unitdata");
}

TEST(SccpMessages, LongUnitdataUsesTwoOctetPointers) {
  const std::vector<uint8_t> bytes =
      sccpUnit({0x13, 0x00, 0x02, 0x08, 0x00, 0x0A, 0x00, 0x0C, 0x00, 0x00, 0x00,  // pointers
                0x03, 0x42, 0x08, 0x93,                                            // called at b19
                0x03, 0x42, 0x07, 0x00,                                            // calling at b23
                0x02, 0x00, 0xAA, 0xBB});                                          // long data at b27
  EXPECT_EQ(bodyOf(bytes),
            C("Protocol class") + L("----0000", "Class 0") + L("0000----", "No special options") + C("Hop counter") +
                L("00000010", "02") + L("00001000", "Pointer to Called party address:0008") +
                L("00001010", "Pointer to Calling party address:000A") + L("00001100", "Pointer to Data:000C") +
                L("00000000", "Pointer to optional part:0000") + C("Called party address") +
                L("00000011", "Parameter length:03") + L("-------0", "Signalling point code absent") +
                L("------1-", "Address contains a subsystem number") + L("--0000--", "No global title included") +
                L("-1------", "Route on SSN") + L("0-------", "Reserved") +
                L("00001000", "SSN:Mobile switching centre (MSC)") + C("Calling party address") +
                L("00000011", "Parameter length:03") + L("-------0", "Signalling point code absent") +
                L("------1-", "Address contains a subsystem number") + L("--0000--", "No global title included") +
                L("-1------", "Route on SSN") + L("0-------", "Reserved") +
                L("00000111", "SSN:Visitor location register (VLR)"));
  const std::string text = decodeUnit(bytes);
  EXPECT_EQ(text.substr(0, msuHead().size() + 24), msuHead() + "LUDT  SCCP Long unitdata");
  // The service variant has the same layout after its return cause.
  std::vector<uint8_t> service = bytes;
  service[8] = 0x14;
  service[9] = 0x0C;
  EXPECT_NE(decodeUnit(service).find("LUDTS SCCP Long unitdata service|"), std::string::npos);
  EXPECT_NE(decodeUnit(service).find(C("Return cause") + L("00001100", "Hop counter violation")), std::string::npos);
}

TEST(SccpMessages, UnknownTypesShowOnlyTheName) {
  for (uint8_t type : {0x00, 0x15, 0xFF}) {
    const std::vector<uint8_t> bytes = sccpUnit({type, 0x01, 0x02});
    EXPECT_EQ(decodeUnit(bytes), sccpHead("      SCCP Message not implemented", bytes) + dumpOf(bytes)) << int(type);
  }
}

TEST(SccpFixedParameters, ProtocolClassOptionsAndCauseTables) {
  const std::string kZeroPointers = L("00000000", "Pointer to Called party address:00") +
                                    L("00000000", "Pointer to Calling party address:00") +
                                    L("00000000", "Pointer to Data:00");
  struct Case {
    std::vector<uint8_t> payload;
    std::string body;
  } cases[] = {
      {{0x0C, 0x01, 0x02, 0x03}, C("Destination local reference") + S("Destination Local Reference:00030201")},
      // clang-format off
      {{0x09, 0x30, 0x00, 0x00, 0x00}, C("Protocol class") + L("----0000", "Class 0") + L("0011----", "Spare") +
                                           kZeroPointers},
      // clang-format on
      {{0x09, 0x05, 0x00, 0x00, 0x00}, C("Protocol class") + L("----0101", "Unknown") + kZeroPointers},
      {{0x0F, 0x01, 0x02, 0x03, 0x09},
       C("Destination local reference") + S("Destination Local Reference:00030201") + C("Error cause") +
           L("00001001", "Reserved")},
      {{0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x0E, 0x00},
       C("Destination local reference") + S("Destination Local Reference:00030201") + C("Source local reference") +
           S("00060504") + C("Release cause") + L("00001110", "Reserved") +
           L("00000000", "Pointer to optional part:00")},
      {{0x0A, 0x0E, 0x00, 0x00, 0x00}, C("Return cause") + L("00001110", "segmentation failure") + kZeroPointers},
      {{0x0A, 0x0F, 0x00, 0x00, 0x00}, C("Return cause") + L("00001111", "Reserved") + kZeroPointers},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bodyOf(sccpUnit(c.payload)), c.body);
  }
}

std::string calledOf(std::vector<uint8_t> address) {
  std::vector<uint8_t> payload = {0x09, 0x00, 0x03, 0x00, 0x00, uint8_t(address.size())};
  payload.insert(payload.end(), address.begin(), address.end());
  const std::string body = bodyOf(sccpUnit(payload));
  const size_t at = body.find(C("Called party address"));
  return at == std::string::npos ? "<" + body + ">" : body.substr(at);
}

std::string aiLines(const std::string& gt, bool routeOnSsn = false) {
  return L("-------0", "Signalling point code absent") + L("------0-", "Subsystem number absent") + gt +
         (routeOnSsn ? L("-1------", "Route on SSN") : L("-0------", "Route on GT")) + L("0-------", "Reserved");
}

std::string lenLine(uint8_t n) {
  static const char* hex = "0123456789ABCDEF";
  return L(bitsOf(n), std::string("Parameter length:") + hex[n >> 4] + hex[n & 0x0F]);
}

TEST(SccpAddresses, EveryGlobalTitleIndicator) {
  struct Case {
    std::vector<uint8_t> address;
    std::string lines;
  } cases[] = {
      {{0x04, 0x83, 0x21, 0x03},
       aiLines(L("--0001--", "Global title includes nature of address indicator only")) +
           L("-0000011", "Nature of address indicator:National significant number:") +
           L("1-------", "Odd/even indicator:Odd number of address signals") + D("123")},
      // clang-format off
      {{0x08, 0x11}, aiLines(L("--0010--", "Global title includes translation type only")) +
                         L("00010001", "Translation type:11")},
      // clang-format on
      {{0x0C, 0x00, 0x71},
       aiLines(L("--0011--", "Global title includes translation type, numbering plan and encoding scheme")) +
           L("00000000", "Translation type:00") + L("----0001", "Encoding scheme:BCD, odd number of digits") +
           L("0111----", "Numbering plan:ISDN/mobile numbering plan (ITU-T E.214)")},
      // Indicator 4: odd/even comes from the encoding scheme (odd here),
      // although bit 7 of the nature of address octet says even.
      {{0x10, 0x00, 0x11, 0x04, 0x21, 0x03},
       aiLines(L("--0100--",
                 "Global title includes translation type, numbering plan, encoding scheme and nature of address "
                 "indicator")) +
           L("00000000", "Translation type:00") + L("----0001", "Encoding scheme:BCD, odd number of digits") +
           L("0001----", "Numbering plan:ISDN/Telephony numbering plan (CCITT E.164)") +
           L("-0000100", "Nature of address indicator:International number") +
           L("0-------", "Odd/even indicator:Even number of address signals") + D("123")},
      {{0x14, 0x00}, aiLines(L("--0101--", "Spare"))},
      {{0x7C, 0x00}, aiLines(L("--1111--", "Reserved for extension"), true)},
      {{0x80, 0x00},
       L("-------0", "Signalling point code absent") + L("------0-", "Subsystem number absent") +
           L("--0000--", "No global title included") + L("-0------", "Route on GT") + L("1-------", "Reserved")},
  };
  for (const auto& c : cases) {
    // clang-format off
    EXPECT_EQ(calledOf(c.address),
              C("Called party address") + lenLine(uint8_t(c.address.size())) + c.lines)
        // clang-format on
        << visible(calledOf(c.address));
  }
}

TEST(SccpAddresses, SubsystemNumbersAndNumberingPlans) {
  struct Case {
    uint8_t ssn;
    const char* text;
  } cases[] = {{0x00, "not known/not used"},
               {0x04, "Mperation, maintenance and administration part (OMAP"},
               {0x0E, "TC test responder"},
               {0x0F, "Reserved"},
               {0xFE, "Reserved"}};
  for (const auto& c : cases) {
    const std::string got = calledOf({0x42, c.ssn});
    EXPECT_NE(got.find(L(bitsOf(c.ssn), std::string("SSN:") + c.text)), std::string::npos) << visible(got);
  }
}

TEST(SccpBounds, ShortAddressesStopTheMessage) {
  struct Case {
    std::vector<uint8_t> address;
    std::string lastLine;
  } cases[] = {
      // clang-format off
      {{0x42}, lenLine(1)},                                                             // shorter than 2
      {{0x43, 0x2B}, L("0-------", "Reserved")},                                        // point code needs 2
      {{0x10, 0x00, 0x11}, L("0-------", "Reserved")},                                  // indicator 4 needs 3
      {{0x0C, 0x00}, L("0-------", "Reserved")},                                        // indicator 3 needs 2
  };
  // clang-format on
  for (const auto& c : cases) {
    const std::string got = calledOf(c.address);
    ASSERT_GE(got.size(), c.lastLine.size());
    EXPECT_EQ(got.substr(got.size() - c.lastLine.size()), c.lastLine) << visible(got);
    EXPECT_EQ(got.find("Calling party address"), std::string::npos) << visible(got);
  }
}

TEST(SccpBounds, PointersOfZeroOrOutsideTheMessageEndTheDecode) {
  const std::vector<uint8_t> zero = sccpUnit({0x09, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(bodyOf(zero), C("Protocol class") + L("----0000", "Class 0") + L("0000----", "No special options") +
                              L("00000000", "Pointer to Called party address:00") +
                              L("00000000", "Pointer to Calling party address:00") +
                              L("00000000", "Pointer to Data:00"));
  const std::vector<uint8_t> outside = sccpUnit({0x06, 0x01, 0x02, 0x03, 0x00, 0xF0});
  EXPECT_EQ(bodyOf(outside), C("Destination local reference") + S("Destination Local Reference:00030201") +
                                 C("Segmenting/reassembling") + L("-------0", "No more data") + L("0000000-", "Spare") +
                                 L("11110000", "Pointer to Data:F0"));
  // A two-octet pointer far beyond the buffer.
  std::vector<uint8_t> longPtr = sccpUnit({0x13, 0x00, 0x02, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  EXPECT_NE(bodyOf(longPtr).find(L("11111111", "Pointer to Called party address:FFFF") +
                                 L("00000000", "Pointer to Calling party address:0000")),
            std::string::npos);
}

TEST(SccpBounds, WrongLengthOfAnOptionalParameterEndsTheLoop) {
  const std::vector<uint8_t> bytes = sccpUnit({0x01, 0x01, 0x02, 0x03, 0x02, 0x02, 0x05, 0x03, 0x42, 0x08, 0x93, 0x11,
                                               0x02, 0x05, 0x05, 0x12, 0x01, 0x01, 0x00});
  const std::string body = bodyOf(bytes);
  const std::string tail = C("Hop counter") + L("00000010", "Parameter length:02");
  ASSERT_GE(body.size(), tail.size());
  EXPECT_EQ(body.substr(body.size() - tail.size()), tail) << visible(body);
}

}  // namespace
}  // namespace lumarc
