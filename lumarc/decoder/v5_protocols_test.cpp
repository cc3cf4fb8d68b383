// V5.2 layer 3 goldens: message names, element lines, the element loop and
// its stop rules, user-port and time-slot values, bounded reads.
#include "lumarc/decoder/bodies.h"
#include "lumarc/decoder/context.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/test_support.h"
#include "lumarc/decoder/v5_protocols.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumarc {
namespace {

using test::recordOf;
using test::visible;

// One interpreted octet line: bit pattern, one blank, text.
std::string L(const std::string& bits, const std::string& text) { return "|        " + bits + " " + text; }
// A stars line.
std::string S(const std::string& text) { return "|        ******** " + text; }
// Identifier line and length line of a variable element.
std::string head(const std::string& idBits, const std::string& name, const std::string& lenBits, const char* len) {
  return L(idBits, name) + L(lenBits, std::string("Parameter length:") + len);
}

using Body = void (*)(DecodeContext&);

// Message bytes 0-9 (envelope, LAPV5 I frame, discriminator, layer 3
// address, message type) followed by the elements.
std::vector<uint8_t> messageOf(uint8_t type, const std::vector<uint8_t>& elements) {
  std::vector<uint8_t> bytes = {0xFC, 0xE1, 0x00, 0x01, 0x00, 0x00, 0x48, 0x01, 0x01, type};
  bytes.insert(bytes.end(), elements.begin(), elements.end());
  return bytes;
}

std::string decodeBody(Body body, uint8_t type, const std::vector<uint8_t>& elements, int32_t datl = -1) {
  DecodeContext ctx(recordOf(0xFD27, messageOf(type, elements), datl), DecodeOptions{});
  body(ctx);
  return visible(ctx.text());
}

struct Golden {
  const char* what;
  uint8_t type;
  std::vector<uint8_t> elements;
  std::string expected;
};

void expectGoldens(Body body, const std::vector<Golden>& goldens) {
  for (const Golden& g : goldens) {
    EXPECT_EQ(decodeBody(body, g.type, g.elements), g.expected) << g.what;
  }
}

// ---- PSTN ----

TEST(V5Pstn, SignalElementsShowTheirLinesAndExtensionBits) {
  // clang-format off
  expectGoldens(decodeV5Pstn, {
      {"steady signal off hook, last octet", 0x02, {0x03, 0x01, 0x84},
       "PstnSignal" + head("00000011", "Steady signal", "00000001", "01") +
           L("-0000100", "Off hook (loop closed)") + L("1-------", "Not Continued")},
      {"steady signal with extension 0 ends the loop", 0x02, {0x03, 0x01, 0x04, 0x95},
       "PstnSignal" + head("00000011", "Steady signal", "00000001", "01") +
           L("-0000100", "Off hook (loop closed)") + L("0-------", "Continued")},
      {"steady signal without a text", 0x02, {0x03, 0x01, 0x9B},
       "PstnSignal" + head("00000011", "Steady signal", "00000001", "01") + L("-0011011", "Reserved") +
           L("1-------", "Not Continued")},
      {"pulsed signal with suppression and acknowledgement", 0x02, {0x02, 0x03, 0xF8, 0x25, 0x82},
       "PstnSignal" + head("00000010", "Pulsed signal", "00000011", "03") + L("-1111000", "Meter pulse") +
           L("1-------", "Spare field ok") + L("---00101", "Pulse duration type:05") +
           L("-01-----", "Suppression indicator:Allowed by pre-defined V5.2 SIGNAL message from LE") +
           L("0-------", "Continued") + L("---00010", "Number of pulses:02") +
           L("-00-----", "Acknowledge request:No acknowledgement requested") + L("1-------", "Not Continued")},
      {"pulsed signal whose suppression octet is the last", 0x02, {0x02, 0x03, 0xF9, 0xFF, 0x00, 0x95},
       "PstnSignal" + head("00000010", "Pulsed signal", "00000011", "03") + L("-1111001", "Initial ring") +
           L("1-------", "Spare field ok") + L("---11111", "Pulse duration type:1F") +
           L("-11-----",
             "Suppression indicator:Allowed by pre-defined V5.2 SIGNAL message from LE or pre-defined line "
             "signal from TE") +
           L("1-------", "Not Continued") + L("10010101", "Pstn FSM State:AN5")},
      {"one-octet pulsed signal goes on", 0x02, {0x02, 0x01, 0xF9, 0x95},
       "PstnSignal" + head("00000010", "Pulsed signal", "00000001", "01") + L("-1111001", "Initial ring") +
           L("1-------", "Spare field ok") + L("10010101", "Pstn FSM State:AN5")},
      {"pulsed signal with bit 7 clear ends", 0x02, {0x02, 0x01, 0x79, 0x95},
       "PstnSignal" + head("00000010", "Pulsed signal", "00000001", "01") + L("-1111001", "Initial ring") +
           L("0-------", "Spare field ill")},
      {"pulsed signal value without a pulsed text", 0x02, {0x02, 0x01, 0x84},
       "PstnSignal" + head("00000010", "Pulsed signal", "00000001", "01") + L("-0000100", "Reserved") +
           L("1-------", "Spare field ok")},
      {"digit signal", 0x02, {0x04, 0x01, 0xC5},
       "PstnSignal" + head("00000100", "Digit signal", "00000001", "01") + L("----0101", "Digit:05") +
           L("--00----", "Spare field ok") +
           L("-1------", "Ending acknowledgement requested when digit transmission is finished") +
           L("1-------", "Not Continued")},
      {"digit signal without acknowledgement", 0x02, {0x04, 0x01, 0x8B},
       "PstnSignal" + head("00000100", "Digit signal", "00000001", "01") + L("----1011", "Digit:0B") +
           L("--00----", "Spare field ok") + L("-0------", "No ending acknowledgement requested") +
           L("1-------", "Not Continued")},
      {"digit signal with spare bits set ends", 0x02, {0x04, 0x01, 0x95, 0x95},
       "PstnSignal" + head("00000100", "Digit signal", "00000001", "01") + L("----0101", "Digit:05") +
           L("--01----", "Spare field ill")},
  });
  // clang-format on
}

TEST(V5Pstn, SingleOctetElementsAreOneOctetLong) {
  expectGoldens(decodeV5Pstn,
                {
                    {"state, pulse notification, reserved",
                     0x0D,
                     {0x95, 0xC0, 0xC1, 0x95},
                     "PstnStatus" + L("10010101", "Pstn FSM State:AN5") + L("11000000", "Pulse notification") +
                         L("11000001", "Reserved")},
                    {"line information and sequences",
                     0x0D,
                     {0x80, 0x82, 0x84, 0x87, 0x9F, 0x98, 0xA3, 0xBC, 0xFF},
                     "PstnStatus" + L("10000000", "Line information:Impedance marker reset") +
                         L("10000010", "Line information:Lowloopimpedance") +
                         L("10000100", "Line information:Anomalous line condition received") +
                         L("10000111", "Line information:Reserved") + L("10011111", "Pstn FSM State:Not applicable") +
                         L("10011000", "Pstn FSM State:Not used") + L("10100011", "Autonomous signalling sequence:03") +
                         L("10111100", "Sequence response:0C") + L("11111111", "Reserved")},
                });
}

TEST(V5Pstn, RecognitionTimeShowsSignalTextAndDuration) {
  // clang-format off
  struct Case { uint8_t signal; const char* text; } cases[] = {
      {0x84, "Off hook (loop closed)"}, {0xF8, "Meter pulse"}, {0xA0, "Reserved"}, {0xEB, "Pulsed b-wire disconnected"}};
  // clang-format on
  for (const auto& c : cases) {
    std::string bits;
    for (int b = 6; b >= 0; --b) bits += ((c.signal >> b) & 1) ? '1' : '0';
    EXPECT_EQ(decodeBody(decodeV5Pstn, 0x0E, {0x10, 0x02, c.signal, 0x85}),
              "PstnProtocolParameter" + head("00010000", "Recognition time", "00000010", "02") + L("-" + bits, c.text) +
                  L("1-------", "Not Continued") + L("--000101", "Duration type:05") + L("-0------", "Spare field ok") +
                  L("1-------", "Not Continued"))
        << c.text;
  }
}

TEST(V5Pstn, RecognitionTimeStopsOnEitherExtensionBitOrTheSpareBit) {
  const std::string start = "PstnProtocolParameter" + head("00010000", "Recognition time", "00000010", "02");
  // The signal octet's own extension bit ends the element.
  EXPECT_EQ(decodeBody(decodeV5Pstn, 0x0E, {0x10, 0x02, 0x04, 0x85, 0x95}),
            start + L("-0000100", "Off hook (loop closed)") + L("0-------", "Continued"));
  // A duration octet with extension 0 ends the loop after its lines.
  EXPECT_EQ(decodeBody(decodeV5Pstn, 0x0E, {0x10, 0x02, 0x84, 0x05, 0x95}),
            start + L("-0000100", "Off hook (loop closed)") + L("1-------", "Not Continued") +
                L("--000101", "Duration type:05") + L("-0------", "Spare field ok") + L("0-------", "Continued"));
  EXPECT_EQ(decodeBody(decodeV5Pstn, 0x0E, {0x10, 0x02, 0x84, 0xC5, 0x95}),
            start + L("-0000100", "Off hook (loop closed)") + L("1-------", "Not Continued") +
                L("--000101", "Duration type:05") + L("-1------", "Spare field ill"));
}

TEST(V5Pstn, AutonomousAcknowledgeElements) {
  expectGoldens(
      decodeV5Pstn,
      {
          {"enable with suppression and acknowledgement",
           0x0E,
           {0x11, 0x04, 0x84, 0xF8, 0x41, 0xA3},
           "PstnProtocolParameter" + head("00010001", "Enable autonomous acknowledge", "00000100", "04") +
               L("-0000100", "Signal:Off hook (loop closed)") + L("1-------", "Not Continued") +
               L("-1111000", "Response:Meter pulse") + L("1-------", "Not Continued") +
               L("---00001", "Pulse duration type:01") +
               L("-10-----", "Suppression indicator:Allowed by pre-defined line signal from TE") +
               L("0-------", "Continued") + L("---00011", "Number of pulses:03") +
               L("-01-----", "Acknowledge request:Ending acknowledgement requested when finished each pulse") +
               L("1-------", "Not Continued")},
          {"enable with two octets goes on",
           0x0E,
           {0x11, 0x02, 0x85, 0x84, 0x95},
           "PstnProtocolParameter" + head("00010001", "Enable autonomous acknowledge", "00000010", "02") +
               L("-0000101", "Signal:On hook (loop open)") + L("1-------", "Not Continued") +
               L("-0000100", "Response:Off hook (loop closed)") + L("1-------", "Not Continued") +
               L("10010101", "Pstn FSM State:AN5")},
          {"enable whose response continues ends",
           0x0E,
           {0x11, 0x02, 0x85, 0x04, 0x95},
           "PstnProtocolParameter" + head("00010001", "Enable autonomous acknowledge", "00000010", "02") +
               L("-0000101", "Signal:On hook (loop open)") + L("1-------", "Not Continued") +
               L("-0000100", "Response:Off hook (loop closed)") + L("0-------", "Continued")},
          {"disable",
           0x0E,
           {0x12, 0x01, 0x85, 0x95},
           "PstnProtocolParameter" + head("00010010", "Disable autonomous acknowledge", "00000001", "01") +
               L("-0000101", "Signal:On hook (loop open)") + L("1-------", "Not Continued") +
               L("10010101", "Pstn FSM State:AN5")},
      });
}

TEST(V5Pstn, CauseExtensionBitDecidesWhetherTheLoopGoesOn) {
  // clang-format off
  expectGoldens(decodeV5Pstn, {
      {"not used, reserved, then continued", 0x0D, {0x13, 0x01, 0x81, 0x13, 0x03, 0x82, 0x11, 0x22, 0x13, 0x01, 0x01, 0x95},
       "PstnStatus" + head("00010011", "Cause", "00000001", "01") + L("-0000001", "Not used") +
           L("1-------", "Not Continued") + head("00010011", "Cause", "00000011", "03") +
           L("-0000010", "Reserved") + L("1-------", "Not Continued") +
           head("00010011", "Cause", "00000001", "01") + L("-0000001", "Not used") + L("0-------", "Continued")},
      {"response to status enquiry", 0x0D, {0x13, 0x01, 0x80},
       "PstnStatus" + head("00010011", "Cause", "00000001", "01") + L("-0000000", "Response to STATUS ENQUIRY") +
           L("1-------", "Not Continued")},
      {"length outside 1-3 ends after the length line", 0x0D, {0x13, 0x04, 0x81, 0, 0, 0, 0x95},
       "PstnStatus" + head("00010011", "Cause", "00000100", "04")},
      {"resource unavailable shows nothing more", 0x0D, {0x14, 0x02, 0xAA, 0xBB, 0x95},
       "PstnStatus" + head("00010100", "Resource unavailable", "00000010", "02") + L("10010101", "Pstn FSM State:AN5")},
      {"sequence number, cadenced ringing, attenuation", 0x00, {0x00, 0x01, 0x85, 0x01, 0x01, 0x83, 0x24, 0x01, 0x8A},
       "PstnEstablish" + head("00000000", "Sequence number", "00000001", "01") + L("-0000101", "No:05") +
           L("1-------", "Spare field ok") + head("00000001", "Cadenced ringing", "00000001", "01") +
           L("-0000011", "Type:03") + L("1-------", "Spare field ok") +
           head("00100100", "Attenuation", "00000001", "01") + L("-0001010", "0A") + L("1-------", "Not Continued")},
      {"sequence number with bit 7 clear ends", 0x00, {0x00, 0x01, 0x05, 0x95},
       "PstnEstablish" + head("00000000", "Sequence number", "00000001", "01") + L("-0000101", "No:05") +
           L("0-------", "Spare field ill")},
      {"unknown identifier ends without a length line", 0x00, {0x05, 0x01, 0x00, 0x95},
       "PstnEstablish" + L("00000101", "Reserved")},
      {"unknown message type still decodes its elements", 0x05, {0x95},
       "Reserved" + L("10010101", "Pstn FSM State:AN5")},
      {"message without elements", 0x09, {}, "PstnDisconnectComplete"},
  });
  // clang-format on
}

TEST(V5Pstn, MeteringElements) {
  expectGoldens(
      decodeV5Pstn,
      {
          {"enable metering, five octets",
           0x0E,
           {0x22, 0x05, 0x78, 0x01, 0x02, 0xA3, 0x80, 0x95},
           "PstnProtocolParameter" + head("00100010", "Enable metering", "00000101", "05") +
               L("-1111000", "Signal:Meter pulse") + L("0-------", "Continued") +
               L("-0000001", "Rate type:01Continued") + L("0-------", "Continued") + S("Pulse count:0043") +
               L("-01-----",
                 "Continue to apply pulses at same rate until the call is disconnected or receipt of new instructions "
                 "from LE") +
               L("1-------", "Not Continued") + L("---00000", "Pulse duration type:00") +
               L("-00-----", "Suppression indicator:No suppression") + L("1-------", "Not Continued") +
               L("10010101", "Pstn FSM State:AN5")},
          {"enable metering, four octets",
           0x0E,
           {0x22, 0x04, 0x78, 0x01, 0x7F, 0x9F, 0x95},
           "PstnProtocolParameter" + head("00100010", "Enable metering", "00000100", "04") +
               L("-1111000", "Signal:Meter pulse") + L("0-------", "Continued") +
               L("-0000001", "Rate type:01Continued") + L("0-------", "Continued") + S("Pulse count:0FFF") +
               L("-00-----",
                 "Cease to apply pulses after number specified by reporting pulse count have been applied") +
               L("1-------", "Not Continued") + L("10010101", "Pstn FSM State:AN5")},
          {"rate type with extension 1 goes on",
           0x0E,
           {0x22, 0x02, 0x78, 0x81, 0x95},
           "PstnProtocolParameter" + head("00100010", "Enable metering", "00000010", "02") +
               L("-1111000", "Signal:Meter pulse") + L("0-------", "Continued") +
               L("-0000001", "Rate type:81Not Continued") + L("10010101", "Pstn FSM State:AN5")},
          {"two octets with rate extension 0 end",
           0x0E,
           {0x22, 0x02, 0x78, 0x01, 0x95},
           "PstnProtocolParameter" + head("00100010", "Enable metering", "00000010", "02") +
               L("-1111000", "Signal:Meter pulse") + L("0-------", "Continued") +
               L("-0000001", "Rate type:01Continued")},
          {"signal octet with extension 1 ends",
           0x0E,
           {0x22, 0x02, 0xF8, 0x81, 0x95},
           "PstnProtocolParameter" + head("00100010", "Enable metering", "00000010", "02") +
               L("-1111000", "Signal:Meter pulse") + L("1-------", "Not Continued")},
          {"suppression octet with extension 0 ends",
           0x0E,
           {0x22, 0x05, 0x78, 0x01, 0x02, 0xC3, 0x40, 0x95},
           "PstnProtocolParameter" + head("00100010", "Enable metering", "00000101", "05") +
               L("-1111000", "Signal:Meter pulse") + L("0-------", "Continued") +
               L("-0000001", "Rate type:01Continued") + L("0-------", "Continued") + S("Pulse count:0043") +
               L("-10-----", "Reserved for ETSI use") + L("1-------", "Not Continued") +
               L("---00000", "Pulse duration type:00") +
               L("-10-----", "Suppression indicator:Allowed by pre-defined line signal from TE") +
               L("0-------", "Continued")},
          {"metering report with failure reason",
           0x0E,
           {0x23, 0x03, 0x01, 0xC2, 0x81, 0x95},
           "PstnProtocolParameter" + head("00100011", "Metering report", "00000011", "03") +
               L("0-------", "Continued") + S("Pulse count:0022") +
               L("-10-----", "Positive acknowledgement of new automatic metering instructions") +
               L("1-------", "Not Continued") + L("-0000001", "Failure reason:Portblocked (FE203/204)") +
               L("1-------", "Not Continued") + L("10010101", "Pstn FSM State:AN5")},
          {"metering report of two octets",
           0x0E,
           {0x23, 0x02, 0x00, 0xE1, 0x95},
           "PstnProtocolParameter" + head("00100011", "Metering report", "00000010", "02") +
               L("0-------", "Continued") + S("Pulse count:0001") +
               L("-11-----", "Failure of metering in the AN - no more metering pulses can be applied automatically") +
               L("1-------", "Not Continued") + L("10010101", "Pstn FSM State:AN5")},
          {"metering report whose count octet is the last ends",
           0x0E,
           {0x23, 0x02, 0x80, 0xE1, 0x95},
           "PstnProtocolParameter" + head("00100011", "Metering report", "00000010", "02") +
               L("1-------", "Not Continued")},
      });
}

// ---- control ----

TEST(V5Control, ElementsAndTheirTexts) {
  // clang-format off
  expectGoldens(decodeV5Control, {
      {"control function element", 0x10, {0x20, 0x01, 0x91},
       "PortControl" + head("00100000", "Control function element", "00000001", "01") +
           L("-0010001", "FE201/202 (unblock)") + L("1-------", "Not Continued")},
      {"FE210 is 0x1A", 0x10, {0x20, 0x01, 0x9A},
       "PortControl" + head("00100000", "Control function element", "00000001", "01") +
           L("-0011010", "FE210(failure inside network)") + L("1-------", "Not Continued")},
      {"0x2A has no function element", 0x10, {0x20, 0x01, 0xAA},
       "PortControl" + head("00100000", "Control function element", "00000001", "01") + L("-0101010", "Reserved") +
           L("1-------", "Not Continued")},
      {"performance grading and rejection cause", 0x11, {0xE1, 0xE5, 0xF2, 0xF0, 0xF9},
       "PortControlAck" + L("1110----", "Performance grading") + L("----0001", "Degraded") +
           L("1110----", "Performance grading") + L("----0101", "Not used") + L("1111----", "Rejection cause") +
           L("----0010", "Re-provisioning in progress") + L("1111----", "Rejection cause") +
           L("----0000", "Variant unknown") + L("1111----", "Rejection cause") + L("----1001", "Reserved")},
      {"function id, variant, interface id", 0x12, {0x21, 0x01, 0x87, 0x22, 0x01, 0x85, 0x23, 0x06, 1, 2, 3, 0xAB, 0xCD, 0xEF},
       "CommonControl" + head("00100001", "Control function ID", "00000001", "01") +
           L("-0000111", "Variant and interface ID") + L("1-------", "Not Continued") +
           head("00100010", "Variant", "00000001", "01") + L("-0000101", "Variant:05") +
           L("1-------", "Not Continued") + head("00100011", "Interface ID", "00000110", "06") +
           S("Interface:00010203") + S("Interface:00ABCDEF")},
      {"function id with extension 0 ends", 0x13, {0x21, 0x01, 0x10, 0x22, 0x01, 0x85},
       "CommonControlAck" + head("00100001", "Control function ID", "00000001", "01") +
           L("-0010000", "Restart request") + L("0-------", "Continued")},
      {"interface id not a multiple of three ends", 0x12, {0x23, 0x04, 1, 2, 3, 4, 0x22, 0x01, 0x85},
       "CommonControl" + head("00100011", "Interface ID", "00000100", "04")},
      {"interface id of length 0 ends", 0x12, {0x23, 0x00, 0x22, 0x01, 0x85},
       "CommonControl" + head("00100011", "Interface ID", "00000000", "00")},
      {"other identifiers are reserved", 0x12, {0x90, 0x01, 0x00},
       "CommonControl" + L("10010000", "Reserved")},
      {"unknown message type shows no elements", 0x14, {0x20, 0x01, 0x91}, "Unknown"},
  });
  // clang-format on
}

TEST(V5Control, FunctionIdTableMatchesTheBlockingCodes) {
  // clang-format off
  struct Case { uint8_t v; const char* text; } cases[] = {
      {0x00, "Verify re-provisioning"}, {0x08, "Blocking started"},  {0x09, "Reserved"},
      {0x12, "Unblock pstn isdn ports request"}, {0x25, "Block isdn ports completed"}, {0x26, "Reserved"}};
  // clang-format on
  for (const auto& c : cases) {
    const std::string text = decodeBody(decodeV5Control, 0x12, {0x21, 0x01, uint8_t(0x80 | c.v)});
    EXPECT_NE(text.find(std::string(" ") + c.text + "|"), std::string::npos) << text;
  }
}

// ---- BCC ----

TEST(V5Bcc, UserPortIdentificationFormulas) {
  // clang-format off
  struct Case { uint8_t c1, c2; const char* value; } cases[] = {
      {0x03, 0x45, "PSTNa:0145"}, {0x04, 0x45, "ISDNa:00A2"}, {0xFF, 0xFF, "PSTNa:7FFF"},
      {0xFC, 0xFF, "ISDNa:1FFF"}, {0x01, 0x00, "PSTNa:0000"}, {0x06, 0x01, "ISDNa:0080"}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(decodeBody(decodeV5Bcc, 0x20, {0x40, 0x02, c.c1, c.c2}),
              "BccAllocation" + head("01000000", "User port identification", "00000010", "02") +
                  S(std::string("User Port Identification Value ") + c.value))
        << c.value;
  }
}

TEST(V5Bcc, TimeSlotElements) {
  expectGoldens(decodeV5Bcc,
                {
                    {"isdn port time slot, spare ok",
                     0x20,
                     {0x41, 0x01, 0x85, 0x41, 0x01, 0x05, 0x40, 0x02, 0x03, 0x45},
                     "BccAllocation" + head("01000001", "Isdn port channel identification", "00000001", "01") +
                         L("---00101", "ISDN user port time slot number:05") + L("100-----", "Spare field ok") +
                         head("01000001", "Isdn port channel identification", "00000001", "01") +
                         L("---00101", "ISDN user port time slot number:05") + L("000-----", "Spare field ill")},
                    {"v5 time slot with override",
                     0x20,
                     {0x42, 0x02, 0x01, 0x3F, 0x42, 0x02, 0x02, 0x45},
                     "BccAllocation" + head("01000010", "V5 time slot identification", "00000010", "02") +
                         L("00000001", "V5.2 048 kbit/s link Identifier:01") + L("---11111", "V5 Time Slot Number:1F") +
                         L("--1-----", "Override requested") + L("00------", "Spare field ok") +
                         head("01000010", "V5 time slot identification", "00000010", "02") +
                         L("00000010", "V5.2 048 kbit/s link Identifier:02") + L("---00101", "V5 Time Slot Number:05") +
                         L("--0-----", "Override not requested") + L("01------", "Spare field ill")},
                    {"multi slot map",
                     0x26,
                     {0x43, 0x09, 0x02, 0x80, 0x00, 0x00, 0x02, 0x00, 0x00, 0x01, 0x00, 0x44, 0x01, 0x80},
                     "BccAudit" + head("01000011", "Multi slot map", "00001001", "09") +
                         L("00000010", "V5.2 048 kbit/s link Identifier:02") + S("V5Ts:80000002,Spare field ok") +
                         S("UpTs:00000100,Spare field ok") + head("01000100", "Reject cause", "00000001", "01") +
                         L("-0000000", "Unspecified") + L("1-------", "Spare field ok")},
                    {"multi slot map with bit 0 set ends",
                     0x26,
                     {0x43, 0x09, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0x44, 0x01, 0x80},
                     "BccAudit" + head("01000011", "Multi slot map", "00001001", "09") +
                         L("00000010", "V5.2 048 kbit/s link Identifier:02") + S("V5Ts:FFFFFFFE,Spare field ill")},
                    {"multi slot map of the wrong length ends",
                     0x26,
                     {0x43, 0x08, 0, 0, 0, 0, 0, 0, 0, 0},
                     "BccAudit" + head("01000011", "Multi slot map", "00001000", "08")},
                });
}

TEST(V5Bcc, CauseElements) {
  expectGoldens(
      decodeV5Bcc,
      {
          {"reject cause with more octets",
           0x22,
           {0x44, 0x03, 0x83, 0x11, 0x22, 0x46, 0x01, 0x04, 0x45, 0x01, 0x0F},
           "BccAllocationReject" + head("01000100", "Reject cause", "00000011", "03") +
               L("-0000011", "Connection already present at the PSTN user port to a different V5 time slot") +
               L("1-------", "Spare field ok") + head("01000110", "Connection incomplete", "00000001", "01") +
               L("-0000100", "Invalid V5.2 2048 kbit/s link identification") + L("0-------", "Continued") +
               head("01000101", "Protocol error cause", "00000001", "01") +
               L("-0001111", "BCC Reference Number coding error") + L("0-------", "Spare field ill")},
          {"reject cause longer than 12 ends",
           0x22,
           {0x44, 0x0D},
           "BccAllocationReject" + head("01000100", "Reject cause", "00001101", "0D")},
          {"reject cause texts at the ends of the table",
           0x22,
           {0x44, 0x01, 0x90, 0x44, 0x01, 0x91, 0x44, 0x01, 0x8D},
           "BccAllocationReject" + head("01000100", "Reject cause", "00000001", "01") +
               L("-0010000", "V5 link unavailable (blocked)") + L("1-------", "Spare field ok") +
               head("01000100", "Reject cause", "00000001", "01") + L("-0010001", "Reserved") +
               L("1-------", "Spare field ok") + head("01000100", "Reject cause", "00000001", "01") +
               L("-0001101", "Invalid V5.2 048 kbit/s link identification") + L("1-------", "Spare field ok")},
          {"connection incomplete goes on whatever bit 7 is",
           0x28,
           {0x46, 0x01, 0x85, 0x46, 0x03, 0x06, 0, 0, 0x47},
           "BccAnFault" + head("01000110", "Connection incomplete", "00000001", "01") +
               L("-0000101", "Time slot being used as physical C-channel") + L("1-------", "Not Continued") +
               head("01000110", "Connection incomplete", "00000011", "03") + L("-0000110", "Reserved") +
               L("0-------", "Continued") + L("01000111", "Reserved")},
          {"unknown message type", 0x2B, {0x44, 0x01, 0x80}, "Unknown"},
          {"protocol error message",
           0x2A,
           {0x45, 0x02, 0x8B, 0x00},
           "BccProtocolError" + head("01000101", "Protocol error cause", "00000010", "02") +
               L("-0001011", "Message not compatible with the BCC protocol state") + L("1-------", "Spare field ok")},
      });
}

// ---- protection ----

TEST(V5Protection, ElementsAndStopRules) {
  expectGoldens(decodeV5Protection,
                {
                    {"switch-over request",
                     0x18,
                     {0x50, 0x01, 0x85, 0x51, 0x02, 0x03, 0x10, 0x52, 0x01, 0x04},
                     "PrtSwitchoverReq" + head("01010000", "Sequence number", "00000001", "01") +
                         L("-0000101", "No:05") + L("1-------", "Not Continued") +
                         head("01010001", "Physical C-channel identification", "00000010", "02") +
                         L("00000011", "V5.2 048 kbit/s link Identifier:03") + L("---10000", "V5 Time Slot Number:10") +
                         L("000-----", "Spare field ok") + head("01010010", "Rejection cause", "00000001", "01") +
                         L("-0000100", "Protection group mismatch") + L("0-------", "Spare field ok")},
                    {"rejection cause with bit 7 set ends",
                     0x1C,
                     {0x52, 0x01, 0x86, 0x50, 0x01, 0x85},
                     "PrtSwitchoverRej" + head("01010010", "Rejection cause", "00000001", "01") +
                         L("-0000110", "Target physical C-channel already has logical C-channel") +
                         L("1-------", "Spare field ill")},
                    {"sequence number with extension 0 ends",
                     0x1E,
                     {0x50, 0x01, 0x05, 0x50, 0x01, 0x85},
                     "PrtResetSnCom" + head("01010000", "Sequence number", "00000001", "01") + L("-0000101", "No:05") +
                         L("0-------", "Continued")},
                    {"physical c-channel with spare bits set ends",
                     0x19,
                     {0x51, 0x02, 0x03, 0x30, 0x50, 0x01, 0x85},
                     "PrtSwitchoverComm" + head("01010001", "Physical C-channel identification", "00000010", "02") +
                         L("00000011", "V5.2 048 kbit/s link Identifier:03") + L("---10000", "V5 Time Slot Number:10") +
                         L("001-----", "Spare field ill")},
                    {"protocol error goes on either way",
                     0x1D,
                     {0x53, 0x03, 0x0B, 1, 2, 0x53, 0x01, 0x8F, 0x53, 0x01, 0x82},
                     "PrtProtocolError" + head("01010011", "Protocol error cause", "00000011", "03") +
                         L("-0001011", "Message not compatible with protection protocol state") +
                         L("0-------", "Continued") + head("01010011", "Protocol error cause", "00000001", "01") +
                         L("-0001111", "Logical C-Channel identification error") + L("1-------", "Not Continued") +
                         head("01010011", "Protocol error cause", "00000001", "01") + L("-0000010", "Reserved") +
                         L("1-------", "Not Continued")},
                    {"unknown message type decodes its elements",
                     0x17,
                     {0x50, 0x01, 0x85, 0x54},
                     "Reserved" + head("01010000", "Sequence number", "00000001", "01") + L("-0000101", "No:05") +
                         L("1-------", "Not Continued") + L("01010100", "Reserved")},
                });
}

// ---- link control ----

TEST(V5LinkControl, FunctionElementByLength) {
  // clang-format off
  struct Case { const char* what; uint8_t type; std::vector<uint8_t> elements; int32_t datl; std::string expected; };
  // clang-format on
  const Case cases[] = {
      {"link unblock",
       0x30,
       {0x30, 0x01, 0x84},
       -1,
       "LinkControl" + L("00110000", "Link control function") + L("00000001", "Parameter length:01") +
           L("-0000100", "FE301/302 (link unblock)") + L("1-------", "Not Continued")},
      {"acknowledge, extension 0",
       0x31,
       {0x30, 0x01, 0x07},
       -1,
       "LinkControlAck" + L("00110000", "Link control function") + L("00000001", "Parameter length:01") +
           L("-0000111", "FE306 (non-deferred link block request)") + L("0-------", "Continued")},
      {"function 9 is reserved, no extension line",
       0x30,
       {0x30, 0x01, 0x89},
       -1,
       "LinkControl" + L("00110000", "Link control function") + L("00000001", "Parameter length:01") +
           L("-0001001", "Reserved")},
      {"other identifier still shows the length",
       0x30,
       {0x31, 0x01, 0x80},
       -1,
       "LinkControl" + L("00110001", "") + L("00000001", "Parameter length:01") + L("-0000000", "FE-IDReq") +
           L("1-------", "Not Continued")},
      {"length 2 stops after the length line",
       0x30,
       {0x30, 0x02, 0x80, 0x00},
       -1,
       "LinkControl" + L("00110000", "Link control function") + L("00000010", "Parameter length:02")},
      {"datl 12 stops after the length line",
       0x30,
       {0x30, 0x01, 0x80},
       12,
       "LinkControl" + L("00110000", "Link control function") + L("00000001", "Parameter length:01")},
      {"datl 11 shows the identifier only",
       0x30,
       {0x30, 0x01, 0x80},
       11,
       "LinkControl" + L("00110000", "Link control function")},
      {"datl 10 shows the name only", 0x30, {0x30, 0x01, 0x80}, 10, "LinkControl"},
      {"unknown message type", 0x32, {0x30, 0x01, 0x80}, -1, "Unknown"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decodeBody(decodeV5LinkControl, c.type, c.elements, c.datl), c.expected) << c.what;
  }
}

// ---- element loop and bounded reads ----

TEST(V5ElementLoop, StopsAtDatlButShowsContentBeyondIt) {
  // datl 13 covers the identifier, length and one content octet of a
  // two-octet element: the element is shown whole, then the loop ends.
  EXPECT_EQ(decodeBody(decodeV5Bcc, 0x20, {0x40, 0x02, 0x03, 0x45, 0x41, 0x01, 0x85}, 13),
            "BccAllocation" + head("01000000", "User port identification", "00000010", "02") +
                S("User Port Identification Value PSTNa:0145"));
  // Elements at or after datl are not decoded.
  EXPECT_EQ(decodeBody(decodeV5Pstn, 0x0D, {0x95, 0x96, 0x97}, 11), "PstnStatus" + L("10010101", "Pstn FSM State:AN5"));
}

TEST(V5ElementLoop, ElementNeedingOctetsBeyondTheMessageAreaEndsTheLoop) {
  // 84 one-octet elements fill bytes 10-93; a steady signal at 94 would need
  // its content octet at 96.
  std::vector<uint8_t> elements(84, 0x95);
  elements.push_back(0x03);
  elements.push_back(0x01);
  std::string expected = "PstnStatus";
  for (int i = 0; i < 84; ++i) expected += L("10010101", "Pstn FSM State:AN5");
  EXPECT_EQ(decodeBody(decodeV5Pstn, 0x0D, elements, 96),
            expected + head("00000011", "Steady signal", "00000001", "01"));
  // An identifier in the last byte has no length octet.
  elements.pop_back();
  elements.pop_back();
  elements.push_back(0x95);
  elements.push_back(0x03);
  EXPECT_EQ(decodeBody(decodeV5Pstn, 0x0D, elements, 96),
            expected + L("10010101", "Pstn FSM State:AN5") + L("00000011", "Steady signal"));
}

TEST(V5ElementLoop, LongInterfaceIdBeyondTheMessageAreaShowsNoGroups) {
  std::vector<uint8_t> elements = {0x23, 0xF0};
  elements.resize(86, 0x11);
  EXPECT_EQ(decodeBody(decodeV5Control, 0x12, elements, 96),
            "CommonControl" + head("00100011", "Interface ID", "11110000", "F0"));
}

TEST(V5ElementLoop, DecodeElementReturnsTheNextIndexOrTheEndValue) {
  DecodeContext ctx(recordOf(0xFD27, messageOf(0x02, {0x03, 0x01, 0x84, 0x95, 0x77})), DecodeOptions{});
  EXPECT_EQ(decodeV5Element(ctx, V5Protocol::Pstn, 10), 13u);
  EXPECT_EQ(decodeV5Element(ctx, V5Protocol::Pstn, 13), 14u);
  EXPECT_EQ(decodeV5Element(ctx, V5Protocol::Pstn, 14), kV5EndOfElements);
  EXPECT_EQ(decodeV5Element(ctx, V5Protocol::Control, 96), kV5EndOfElements);
  EXPECT_EQ(decodeV5Element(ctx, V5Protocol::Bcc, size_t(-2)), kV5EndOfElements);
}

TEST(V5SignalText, PulsedFirstThenSteadyThenReserved) {
  EXPECT_EQ(v5SignalText(0x04), "Off hook (loop closed)");
  EXPECT_EQ(v5SignalText(0x77), "50Hz pulse");
  EXPECT_EQ(v5SignalText(0x1B), "Reserved");
  EXPECT_EQ(v5SignalText(0x6A), "Reserved");
}

// ---- whole records through the envelope ----

TEST(V5Records, WholePstnRecordShowsEnvelopeMessageAndHexDump) {
  MonitorRecord r = recordOf(0xFD27, messageOf(0x02, {0x03, 0x01, 0x84}));
  const std::string text = visible(decodeMonitorRecord(r));
  EXPECT_EQ(text, test::kHeader + "RCV V5.2An " + "|                 Port:1FF0 C/R:0 PSTN signalling" +
                      "|                 Port:0000 C/R:0 P/F=0 INFO  NR=00 NS=00" +
                      "|                 Ptcl:48   C/R:0 PSTNa:0001   Spare field ok  PstnSignal" +
                      head("00000011", "Steady signal", "00000001", "01") + L("-0000100", "Off hook (loop closed)") +
                      L("1-------", "Not Continued") + "|        Hex Dump FC E1 00 01 00 00 48 01 01 02 03 01 84 ");
}

TEST(V5Records, EachEnvelopeAddressReachesItsProtocol) {
  // clang-format off
  struct Case { uint8_t b1; uint8_t type; std::vector<uint8_t> elements; const char* expect; } cases[] = {
      // clang-format on
      {0xE3, 0x10, {0x20, 0x01, 0x91}, "PortControl"},
      {0xE5, 0x20, {0x40, 0x02, 0x03, 0x45}, "BccAllocation"},
      {0xE7, 0x1B, {0x50, 0x01, 0x85}, "PrtSwitchoverAck"},
      {0xE9, 0x31, {0x30, 0x01, 0x84}, "LinkControlAck"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = messageOf(c.type, c.elements);
    bytes[1] = c.b1;
    const std::string text = visible(decodeMonitorRecord(recordOf(0xFC26, bytes)));
    EXPECT_NE(text.find(std::string("Spare field ok") + "  " + c.expect), std::string::npos) << text;
    EXPECT_NE(text.find("|        Hex Dump FC "), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace lumarc
