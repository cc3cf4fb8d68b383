// Call-control header, call reference, element loop with shifts, and the
// octet lines of every decoded information element.
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/q931.h"
#include "lumarc/decoder/test_support.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

using test::elementLines;
using test::kHeader;
using test::octet;
using test::recordOf;
using test::visible;
using Lines = std::vector<std::string>;

const std::string k17(17, ' ');

struct HeaderCase {
  const char* what;
  std::vector<uint8_t> l3;  // from the protocol discriminator on
  const char* text;         // decode text after the data link part, before the dump
};

TEST(CallControlHeader, CallReferenceAndMessageType) {
  const HeaderCase cases[] = {
      // clang-format off
      {"one-octet reference from the destination side", {0x08, 0x01, 0x81, 0x05}, " Ptcl=08|                 Cref=d01   SETUP"},
      {"one-octet reference from the origin side", {0x08, 0x01, 0x7F, 0x4D}, " Ptcl=08|                 Cref=o7F   RELEASE"},
      // clang-format on
      {"two-octet reference", {0x08, 0x02, 0x81, 0x23, 0x5A}, " Ptcl=08|                 Cref=d0123 RELEASE COMPLETE"},
      {"dummy reference", {0x08, 0x00, 0x62}, " Ptcl=08|                 Cref=Dummy FACILITY"},
      {"reference length 3", {0x08, 0x03, 0x01, 0x02, 0x03, 0x05}, " Ptcl=08|                 Cref="},
      {"unknown message type", {0x08, 0x01, 0x01, 0x99, 0xA1}, " Ptcl=08|                 Cref=o01   UNKNOWN"},
      {"reference cut short", {0x08, 0x02, 0x01}, " Ptcl=08|                 Cref="},
      {"message type missing", {0x08, 0x01, 0x01}, " Ptcl=08|                 Cref=o01   "},
      {"other protocol discriminator", {0x09, 0x01, 0x01, 0x05}, ""},
      {"every named message", {0x08, 0x00, 0x79}, " Ptcl=08|                 Cref=Dummy CONGESTION CONTROL"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = {0x00, 0x01, 0x00, 0x00};
    bytes.insert(bytes.end(), c.l3.begin(), c.l3.end());
    if (bytes.size() < 6) bytes.resize(6, 0);
    std::string text = visible(decodeMonitorRecord(recordOf(0xFD00, bytes)));
    const std::string head = kHeader + "RCV PKT Sapi=00 Tei=00 C/R=0 P/F=0 INFO  NR=00 NS=00";
    ASSERT_EQ(text.substr(0, head.size()), head) << c.what;
    std::string rest = text.substr(head.size());
    EXPECT_EQ(rest.substr(0, rest.find("|        Hex Dump")), c.text) << c.what;
  }
}

struct ElementCase {
  const char* what;
  std::vector<uint8_t> elements;
  Lines lines;
};

void runCases(const std::vector<ElementCase>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(elementLines(c.elements), c.lines) << c.what;
  }
}

TEST(ElementLoop, SingleOctetElementsAndShifts) {
  runCases({
      {"sending complete has 17 blanks", {0xA1}, {k17 + "Sending Complete"}},
      {"more data has 19", {0xA0}, {std::string(19, ' ') + "More Data"}},
      {"congestion level", {0xBA}, {std::string(19, ' ') + "Congestion Level=A"}},
      {"locking shift to code set 0 continues",
       {0x90, 0xA1},
       {std::string(19, ' ') + "Code Set=0", k17 + "Sending Complete"}},
      {"locking shift to code set 5 ends the loop with an empty line",
       {0x95, 0xA1, 0xA1},
       {std::string(19, ' ') + "Code Set=5", ""}},
      {"locking shift to code set 6 ends it as well", {0x96, 0xA1}, {std::string(19, ' ') + "Code Set=6", ""}},
      {"a shift as the last element ends without an empty line", {0x95}, {std::string(19, ' ') + "Code Set=5"}},
      {"non-locking shift ends silently", {0x9D, 0xA1}, {""}},
      {"reserved single octet ends silently", {0xA2, 0xA1}, {""}},
      {"other single octet ends silently", {0xC0, 0xA1}, {""}},
      {"missing length octet", {0xA1, 0x04}, {k17 + "Sending Complete", "        Len="}},
      {"element longer than the message", {0x70, 0x10, 0x81}, {"        Len=10   "}},
      {"element without a decoder",
       {0x20, 0x02, 0x01, 0x02, 0xA1},
       {"        Len=02   Network Specific Facilities", k17 + "Sending Complete"}},
      {"unknown element", {0x5F, 0x00}, {"        Len=00   Unknown Information Element"}},
  });
}

TEST(BearerCapability, SpeechWithLayer1AndShortForms) {
  runCases({
      {"speech A-law",
       {0x04, 0x03, 0x80, 0x90, 0xA3},
       {"        Len=03   Bearer Capability", octet("10000000 Not Continued,ITU-T standardized coding,Speech"),
        octet("10010000 Not Continued,Circuit mode,64 kbit/s"),
        octet("10100011 Not Continued,Layer 1 identifier ok,A-law G.711")}},
      {"octet 3 continued", {0x04, 0x01, 0x08}, {"        Len=01   Bearer Capability", octet("00001000 Continued")}},
      {"layer 1 identifier ill",
       {0x04, 0x04, 0x88, 0x90, 0xC3, 0xA2},
       {"        Len=04   Bearer Capability",
        octet("10001000 Not Continued,ITU-T standardized coding,Unrestricted Digital Information"),
        octet("10010000 Not Continued,Circuit mode,64 kbit/s"),
        octet("11000011 Not Continued,Layer 1 identifier ill")}},
      // clang-format off
      {"octets 4a, 4b, 5a-5d, 6 and 7", {0x04, 0x0B, 0x90, 0x11, 0x31, 0x90, 0x21, 0x48, 0x1E, 0x75, 0x83, 0xC2, 0xE2},
       {"        Len=0B   Bearer Capability",
        octet("10010000 Not Continued,ITU-T standardized coding,3.1 kHz audio"),
        // clang-format on
        octet("00010001 Continued,Circuit mode,2x64 kbit/s"),
        octet("00110001 Continued,Reserved,Configuration point to point,Reserved"),
        octet("10010000 Not Continued,Bidirectional symmetry,64 kbit/s"),
        octet("00100001 Continued,Layer 1 identifier ok,CCITT standardized rate adaptation V.110/X.30"),
        octet("01001000 Continued,Asynchronous,In band negotiation not possible,9.6 kbit/s V.6 X.1"),
        octet("00011110 Continued,Intermediate rate not used,Nic on Tx required,Nic on Rx accepted,"
              "Flow control on Tx required,Flow control on Rx accepted,Spare field ok"),
        octet("01110101 Continued,2 stop bits,7 data bits,Parity forced to 1"),
        octet("10000011 Not Continued,Half duplex,Modem type V.22 bis"),
        octet("11000010 Not Continued,Layer 2 identifier ok,Recommendation Q.921"),
        octet("11100010 Not Continued,Layer 3 identifier ok,Recommendation Q931")}},
      {"octet 4b continued stops",
       {0x04, 0x04, 0x80, 0x10, 0x80, 0x10},
       {"        Len=04   Bearer Capability", octet("10000000 Not Continued,ITU-T standardized coding,Speech"),
        // clang-format off
        octet("00010000 Continued,Circuit mode,64 kbit/s"), octet("10000000 Not Continued,Default Structure,"
                                                                  "Configuration point to point,Demand establishmant"),
        // clang-format on
        octet("00010000 Continued,Layer 1 identifier ill")}},
  });
}

TEST(LowLayerCompatibility, OptionalOctetsAndIdentifiers) {
  runCases({
      {"octet 3a and optional layer 2/3 octets",
       {0x7C, 0x08, 0x08, 0x80, 0x90, 0xA2, 0x42, 0x80, 0x66, 0xFF},
       {"        Len=08   Low Layer Compatibility",
        octet("00001000 Continued,ITU-T standardized coding,Unrestricted Digital Information"),
        octet("10000000 Not Continued,Out-band negotiation possible"),
        octet("10010000 Not Continued,Circuit mode,64 kbit/s"),
        octet("10100010 Not Continued,Layer 1 identifier ok,Mu-law G.711"),
        octet("01000010 Continued,Layer 2 identifier ok,Recommendation Q.921"),
        octet("10000000 Not Continued,L2 Optional information"),
        octet("01100110 Continued,Layer 3 identifier ok,Recommendation X.25 packet layer"),
        octet("11111111 Not Continued,L3 Optional information")}},
      {"layer 3 identifier ill stops",
       {0x7C, 0x04, 0x88, 0x90, 0xA2, 0xA6},
       {"        Len=04   Low Layer Compatibility",
        octet("10001000 Not Continued,ITU-T standardized coding,Unrestricted Digital Information"),
        octet("10010000 Not Continued,Circuit mode,64 kbit/s"),
        octet("10100010 Not Continued,Layer 1 identifier ok,Mu-law G.711"),
        octet("10100110 Not Continued,Layer 2 identifier ill")}},
  });
}

TEST(Cause, CodingLocationCauseAndDiagnostics) {
  runCases({
      {"national coding shows the value as three digits",
       {0x08, 0x02, 0xC2, 0x90},
       {"        Len=02   Cause",
        octet("11000010 Not Continued,National standard,Spare field ok,location Public net serving the local user"),
        octet("10010000 Not Continued,National 016")}},
      // clang-format off
      {"ITU-T coding shows the cause text", {0x08, 0x02, 0x80, 0x91},
       {"        Len=02   Cause", octet("10000000 Not Continued,ITU-T standardized coding,Spare field ok,location User"),
        octet("10010001 Not Continued,User Busy")}},
      {"diagnostics of cause 99 name an element", {0x08, 0x03, 0x80, 0xE3, 0x18},
       {"        Len=03   Cause", octet("10000000 Not Continued,ITU-T standardized coding,Spare field ok,location User"),
        // clang-format on
        octet("11100011 Not Continued,Information element non existent"),
        octet("00011000 Diagnostics: Channel Identification")}},
      {"diagnostics of other causes are bits only",
       {0x08, 0x03, 0x8A, 0x9F, 0x18},
       {"        Len=03   Cause",
        octet(
            "10001010 Not Continued,ITU-T standardized coding,Spare field ok,location Network beyond interworking point"),
        octet("10011111 Not Continued,Normal, unspecified"), octet("00011000 Diagnostics: ")}},
      // clang-format off
      {"recommendation octet", {0x08, 0x03, 0x11, 0x83, 0xFF},
       {"        Len=03   Cause", octet("00010001 Continued,ITU-T standardized coding,Spare field ill,location Private net serving the local user"),
        // clang-format on
        octet("10000011 Not Continued,Rec. X.21"), octet("11111111 Not Continued,Interworking, unspecified")}},
      {"cause octet continued",
       {0x08, 0x02, 0xE6, 0x10},
       {"        Len=02   Cause",
        octet("11100110 Not Continued,Standard specific to location,Spare field ok,location Spare"),
        octet("00010000 Continued")}},
  });
}

TEST(CauseTexts, TableCoversAll128ValuesWithReservedGaps) {
  EXPECT_EQ(causeText(0), "Reserved");
  EXPECT_EQ(causeText(1), "Unallocated Number");
  EXPECT_EQ(causeText(6), "Channel unacceptible");
  EXPECT_EQ(causeText(10), "Reserved");
  EXPECT_EQ(causeText(83), "A suspended call exist, but this call identity does not");
  EXPECT_EQ(causeText(127), "Interworking, unspecified");
  EXPECT_EQ(causeText(126), "Reserved");
  EXPECT_EQ(causeText(0xFF), "Interworking, unspecified");  // only the low 7 bits count
  for (int v = 0; v < 128; ++v) EXPECT_LE(causeText(uint8_t(v)).size(), 69u) << v;
}

TEST(CallStateAndIndicators, OneOctetElements) {
  runCases({
      {"call state 61",
       {0x14, 0x01, 0x3D},
       {"        Len=01   Call State", octet("00111101 ITU-T standardized coding,Call state REST 1 Restart request")}},
      {"call state 10",
       {0x14, 0x01, 0x4A},
       {"        Len=01   Call State", octet("01001010 Reserved,Call state10 Active")}},
      {"progress indicator",
       {0x1E, 0x02, 0x82, 0x88},
       {"        Len=02   Progress Indicator",
        octet(
            "10000010 Not Continued,ITU-T standardized coding,Spare field ok,location Public net serving the local user"),
        octet("10001000 Inband information now available")}},
      // clang-format off
      {"progress continued", {0x1E, 0x02, 0x02, 0x88}, {"        Len=02   Progress Indicator", octet("00000010 Continued")}},
      {"notification", {0x27, 0x01, 0xF9}, {"        Len=01   Notification Indicator", octet("11111001 Not Continued,Remote hold")}},
      {"notification continued", {0x27, 0x01, 0x79}, {"        Len=01   Notification Indicator", octet("01111001 Continued")}},
      {"restart indicator", {0x79, 0x01, 0x87}, {"        Len=01   Restart Indicator", octet("10000111 All interfaces")}},
      {"restart indicator unknown class", {0x79, 0x01, 0x81}, {"        Len=01   Restart Indicator", octet("10000001 ")}},
      // clang-format on
      {"restart indicator of two octets", {0x79, 0x02, 0x87, 0x00}, {"        Len=02   Restart Indicator"}},
      {"segmented message ends the loop",
       {0x00, 0x01, 0x81, 0xA1},
       {"        Len=01   Segmented Message", octet("10000001 First segment, Remanining segments=01")}},
  });
}

TEST(ChannelIdentification, BasicAndPrimaryRate) {
  runCases({
      {"basic interface B1 exclusive",
       {0x18, 0x01, 0x89},
       {"        Len=01   Channel Identification",
        // clang-format off
        octet("10001001 Not Continued,Implicitely identified,Basic interface,Spare field ok,Exclusive,not D channel,B1")}},
      {"primary rate channel 1", {0x18, 0x03, 0xA9, 0x83, 0x81},
       // clang-format on
       {"        Len=03   Channel Identification",
        octet("10101001 Not Continued,Implicitely identified,Other interface,Spare field ok,Exclusive,not D channel,"
              "As indicated in following octets"),
        octet("10000011 Not Continued,ITU-T standardized coding,Channel no indicated,B channel units"),
        octet("10000001 Not Continued,Channel no 01")}},
      {"explicit interface and slot map",
       {0x18, 0x05, 0xE1, 0x01, 0x81, 0x93, 0x05},
       {"        Len=05   Channel Identification",
        octet("11100001 Not Continued,Explicitely identified,Other interface,Spare field ok,Preferred,not D channel,"
              "As indicated in following octets"),
        octet("00000001 Continued,Interface identifier"), octet("10000001 Not Continued,Interface identifier"),
        octet("10010011 Not Continued,ITU-T standardized coding,Slot map indicated,B channel units"),
        octet("00000101 Continued,Channel no 05")}},
      {"octet 3 continued",
       {0x18, 0x01, 0x09},
       {"        Len=01   Channel Identification", octet("00001001 Continued")}},
  });
}

TEST(CharacterElements, DisplayKeypadUserUserAndDateTime) {
  runCases({
      {"display with control bytes shown as dots",
       {0x28, 0x05, 'H', 'e', 0x07, 'l', 0xFF},
       {"        Len=05   Display", "        Info     He.l."}},
      {"keypad", {0x2C, 0x02, '1', '#'}, {"        Len=02   Keypad Facility", "        Info     1#"}},
      {"user-user IA5",
       {0x7E, 0x03, 0x04, 'A', 'B'},
       {"        Len=03   User-User", octet("00000100 Protocol discriminator,IA5 characters"), "        Info     AB"}},
      // clang-format off
      {"user-user other protocol shows no text", {0x7E, 0x03, 0x08, 'A', 'B'},
       {"        Len=03   User-User", octet("00001000 Protocol discriminator,User-network call control messages Q.931")}},
      {"date and time of five octets", {0x29, 0x05, 0x18, 0x05, 0x06, 0x07, 0x08},
       // clang-format on
       {"        Len=05   Date and time", octet("00011000 Year  :24"), octet("00000101 Month :05"),
        octet("00000110 Day   :06"), octet("00000111 Hour  :07"), octet("00001000 Minute:08")}},
      {"date and time of four octets", {0x29, 0x04, 0x18, 0x05, 0x06, 0x07}, {"        Len=04   Date and time"}},
  });
}

TEST(NumberElements, TypePlanPresentationAndDigits) {
  const std::string e164 = "ISDN/Telephony numbering plan (CCITT E.164)";
  runCases({
      {"called party number",
       {0x70, 0x05, 0x81, '1', '2', '3', '4'},
       {"        Len=05   Called Party Number", octet(("10000001 Not Continued,Number type unknown," + e164).c_str()),
        "        Digits   1234"}},
      {"called party number without digits",
       {0x70, 0x01, 0xA1},
       {"        Len=01   Called Party Number", octet(("10100001 Not Continued,National number," + e164).c_str())}},
      // clang-format off
      {"called party continued", {0x70, 0x02, 0x21, '1'}, {"        Len=02   Called Party Number", octet("00100001 Continued")}},
      {"calling party with octet 3a", {0x6C, 0x06, 0x11, 0x83, '5', '6', '7', '8'},
       {"        Len=06   Calling Party Number",
        octet(("00010001 Continued,International number," + e164).c_str()),
        octet("10000011 Not Continued,Presentation allowed,Spare field ok,Network provided"),
        "        Digits   5678"}},
      {"calling party without digits has no digit line", {0x6C, 0x01, 0x81},
       {"        Len=01   Calling Party Number", octet(("10000001 Not Continued,Number type unknown," + e164).c_str())}},
      {"connected number always shows the digit line", {0x4C, 0x01, 0x81},
       // clang-format on
       {"        Len=01   Connected Number", octet(("10000001 Not Continued,Number type unknown," + e164).c_str()),
        "        Digits   "}},
      {"calling party 3a spare bits set",
       {0x6C, 0x03, 0x01, 0xA4, '1'},
       {"        Len=03   Calling Party Number", octet(("00000001 Continued,Number type unknown," + e164).c_str()),
        octet("10100100 Not Continued,Presentation restricted,Spare field ill,User provided not screened"),
        "        Digits   1"}},
      {"calling party 3a continued",
       {0x6C, 0x03, 0x01, 0x20, '1'},
       {"        Len=03   Calling Party Number", octet(("00000001 Continued,Number type unknown," + e164).c_str()),
        octet("00100000 Continued")}},
  });
}

TEST(NumberElements, SixtyDigitsWrapAfter51) {
  std::vector<uint8_t> el = {0x70, 61, 0x81};
  std::string digits;
  for (int i = 0; i < 60; ++i) digits += char('0' + i % 10);
  el.insert(el.end(), digits.begin(), digits.end());
  Lines lines = elementLines(el);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "        Digits   " + digits.substr(0, 51));
  EXPECT_EQ(lines[3], std::string(17, ' ') + digits.substr(51));
}

TEST(RedirectNumbers, StandardLayoutWithReasonAndDigits) {
  const std::string e164 = "ISDN/Telephony numbering plan (CCITT E.164)";
  runCases({
      {"redirecting number with octets 3a and 3b",
       {0x74, 0x05, 0x21, 0x03, 0x8F, '5', '6'},
       {"        Len=05   Redirecting Number", octet(("00100001 Continued,National number," + e164).c_str()),
        octet("00000011 Continued,Presentation allowed,Spare field ok,Network provided"),
        octet("10001111 Not Continued,Spare field ok,Call forwarding unconditional"), "        Digits   56"}},
      {"redirecting number with octet 3 alone",
       {0x74, 0x03, 0x81, '5', '6'},
       {"        Len=03   Redirecting Number", octet(("10000001 Not Continued,Number type unknown," + e164).c_str()),
        "        Digits   56"}},
      {"redirecting number without octet 3b",
       {0x74, 0x03, 0x01, 0xA0, '9'},
       {"        Len=03   Redirecting Number", octet(("00000001 Continued,Number type unknown," + e164).c_str()),
        octet("10100000 Not Continued,Presentation restricted,Spare field ok,User provided not screened"),
        "        Digits   9"}},
      {"redirecting reason with spare bits stops",
       {0x74, 0x04, 0x01, 0x00, 0x91, '9'},
       {"        Len=04   Redirecting Number", octet(("00000001 Continued,Number type unknown," + e164).c_str()),
        octet("00000000 Continued,Presentation allowed,Spare field ok,User provided not screened"),
        octet("10010001 Not Continued,Spare field ill")}},
      {"redirecting 3a spare bits stop",
       {0x74, 0x03, 0x01, 0x88, '9'},
       {"        Len=03   Redirecting Number", octet(("00000001 Continued,Number type unknown," + e164).c_str()),
        octet("10001000 Not Continued,Presentation allowed,Spare field ill")}},
      {"redirection number",
       {0x76, 0x03, 0x01, 0x80, '7'},
       {"        Len=03   Redirection Number", octet(("00000001 Continued,Number type unknown," + e164).c_str()),
        octet("10000000 Not Continued,Presentation allowed,Spare field ok,User provided not screened"),
        "        Digits   7"}},
      {"redirection number 3a continued still shows digits",
       {0x76, 0x03, 0x01, 0x00, '7'},
       {"        Len=03   Redirection Number", octet(("00000001 Continued,Number type unknown," + e164).c_str()),
        octet("00000000 Continued,Presentation allowed,Spare field ok,User provided not screened"),
        "        Digits   7"}},
  });
}

TEST(HighLayerCompatibility, CharacteristicsAndExtendedOctet) {
  runCases({
      {"telephony",
       {0x7D, 0x02, 0x91, 0x81},
       {"        Len=02   High Layer Compatibility",
        octet(
            "10010001 Not Continued,ITU-T standardized coding,First high layer characteristics,High layer protocol profile"),
        octet("10000001 Not Continued,Telephony")}},
      // clang-format off
      {"extended octet 4a", {0x7D, 0x03, 0xA2, 0x5E, 0x84},
       {"        Len=03   High Layer Compatibility",
        octet("10100010 Not Continued,Reserved,Reserved,Reserved"), octet("01011110 Continued,Reserved for maintenance"),
        // clang-format on
        octet("10000100 Not Continued,Facsimile Group 2/3 F.182")}},
  });
}

TEST(InformationElementApi, ContainerEndAndCodeSetStayWithTheCaller) {
  // Elements inside a container: the container's last octet bounds them even
  // when the message goes on.
  std::vector<uint8_t> bytes = {0x70, 0x03, 0x81, '1', '2', 0xA1};
  MonitorRecord r = recordOf(0xFD00, bytes);
  DecodeContext ctx(r, {});
  CodeSetState codeSets;
  EXPECT_EQ(decodeInformationElement(ctx, 0, 3, codeSets), kEndOfElements);  // element runs past the container
  EXPECT_EQ(visible(ctx.text()), "        Len=03   ");
  DecodeContext ctx2(r, {});
  EXPECT_EQ(decodeInformationElement(ctx2, 0, 4, codeSets), 5u);
  DecodeContext ctx3(recordOf(0xFD00, {0x96, 0xA1}), {});
  EXPECT_EQ(decodeInformationElement(ctx3, 0, 1, codeSets), 1u);
  EXPECT_EQ(codeSets.current, 6);
  EXPECT_EQ(decodeInformationElement(ctx3, 5, 4, codeSets), kEndOfElements);  // index past the container
  EXPECT_EQ(decodeInformationElement(ctx3, 0, 400, codeSets), 1u);            // last clipped to the message
}

}  // namespace
}  // namespace lumarc
