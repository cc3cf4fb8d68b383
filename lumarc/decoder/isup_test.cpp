// ISUP message goldens: circuit identification code, message names, the
// mandatory fixed and variable parts with their pointers, the optional part
// loop and where a malformed message stops.
#include "lumarc/decoder/ss7_test_support.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

using namespace test;

std::string cont(const std::string& name) { return "|                 " + name; }
std::string line(const std::string& bits, const std::string& text) { return "|        " + bits + " " + text; }

// ISUP unit: CIC 0x0015, message type, then the rest of the message.
std::vector<uint8_t> isupUnit(uint8_t type, std::vector<uint8_t> rest) {
  std::vector<uint8_t> payload = {0x15, 0x00, type};
  payload.insert(payload.end(), rest.begin(), rest.end());
  return msuBytes(0x85, payload);
}

std::string isupHead(const std::string& name, const std::vector<uint8_t>& bytes, uint8_t type) {
  return msuHead() + name + level3Lines(uint8_t(bytes.size() > 66 ? 63 : bytes.size() - 3), 5, "ISUP") +
         "|        ******** Circuit identifiction code:0015" + line("0000----", "Spare") +
         line(bitsOf(type),
              "Message type:" + std::string(1, "0123456789ABCDEF"[type >> 4]) + "0123456789ABCDEF"[type & 0x0F]);
}

TEST(IsupMessages, InitialAddressShowsEveryPartInOrder) {
  // clang-format off
  const std::vector<uint8_t> bytes = isupUnit(
      0x01, {0x00, 0x60, 0x01, 0x0A, 0x00, 0x02, 0x07,        // fixed part and pointers
             0x05, 0x83, 0x10, 0x21, 0x43, 0x05,              // called party number 12345
             0x0A, 0x04, 0x03, 0x13, 0x21, 0x43, 0x00});      // calling party number 1234, end
  // clang-format on
  EXPECT_EQ(decodeUnit(bytes),
            isupHead("IAM ISUP Initial address", bytes, 0x01) + cont("Nature of connection indicators") +
                line("------00", "Satellite indicator:No satellite circuit in the connection") +
                line("----00--", "Continuity check indicator:Continuity check not required") +
                line("---0----", "Echo control device indicator:Outgoing echo control device not included") +
                line("000-----", "Spare") + cont("Forward call indicators") +
                line("-------0", "National/International call indicator:Call to be treated as a national call") +
                line("-----00-", "End-to-end method indicator:No end-to-end method available") +
                line("----0---", "Interworking indicator:No interworking encountered") +
                line("---0----", "End-to-end information indicator:No end-to-end information available") +
                line("--1-----", "ISDN user part indicator:ISDN user part used all the way") +
                line("01------", "ISDN user part preference indicator:ISDN user part not required the way") +
                line("-------1", "ISDN access indicator:originating access ISDN") +
                line("-----00-", "SCCP method indicator:No indication") + line("----0---", "Spare") +
                line("0000----", "Reserved") + cont("Calling party's category") +
                line("00001010", "Ordinary calling subscriber") + cont("Transmission medium requirement") +
                line("00000000", "Speech") + line("00000010", "Pointer to parameter:Called party number") +
                cont("Called party number") + line("00000101", "Parameter length:05") +
                line("-0000011", "Nature of address indicator:National number") +
                line("1-------", "Odd/even indicator:Odd number of address signals") + line("----0000", "Spare") +
                line("-001----", "Numbering plan indicator:ISDN/Telephony numbering plan (CCITT E.164)") +
                line("0-------", "Internal network number indicator:Routing to internal network number allowed") +
                "|        Digits   12345" + line("00000111", "Pointer to optional part") +
                cont("Calling party number") + line("00000100", "Parameter length:04") +
                line("-0000011", "Nature of address indicator:National number") +
                line("0-------", "Odd/even indicator:Even number of address signals") +
                line("------11", "Screening indicator:Network provided") +
                line("----00--", "Address presentation restricted indicator:Presentation allowed") +
                line("-001----", "Numbering plan indicator:ISDN/Telephony numbering plan (CCITT E.164)") +
                line("0-------", "Number incomplete indicator:Complete") + "|        Digits   1234" +
                cont("End of optional parameters") + dumpOf(bytes));
}

TEST(IsupMessages, CalledNumberWithSpareBitsSetStopsBeforeTheOptionalPart) {
  const std::vector<uint8_t> bytes = isupUnit(0x01, {0x00, 0x60, 0x01, 0x0A, 0x00, 0x02, 0x07, 0x05, 0x83, 0x14,
                                                     0x21, 0x43, 0x05, 0x0A, 0x04, 0x03, 0x13, 0x21, 0x43, 0x00});
  const std::string text = decodeUnit(bytes);
  const std::string tail = line("----0100", "Spare") + dumpOf(bytes);
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_EQ(text.find("Pointer to optional part"), std::string::npos);
}

TEST(IsupMessages, ReleaseWithNormalCallClearing) {
  const std::vector<uint8_t> bytes = isupUnit(0x0C, {0x02, 0x00, 0x02, 0x84, 0x90});
  EXPECT_EQ(decodeUnit(bytes),
            isupHead("REL ISUP Release", bytes, 0x0C) + line("00000010", "Pointer to parameter:Cause indicators") +
                cont("Cause indicators") + line("00000010", "Parameter length:02") +
                line("----0100", "Location:Public net serving the remote user") + line("---0----", "Spare") +
                line("-00-----", "Coding standard:ITU-T standardized coding") + line("1-------", "Last octet") +
                line("-0010000", "Cause value:Normal call clearing") + line("1-------", "Last octet") +
                line("00000000", "Pointer to optional part") + dumpOf(bytes));
}

TEST(IsupMessages, CircuitGroupBlockingShowsRangeAndStatus) {
  const std::vector<uint8_t> bytes = isupUnit(0x18, {0x00, 0x01, 0x02, 0x07, 0xFF});
  EXPECT_EQ(decodeUnit(bytes), isupHead("CGB ISUP Circuit group blocking", bytes, 0x18) +
                                   cont("Circuit group supervision message type") +
                                   line("------00", "Parameter:Maintenance oriented") + line("000000--", "Spare") +
                                   line("00000001", "Pointer to parameter:Range and status") +
                                   cont("Range and status") + line("00000010", "Parameter length:02") +
                                   line("00000111", "Range:07") + line("11111111", "Status") + dumpOf(bytes));
}

TEST(IsupMessages, GroupResetAndQueryPointToTheRange) {
  for (uint8_t type : {0x17, 0x2A, 0x2B}) {
    const std::vector<uint8_t> bytes = isupUnit(type, {0x01, 0x01, 0x1F});
    const std::string text = decodeUnit(bytes);
    EXPECT_NE(text.find(line("00000001", "Pointer to parameter:Range") + cont("Range") +
                        line("00000001", "Parameter length:01") + line("00011111", "Range:1F") + dumpOf(bytes)),
              std::string::npos)
        << text;
  }
  const std::vector<uint8_t> wrong = isupUnit(0x17, {0x01, 0x02, 0x1F, 0x00});
  const std::string text = decodeUnit(wrong);
  EXPECT_NE(text.find(cont("Range") + line("00000010", "Parameter length:02") + dumpOf(wrong)), std::string::npos);
}

TEST(IsupMessages, EveryMessageTypeHasItsName) {
  struct Case {
    uint8_t type;
    const char* name;
  } cases[] = {{0x02, "SAM ISUP Subsequent address"},
               {0x03, "INR ISUP Information request"},
               {0x04, "INF ISUP Information"},
               {0x05, "COT ISUP Continuity"},
               {0x06, "ACM ISUP Address complete"},
               {0x07, "CON ISUP Connect"},
               {0x08, "FOT ISUP Forward transfer"},
               {0x09, "ANM ISUP Answer"},
               {0x0D, "SUS ISUP Suspend"},
               {0x0E, "RES ISUP Resume"},
               {0x10, "RLC ISUP Release complete"},
               {0x11, "CCR ISUP Continuity check request"},
               {0x12, "RSC ISUP Reset circuit"},
               {0x13, "BLO ISUP Blocking"},
               {0x14, "UBL ISUP Unblocking"},
               {0x15, "BLA ISUP Blocking acknowledgement"},
               {0x16, "UBA ISUP Unblocking acknowledgement"},
               {0x19, "CGU ISUP Circuit group unblocking"},
               {0x1A, "CGBA ISUP Circuit group blocking acknowledgement"},
               {0x1B, "CGUA ISUP Circuit group unblocking acknowledgement"},
               {0x1F, "FAR ISUP Facility request"},
               {0x20, "FAA ISUP Facility accepted"},
               {0x21, "FRJ ISUP Facility reject"},
               {0x24, "LPA ISUP Loop back acknowledgement"},
               {0x28, "PAM ISUP Pass-along"},
               {0x29, "GRA ISUP Circuit group reset acknowledgement"},
               {0x2C, "CPG ISUP Call progress"},
               {0x2D, "USR ISUP User-to-user information"},
               {0x2E, "UCIC ISUP Unequipped CIC"},
               {0x2F, "CFN ISUP Confusion"},
               {0x30, "OLM ISUP Overload"},
               {0x31, "CRG ISUP Charge information"},
               {0x32, "NRM ISUP Network resource management"},
               {0x33, "FAC ISUP Facility"},
               {0x34, "UPT ISUP User part test"},
               {0x35, "UPA ISUP User part available"},
               {0x36, "IDR ISUP Identification request"},
               {0x37, "IRS ISUP Identification response"},
               {0x38, "SGM ISUP Segmentation"},
               {0x40, "LOP ISUP Loop prevention"},
               {0x41, "APM ISUP Application transport"},
               {0x42, "PRI ISUP Pre-release information"},
               {0x43, "SDM ISUP Subsequent directory number"},
               {0x0A, "    ISUP Message not implemented"},
               {0x99, "    ISUP Message not implemented"}};
  for (const auto& c : cases) {
    const std::string text = decodeUnit(isupUnit(c.type, {0x00, 0x00, 0x00}));
    EXPECT_EQ(text.substr(0, msuHead().size() + std::string(c.name).size() + 1), msuHead() + c.name + "|")
        << std::hex << int(c.type);
  }
}

TEST(IsupMessages, UnimplementedTypeShowsNoParameters) {
  const std::vector<uint8_t> bytes = isupUnit(0x99, {0x01, 0x02, 0x03});
  EXPECT_EQ(decodeUnit(bytes), isupHead("    ISUP Message not implemented", bytes, 0x99) + dumpOf(bytes));
}

TEST(IsupMessages, CircuitCodeUsesTwelveBits) {
  const std::vector<uint8_t> bytes = msuBytes(0x85, {0xCD, 0xAB, 0x11});
  const std::string text = decodeUnit(bytes);
  EXPECT_NE(text.find("|        ******** Circuit identifiction code:0BCD" + line("1010----", "Spare")),
            std::string::npos)
      << text;
}

struct FixedCase {
  uint8_t type;
  std::vector<uint8_t> rest;
  std::string lines;
};

TEST(IsupMessages, FixedPartsOfTheShorterMessages) {
  const FixedCase cases[] = {
      // clang-format off
      {0x05, {0x01}, cont("Continuity indicators") + line("-------1", "Continuity check successful") +
                         line("0000000-", "Spare")},
      {0x0D, {0x01, 0x00}, cont("Suspend/Resume indicators") + line("-------1", "Network initiated") +
                               line("0000000-", "Spare") + line("00000000", "Pointer to optional part")},
      {0x1F, {0x02, 0x00}, cont("Facility indicator") + line("00000010", "User-to-user service") +
                               line("00000000", "Pointer to optional part")},
      {0x2C, {0x01, 0x00}, cont("Event information") + line("-0000001", "Event indicator:Alerting") +
                               line("0-------", "Event presentation restricted indicator:No indication") +
                               line("00000000", "Pointer to optional part")},
      {0x06, {0x16, 0x14, 0x00},
       // clang-format on
       cont("Backward call indicators") + line("------10", "Charge indicator:Charge") +
           line("----01--", "Called party's status indicator:Subscriber free") +
           line("--01----", "Called party's category indicator:Ordinary subscriber") +
           line("00------", "End-to-end method indicator:No end-to-end method available") +
           line("-------0", "Interworking indicator:No interworking encountered") +
           line("------0-", "End-to-end information indicator:No end-to-end information available") +
           line("-----1--", "ISDN user part indicator:ISDN user part used all the way") +
           line("----0---", "Holding indicator:Holding not requested") +
           line("---1----", "ISDN access indicator:Terminating access ISDN") +
           line("--0-----", "Echo control device indicator:Incoming echo control device not included") +
           line("00------", "SCCP method indicator:No indication") + line("00000000", "Pointer to optional part")},
      {0x03,
       {0x9B, 0xF0, 0x00},
       cont("Information request indicators") + line("-------1", "Calling party address requested") +
           line("------1-", "Holding requested") + line("-----0--", "Spare") +
           line("----1---", "Calling party's category requested") + line("---1----", "Charge information requested") +
           line("-00-----", "Spare") + line("1-------", "Malicious call identification requested") +
           line("----0000", "Spare") + line("1111----", "Reserved") + line("00000000", "Pointer to optional part")},
      {0x04,
       {0x63, 0x00, 0x00},
       cont("Information indicators") + line("------11", "Calling party address response indicator:Included") +
           line("-----0--", "Hold not provided") + line("---00---", "Spare") +
           line("--1-----", "Calling party's category included") + line("-1------", "Charge information included") +
           line("0-------", "Solicited") + line("----0000", "Spare") + line("0000----", "Reserved") +
           line("00000000", "Pointer to optional part")},
      {0x21,
       {0x02, 0x02, 0x00, 0x02, 0x80, 0x95},
       cont("Facility indicator") + line("00000010", "User-to-user service") +
           line("00000010", "Pointer to parameter:Cause indicators") + cont("Cause indicators") +
           line("00000010", "Parameter length:02") + line("----0000", "Location:User") + line("---0----", "Spare") +
           line("-00-----", "Coding standard:ITU-T standardized coding") + line("1-------", "Last octet") +
           line("-0010101", "Cause value:Call rejected") + line("1-------", "Last octet") +
           line("00000000", "Pointer to optional part")},
      {0x2D,
       {0x02, 0x00, 0x02, 0x04, 0x41},
       line("00000010", "Pointer to parameter:User-to-user information") + cont("User-to-user information") +
           // clang-format off
           line("00000010", "Parameter length:02") +
           line("00000100", "Protocol discriminator,IA5 characters") + cont("A") +
           line("00000000", "Pointer to optional part")},
      {0x29, {0x01, 0x02, 0x03, 0x80},
       // clang-format on
       line("00000001", "Pointer to parameter:Range and status") + cont("Range and status") +
           line("00000010", "Parameter length:02") + line("00000011", "Range:03") + line("10000000", "Status")},
      {0x02,
       {0x02, 0x00, 0x02, 0x00, 0x21},
       line("00000010", "Pointer to parameter:Subsequent number") + cont("Subsequent number") +
           line("00000010", "Parameter length:02") + line("-0000000", "Spare") +
           line("0-------", "Odd/even indicator:Even number of address signals") + "|        Digits   12" +
           line("00000000", "Pointer to optional part")},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> bytes = isupUnit(c.type, c.rest);
    const std::string text = decodeUnit(bytes);
    const size_t at = text.find("|        " + bitsOf(c.type) + " Message type:");
    ASSERT_NE(at, std::string::npos);
    const size_t from = text.find('|', at + 1);
    EXPECT_EQ(text.substr(from), c.lines + dumpOf(bytes)) << std::hex << int(c.type);
  }
}

TEST(IsupOptionalPart, UnknownCodeIsSkippedByItsLength) {
  const std::vector<uint8_t> bytes = isupUnit(0x09, {0x01, 0x90, 0x01, 0xEE, 0x29, 0x01, 0x01, 0x00});
  EXPECT_EQ(decodeUnit(bytes), isupHead("ANM ISUP Answer", bytes, 0x09) + line("00000001", "Pointer to optional part") +
                                   cont("Unknown ISUP parameter") + cont("Optional backward call indicators") +
                                   line("00000001", "Parameter length:01") +
                                   line("-------1", "In-band information or an appropriate pattern is now available") +
                                   line("------0-", "No call diversion indication") +
                                   line("-----0--", "No additional information will be sent") +
                                   line("----0---", "No MLPP indication") + line("0000----", "Spare") +
                                   cont("End of optional parameters") + dumpOf(bytes));
}

TEST(IsupOptionalPart, NameOnlyCodesShowTheirNameAndGoOn) {
  struct Case {
    uint8_t code;
    const char* name;
    // clang-format off
  } cases[] = {{0x2F, "Network specific facility"}, {0x32, "Remote operations"},  {0x33, "Service activation"},
               {0x65, "Correlation id"},            {0x66, "SCF id"},             {0x81, "Calling geodetic location"},
               {0x88, "Pivot routing forward information"}, {0x89, "Pivot routing backward information"},
               {0x8B, "Redirect forward information"},      {0x8C, "Redirect backward information"},
               {0x14, "Unknown ISUP parameter"},            {0xFF, "Unknown ISUP parameter"}};
  // clang-format on
  for (const auto& c : cases) {
    const std::vector<uint8_t> bytes = isupUnit(0x09, {0x01, c.code, 0x02, 0xAA, 0xBB, 0x00});
    EXPECT_NE(decodeUnit(bytes).find(line("00000001", "Pointer to optional part") + cont(c.name) +
                                     cont("End of optional parameters") + dumpOf(bytes)),
              std::string::npos)
        << std::hex << int(c.code);
  }
}

TEST(IsupOptionalPart, LoopEndsAtTheLastMessageByte) {
  // No end-of-parameters octet: the loop stops at datl.
  const std::vector<uint8_t> bytes = isupUnit(0x09, {0x01, 0x32, 0x00});
  EXPECT_EQ(decodeUnit(bytes), isupHead("ANM ISUP Answer", bytes, 0x09) + line("00000001", "Pointer to optional part") +
                                   cont("Remote operations") + dumpOf(bytes));
}

TEST(IsupBounds, PointerLeadingOutsideTheMessageEndsTheDecode) {
  const std::vector<uint8_t> bytes = isupUnit(0x0C, {0xF0, 0x00});
  EXPECT_EQ(decodeUnit(bytes), isupHead("REL ISUP Release", bytes, 0x0C) +
                                   line("11110000", "Pointer to parameter:Cause indicators") + dumpOf(bytes));
}

TEST(IsupBounds, MandatoryPointerOfZeroEndsTheDecode) {
  const std::vector<uint8_t> bytes = isupUnit(0x0C, {0x00, 0x00});
  EXPECT_EQ(decodeUnit(bytes), isupHead("REL ISUP Release", bytes, 0x0C) +
                                   line("00000000", "Pointer to parameter:Cause indicators") + dumpOf(bytes));
}

TEST(IsupBounds, ParameterRunningPastTheMessageShowsItsLengthAndStops) {
  std::vector<uint8_t> rest = {0x01, 0x73, 0x60};
  rest.resize(80, 'x');
  const std::vector<uint8_t> bytes = isupUnit(0x09, rest);
  EXPECT_EQ(decodeUnit(bytes), isupHead("ANM ISUP Answer", bytes, 0x09) + line("00000001", "Pointer to optional part") +
                                   cont("Display information") + line("01100000", "Parameter length:60") +
                                   dumpOf(bytes));
}

TEST(IsupBounds, ParameterEndingOnTheLastBufferByteIsDecoded) {
  // Display information whose last octet is message byte 95.
  std::vector<uint8_t> rest = {0x01, 0x73};
  const size_t lenIndex = 8 + 3 + 2;  // routing label, CIC, type, pointer, code
  rest.push_back(uint8_t(95 - lenIndex));
  rest.resize(96 - 8 - 3, 'z');
  const std::vector<uint8_t> bytes = isupUnit(0x09, rest);
  ASSERT_EQ(bytes.size(), 96u);
  const std::string text = decodeUnit(bytes);
  EXPECT_NE(text.find(cont(std::string(51, 'z')) + cont(std::string(95 - lenIndex - 51, 'z')) + dumpOf(bytes)),
            std::string::npos)
      << text;
}

TEST(IsupBounds, SatelliteIndicatorSpareEndsTheMessage) {
  const std::vector<uint8_t> bytes = isupUnit(0x01, {0x03, 0x60, 0x01, 0x0A, 0x00, 0x02, 0x00});
  EXPECT_EQ(decodeUnit(bytes), isupHead("IAM ISUP Initial address", bytes, 0x01) +
                                   cont("Nature of connection indicators") +
                                   line("------11", "Satellite indicator:Spare") + dumpOf(bytes));
}

}  // namespace
}  // namespace lumarc
