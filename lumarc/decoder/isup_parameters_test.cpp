// ISUP parameter goldens, one family at a time: each parameter is carried in
// the optional part of an ANM and its lines are compared exactly, followed
// by what comes after it (the end of the optional part, or nothing when the
// parameter stops the message).
#include "lumarc/decoder/ss7_test_support.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

using namespace test;

std::string C(const std::string& name) { return "|                 " + name; }
std::string L(const std::string& bits, const std::string& text) { return "|        " + bits + " " + text; }
std::string D(const std::string& digits) { return "|        Digits   " + digits; }
std::string S(const std::string& text) { return "|        ******** " + text; }
const std::string kEnd = C("End of optional parameters");

// The lines after "Pointer to optional part" of an ANM whose optional part
// holds the given parameters, up to the hex dump.
std::string optionalLines(const std::vector<uint8_t>& params) {
  std::vector<uint8_t> payload = {0x15, 0x00, 0x09, 0x01};
  payload.insert(payload.end(), params.begin(), params.end());
  const std::string text = decodeUnit(msuBytes(0x85, payload));
  const std::string mark = "Pointer to optional part";
  const size_t from = text.find(mark);
  const size_t to = text.find("|        Hex Dump");
  if (from == std::string::npos || to == std::string::npos) return "<" + text + ">";
  return text.substr(from + mark.size(), to - from - mark.size());
}

// One parameter (code, content) followed by the end octet.
std::vector<uint8_t> param(uint8_t code, std::vector<uint8_t> content) {
  std::vector<uint8_t> b = {code, uint8_t(content.size())};
  b.insert(b.end(), content.begin(), content.end());
  b.push_back(0x00);
  return b;
}

std::string lenLine(size_t n) {
  static const char* hex = "0123456789ABCDEF";
  return L(bitsOf(uint8_t(n)), std::string("Parameter length:") + hex[n >> 4] + hex[n & 0x0F]);
}

struct ParamCase {
  uint8_t code;
  std::vector<uint8_t> content;
  std::string lines;   // after the name and length lines
  bool stops = false;  // no end-of-parameters line follows
};

void runCases(const std::vector<ParamCase>& cases, const char* name) {
  for (const auto& c : cases) {
    const std::string got = optionalLines(param(c.code, c.content));
    const std::string head = got.substr(0, got.find("|        " + bitsOf(uint8_t(c.content.size()))));
    const std::string expect = head + lenLine(c.content.size()) + c.lines + (c.stops ? "" : kEnd);
    EXPECT_EQ(got, expect) << name << " code " << std::hex << int(c.code);
    EXPECT_EQ(head.substr(0, 18), "|                 ") << name << " code " << std::hex << int(c.code);
  }
}

TEST(IsupNumbers, CallingConnectedLocationAndRedirectingFamilies) {
  const std::vector<ParamCase> cases = {
      {0x0A,
       {0x03, 0x13, 0x21, 0x43},
       L("-0000011", "Nature of address indicator:National number") +
           L("0-------", "Odd/even indicator:Even number of address signals") +
           L("------11", "Screening indicator:Network provided") +
           L("----00--", "Address presentation restricted indicator:Presentation allowed") +
           L("-001----", "Numbering plan indicator:ISDN/Telephony numbering plan (CCITT E.164)") +
           L("0-------", "Number incomplete indicator:Complete") + D("1234")},
      {0x0A,
       {0x7F, 0xF6},
       L("-1111111", "Nature of address indicator:Spare") +
           L("0-------", "Odd/even indicator:Even number of address signals") +
           L("------10", "Screening indicator:User provided, verified and failed") +
           L("----01--", "Address presentation restricted indicator:Presentation restricted") +
           L("-111----", "Numbering plan indicator:Spare") + L("1-------", "Number incomplete indicator:Incomplete")},
      {0x21,
       {0x84, 0x95, 0x21},
       L("-0000100", "Nature of address indicator:International number") +
           L("1-------", "Odd/even indicator:Odd number of address signals") +
           L("------01", "Screening indicator:User provided, verified and passed") +
           L("----01--", "Address presentation restricted indicator:Presentation restricted") +
           L("-001----", "Numbering plan indicator:ISDN/Telephony numbering plan (CCITT E.164)") +
           L("1-------", "Spare") + D("1")},
      {0x3F,
       {0x08, 0xC8, 0xBA},
       L("-0001000", "Nature of address indicator:Network routing number concatenated with called directory number") +
           L("0-------", "Odd/even indicator:Even number of address signals") +
           L("------00", "Screening indicator:User provided, not verified") +
           L("----10--", "Address presentation restricted indicator:Address not available") +
           L("-100----", "Numbering plan indicator:Telex numbering plan (CCITT F.69)") +
           L("1-------", "International network number indicator:Routing to international number not allowed") +
           D("AB")},
      {0x0B,
       {0x03, 0x15, 0x89},
       L("-0000011", "Nature of address indicator:National number") +
           L("0-------", "Odd/even indicator:Even number of address signals") + L("------01", "Spare") +
           L("----01--", "Address presentation restricted indicator:Presentation restricted") +
           L("-001----", "Numbering plan indicator:ISDN/Telephony numbering plan (CCITT E.164)") +
           L("0-------", "Spare") + D("98")},
      {0x28,
       {0x81, 0x3C},
       L("-0000001", "Nature of address indicator:Subscriber number") +
           L("1-------", "Odd/even indicator:Odd number of address signals") + L("------00", "Spare") +
           L("----11--", "Address presentation restricted indicator:Reserved for restriction by network") +
           L("-011----", "Numbering plan indicator:Data numbering plan (CCITT X.121)") + L("0-------", "Spare") +
           D("")},
      {0x0C,
       {0x02, 0x50, 0x10},
       L("-0000010", "Nature of address indicator:Unknown") +
           L("0-------", "Odd/even indicator:Even number of address signals") + L("----0000", "Spare") +
           L("-101----", "Numbering plan indicator:Reserved") +
           L("0-------", "Internal network number indicator:Routing to internal network number allowed") + D("01")},
      {0x04,
       {0x05, 0x90},
       L("-0000101", "Nature of address indicator:Network specific number") +
           L("0-------", "Odd/even indicator:Even number of address signals") + L("----0000", "Spare") +
           L("-001----", "Numbering plan indicator:ISDN/Telephony numbering plan (CCITT E.164)") +
           L("1-------", "Internal network number indicator:Routing to internal network number not allowed")},
      {0x7D,
       {0x04, 0x1F, 0x21},
       L("-0000100", "Nature of address indicator:International number") +
           L("0-------", "Odd/even indicator:Even number of address signals") + L("----1111", "Spare") +
           L("-001----", "Numbering plan indicator:ISDN/Telephony numbering plan (CCITT E.164)") +
           L("0-------", "Spare") + D("12")},
      {0x84,
       {0x91, 0x21},
       L("----0001", "Network routing number in national number format") +
           L("-001----", "Numbering plan indicator:ISDN/Telephony numbering plan (CCITT E.164)") +
           L("1-------", "Odd/even indicator:Odd number of address signals") + D("1")},
      // clang-format off
      {0x05, {0x80, 0x21, 0x03}, L("-0000000", "Spare") +
                                     L("1-------", "Odd/even indicator:Odd number of address signals") + D("123")},
      {0x23, {0xA3, 0x21, 0x43},
       // clang-format on
       L("----0011", "Network identification plan:Public data identification code DNIC (X.121)") +
           L("-010----", "Type of network identification:National network identification") +
           L("1-------", "Odd/even indicator:Odd number of address signals") + D("123")},
      {0xC0,
       {0x01, 0x83, 0x11, 0x21, 0x03},
       L("00000001", "Number qualifierAdditional called number") +
           L("-0000011", "Nature of address indicator:National number") +
           L("1-------", "Odd/even indicator:Odd number of address signals") +
           L("------01", "Screening indicator:User provided, verified and passed") +
           L("----00--", "Address presentation restricted indicator:Presentation allowed") +
           L("-001----", "Numbering plan indicator:ISDN/Telephony numbering plan (CCITT E.164)") +
           L("0-------", "Number incomplete indicator:Complete") + D("123")},
  };
  runCases(cases, "numbers");
}

TEST(IsupNumbers, OddNumberOfFiveDigitsDropsTheLastHighNibble) {
  const std::string got = optionalLines(param(0x0A, {0x83, 0x10, 0x21, 0x43, 0x95}));
  EXPECT_NE(got.find(D("12345") + kEnd), std::string::npos) << visible(got);
}

TEST(IsupNumbers, GenericDigitsByEncoding) {
  const std::vector<ParamCase> cases = {
      // clang-format off
      {0xC1, {0x41, 'A', 'B'}, L("---00001", "Reserved for authorization code") + L("010-----", "IA5 character") +
                                   C("AB")},
      {0xC1, {0x60, 0x12, 0xAB}, L("---00000", "Reserved for acciunt code") + L("011-----", "Binary coded") +
                                     C("12 AB ")},
      // clang-format on
      {0xC1, {0x20, 0x21, 0x03}, L("---00000", "Reserved for acciunt code") + L("001-----", "BCD odd") + D("123")},
      {0xC1, {0x1F, 0x21}, L("---11111", "Reserved for extension") + L("000-----", "BCD even") + D("12")},
      {0xC1, {0x84, 0x21}, L("---00100", "Reserved for national use") + L("100-----", "Spare")},
      // clang-format off
      {0xC1, {0x41, 0x01, 0xFF}, L("---00001", "Reserved for authorization code") + L("010-----", "IA5 character") +
                                     C("..")},
  };
  // clang-format on
  runCases(cases, "generic digits");
}

TEST(IsupNumbers, ForwardGvnsShowsEachPartBehindItsLength) {
  const std::vector<ParamCase> cases = {
      {0x4C,
       {0x82, 0x21, 0x03, 0x01, 0x45, 0x13, 0x03, 0x21, 0x43},
       L("----0010", "OPSP length:02") + L("-000----", "Spare") +
           L("1-------", "Odd/even indicator:Odd number of address signals") + D("123") +
           L("----0001", "GUG length:01") + L("-000----", "Spare") +
           L("0-------", "Odd/even indicator:Even number of address signals") + D("54") +
           L("----0011", "TNRN length:03") +
           L("-001----", "Numbering plan indicator:ISDN/Telephony numbering plan (CCITT E.164)") +
           L("0-------", "Odd/even indicator:Even number of address signals") +
           L("-0000011", "Nature of address indicator:National number") + D("1234")},
      // Lengths larger than the parameter: digits stop at its end.
      {0x4C,
       {0x0F, 0x21, 0x43, 0x65, 0x87, 0x09},
       L("----1111", "OPSP length:0F") + L("-000----", "Spare") +
           L("0-------", "Odd/even indicator:Even number of address signals") + D("1234567890")},
  };
  runCases(cases, "forward GVNS");
}

TEST(IsupIndicators, CallSetUpIndicators) {
  const std::vector<ParamCase> cases = {
      {0x06,
       {0x35},
       L("------01", "Satellite indicator:One satellite circuit in the connection") +
           L("----01--", "Continuity check indicator:Continuity check required on this circuit") +
           L("---1----", "Echo control device indicator:Outgoing echo control device included") +
           L("001-----", "Spare,Spare bits invalid")},
      {0x06,
       {0x0A},
       L("------10", "Satellite indicator:Two satellite circuit in the connection") +
           L("----10--", "Continuity check indicator:Continuity check performed on a previous circuit") +
           L("---0----", "Echo control device indicator:Outgoing echo control device not included") +
           L("000-----", "Spare")},
      {0x06, {0x0F}, L("------11", "Satellite indicator:Spare"), true},
      {0x07,
       {0xC7, 0xF6},
       L("-------1", "National/International call indicator:Call to be treated as an international call") +
           L("-----11-", "End-to-end method indicator:Pass-along and SCCP methods available") +
           L("----0---", "Interworking indicator:No interworking encountered") +
           L("---0----", "End-to-end information indicator:No end-to-end information available") +
           L("--0-----", "ISDN user part indicator:ISDN user part not used all the way") +
           L("11------", "ISDN user part preference indicator:Spare") +
           L("-------0", "ISDN access indicator:originating access non ISDN") +
           L("-----11-", "SCCP method indicator:Connectionless and Connection oriented methods available") +
           L("----0---", "Spare") + L("1111----", "Reserved")},
      {0x08,
       {0x86},
       L("------10", "CUG call, outgoing access allowed") +
           L("-----1--", "Additional information will be sent in a segmentation message") + L("-0000---", "Spare") +
           L("1-------", "Connected line identity requested")},
      {0x09, {0x0F}, L("00001111", "Payphone")},
      {0x09, {0x07}, L("00000111", "Available to administrators")},
      {0x09, {0x20}, L("00100000", "Spare")},
      {0x02, {0x2A}, L("00101010", "29x64 kbit/s unrstricted")},
      {0x02, {0x30}, L("00110000", "Spare")},
      {0x02, {0x13}, L("00010011", "Spare")},
      {0x35, {0x03}, L("00000011", "3.1 kHz audio")},
      {0x3E, {0x02, 0x00}, L("00000010", "Unrestricted Digital Information"), true},
      {0x11,
       {0x16, 0x14, 0xFF},
       L("------10", "Charge indicator:Charge") + L("----01--", "Called party's status indicator:Subscriber free") +
           L("--01----", "Called party's category indicator:Ordinary subscriber") +
           L("00------", "End-to-end method indicator:No end-to-end method available") +
           L("-------0", "Interworking indicator:No interworking encountered") +
           L("------0-", "End-to-end information indicator:No end-to-end information available") +
           L("-----1--", "ISDN user part indicator:ISDN user part used all the way") +
           L("----0---", "Holding indicator:Holding not requested") +
           L("---1----", "ISDN access indicator:Terminating access ISDN") +
           L("--0-----", "Echo control device indicator:Incoming echo control device not included") +
           L("00------", "SCCP method indicator:No indication")},
      // clang-format off
      {0x29, {0x0E}, L("-------0", "No in-band information indication") + L("------1-", "Call diversion may occur") +
                         L("-----1--", "Additional information will be sent in a segmentation message") +
                         L("----1---", "MLPP user") + L("0000----", "Spare")},
      {0x13, {0x35, 0x53},
       // clang-format on
       L("-----101", "Redirecting indicator:Call rerouted, redirection number presentation restricted") +
           L("----0---", "Spare") + L("0011----", "Original redirection reason:Unconditional") +
           L("-----011", "Redirection counter:03") + L("----0---", "Reserved") +
           L("0101----", "Redirecting reason:Deflection immediate response")},
      {0x13,
       {0x46, 0x70},
       L("-----110", "Redirecting indicator:Call diversion, redirection number presentation restricted") +
           L("----0---", "Spare") + L("0100----", "Original redirection reason:Spare") +
           L("-----000", "Redirection counter:00") + L("----0---", "Reserved") +
           L("0111----", "Redirecting reason:Spare")},
      // clang-format off
      {0x24, {0x81}, L("-0000001", "Event indicator:Alerting") +
                         L("1-------", "Event presentation restricted indicator:Presentation restricted")},
      {0x24, {0x07}, L("-0000111", "Event indicator:Spare") +
                         L("0-------", "Event presentation restricted indicator:No indication")},
  };
  // clang-format on
  runCases(cases, "set-up indicators");
}

TEST(IsupIndicators, CauseIndicators) {
  const std::vector<ParamCase> cases = {
      {0x12,
       {0x44, 0x80, 0x90},
       L("----0100", "Location:Public net serving the remote user") + L("---0----", "Spare") +
           L("-10-----", "Coding standard:National standard") + L("0-------", "Octet continues to next octet") +
           L("-0000000", "Recommendation:Rec. Q.763") + L("1-------", "Last octet") +
           L("-0010000", "Cause value:National 016") + L("1-------", "Last octet")},
      {0x12,
       {0xA2, 0x9F},
       L("----0010", "Location:Public net serving the local user") + L("---0----", "Spare") +
           L("-01-----", "Coding standard:ISO standard") + L("1-------", "Last octet") +
           L("-0011111", "Cause value:ISO 031") + L("1-------", "Last octet")},
      {0x12,
       {0x7A, 0x11},
       L("----1010", "Location:Network beyond interworking point") + L("---1----", "Spare") +
           L("-11-----", "Coding standard:Standard specific to identified location") +
           L("0-------", "Octet continues to next octet") + L("-0010001", "Cause value:Specific 017") +
           L("0-------", "Octet continues to next octet")},
      {0x12,
       {0x86, 0x9C, 0x01, 0x02},
       L("----0110", "Location:Spare") + L("---0----", "Spare") +
           L("-00-----", "Coding standard:ITU-T standardized coding") + L("1-------", "Last octet") +
           L("-0011100", "Cause value:Address incomplete") + L("1-------", "Last octet")},
      {0x12,
       {0x00, 0x81, 0xAA},
       L("----0000", "Location:User") + L("---0----", "Spare") +
           L("-00-----", "Coding standard:ITU-T standardized coding") + L("0-------", "Octet continues to next octet") +
           L("-0000001", "Recommendation:") + L("1-------", "Last octet") +
           L("-0101010", "Cause value:Switching equipment congestion") + L("1-------", "Last octet")},
  };
  runCases(cases, "cause");
}

TEST(IsupIndicators, OneOctetIndicatorFamilies) {
  const std::vector<ParamCase> cases = {
      {0x10, {0x01}, L("-------1", "Continuity check successful") + L("0000000-", "Spare")},
      {0x15, {0x01}, L("------01", "Parameter:Hardware failure oriented") + L("000000--", "Spare")},
      {0x18, {0x03}, L("00000011", "Spare")},
      {0x22, {0x00}, L("-------0", "ISDN subscriber initiated") + L("0000000-", "Spare")},
      {0x27, {0x02}, L("00000010", "Congestion level 2 exceeded")},
      {0x27, {0x03}, L("00000011", "Spare")},
      {0x2A,
       {0x95},
       L("-------1", "Response") + L("-----10-", "Service 1:Provided") + L("---10---", "Service 2:Provided") +
           L("-00-----", "Service 3:No information") + L("1-------", "Information discarded by the network")},
      {0x2A,
       {0x06},
       L("-------0", "Request") + L("-----11-", "Service 1:Request, essential") +
           L("---00---", "Service 2:No information") + L("-00-----", "Service 3:No information") +
           L("0-------", "Spare")},
      {0x2E, {0x01}, L("-------1", "no sfet-up message generated") + L("0000000-", "Spare")},
      {0x36,
       {0x2B},
       L("-----011", "Notification subscription options:Presentation allowed without redirection number") +
           L("-0101---", "Redirecting reason:Deflection immediate response") + L("0-------", "Spare")},
      {0x37,
       {0x96},
       L("------10", "Outgoing echo control device information:Included") +
           L("----01--", "Incoming echo control device information:Not included, not available") +
           L("--01----", "Outgoing echo control device request:Activation request") +
           L("10------", "Incoming echo control device request:Deactivation request")},
      {0x38,
       {0x95},
       L("-------1", "Transit at intermediate exchange indicator:End node interpretation") +
           L("------0-", "Release call indicator:Do not release call") +
           L("-----1--", "Send notification indicator:Send notification") +
           L("----0---", "Discard message indicator:Do not discard mesage") +
           L("---1----", "Pass on not possible indicator:Discard information") +
           L("-00-----", "Broadband/narrowband interworking indicator:Pass on") + L("1-------", "Not Continued")},
      {0x3B, {0x03}, L("-------1", "MCID requested") + L("------1-", "Holding requested") + L("000000--", "Spare")},
      {0x3C, {0x01}, L("-------1", "MCID included") + L("------0-", "Holding not provided") + L("000000--", "Spare")},
      {0x3D, {0x2F}, L("---01111", "0F") + L("001-----", "Spare")},
      {0x40, {0x01}, L("------01", "Presentation restricted") + L("000000--", "Spare")},
      {0x40, {0x02}, L("------10", "Spare") + L("000000--", "Spare")},
      {0x43, {0x07}, L("00000111", "Call transfer identity:07")},
      // clang-format off
      {0x44, {0x05}, L("-------1", "Response") + L("-----10-", "Response indicator:Simultaneous transfer") +
                         L("00000---", "Spare")},
      // clang-format on
      {0x44, {0x00}, L("-------0", "Request") + L("0000000-", "Spare")},
      {0x4B, {0x01}, L("-------1", "CCSS call") + L("0000000-", "Spare")},
      {0x4D,
       {0x82},
       L("------10", "Terminating access indicator:Switched terminating access") + L("-00000--", "Spare") +
           L("1-------", "Not Continued")},
      {0x4E,
       {0x83},
       L("-----011", "Redirect possible indicator:Possible any time during the call") + L("-0000---", "Spare") +
           L("1-------", "Last octet")},
      {0x5B,
       {0x81},
       L("-------1", "Temporary alternative routing indicatorTAR controlled call") + L("-000000-", "Spare") +
           L("1-------", "Last octet")},
      {0x6E,
       {0x81},
       L("------01", "Call to be diverted indicator:Call diversion allowed") + L("-00000--", "Spare") +
           L("1-------", "Not Continued")},
      {0x70,
       {0x02},
       L("------10", "Call to be offered indicator:Call offering allowed") + L("-00000--", "Spare") +
           L("0-------", "Continued")},
      {0x72,
       {0x81},
       L("------01", "Conference acceptance indicator:Accept conference request") + L("-00000--", "Spare") +
           L("1-------", "Not Continued")},
      {0x74,
       {0x83},
       L("-------1", "Through-connection instruction:Through-connect in both directions") +
           L("------1-", "T9 timer instruction:Stop or do not start T9 timer") + L("-00000--", "Spare") +
           L("1-------", "Last octet")},
      {0x75,
       {0x01},
       L("-------1", "Through-connection indicator:Through-connect modification possible") +
           L("------0-", "T9 timer indicator:No indication") + L("-00000--", "Spare") +
           L("0-------", "Octet continues to next octet")},
      {0x77, {0x05}, L("---00101", "Value:05") + L("000-----", "Spare")},
      {0x87, {0x03}, L("---00011", "Value:03") + L("000-----", "Spare")},
      {0x79, {0x01}, L("-------1", "Collect call requested") + L("0000000-", "Spare")},
      {0x79, {0x00}, L("-------0", "No indicatiom") + L("0000000-", "Spare")},
      {0x7A, {0x00}, L("-------0", "CCNR not possible")},
      {0x7B,
       {0xC2},
       L("-----010", "Pivot possible indication:Routing possible before ANM") + L("--000---", "Spare") +
           L("-1------", "Interworking to redirection indicator:not alowed (forward)") + L("1-------", "Last octet")},
      {0x7C,
       {0x84},
       L("-0000100", "Pivot possible indication:Interworking to redirection prohibited (backward)") +
           L("1-------", "Last octet")},
      {0x85, {0x81}, L("-------1", "QoR support") + L("-000000-", "Spare") + L("1-------", "Last octet")},
      // clang-format off
      {0x86, {0x82}, L("------10", "Pivot routing will not be invoked") + L("-00000--", "Spare") +
                         L("1-------", "Last octet")},
      {0x8A, {0x81}, L("------01", "Acknowledgement of redirection") + L("-00000--", "Spare") +
                         L("1-------", "Last octet")},
      {0x8D, {0x83}, L("----0011", "Number portability status indication:Querry done for called number, ported called subscriber") +
                         L("-000----", "Spare") + L("1-------", "Last octet")},
  };
  // clang-format on
  runCases(cases, "one-octet indicators");
}

TEST(IsupIndicators, MultiOctetIndicatorFamilies) {
  const std::vector<ParamCase> cases = {
      {0x26,
       {0x1D, 0x03},
       L("------01", "Maintenance blocking state:Locally blocked") + L("----11--", "Call processing state:Idle") +
           L("--01----", "Hardware blocking state:Locally blocked") + L("00------", "Spare") +
           L("------11", "Maintenance blocking state:Unequipped") + L("000000--", "Spare")},
      {0x2C,
       {0x68, 0xFB},
       L("-1101000", "Diversion activated") + L("0-------", "Continued") + L("-1111011", "call is diverting") +
           L("1-------", "Not Continued")},
      {0x2C, {0x90}, L("-0010000", "Reserved") + L("1-------", "Not Continued")},
      {0x39,
       {0x2A, 0x05, 0x83, 0x31, 0xC2},
       L("00101010", "Upgraded parameter:User-to-user indicators") + L("-------1", "End node interpretation") +
           L("------0-", "Do not release call") + L("-----1--", "Send notification") +
           L("----0---", "Do not discard message (pass on)") + L("---0----", "Do not discard parameter (pass on)") +
           L("-00-----", "Pass on not possible:Release call") + L("0-------", "Continued") +
           L("------11", "Broadband/narrow band interworking:Discard parameter") + L("-00000--", "Spare") +
           L("1-------", "Not Continued") + L("00110001", "Upgraded parameter:Propagation delay counter") +
           L("-------0", "Transit interpretation") + L("------1-", "Release call") +
           L("-----0--", "Do not send notification") + L("----0---", "Do not discard message (pass on)") +
           L("---0----", "Do not discard parameter (pass on)") +
           L("-10-----", "Pass on not possible:Discard parameter") + L("1-------", "Not Continued")},
      {0x78,
       {0x83, 0x01, 0xC3, 0x85},
       L("-0000011", "Application context identifierCharging ASE") + L("1-------", "Not Continued") +
           L("-------1", "Application transport instruction indicators:Release call") +
           L("------0-", "Do not send notification") + L("-00000--", "Spare") + L("0-------", "Continued") +
           L("--000011", "Number of following segments03") + L("-1------", "Sequence indicator:New sequence") +
           L("1-------", "Not Continued") + L("-0000101", "Segmentation local reference:05") +
           L("1-------", "Not Continued")},
      // clang-format off
      {0x78, {0x00}, L("-0000000", "Application context identifierUnidentified context and error handling") +
                         L("0-------", "Continued")},
      // clang-format on
      {0x71, {0x01, 0x02, 0x03}, ""},
  };
  runCases(cases, "multi-octet indicators");
}

TEST(IsupReferences, PointCodesReferencesAndCounters) {
  const std::vector<ParamCase> cases = {
      // clang-format off
      {0x01, {0x12, 0x34, 0x56, 0x23, 0xC1},
       S("Call identity:123456") + S("Point code:0123") + L("11------", "Spare")},
      {0x0D, {0x01, 0x02, 0x03, 0x45, 0xC1, 0x02, 0x0A},
       // clang-format on
       S("Local reference:030201") + S("Point code:0145") + L("11------", "Spare") +
           L("00000010", "Protocol class:02") + L("00001010", "Credit:0A")},
      {0x1E, {0x21, 0x43}, S("Point code:0321") + L("01------", "Spare")},
      {0x2B, {0xFF, 0xFF}, S("Point code:3FFF") + L("11------", "Spare")},
      {0x1A, {0x12, 0x34, 0x56, 0x78}, S("Network identity:1234") + S("Binary code:5678")},
      {0x2D, {0x01, 0x2C}, S("Delay:012C")},
      {0x31, {0xAB, 0xCD}, S("Delay:ABCD")},
      {0x3A,
       {0x24, 0x12, 0x34, 0x56, 0x78, 0x9A},
       L("----0100", "Precedence level:Routine") + L("---0----", "Spare") +
           // clang-format off
           L("-01-----", "Look ahead for busy:Path preserved") + L("0-------", "Spare") +
           S("Network identity:1234") + S("MLPP service domain:56789A")},
      {0x25, {0x02, 0x01, 0x00, 0x00, 0x80},
       // clang-format on
       L("--000010", "Map type:2048 kbit/s digital path map") + L("00------", "Spare") +
           S("00000001000000000000000010000000")},
      {0x16, {0x1F, 0x00, 0xFF}, L("00011111", "Range:1F") + L("00000000", "Status")},
  };
  runCases(cases, "references");
}

TEST(IsupBearer, UserServiceInformationOctetGroups) {
  const std::vector<ParamCase> cases = {
      {0x1D,
       {0x80, 0x90, 0xA3},
       L("---00000", "Speech") + L("-00-----", "ITU-T standardized coding") + L("1-------", "Last octet") +
           L("---10000", "64 kbit/s") + L("-00-----", "Circuit mode") + L("1-------", "Not Continued") +
           L("---00011", "A-law G.711") + L("-01-----", "Layer 1 identifier ok") + L("1-------", "Not Continued")},
      {0x30,
       {0x88, 0x10, 0x00, 0x91, 0x21, 0x28, 0x28, 0x43, 0xCB, 0xC2, 0xE6},
       L("---01000", "Unrestricted Digital Information") + L("-00-----", "ITU-T standardized coding") +
           L("1-------", "Last octet") + L("---10000", "64 kbit/s") + L("-00-----", "Circuit mode") +
           L("0-------", "Continued") + L("------00", "Demand establishmant") +
           L("----00--", "Configuration point to point") + L("-000----", "Default Structure") +
           L("0-------", "Continued") + L("---10001", "2x64 kbit/s") + L("-00-----", "Bidirectional symmetry") +
           L("1-------", "Not Continued") + L("---00001", "CCITT standardized rate adaptation V.110/X.30") +
           L("-01-----", "Layer 1 identifier ok") + L("0-------", "Continued") + L("---01000", "9.6 kbit/s V.6 X.1") +
           L("--1-----", "In band negotiation possible") + L("-0------", "Synchronous") + L("0-------", "Continued") +
           L("-------0", "Spare field ok") + L("------0-", "Flow control on Rx not accepted") +
           L("-----0--", "Flow control on Tx not required") + L("----1---", "Nic on Rx accepted") +
           L("---0----", "Nic on Tx not required") + L("-01-----", "Intermediate rate 8 Kbit/s") +
           L("0-------", "Continued") + L("-----011", "No parity") + L("---00---", "Data bits not used") +
           L("-10-----", "1.5 stop bits") + L("0-------", "Continued") + L("--001011", "Modem type V.29") +
           L("-1------", "Full duplex") + L("1-------", "Not Continued") + L("---00010", "Recommendation Q.921") +
           L("-10-----", "Layer 2 identifier ok") + L("1-------", "Not Continued") +
           L("---00110", "Recommendation X.25 packet layer") + L("-11-----", "Layer 3 identifier ok") +
           L("1-------", "Not Continued")},
      // clang-format off
      {0x1D, {0x00}, L("---00000", "Speech") + L("-00-----", "ITU-T standardized coding") +
                         L("0-------", "Octet continues to next octet")},
      {0x1D, {0x90, 0x90, 0xC3, 0x01},
       // clang-format on
       L("---10000", "3.1 kHz audio") + L("-00-----", "ITU-T standardized coding") + L("1-------", "Last octet") +
           L("---10000", "64 kbit/s") + L("-00-----", "Circuit mode") + L("1-------", "Not Continued") +
           L("---00011", "A-law G.711") + L("-10-----", "Layer 1 identifier ill")},
  };
  runCases(cases, "user service information");
}

TEST(IsupBearer, UserTeleserviceAndUserToUser) {
  const std::vector<ParamCase> cases = {
      {0x34,
       {0x91, 0x81},
       L("------01", "Presentation:High layer protocol profile") +
           L("---100--", "Interpretation:First high layer characteristics") +
           L("-00-----", "Standard:ITU-T standardized coding") + L("1-------", "Not Continued") +
           L("-0000001", "High layer characteristics:Telephony") + L("1-------", "Not Continued")},
      {0x34,
       {0x92, 0x5E, 0x04},
       L("------10", "Presentation:Reserved") + L("---100--", "Interpretation:First high layer characteristics") +
           L("-00-----", "Standard:ITU-T standardized coding") + L("1-------", "Not Continued") +
           L("-1011110", "High layer characteristics:Reserved for maintenance") + L("0-------", "Continued") +
           L("-0000100", "Extended high layer characteristics:Facsimile Group 2/3 F.182")},
      {0x20, {0x04, 'H', 'i'}, L("00000100", "Protocol discriminator,IA5 characters") + C("Hi")},
      {0x20, {0x08, 'H', 'i'}, L("00001000", "Protocol discriminator,User-network call control messages Q.931")},
      {0x20, {0x41}, L("01000001", "Protocol discriminator,National use")},
      {0x73, {'A', 0x0A, 'C'}, C("A.C")},
  };
  runCases(cases, "teleservice and user-to-user");
}

TEST(IsupNames, ParameterNamesAsTheExchangeSpellsThem) {
  struct Case {
    uint8_t code;
    const char* name;
  } cases[] = {{0x03, "Access Transport"},
               {0x25, "Circuit group assignement map"},
               {0x38, "Message compatibilty information"},
               {0x78, "Applicaton Transport"},
               {0x79, "Callect call request"},
               {0x84, "Networdk routing number"},
               {0x85, "Querry on release capability"},
               {0x1D, "User Service Information"},
               {0xC1, "Generic digits"}};
  for (const auto& c : cases) {
    const std::string got = optionalLines({c.code, 0x00, 0x00});
    EXPECT_EQ(got.substr(0, 18 + std::string(c.name).size() + 1), C(c.name) + "|") << std::hex << int(c.code);
  }
}

TEST(IsupLengthRules, FailedChecksStopOrGoOnAsListed) {
  // Listed codes let the optional part go on after a failed length check.
  for (uint8_t code : {0x08, 0x1A, 0x1E, 0x25, 0x29, 0x2B, 0x2E, 0x31, 0x3A, 0x3D, 0x7A}) {
    const std::string got = optionalLines({code, 0x03, 0x00, 0x00, 0x00, 0x29, 0x01, 0x00, 0x00});
    EXPECT_NE(got.find(lenLine(3) + C("Optional backward call indicators")), std::string::npos)
        << std::hex << int(code) << visible(got);
  }
  for (uint8_t code : {0x1D, 0x23, 0x30, 0x34, 0x4C}) {
    const std::string got = optionalLines({code, 0x00, 0x29, 0x01, 0x00, 0x00});
    EXPECT_NE(got.find(lenLine(0) + C("Optional backward call indicators")), std::string::npos)
        << std::hex << int(code) << visible(got);
  }
  // Others end the message right after their length line.
  for (uint8_t code : {0x01, 0x06, 0x07, 0x0D, 0x13, 0x2A, 0x37, 0x44, 0x8D}) {
    const std::string got = optionalLines({code, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00});
    EXPECT_EQ(got.substr(got.size() - lenLine(9).size()), lenLine(9)) << std::hex << int(code) << visible(got);
  }
  for (uint8_t code : {0x04, 0x0A, 0x0B, 0x12, 0x16, 0x39, 0x7D, 0xC0}) {
    const std::string got = optionalLines({code, 0x01, 0x00, 0x00});
    EXPECT_EQ(got.substr(got.size() - lenLine(1).size()), lenLine(1)) << std::hex << int(code) << visible(got);
  }
  for (uint8_t code : {0x73, 0x20, 0xC1, 0x26, 0x38}) {
    const std::string got = optionalLines({code, 0x00, 0x00});
    EXPECT_EQ(got.substr(got.size() - lenLine(0).size()), lenLine(0)) << std::hex << int(code) << visible(got);
  }
  // Codes without a length rule of their own need one octet, and the
  // optional part goes on after them either way.
  for (uint8_t code : {0x2C, 0x36, 0x40, 0x43, 0x4B, 0x4D, 0x6E, 0x70, 0x71, 0x72, 0x75, 0x78}) {
    const std::string got = optionalLines({code, 0x00, 0x29, 0x01, 0x00, 0x00});
    EXPECT_NE(got.find(lenLine(0) + C("Optional backward call indicators")), std::string::npos)
        << std::hex << int(code) << visible(got);
  }
}

TEST(IsupLengthRules, TransmissionMediumShowsItsValueBeforeTheLengthCheck) {
  for (uint8_t code : {0x02, 0x35, 0x3E}) {
    const std::string got = optionalLines({code, 0x00, 0x00, 0x29, 0x01, 0x00});
    const std::string value = L("00000000", "Speech");
    ASSERT_GE(got.size(), value.size());
    EXPECT_EQ(got.substr(got.size() - value.size()), value) << std::hex << int(code);
  }
}

TEST(IsupAccessTransport, ElementsEndAtTheParameter) {
  // An element whose length runs past the parameter must not swallow the
  // parameter that follows.
  const std::string got = optionalLines({0x03, 0x03, 0x7D, 0x05, 0x91, 0x29, 0x01, 0x00, 0x00});
  EXPECT_NE(got.find(C("Access Transport") + lenLine(3) + "|"), std::string::npos) << visible(got);
  EXPECT_NE(got.find(C("Optional backward call indicators")), std::string::npos) << visible(got);
  const std::string empty = optionalLines({0x03, 0x00, 0x00});
  EXPECT_EQ(empty, C("Access Transport") + lenLine(0) + kEnd);
}

TEST(IsupAccessTransport, LockingShiftEndsTheElementsWithAnEmptyLine) {
  const std::string got = optionalLines({0x03, 0x05, 0x96, 0x7D, 0x02, 0x91, 0x81, 0x29, 0x01, 0x00, 0x00});
  EXPECT_EQ(got.find("High Layer Compatibility"), std::string::npos) << visible(got);
  EXPECT_NE(got.find("||                 Optional backward call indicators"), std::string::npos) << visible(got);
}

TEST(IsupAccessTransport, EachElementStartsOnAnUnindentedBreak) {
  const std::string got = optionalLines({0x03, 0x04, 0x7D, 0x02, 0x91, 0x81, 0x00});
  const std::string start = C("Access Transport") + lenLine(4) + "|";
  ASSERT_EQ(got.substr(0, start.size()), start) << visible(got);
  EXPECT_NE(got.find("High Layer Compatibility"), std::string::npos) << visible(got);
  EXPECT_EQ(got.substr(got.size() - kEnd.size()), kEnd);
}

}  // namespace
}  // namespace lumarc
