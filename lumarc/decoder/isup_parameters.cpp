// ISUP parameter decoders (Q.763 parameter codes and field layouts): one
// function per parameter or family, each showing its fields on field lines
// and telling the message decoder whether to go on.
#include "lumarc/decoder/bearer_tables.h"
#include "lumarc/decoder/fields.h"
#include "lumarc/decoder/q931.h"
#include "lumarc/decoder/ss7.h"

#include "common/format.h"

#include <array>
#include <span>
#include <string>
#include <utility>

namespace lumarc {

namespace {

using bearer_tables::kConfiguration;
using bearer_tables::kDataBits;
using bearer_tables::kEstablishment;
using bearer_tables::kHighLayer;
using bearer_tables::kIntermediateRate;
using bearer_tables::kLayer1;
using bearer_tables::kLayer2;
using bearer_tables::kLayer3;
using bearer_tables::kLocation;
using bearer_tables::kModemType;
using bearer_tables::kParity;
using bearer_tables::kStopBits;
using bearer_tables::kStructure;
using bearer_tables::kSymmetry;
using bearer_tables::kTransferCapability;
using bearer_tables::kTransferMode;
using bearer_tables::kTransferRate;
using bearer_tables::kUserRate;
using bearer_tables::kUserUserProtocol;
using corvane::dec3;
using corvane::hex2;
using corvane::hex4;
using corvane::hex6;

// One parameter being decoded: its content octets first..first+len-1.
struct P {
  DecodeContext& ctx;
  uint8_t code;
  size_t first;
  size_t len;
  // Content octet n (1-based).
  uint8_t o(size_t n) const { return ctx.at(first + n - 1); }
  size_t last() const { return first + len - 1; }
};

void spare(DecodeContext& ctx, uint8_t o, int hi, int lo) { field(ctx, o, {hi, lo}, "Spare"); }
void reserved(DecodeContext& ctx, uint8_t o, int hi, int lo) { field(ctx, o, {hi, lo}, "Reserved"); }
void lastOctet(DecodeContext& ctx, uint8_t o) { flag(ctx, o, 7, "", "Last octet", "Octet continues to next octet"); }
void continued(DecodeContext& ctx, uint8_t o) { flag(ctx, o, 7, "", "Not Continued", "Continued"); }

// ---- shared value fields ----

constexpr auto kEndToEnd = numbered("No end-to-end method available", "Pass-along method available",
                                    "SCCP method available", "Pass-along and SCCP methods available");
constexpr auto kSccpMethod =
    numbered("No indication", "Connectionless method available", "Connection oriented method available",
             "Connectionless and Connection oriented methods available");
constexpr auto kPresentation = numbered("Presentation allowed", "Presentation restricted", "Address not available",
                                        "Reserved for restriction by network");
constexpr auto kScreening = numbered("User provided, not verified", "User provided, verified and passed",
                                     "User provided, verified and failed", "Network provided");

void endToEnd(DecodeContext& ctx, uint8_t o, int lo) {
  field(ctx, o, {lo + 1, lo}, "End-to-end method indicator:", kEndToEnd, "");
}
void sccpMethod(DecodeContext& ctx, uint8_t o, int lo) {
  field(ctx, o, {lo + 1, lo}, "SCCP method indicator:", kSccpMethod, "");
}
void interworking(DecodeContext& ctx, uint8_t o, int bit) {
  flag(ctx, o, bit, "Interworking indicator:", "Interworking encountered", "No interworking encountered");
}
void endToEndInfo(DecodeContext& ctx, uint8_t o, int bit) {
  flag(ctx, o, bit, "End-to-end information indicator:", "End-to-end information available",
       "No end-to-end information available");
}
void isdnUserPart(DecodeContext& ctx, uint8_t o, int bit) {
  flag(ctx, o, bit, "ISDN user part indicator:", "ISDN user part used all the way",
       "ISDN user part not used all the way");
}
void presentation(DecodeContext& ctx, uint8_t o) {
  field(ctx, o, {3, 2}, "Address presentation restricted indicator:", kPresentation, "");
}
void screening(DecodeContext& ctx, uint8_t o) { field(ctx, o, {1, 0}, "Screening indicator:", kScreening, ""); }
bool odd(uint8_t o) { return (o & 0x80) != 0; }

// ---- ISDN tables shared with call control (bearer capability etc.) ----

constexpr auto kIsdnCoding =
    numbered("ITU-T standardized coding", "Reserved", "National standard", "Standard specific to location");

// Characters of octets first..last on continuation lines (51 per line).
void characters(DecodeContext& ctx, size_t first, size_t last) {
  ctx.newLineCont();
  ctx.charRow(first, last);
}

// ---- numbers ----

// Called party number (0x04) and redirection number (0x0C).
bool calledNumber(P& p) {
  const uint8_t o1 = p.o(1), o2 = p.o(2);
  isupNatureOfAddress(p.ctx, o1);
  isupOddEven(p.ctx, o1);
  spare(p.ctx, o2, 3, 0);
  if (o2 & 0x0F) return false;
  isupNumberingPlan(p.ctx, o2);
  flag(p.ctx, o2, 7, "Internal network number indicator:", "Routing to internal network number not allowed",
       "Routing to internal network number allowed");
  if (p.len > 2) isupDigits(p.ctx, p.first + 2, p.last(), odd(o1));
  return true;
}

bool subsequentNumber(P& p) {
  const uint8_t o1 = p.o(1);
  spare(p.ctx, o1, 6, 0);
  isupOddEven(p.ctx, o1);
  isupDigits(p.ctx, p.first + 1, p.last(), odd(o1));
  return true;
}

// Second octet of the calling party number family (bit 7 by code).
void callingSecondOctet(DecodeContext& ctx, uint8_t code, uint8_t o2) {
  screening(ctx, o2);
  presentation(ctx, o2);
  isupNumberingPlan(ctx, o2);
  if (code == 0x21)
    spare(ctx, o2, 7, 7);
  else if (code == 0x3F)
    flag(ctx, o2, 7, "International network number indicator:", "Routing to international number not allowed",
         "Routing to international number allowed");
  else
    flag(ctx, o2, 7, "Number incomplete indicator:", "Incomplete", "Complete");
}

// Calling party number (0x0A), connected number (0x21), location number (0x3F).
bool callingNumber(P& p) {
  const uint8_t o1 = p.o(1);
  isupNatureOfAddress(p.ctx, o1);
  isupOddEven(p.ctx, o1);
  callingSecondOctet(p.ctx, p.code, p.o(2));
  if (p.len > 2) isupDigits(p.ctx, p.first + 2, p.last(), odd(o1));
  return true;
}

// Redirecting number (0x0B), original called number (0x28), call transfer
// number (0x45), called IN number (0x6F), original called IN number (0x7F).
bool redirectingNumber(P& p) {
  const uint8_t o1 = p.o(1), o2 = p.o(2);
  isupNatureOfAddress(p.ctx, o1);
  isupOddEven(p.ctx, o1);
  spare(p.ctx, o2, 1, 0);
  presentation(p.ctx, o2);
  isupNumberingPlan(p.ctx, o2);
  spare(p.ctx, o2, 7, 7);
  isupDigits(p.ctx, p.first + 2, p.last(), odd(o1));
  return true;
}

// Called directory number (0x7D), HTR information (0x82).
bool directoryNumber(P& p) {
  const uint8_t o1 = p.o(1), o2 = p.o(2);
  isupNatureOfAddress(p.ctx, o1);
  isupOddEven(p.ctx, o1);
  spare(p.ctx, o2, 3, 0);
  isupNumberingPlan(p.ctx, o2);
  spare(p.ctx, o2, 7, 7);
  isupDigits(p.ctx, p.first + 2, p.last(), odd(o1));
  return true;
}

bool networkRoutingNumber(P& p) {
  const uint8_t o1 = p.o(1);
  constexpr CodeText kFormat[] = {{1, "Network routing number in national number format"},
                                  {2, "Network routing number in network specific number format"}};
  field(p.ctx, o1, {3, 0}, "", kFormat, "Spare");
  isupNumberingPlan(p.ctx, o1);
  isupOddEven(p.ctx, o1);
  isupDigits(p.ctx, p.first + 1, p.last(), odd(o1));
  return true;
}

bool genericNumber(P& p) {
  constexpr CodeText kQualifier[] = {
      {0, "Reserved (Dialled digits)"},
      {1, "Additional called number"},
      {2, "Reserved (Supplementesl user provided calling number-failed network screening)"},
      {3, "Reserved (Supplementesl user provided calling number-not screened)"},
      {4, "Reserved (Redirecting terminating number)"},
      {5, "Additional connected number"},
      {6, "Additional calling party number"},
      {7, "Reserved for additional original called number"},
      {8, "Reserved for additional redirecting number"},
      {9, "Reserved for additional redirected number"},
      {10, "Reserved (Used in 1992 version)"},
      {0xFF, "Reserved for expansion"}};
  const uint8_t o1 = p.o(1), o2 = p.o(2);
  p.ctx.bitsLine(o1);
  p.ctx.append("Number qualifier");
  p.ctx.append(lookup(kQualifier, o1, "Spare"));
  isupNatureOfAddress(p.ctx, o2);
  isupOddEven(p.ctx, o2);
  callingSecondOctet(p.ctx, 0x0A, p.o(3));
  if (p.len > 3) isupDigits(p.ctx, p.first + 3, p.last(), odd(o2));
  return true;
}

bool genericDigits(P& p) {
  const uint8_t o1 = p.o(1);
  constexpr CodeText kType[] = {{0, "Reserved for acciunt code"},
                                {1, "Reserved for authorization code"},
                                {2, "Reserved for private networking travelling class mark"},
                                {3, "Reserved for business communication group identity"},
                                {0x1F, "Reserved for extension"}};
  constexpr auto kEncoding = numbered("BCD even", "BCD odd", "IA5 character", "Binary coded");
  field(p.ctx, o1, {4, 0}, "", kType, "Reserved for national use");
  constexpr Bits kEncodingBits{7, 5};
  const unsigned enc = kEncodingBits.of(o1);
  field(p.ctx, o1, kEncodingBits, "", kEncoding, "Spare");
  switch (enc) {
    case 0:
    case 1: isupDigits(p.ctx, p.first + 1, p.last(), enc == 1); break;
    case 2:
      if (p.len > 1) characters(p.ctx, p.first + 1, p.last());
      break;
    case 3:
      for (size_t i = 1; i < p.len; ++i) {
        if ((i - 1) % 26 == 0) p.ctx.newLineCont();
        p.ctx.append(hex2(p.o(i + 1)));
        p.ctx.append(' ');
      }
      break;
    default: break;
  }
  return true;
}

bool transitNetwork(P& p) {
  const uint8_t o1 = p.o(1);
  constexpr CodeText kPlan[] = {{0, "Unknown"},
                                {3, "Public data identification code DNIC (X.121)"},
                                {6, "Public land mobile network identification code MNIC (E.212)"}};
  constexpr CodeText kType[] = {{0, "ITU-T standardized identification"}, {2, "National network identification"}};
  field(p.ctx, o1, {3, 0}, "Network identification plan:", kPlan, "Spare");
  field(p.ctx, o1, {6, 4}, "Type of network identification:", kType, "Spare");
  isupOddEven(p.ctx, o1);
  isupDigits(p.ctx, p.first + 1, p.last(), odd(o1));
  return true;
}

// Forward GVNS: OPSP, GUG and TNRN, each behind its length octet.
bool forwardGvns(P& p) {
  size_t pos = 1;  // 1-based octet of the next length octet
  const char* captions[2] = {"OPSP length:", "GUG length:"};
  for (const char* caption : captions) {
    if (pos > p.len) return true;
    const uint8_t o = p.o(pos);
    const size_t n = o & 0x0F;
    field(p.ctx, o, {3, 0}, caption, hex2(uint8_t(n)));
    spare(p.ctx, o, 6, 4);
    isupOddEven(p.ctx, o);
    const size_t end = pos + n < p.len ? pos + n : p.len;
    if (n > 0) isupDigits(p.ctx, p.first + pos, p.first + end - 1, odd(o));
    pos += n + 1;
  }
  if (pos > p.len) return true;
  const uint8_t o = p.o(pos);
  const size_t n = o & 0x0F;
  field(p.ctx, o, {3, 0}, "TNRN length:", hex2(uint8_t(n)));
  isupNumberingPlan(p.ctx, o);
  isupOddEven(p.ctx, o);
  if (n == 0 || pos + 1 > p.len) return true;
  isupNatureOfAddress(p.ctx, p.o(pos + 1));
  const size_t end = pos + n < p.len ? pos + n : p.len;
  if (n > 1) isupDigits(p.ctx, p.first + pos + 1, p.first + end - 1, odd(o));
  return true;
}

// ---- indicators of the call set-up messages ----

bool natureOfConnection(P& p) {
  const uint8_t o = p.o(1);
  constexpr auto kSatellite =
      numbered("No satellite circuit in the connection", "One satellite circuit in the connection",
               "Two satellite circuit in the connection", "Spare");
  constexpr auto kContinuity = numbered("Continuity check not required", "Continuity check required on this circuit",
                                        "Continuity check performed on a previous circuit", "Spare");
  field(p.ctx, o, {1, 0}, "Satellite indicator:", kSatellite, "");
  if ((o & 0x03) == 3) return false;
  field(p.ctx, o, {3, 2}, "Continuity check indicator:", kContinuity, "");
  flag(p.ctx, o, 4, "Echo control device indicator:", "Outgoing echo control device included",
       "Outgoing echo control device not included");
  field(p.ctx, o, {7, 5}, "Spare", o >= 32 ? ",Spare bits invalid" : "");
  return true;
}

bool forwardCallIndicators(P& p) {
  const uint8_t o1 = p.o(1), o2 = p.o(2);
  constexpr auto kPreference = numbered("ISDN user part preferred all the way", "ISDN user part not required the way",
                                        "ISDN user part required the way", "Spare");
  flag(p.ctx, o1, 0, "National/International call indicator:", "Call to be treated as an international call",
       "Call to be treated as a national call");
  endToEnd(p.ctx, o1, 1);
  interworking(p.ctx, o1, 3);
  endToEndInfo(p.ctx, o1, 4);
  isdnUserPart(p.ctx, o1, 5);
  field(p.ctx, o1, {7, 6}, "ISDN user part preference indicator:", kPreference, "");
  flag(p.ctx, o2, 0, "ISDN access indicator:", "originating access ISDN", "originating access non ISDN");
  sccpMethod(p.ctx, o2, 1);
  spare(p.ctx, o2, 3, 3);
  reserved(p.ctx, o2, 7, 4);
  return true;
}

bool callingPartyCategory(P& p) {
  const uint8_t o = p.o(1);
  constexpr CodeText kCategory[] = {{0, "Unknown at this time"},
                                    {1, "Operator, language French"},
                                    {2, "Operator, language English"},
                                    {3, "Operator, language German"},
                                    {4, "Operator, language Russian"},
                                    {5, "Operator, language Spanish"},
                                    {6, "Available to administrators"},
                                    {7, "Available to administrators"},
                                    {8, "Available to administrators"},
                                    {9, "Reserved"},
                                    {0x0A, "Ordinary calling subscriber"},
                                    {0x0B, "Calling subscriber with priority"},
                                    {0x0C, "Voice band data"},
                                    {0x0D, "Test call"},
                                    {0x0E, "Spare"},
                                    {0x0F, "Payphone"}};
  p.ctx.bitsLine(o);
  p.ctx.append(lookup(kCategory, o, "Spare"));
  return true;
}

// Transmission medium requirement (0x02), its prime (0x3E) and the medium
// used (0x35): the value first, the length check afterwards.
bool transmissionMedium(P& p) {
  constexpr CodeText kMedium[] = {{0, "Speech"},
                                  {1, "Spare"},
                                  {2, "Unrestricted Digital Information"},
                                  {3, "3.1 kHz audio"},
                                  {4, "Reserved"},
                                  {5, "Reserved"},
                                  {6, "64 kbit/s preferred"},
                                  {7, "2x64 kbit/s unrstricted"},
                                  {8, "384 kbit/s"},
                                  {9, "1536 kbit/s"},
                                  {10, "1920 kbit/s"},
                                  {0x10, "3x64 kbit/s unrstricted"},
                                  {0x11, "4x64 kbit/s unrstricted"},
                                  {0x12, "5x64 kbit/s unrstricted"},
                                  {0x14, "7x64 kbit/s unrstricted"},
                                  {0x15, "8x64 kbit/s unrstricted"},
                                  {0x16, "9x64 kbit/s unrstricted"},
                                  {0x17, "10x64 kbit/s unrstricted"},
                                  {0x18, "11x64 kbit/s unrstricted"},
                                  {0x19, "12x64 kbit/s unrstricted"},
                                  {0x1A, "13x64 kbit/s unrstricted"},
                                  {0x1B, "14x64 kbit/s unrstricted"},
                                  {0x1C, "15x64 kbit/s unrstricted"},
                                  {0x1D, "16x64 kbit/s unrstricted"},
                                  {0x1E, "17x64 kbit/s unrstricted"},
                                  {0x1F, "18x64 kbit/s unrstricted"},
                                  {0x20, "19x64 kbit/s unrstricted"},
                                  {0x21, "20x64 kbit/s unrstricted"},
                                  {0x22, "21x64 kbit/s unrstricted"},
                                  {0x23, "22x64 kbit/s unrstricted"},
                                  {0x24, "23x64 kbit/s unrstricted"},
                                  {0x26, "25x64 kbit/s unrstricted"},
                                  {0x27, "26x64 kbit/s unrstricted"},
                                  {0x28, "27x64 kbit/s unrstricted"},
                                  {0x29, "28x64 kbit/s unrstricted"},
                                  {0x2A, "29x64 kbit/s unrstricted"}};
  const uint8_t o = p.o(1);
  p.ctx.bitsLine(o);
  p.ctx.append(lookup(kMedium, o, "Spare"));
  return p.len == 1;
}

bool informationRequestIndicators(P& p) {
  const uint8_t o1 = p.o(1), o2 = p.o(2);
  flag(p.ctx, o1, 0, "", "Calling party address requested", "Calling party address not requested");
  flag(p.ctx, o1, 1, "", "Holding requested", "Holding not requested");
  spare(p.ctx, o1, 2, 2);
  flag(p.ctx, o1, 3, "", "Calling party's category requested", "Calling party's category not requested");
  flag(p.ctx, o1, 4, "", "Charge information requested", "Charge information not requested");
  spare(p.ctx, o1, 6, 5);
  flag(p.ctx, o1, 7, "", "Malicious call identification requested", "Malicious call identification not requested");
  spare(p.ctx, o2, 3, 0);
  reserved(p.ctx, o2, 7, 4);
  return true;
}

bool informationIndicators(P& p) {
  const uint8_t o1 = p.o(1), o2 = p.o(2);
  constexpr auto kResponse = numbered("Not icluded", "Not available", "Spare", "Included");
  field(p.ctx, o1, {1, 0}, "Calling party address response indicator:", kResponse, "");
  flag(p.ctx, o1, 2, "", "Hold provided", "Hold not provided");
  spare(p.ctx, o1, 4, 3);
  flag(p.ctx, o1, 5, "", "Calling party's category included", "Calling party's category not included");
  flag(p.ctx, o1, 6, "", "Charge information included", "Charge information not included");
  flag(p.ctx, o1, 7, "", "Unsolicited", "Solicited");
  spare(p.ctx, o2, 3, 0);
  reserved(p.ctx, o2, 7, 4);
  return true;
}

bool backwardCallIndicators(P& p) {
  const uint8_t o1 = p.o(1), o2 = p.o(2);
  constexpr auto kCharge = numbered("No indication", "No charge", "Charge", "Spare");
  constexpr auto kStatus = numbered("No indication", "Subscriber free", "Connect when free", "Spare");
  constexpr auto kCategory = numbered("No indication", "Ordinary subscriber", "Payphone", "Spare");
  field(p.ctx, o1, {1, 0}, "Charge indicator:", kCharge, "");
  field(p.ctx, o1, {3, 2}, "Called party's status indicator:", kStatus, "");
  field(p.ctx, o1, {5, 4}, "Called party's category indicator:", kCategory, "");
  endToEnd(p.ctx, o1, 6);
  interworking(p.ctx, o2, 0);
  endToEndInfo(p.ctx, o2, 1);
  isdnUserPart(p.ctx, o2, 2);
  flag(p.ctx, o2, 3, "Holding indicator:", "Holding requested", "Holding not requested");
  flag(p.ctx, o2, 4, "ISDN access indicator:", "Terminating access ISDN", "Terminating access non-ISDN");
  flag(p.ctx, o2, 5, "Echo control device indicator:", "Incoming echo control device included",
       "Incoming echo control device not included");
  sccpMethod(p.ctx, o2, 6);
  return true;
}

bool causeIndicators(P& p) {
  constexpr auto kCoding = numbered("ITU-T standardized coding", "ISO standard", "National standard",
                                    "Standard specific to identified location");
  constexpr auto kPrefix = numbered("", "ISO ", "National ", "Specific ");
  const uint8_t o1 = p.o(1);
  constexpr Bits kCodingBits{6, 5};
  const unsigned coding = kCodingBits.of(o1);
  field(p.ctx, o1, {3, 0}, "Location:", kLocation, "Spare");
  spare(p.ctx, o1, 4, 4);
  field(p.ctx, o1, kCodingBits, "Coding standard:", kCoding, "");
  lastOctet(p.ctx, o1);
  size_t n = 2;
  if (!(o1 & 0x80) && p.len != 2) {
    const uint8_t o1a = p.o(2);
    field(p.ctx, o1a, {6, 0}, "Recommendation:", (o1a & 0x7F) == 0 ? "Rec. Q.763" : "");
    lastOctet(p.ctx, o1a);
    n = 3;
  }
  const uint8_t c = p.o(n);
  const uint8_t value = c & 0x7F;
  if (coding == 0)
    field(p.ctx, c, {6, 0}, "Cause value:", causeText(value));
  else
    field(p.ctx, c, {6, 0}, "Cause value:", std::string(lookup(kPrefix, coding, "")) + dec3(value));
  lastOctet(p.ctx, c);
  return true;
}

bool redirectionInformation(P& p) {
  const uint8_t o1 = p.o(1), o2 = p.o(2);
  constexpr auto kIndicator =
      numbered("No redirection", "Call rerouted", "Call rerouted, all redirection information presentation restricted",
               "Call diverted", "Call diverted, all redirection information presentation restricted",
               "Call rerouted, redirection number presentation restricted",
               "Call diversion, redirection number presentation restricted", "Spare");
  constexpr auto kOriginalReason = numbered("Unknown/not available", "User busy", "No reply", "Unconditional");
  constexpr auto kReason =
      numbered("Unknown/not available", "User busy", "No reply", "Unconditional", "Deflection during alerting",
               "Deflection immediate response", "Mobile subscriber not reachable");
  field(p.ctx, o1, {2, 0}, "Redirecting indicator:", kIndicator, "");
  spare(p.ctx, o1, 3, 3);
  field(p.ctx, o1, {7, 4}, "Original redirection reason:", kOriginalReason, "Spare");
  fieldHex(p.ctx, o2, {2, 0}, "Redirection counter:");
  reserved(p.ctx, o2, 3, 3);
  field(p.ctx, o2, {7, 4}, "Redirecting reason:", kReason, "Spare");
  return true;
}

// ---- circuit supervision ----

bool rangeAndStatus(P& p) {
  p.ctx.bitsLine(p.o(1));
  p.ctx.append("Range:");
  p.ctx.append(hex2(p.o(1)));
  p.ctx.bitsLine(p.o(2));
  p.ctx.append("Status");
  return true;
}

bool facilityIndicator(P& p) {
  const uint8_t o = p.o(1);
  p.ctx.bitsLine(o);
  p.ctx.append(o == 2 ? "User-to-user service" : "Spare");
  return true;
}

bool groupAssignmentMap(P& p) {
  const uint8_t o = p.o(1);
  constexpr CodeText kMap[] = {{1, "1544 kbit/s digital path map"}, {2, "2048 kbit/s digital path map"}};
  field(p.ctx, o, {5, 0}, "Map type:", kMap, "Spare");
  spare(p.ctx, o, 7, 6);
  p.ctx.newLineStars();
  for (size_t n = 2; n <= 5; ++n) {
    const uint8_t m = p.o(n);
    for (int b = 7; b >= 0; --b) p.ctx.append(((m >> b) & 1) ? '1' : '0');
  }
  return true;
}

bool circuitStateIndicators(P& p) {
  constexpr auto kBlocking =
      numbered("No blocking (active)", "Locally blocked", "Remotely blocked", "Locally and remotely blocked");
  constexpr auto kCallState = numbered("", "Circuit incoming busy", "Circuit outgoing busy", "Idle");
  constexpr auto kTransient = numbered("Transient", "Spare", "Spare", "Unequipped");
  for (size_t n = 1; n <= p.len; ++n) {
    const uint8_t o = p.o(n);
    if (Bits{3, 2}.of(o) != 0) {
      field(p.ctx, o, {1, 0}, "Maintenance blocking state:", kBlocking, "");
      field(p.ctx, o, {3, 2}, "Call processing state:", kCallState, "");
      field(p.ctx, o, {5, 4}, "Hardware blocking state:", kBlocking, "");
      spare(p.ctx, o, 7, 6);
    } else {
      field(p.ctx, o, {1, 0}, "Maintenance blocking state:", kTransient, "");
      spare(p.ctx, o, 7, 2);
    }
  }
  return true;
}

bool congestionLevel(P& p) {
  const uint8_t o = p.o(1);
  constexpr CodeText kLevel[] = {{1, "Congestion level 1 exceeded"}, {2, "Congestion level 2 exceeded"}};
  p.ctx.bitsLine(o);
  p.ctx.append(lookup(kLevel, o, "Spare"));
  return true;
}

// ---- references and point codes ----

void pointCode(DecodeContext& ctx, uint8_t lo, uint8_t hi) {
  ctx.newLineStars();
  ctx.append("Point code:");
  ctx.append(hex4(uint16_t((lo | (hi << 8)) & 0x3FFF)));
  spare(ctx, hi, 7, 6);
}

bool callReference(P& p) {
  p.ctx.newLineStars();
  p.ctx.append("Call identity:");
  p.ctx.append(hex6(uint32_t(p.o(1)) << 16 | uint32_t(p.o(2)) << 8 | p.o(3)));
  pointCode(p.ctx, p.o(4), p.o(5));
  return true;
}

bool connectionRequest(P& p) {
  p.ctx.newLineStars();
  p.ctx.append("Local reference:");
  p.ctx.append(hex6(uint32_t(p.o(1)) | uint32_t(p.o(2)) << 8 | uint32_t(p.o(3)) << 16));
  pointCode(p.ctx, p.o(4), p.o(5));
  p.ctx.bitsLine(p.o(6));
  p.ctx.append("Protocol class:");
  p.ctx.append(hex2(p.o(6)));
  p.ctx.bitsLine(p.o(7));
  p.ctx.append("Credit:");
  p.ctx.append(hex2(p.o(7)));
  return true;
}

bool signallingPointCode(P& p) {
  pointCode(p.ctx, p.o(1), p.o(2));
  return true;
}

bool closedUserGroup(P& p) {
  p.ctx.newLineStars();
  p.ctx.append("Network identity:");
  p.ctx.append(hex4(uint16_t(p.o(1) << 8 | p.o(2))));
  p.ctx.newLineStars();
  p.ctx.append("Binary code:");
  p.ctx.append(hex4(uint16_t(p.o(3) << 8 | p.o(4))));
  return true;
}

bool delayCounter(P& p) {
  p.ctx.newLineStars();
  p.ctx.append("Delay:");
  p.ctx.append(hex4(uint16_t(p.o(1) << 8 | p.o(2))));
  return true;
}

bool callTransferReference(P& p) {
  p.ctx.bitsLine(p.o(1));
  p.ctx.append("Call transfer identity:");
  p.ctx.append(hex2(p.o(1)));
  return true;
}

// ---- bearer service: user service information (0x1D, 0x30) ----

bool userServiceInformation(P& p) {
  DecodeContext& ctx = p.ctx;
  size_t n = 1;
  auto more = [&] { return n <= p.len; };
  auto next = [&] { return p.o(n++); };
  // o1: coding standard and information transfer capability.
  uint8_t o = next();
  field(ctx, o, {4, 0}, "", kTransferCapability, "Reserved");
  field(ctx, o, {6, 5}, "", kIsdnCoding, "");
  lastOctet(ctx, o);
  if (!(o & 0x80) || !more()) return true;
  // o2: transfer mode and rate; octets 4a and 4b while continued.
  o = next();
  field(ctx, o, {4, 0}, "", kTransferRate, "Reserved");
  field(ctx, o, {6, 5}, "", kTransferMode, "Reserved");
  continued(ctx, o);
  if (!(o & 0x80)) {
    if (!more()) return true;
    o = next();
    field(ctx, o, {1, 0}, "", kEstablishment, "Reserved");
    field(ctx, o, {3, 2}, "", kConfiguration, "Reserved");
    field(ctx, o, {6, 4}, "", kStructure, "Reserved");
    continued(ctx, o);
    if (!(o & 0x80)) {
      if (!more()) return true;
      o = next();
      field(ctx, o, {4, 0}, "", kTransferRate, "Reserved");
      field(ctx, o, {6, 5}, "", kSymmetry, "Reserved");
      continued(ctx, o);
      if (!(o & 0x80)) return true;
    }
  }
  // Octet 5 and its extensions 5a-5d.
  if (!more()) return true;
  o = next();
  field(ctx, o, {4, 0}, "", kLayer1, "Reserved");
  constexpr Bits kLayerId{6, 5};
  if (kLayerId.of(o) != 1) {
    field(ctx, o, kLayerId, "", "Layer 1 identifier ill");
    return true;
  }
  field(ctx, o, kLayerId, "", "Layer 1 identifier ok");
  continued(ctx, o);
  if (!(o & 0x80) && more()) {
    o = next();  // 5a
    field(ctx, o, {4, 0}, "", kUserRate, "Reserved");
    flag(ctx, o, 5, "", "In band negotiation possible", "In band negotiation not possible");
    flag(ctx, o, 6, "", "Asynchronous", "Synchronous");
    continued(ctx, o);
    if (!(o & 0x80) && more()) {
      o = next();  // 5b
      flag(ctx, o, 0, "", "Spare field ill", "Spare field ok");
      flag(ctx, o, 1, "", "Flow control on Rx accepted", "Flow control on Rx not accepted");
      flag(ctx, o, 2, "", "Flow control on Tx required", "Flow control on Tx not required");
      flag(ctx, o, 3, "", "Nic on Rx accepted", "Nic on Rx not accepted");
      flag(ctx, o, 4, "", "Nic on Tx required", "Nic on Tx not required");
      field(ctx, o, {6, 5}, "", kIntermediateRate, "");
      continued(ctx, o);
      if (!(o & 0x80) && more()) {
        o = next();  // 5c
        field(ctx, o, {2, 0}, "", kParity, "Parity reserved");
        field(ctx, o, {4, 3}, "", kDataBits, "");
        field(ctx, o, {6, 5}, "", kStopBits, "");
        continued(ctx, o);
        if (!(o & 0x80) && more()) {
          o = next();  // 5d
          field(ctx, o, {5, 0}, "", kModemType, "Reserved");
          flag(ctx, o, 6, "", "Full duplex", "Half duplex");
          continued(ctx, o);
          if (!(o & 0x80)) return true;
        }
      }
    }
  }
  // Octet 6: layer 2.
  if (!more()) return true;
  o = next();
  field(ctx, o, {4, 0}, "", kLayer2, "Reserved");
  if (kLayerId.of(o) != 2) {
    field(ctx, o, kLayerId, "", "Layer 2 identifier ill");
    return true;
  }
  field(ctx, o, kLayerId, "", "Layer 2 identifier ok");
  continued(ctx, o);
  if (!(o & 0x80) || !more()) return true;
  // Octet 7: layer 3.
  o = next();
  field(ctx, o, {4, 0}, "", kLayer3, "Reserved");
  field(ctx, o, kLayerId, "", kLayerId.of(o) == 3 ? "Layer 3 identifier ok" : "Layer 3 identifier ill");
  continued(ctx, o);
  return true;
}

bool userTeleservice(P& p) {
  const uint8_t o1 = p.o(1);
  field(p.ctx, o1, {1, 0}, "Presentation:", (o1 & 0x03) == 1 ? "High layer protocol profile" : "Reserved");
  field(p.ctx, o1, {4, 2}, "Interpretation:", "First high layer characteristics");
  field(p.ctx, o1, {6, 5}, "Standard:", kIsdnCoding, "");
  continued(p.ctx, o1);
  if (!(o1 & 0x80) || p.len < 2) return true;
  const uint8_t o2 = p.o(2);
  field(p.ctx, o2, {6, 0}, "High layer characteristics:", kHighLayer, "Reserved");
  continued(p.ctx, o2);
  if (!(o2 & 0x80) && p.len >= 3) {
    const uint8_t o3 = p.o(3);
    field(p.ctx, o3, {6, 0}, "Extended high layer characteristics:", kHighLayer, "Reserved");
  }
  return true;
}

// ---- access transport and user-to-user ----

bool accessTransport(P& p) {
  if (p.len == 0) return true;
  CodeSetState codeSets;
  const size_t last = p.last();
  size_t i = p.first;
  while (i <= last) {
    p.ctx.bareBreak();
    // After a locking shift away from code set 0 the elements are not ours
    // to read: an empty line ends the list.
    if (codeSets.current != 0) break;
    const size_t next = decodeInformationElement(p.ctx, i, last, codeSets);
    if (next == kEndOfElements || next <= i) break;
    i = next;
  }
  return true;
}

bool userToUserInformation(P& p) {
  const uint8_t o = p.o(1);
  p.ctx.fieldLine(o, 7, 0);
  p.ctx.append("Protocol discriminator,");
  p.ctx.append(lookup(kUserUserProtocol, o, "Reserved"));
  if ((o == 0x00 || o == 0x04) && p.len > 1) characters(p.ctx, p.first + 1, p.last());
  return true;
}

bool displayInformation(P& p) {
  characters(p.ctx, p.first, p.last());
  return true;
}

bool userToUserIndicators(P& p) {
  const uint8_t o = p.o(1);
  constexpr auto kResponse = numbered("No information", "Not provided", "Provided", "Spare");
  constexpr auto kRequest = numbered("No information", "Spare", "Request, not essential", "Request, essential");
  const bool response = o & 0x01;
  const auto& texts = response ? kResponse : kRequest;
  field(p.ctx, o, {0, 0}, response ? "Response" : "Request");
  field(p.ctx, o, {2, 1}, "Service 1:", texts, "");
  field(p.ctx, o, {4, 3}, "Service 2:", texts, "");
  field(p.ctx, o, {6, 5}, "Service 3:", texts, "");
  if (response)
    flag(p.ctx, o, 7, "", "Information discarded by the network", "No information");
  else
    spare(p.ctx, o, 7, 7);
  return true;
}

// ---- one-octet indicator families ----

bool genericNotification(P& p) {
  constexpr CodeText kNotification[] = {{0x00, "User suspended"},
                                        {0x01, "User resumed"},
                                        {0x02, "Bearer service change"},
                                        {0x03, "Discriminator for extension to ASN.1 encoded component"},
                                        {0x04, "Call completion delay"},
                                        {0x42, "Conference established"},
                                        {0x43, "Conference disconnected"},
                                        {0x44, "Other party added"},
                                        {0x45, "Isolated"},
                                        {0x46, "Reattached"},
                                        {0x47, "Other party isolated"},
                                        {0x48, "Other party reattached"},
                                        {0x49, "Other party split"},
                                        {0x4A, "Other party disconnected"},
                                        {0x4B, "Conference floating"},
                                        {0x60, "Call is a waiting call"},
                                        {0x68, "Diversion activated"},
                                        {0x69, "Call transfer, alerting"},
                                        {0x6A, "Call transfer, active"},
                                        {0x79, "Remote hold"},
                                        {0x7A, "Remote retrieval"},
                                        {0x7B, "call is diverting"}};
  for (size_t n = 1; n <= p.len; ++n) {
    const uint8_t o = p.o(n);
    field(p.ctx, o, {6, 0}, "", kNotification, "Reserved");
    continued(p.ctx, o);
  }
  return true;
}

bool parameterCompatibility(P& p) {
  constexpr auto kPassOn =
      numbered("Release call", "Discard message", "Discard parameter", "Reserved (interpret as 00)");
  constexpr auto kInterworking = numbered("Pass on", "Discard message", "Release call", "Discard parameter");
  size_t n = 1;
  while (p.len >= n + 1) {
    const uint8_t code = p.o(n), ins = p.o(n + 1);
    p.ctx.bitsLine(code);
    p.ctx.append("Upgraded parameter:");
    p.ctx.append(isupParameterName(code));
    flag(p.ctx, ins, 0, "", "End node interpretation", "Transit interpretation");
    flag(p.ctx, ins, 1, "", "Release call", "Do not release call");
    flag(p.ctx, ins, 2, "", "Send notification", "Do not send notification");
    flag(p.ctx, ins, 3, "", "Discard message", "Do not discard message (pass on)");
    flag(p.ctx, ins, 4, "", "Discard parameter", "Do not discard parameter (pass on)");
    field(p.ctx, ins, {6, 5}, "Pass on not possible:", kPassOn, "");
    continued(p.ctx, ins);
    n += 2;
    if (!(ins & 0x80) && n <= p.len) {
      const uint8_t second = p.o(n++);
      field(p.ctx, second, {1, 0}, "Broadband/narrow band interworking:", kInterworking, "");
      spare(p.ctx, second, 6, 2);
      continued(p.ctx, second);
      if (!(second & 0x80) && n <= p.len) ++n;
    }
  }
  return true;
}

bool mlppPrecedence(P& p) {
  const uint8_t o = p.o(1);
  constexpr auto kLevel = numbered("Flash override", "Flash", "Immediate", "priority", "Routine");
  constexpr auto kLookAhead = numbered("LFB allowed", "Path preserved", "LFB not allowed", "Spare");
  field(p.ctx, o, {3, 0}, "Precedence level:", kLevel, "Spare");
  spare(p.ctx, o, 4, 4);
  field(p.ctx, o, {6, 5}, "Look ahead for busy:", kLookAhead, "");
  spare(p.ctx, o, 7, 7);
  p.ctx.newLineStars();
  p.ctx.append("Network identity:");
  p.ctx.append(hex4(uint16_t(p.o(2) << 8 | p.o(3))));
  p.ctx.newLineStars();
  p.ctx.append("MLPP service domain:");
  p.ctx.append(hex6(uint32_t(p.o(4)) << 16 | uint32_t(p.o(5)) << 8 | p.o(6)));
  return true;
}

bool loopPrevention(P& p) {
  const uint8_t o = p.o(1);
  constexpr auto kResponse = numbered("Insufficient information", "No loop exists", "Simultaneous transfer", "Spare");
  if (o & 0x01) {
    field(p.ctx, o, {0, 0}, "Response");
    field(p.ctx, o, {2, 1}, "Response indicator:", kResponse, "");
    spare(p.ctx, o, 7, 3);
  } else {
    field(p.ctx, o, {0, 0}, "Request");
    spare(p.ctx, o, 7, 1);
  }
  return true;
}

bool lengthOnly(P&) { return true; }

bool applicationTransport(P& p) {
  constexpr CodeText kContext[] = {{0, "Unidentified context and error handling"},
                                   {1, "PSS1 ASE (VPN)"},
                                   {2, "Spare"},
                                   {3, "Charging ASE"},
                                   {4, "GAT"}};
  const uint8_t o1 = p.o(1);
  field(p.ctx, o1, {6, 0}, "Application context identifier", kContext, "Spare");
  continued(p.ctx, o1);
  if (p.len < 2) return true;
  const uint8_t o2 = p.o(2);
  flag(p.ctx, o2, 0, "Application transport instruction indicators:", "Release call", "Do not release call");
  flag(p.ctx, o2, 1, "", "Send notification", "Do not send notification");
  spare(p.ctx, o2, 6, 2);
  continued(p.ctx, o2);
  if (p.len < 3) return true;
  const uint8_t o3 = p.o(3);
  const uint8_t segments = o3 & 0x3F;
  if (segments == 0)
    field(p.ctx, o3, {5, 0}, "Final segment");
  else if (segments <= 9)
    field(p.ctx, o3, {5, 0}, "Number of following segments", hex2(segments));
  else
    field(p.ctx, o3, {5, 0}, "Spare");
  flag(p.ctx, o3, 6, "Sequence indicator:", "New sequence", "Subsequent segment to first segment");
  continued(p.ctx, o3);
  if (p.len < 4) return true;
  const uint8_t o4 = p.o(4);
  fieldHex(p.ctx, o4, {6, 0}, "Segmentation local reference:");
  continued(p.ctx, o4);
  return true;
}

// ---- one-octet parameters: their fields in one table ----

constexpr auto kCug =
    numbered("non CUG call", "Spare", "CUG call, outgoing access allowed", "CUG call, outgoing access not allowed");
constexpr auto kGroupSupervision = numbered("Maintenance oriented", "Hardware failure oriented", "Reserved", "Spare");
constexpr CodeText kEvent[] = {{1, "Alerting"},
                               {2, "Progress"},
                               {3, "Inband information is now available"},
                               {4, "Call forwarded on busy"},
                               {5, "Call forwarded on no reply"},
                               {6, "Call forwarded unconditional"}};
constexpr auto kNotificationOptions =
    numbered("Unknown", "Presentation not allowed", "Presentation allowed with redirection number",
             "Presentation allowed without redirection number");
constexpr auto kDiversionReason =
    numbered("Unknown", "User busy", "no reply", "Unconditional", "Deflection during alerting",
             "Deflection immediate response", "Mobile subscriber not reachable");
constexpr auto kEchoInfo =
    numbered("No information", "Not included, not available", "Included", "Not included but available");
constexpr auto kEchoRequest = numbered("No information", "Activation request", "Deactivation request", "Spare");
constexpr auto kMessageInterworking = numbered("Pass on", "Discard message", "Release call", "Reserved, assume 00");
constexpr auto kRestriction = numbered("Presentation allowed", "Presentation restricted");
constexpr auto kTerminatingAccess =
    numbered("No information", "Dedicated terminating access", "Switched terminating access", "Spare");
constexpr auto kRedirectPossible =
    numbered("Nor used", "Possible before ACM", "Possible before ANM", "Possible any time during the call");
constexpr auto kDiversionTreatment =
    numbered("No indication", "Call diversion allowed", "Call diversion not allowed", "Spare");
constexpr auto kOfferingTreatment =
    numbered("No indication", "Call offering not allowed", "Call offering allowed", "Spare");
constexpr auto kConferenceTreatment =
    numbered("No indication", "Accept conference request", "Reject conference request", "Spare");
constexpr auto kPivotPossible = numbered("No indication", "Routing possible before ACM", "Routing possible before ANM",
                                         "Routing possible any time during the call");
constexpr auto kPivotRouting = numbered("No indication", "Pivot request", "Cancel pivot request",
                                        "Pivot request failure", "Interworking to redirection prohibited (backward)");
constexpr auto kPivotStatus =
    numbered("Not used", "Acknowledgement of pivot routing", "Pivot routing will not be invoked", "Spare");
constexpr auto kRedirectStatus =
    numbered("Not used", "Acknowledgement of redirection", "Redirection will not be invoked", "Spare");
constexpr auto kPortability = numbered("No indication", "Querry not done for called number",
                                       "Querry done for called number, non-ported called subscriber",
                                       "Querry done for called number, ported called subscriber");

// One field of a one-octet parameter: its bits, caption and the text of its
// value: from table (one when the table has no entry), else one or zero by
// the field's value, or with hex its value as two hexadecimal digits.
struct OctetField {
  uint8_t code;
  Bits bits;
  std::string_view caption;
  std::span<const CodeText> table;
  std::string_view one;
  std::string_view zero;
  bool hex = false;
};

constexpr OctetField value(uint8_t code, Bits b, std::string_view caption, std::span<const CodeText> table,
                           std::string_view otherwise) {
  return {code, b, caption, table, otherwise, {}};
}
constexpr OctetField flagOf(uint8_t code, int b, std::string_view caption, std::string_view one,
                            std::string_view zero) {
  return {code, bit(b), caption, {}, one, zero};
}
constexpr OctetField hexOf(uint8_t code, Bits b, std::string_view caption) {
  return {code, b, caption, {}, {}, {}, true};
}
constexpr OctetField spareOf(uint8_t code, int hi, int lo) { return {code, {hi, lo}, "Spare", {}, {}, {}}; }
constexpr OctetField lastOctetOf(uint8_t code) {
  return flagOf(code, 7, "", "Last octet", "Octet continues to next octet");
}
constexpr OctetField continuedOf(uint8_t code) { return flagOf(code, 7, "", "Not Continued", "Continued"); }

constexpr std::string_view kSegmentation = "Additional information will be sent in a segmentation message";
constexpr std::string_view kNoSegmentation = "No additional information will be sent";

// The fields of each one-octet parameter in the order they are shown; the
// rows of one code stand together.
// clang-format off
constexpr OctetField kOctetFields[] = {
    value(0x08, {1, 0}, "", kCug, ""),
    flagOf(0x08, 2, "", kSegmentation, kNoSegmentation),
    spareOf(0x08, 6, 3),
    flagOf(0x08, 7, "", "Connected line identity requested", "Connected line identity not requested"),

    flagOf(0x10, 0, "", "Continuity check successful", "Continuity check failed"),
    spareOf(0x10, 7, 1),

    value(0x15, {1, 0}, "Parameter:", kGroupSupervision, ""),
    spareOf(0x15, 7, 2),

    flagOf(0x22, 0, "", "Network initiated", "ISDN subscriber initiated"),
    spareOf(0x22, 7, 1),

    value(0x24, {6, 0}, "Event indicator:", kEvent, "Spare"),
    flagOf(0x24, 7, "Event presentation restricted indicator:", "Presentation restricted", "No indication"),

    flagOf(0x29, 0, "", "In-band information or an appropriate pattern is now available", "No in-band information indication"),
    flagOf(0x29, 1, "", "Call diversion may occur", "No call diversion indication"),
    flagOf(0x29, 2, "", kSegmentation, kNoSegmentation),
    flagOf(0x29, 3, "", "MLPP user", "No MLPP indication"),
    spareOf(0x29, 7, 4),

    flagOf(0x2E, 0, "", "no sfet-up message generated", "Set-up message generated"),
    spareOf(0x2E, 7, 1),

    value(0x36, {2, 0}, "Notification subscription options:", kNotificationOptions, "Spare"),
    value(0x36, {6, 3}, "Redirecting reason:", kDiversionReason, "Spare"),
    spareOf(0x36, 7, 7),

    value(0x37, {1, 0}, "Outgoing echo control device information:", kEchoInfo, ""),
    value(0x37, {3, 2}, "Incoming echo control device information:", kEchoInfo, ""),
    value(0x37, {5, 4}, "Outgoing echo control device request:", kEchoRequest, ""),
    value(0x37, {7, 6}, "Incoming echo control device request:", kEchoRequest, ""),

    flagOf(0x38, 0, "Transit at intermediate exchange indicator:", "End node interpretation", "Transit interpretation"),
    flagOf(0x38, 1, "Release call indicator:", "Release call", "Do not release call"),
    flagOf(0x38, 2, "Send notification indicator:", "Send notification", "Do not send notification"),
    flagOf(0x38, 3, "Discard message indicator:", "Discard message", "Do not discard mesage"),
    flagOf(0x38, 4, "Pass on not possible indicator:", "Discard information", "Release call"),
    value(0x38, {6, 5}, "Broadband/narrowband interworking indicator:", kMessageInterworking, ""),
    continuedOf(0x38),

    flagOf(0x3B, 0, "", "MCID requested", "MCID not requested"),
    flagOf(0x3B, 1, "", "Holding requested", "Holding not requested"),
    spareOf(0x3B, 7, 2),

    flagOf(0x3C, 0, "", "MCID included", "MCID not included"),
    flagOf(0x3C, 1, "", "Holding provided", "Holding not provided"),
    spareOf(0x3C, 7, 2),

    hexOf(0x3D, {4, 0}, ""),
    spareOf(0x3D, 7, 5),

    value(0x40, {1, 0}, "", kRestriction, "Spare"),
    spareOf(0x40, 7, 2),

    flagOf(0x4B, 0, "", "CCSS call", "No indication"),
    spareOf(0x4B, 7, 1),

    value(0x4D, {1, 0}, "Terminating access indicator:", kTerminatingAccess, ""),
    spareOf(0x4D, 6, 2),
    continuedOf(0x4D),

    value(0x4E, {2, 0}, "Redirect possible indicator:", kRedirectPossible, "Spare"),
    spareOf(0x4E, 6, 3),
    lastOctetOf(0x4E),

    flagOf(0x5B, 0, "Temporary alternative routing indicator", "TAR controlled call", "No indication"),
    spareOf(0x5B, 6, 1),
    lastOctetOf(0x5B),

    value(0x6E, {1, 0}, "Call to be diverted indicator:", kDiversionTreatment, ""),
    spareOf(0x6E, 6, 2),
    continuedOf(0x6E),

    value(0x70, {1, 0}, "Call to be offered indicator:", kOfferingTreatment, ""),
    spareOf(0x70, 6, 2),
    continuedOf(0x70),

    value(0x72, {1, 0}, "Conference acceptance indicator:", kConferenceTreatment, ""),
    spareOf(0x72, 6, 2),
    continuedOf(0x72),

    flagOf(0x74, 0, "Through-connection instruction:", "Through-connect in both directions", "No indication"),
    flagOf(0x74, 1, "T9 timer instruction:", "Stop or do not start T9 timer", "No indication"),
    spareOf(0x74, 6, 2),
    lastOctetOf(0x74),

    flagOf(0x75, 0, "Through-connection indicator:", "Through-connect modification possible", "No indication"),
    flagOf(0x75, 1, "T9 timer indicator:", "Stopping of T9 timer possible", "No indication"),
    spareOf(0x75, 6, 2),
    lastOctetOf(0x75),

    hexOf(0x77, {4, 0}, "Value:"),
    spareOf(0x77, 7, 5),

    flagOf(0x79, 0, "", "Collect call requested", "No indicatiom"),
    spareOf(0x79, 7, 1),

    flagOf(0x7A, 0, "", "CCNR possible", "CCNR not possible"),

    value(0x7B, {2, 0}, "Pivot possible indication:", kPivotPossible, "Spare"),
    spareOf(0x7B, 5, 3),
    flagOf(0x7B, 6, "Interworking to redirection indicator:", "not alowed (forward)", "Alowed (forward)"),
    lastOctetOf(0x7B),

    value(0x7C, {6, 0}, "Pivot possible indication:", kPivotRouting, "Spare"),
    lastOctetOf(0x7C),

    flagOf(0x85, 0, "", "QoR support", "No indication"),
    spareOf(0x85, 6, 1),
    lastOctetOf(0x85),

    value(0x86, {1, 0}, "", kPivotStatus, ""),
    spareOf(0x86, 6, 2),
    lastOctetOf(0x86),

    hexOf(0x87, {4, 0}, "Value:"),
    spareOf(0x87, 7, 5),

    value(0x8A, {1, 0}, "", kRedirectStatus, ""),
    spareOf(0x8A, 6, 2),
    lastOctetOf(0x8A),

    value(0x8D, {3, 0}, "Number portability status indication:", kPortability, "Spare"),
    spareOf(0x8D, 6, 4),
    lastOctetOf(0x8D),
};
// clang-format on

// The rows of kOctetFields for code (empty for a parameter of its own
// decoder).
std::span<const OctetField> octetFieldsOf(uint8_t code) {
  static const std::array<std::span<const OctetField>, 256> byCode = [] {
    std::array<std::span<const OctetField>, 256> t{};
    const std::span<const OctetField> all(kOctetFields);
    for (size_t i = 0; i < all.size();) {
      size_t n = 1;
      while (i + n < all.size() && all[i + n].code == all[i].code) ++n;
      t[all[i].code] = all.subspan(i, n);
      i += n;
    }
    return t;
  }();
  return byCode[code];
}

// A one-octet parameter of kOctetFields: each of its fields on a field line.
bool oneOctet(P& p) {
  const uint8_t o = p.o(1);
  for (const OctetField& f : octetFieldsOf(p.code)) {
    if (f.hex)
      fieldHex(p.ctx, o, f.bits, f.caption);
    else if (!f.table.empty())
      field(p.ctx, o, f.bits, f.caption, f.table, f.one);
    else
      field(p.ctx, o, f.bits, f.caption, f.bits.of(o) ? f.one : f.zero);
  }
  return true;
}

// ---- catalogue ----

enum class Check : uint8_t { None, Exact, AtLeast, ExactAfter };

// goesOn: a failed check lets the optional part go on (the listed codes,
// and the codes without a length rule of their own, which need 1 octet).
struct Entry {
  uint8_t code;
  Check check;
  uint8_t size;  // length of the check; also the size as a mandatory fixed parameter
  bool goesOn;
  bool (*decode)(P&);
};

constexpr Entry kCatalogue[] = {
    {0x01, Check::Exact, 5, false, callReference},
    {0x02, Check::ExactAfter, 1, false, transmissionMedium},
    {0x03, Check::None, 0, false, accessTransport},
    {0x04, Check::AtLeast, 2, false, calledNumber},
    {0x05, Check::AtLeast, 2, false, subsequentNumber},
    {0x06, Check::Exact, 1, false, natureOfConnection},
    {0x07, Check::Exact, 2, false, forwardCallIndicators},
    {0x08, Check::Exact, 1, true, oneOctet},
    {0x09, Check::Exact, 1, false, callingPartyCategory},
    {0x0A, Check::AtLeast, 2, false, callingNumber},
    {0x0B, Check::AtLeast, 2, false, redirectingNumber},
    {0x0C, Check::AtLeast, 2, false, calledNumber},
    {0x0D, Check::Exact, 7, false, connectionRequest},
    {0x0E, Check::Exact, 2, false, informationRequestIndicators},
    {0x0F, Check::Exact, 2, false, informationIndicators},
    {0x10, Check::Exact, 1, false, oneOctet},
    {0x11, Check::AtLeast, 2, false, backwardCallIndicators},
    {0x12, Check::AtLeast, 2, false, causeIndicators},
    {0x13, Check::Exact, 2, false, redirectionInformation},
    {0x15, Check::Exact, 1, false, oneOctet},
    {0x16, Check::AtLeast, 2, false, rangeAndStatus},
    {0x18, Check::Exact, 1, false, facilityIndicator},
    {0x1A, Check::Exact, 4, true, closedUserGroup},
    {0x1D, Check::AtLeast, 1, true, userServiceInformation},
    {0x1E, Check::Exact, 2, true, signallingPointCode},
    {0x20, Check::AtLeast, 1, false, userToUserInformation},
    {0x21, Check::AtLeast, 2, false, callingNumber},
    {0x22, Check::Exact, 1, false, oneOctet},
    {0x23, Check::AtLeast, 2, true, transitNetwork},
    {0x24, Check::Exact, 1, false, oneOctet},
    {0x25, Check::Exact, 5, true, groupAssignmentMap},
    {0x26, Check::AtLeast, 1, false, circuitStateIndicators},
    {0x27, Check::Exact, 1, false, congestionLevel},
    {0x28, Check::AtLeast, 2, false, redirectingNumber},
    {0x29, Check::Exact, 1, true, oneOctet},
    {0x2A, Check::Exact, 1, false, userToUserIndicators},
    {0x2B, Check::Exact, 2, true, signallingPointCode},
    {0x2C, Check::AtLeast, 1, true, genericNotification},
    {0x2D, Check::Exact, 2, false, delayCounter},
    {0x2E, Check::Exact, 1, true, oneOctet},
    {0x30, Check::AtLeast, 1, true, userServiceInformation},
    {0x31, Check::Exact, 2, true, delayCounter},
    {0x34, Check::AtLeast, 1, true, userTeleservice},
    {0x35, Check::ExactAfter, 1, false, transmissionMedium},
    {0x36, Check::AtLeast, 1, true, oneOctet},
    {0x37, Check::Exact, 1, false, oneOctet},
    {0x38, Check::AtLeast, 1, false, oneOctet},
    {0x39, Check::AtLeast, 2, false, parameterCompatibility},
    {0x3A, Check::Exact, 6, true, mlppPrecedence},
    {0x3B, Check::Exact, 1, false, oneOctet},
    {0x3C, Check::Exact, 1, false, oneOctet},
    {0x3D, Check::Exact, 1, true, oneOctet},
    {0x3E, Check::ExactAfter, 1, false, transmissionMedium},
    {0x3F, Check::AtLeast, 2, false, callingNumber},
    {0x40, Check::AtLeast, 1, true, oneOctet},
    {0x43, Check::AtLeast, 1, true, callTransferReference},
    {0x44, Check::Exact, 1, false, loopPrevention},
    {0x45, Check::AtLeast, 2, false, redirectingNumber},
    {0x4B, Check::AtLeast, 1, true, oneOctet},
    {0x4C, Check::AtLeast, 6, true, forwardGvns},
    {0x4D, Check::AtLeast, 1, true, oneOctet},
    {0x4E, Check::Exact, 1, false, oneOctet},
    {0x5B, Check::Exact, 1, false, oneOctet},
    {0x6E, Check::AtLeast, 1, true, oneOctet},
    {0x6F, Check::AtLeast, 2, false, redirectingNumber},
    {0x70, Check::AtLeast, 1, true, oneOctet},
    {0x71, Check::AtLeast, 1, true, lengthOnly},
    {0x72, Check::AtLeast, 1, true, oneOctet},
    {0x73, Check::AtLeast, 1, false, displayInformation},
    {0x74, Check::Exact, 1, false, oneOctet},
    {0x75, Check::AtLeast, 1, true, oneOctet},
    {0x77, Check::Exact, 1, false, oneOctet},
    {0x78, Check::AtLeast, 1, true, applicationTransport},
    {0x79, Check::Exact, 1, false, oneOctet},
    {0x7A, Check::Exact, 1, true, oneOctet},
    {0x7B, Check::Exact, 1, false, oneOctet},
    {0x7C, Check::Exact, 1, false, oneOctet},
    {0x7D, Check::AtLeast, 2, false, directoryNumber},
    {0x7F, Check::AtLeast, 2, false, redirectingNumber},
    {0x82, Check::AtLeast, 2, false, directoryNumber},
    {0x84, Check::AtLeast, 1, false, networkRoutingNumber},
    {0x85, Check::Exact, 1, false, oneOctet},
    {0x86, Check::Exact, 1, false, oneOctet},
    {0x87, Check::Exact, 1, false, oneOctet},
    {0x8A, Check::Exact, 1, false, oneOctet},
    {0x8D, Check::Exact, 1, false, oneOctet},
    {0xC0, Check::AtLeast, 3, false, genericNumber},
    {0xC1, Check::AtLeast, 1, false, genericDigits},
};

// Catalogue entry by code (nullptr: no decoder of its own).
const Entry* findEntry(uint8_t code) {
  static const std::array<const Entry*, 256> byCode = [] {
    std::array<const Entry*, 256> t{};
    for (const Entry& e : kCatalogue) t[e.code] = &e;
    return t;
  }();
  return byCode[code];
}

// Length line of the length octet at index.
uint8_t lengthLine(DecodeContext& ctx, size_t index) {
  const uint8_t len = ctx.at(index);
  ctx.bitsLine(len);
  ctx.append("Parameter length:");
  ctx.append(hex2(len));
  return len;
}

}  // namespace

bool isupParameterHasDecoder(uint8_t code) { return findEntry(code) != nullptr; }

size_t decodeIsupParameter(DecodeContext& ctx, uint8_t code, size_t index, bool optional) {
  const Entry* e = findEntry(code);
  ctx.newLineCont();
  ctx.append(isupParameterName(code));
  if (!e) return 0;
  if (!optional) {
    // Mandatory fixed: the content lies in place, its size is the layout's.
    if (!ctx.needs(index + e->size - 1)) return 0;
    P p{ctx, code, index, e->size};
    return e->decode(p) ? e->size : 0;
  }
  const size_t len = lengthLine(ctx, index);
  // A parameter that runs past the message area ends the decode here.
  if (len > 0 && !ctx.needs(index + len)) return 0;
  const size_t consumed = len + 1;
  const size_t failed = e->goesOn ? consumed : 0;
  const bool exactOk = len == e->size;
  const bool atLeastOk = len >= e->size;
  if ((e->check == Check::Exact && !exactOk) || (e->check == Check::AtLeast && !atLeastOk)) return failed;
  P p{ctx, code, index + 1, len};
  if (e->check == Check::ExactAfter) {
    e->decode(p);
    return exactOk ? consumed : failed;
  }
  return e->decode(p) ? consumed : failed;
}

size_t decodeIsupRange(DecodeContext& ctx, size_t index) {
  ctx.newLineCont();
  ctx.append("Range");
  const size_t len = lengthLine(ctx, index);
  if (len != 1 || !ctx.needs(index + 1)) return 0;
  const uint8_t o = ctx.at(index + 1);
  ctx.bitsLine(o);
  ctx.append("Range:");
  ctx.append(hex2(o));
  return 2;
}

}  // namespace lumarc
