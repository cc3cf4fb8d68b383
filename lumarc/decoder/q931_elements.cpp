// Octet-by-octet decoders of the call-control information elements. Each
// octet shows on one line that joins its fields' texts; the fields are read
// through the bit ranges named below (bits 7..0 as in fields.h: Q.931's
// bit 8 is bit 7 here).
#include "lumarc/decoder/q931_elements.h"

#include "common/format.h"
#include "lumarc/decoder/bearer_tables.h"
#include "lumarc/decoder/fields.h"
#include "lumarc/decoder/q931.h"

#include <string>
#include <string_view>

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
using corvane::dec2;
using corvane::dec3;
using corvane::hex2;

// ---- fields ----
constexpr int kExtBit = 7;          // last octet of its group when set
constexpr Bits kCodingBits{6, 5};   // coding standard
constexpr Bits kLayerIdBits{6, 5};  // layer identifier of octets 5, 6 and 7
constexpr Bits kModeBits{6, 5};     // transfer mode; symmetry; intermediate rate; stop bits
constexpr Bits kLow5{4, 0};         // capability, rate, user rate, layer protocol
constexpr Bits kLow4{3, 0};         // location; numbering plan; channel type
constexpr Bits kLow7{6, 0};         // recommendation, cause, notification, progress
constexpr Bits kModemBits{5, 0};    // modem type
constexpr Bits kTypeOfNumberBits{6, 4};
constexpr Bits kStructureBits{6, 4};
constexpr Bits kConfigurationBits{3, 2};
constexpr Bits kLow2{1, 0};  // establishment; screening; channel selection; profile
constexpr Bits kDataBitsBits{4, 3};
constexpr Bits kParityBits{2, 0};
constexpr Bits kCallStateCoding{7, 6};
constexpr Bits kCallStateBits{5, 0};
constexpr Bits kInterpretationBits{4, 2};
constexpr Bits kPresentationSpare{4, 2};
constexpr Bits kReasonSpare{6, 4};

// The octet ends its group (its extension bit is set).
constexpr bool lastOfGroup(uint8_t o) { return isSet(o, kExtBit); }

std::string_view spare(bool ill) { return ill ? "Spare field ill" : "Spare field ok"; }

// ---- code tables ----
constexpr auto kCodingStandard =
    numbered("ITU-T standardized coding", "Reserved", "National standard", "Standard specific to location");
constexpr CodeText kTypeOfNumber[] = {{0, "Number type unknown"},   {1, "International number"},
                                      {2, "National number"},       {3, "Network specific number"},
                                      {4, "Subscriber number"},     {6, "Abbreviated number"},
                                      {7, "Reserved for extension"}};
constexpr CodeText kNumberingPlan[] = {{0, "Numbering plan unknown"},
                                       {1, "ISDN/Telephony numbering plan (CCITT E.164)"},
                                       {3, "Data numbering plan (CCITT X.121)"},
                                       {4, "Telex numbering plan (CCITT F.69)"},
                                       {8, "National standard numbering plan"},
                                       {9, "Private network or network-specific numbering plan"},
                                       {15, "Reserved for extension"}};
constexpr auto kPresentation =
    numbered("Presentation allowed", "Presentation restricted", "Number not available due to interWorking", "Reserved");
constexpr auto kScreening = numbered("User provided not screened", "User provided verified and passed",
                                     "User provided verified and failed", "Network provided");
constexpr CodeText kProgress[] = {{1, "Call is not end to end isdn"},
                                  {2, "Destination address is non ISDN"},
                                  {3, "Originating address is non ISDN"},
                                  {4, "Call has returned to the ISDN"},
                                  {8, "Inband information now available"}};
constexpr CodeText kNotification[] = {{0x00, "User suspended"},
                                      {0x01, "User resumed"},
                                      {0x02, "Bearer service change"},
                                      {0x42, "Conference established"},
                                      {0x43, "Conference disconnected"},
                                      {0x68, "Diversion activated"},
                                      {0x69, "Call transferred, alerting"},
                                      {0x6A, "Call transferred, active"},
                                      {0x79, "Remote hold"},
                                      {0x7A, "Remote retrieval"},
                                      {0x7B, "Call is diverting"}};
constexpr CodeText kCallState[] = {{0, "00 Null"},
                                   {1, "01 Call initiated"},
                                   {2, "02 Overlap sending"},
                                   {3, "03 Outgoing call proceeding"},
                                   {4, "04 Call delivered"},
                                   {6, "06 Call present"},
                                   {7, "07 Call received"},
                                   {8, "08 Connect request"},
                                   {9, "09 Incoming call proceeding"},
                                   {10, "10 Active"},
                                   {11, "11 Disconnect request"},
                                   {12, "12 Disconnect indication"},
                                   {15, "15 Suspend request"},
                                   {17, "17 Resume request"},
                                   {19, "19 Release request"},
                                   {22, "22 Call abort"},
                                   {25, "25 Overlap receiving"},
                                   {61, " REST 1 Restart request"},
                                   {62, " REST 2 Restart"}};
constexpr CodeText kRedirectionReason[] = {{0x80, "Reason of diversion unknown"},
                                           {0x81, "Call forwarding busy"},
                                           {0x82, "Call forwarding no reply"},
                                           {0x8A, "Call deflection"},
                                           {0x8F, "Call forwarding unconditional"}};
constexpr CodeText kRestartClass[] = {
    {0x80, "Indicated channel"}, {0x86, "Single interface"}, {0x87, "All interfaces"}};
constexpr CodeText kChannelType[] = {
    {3, "B channel units"}, {6, "H0 channel units"}, {8, "H11 channel units"}, {9, "H12 channel units"}};
constexpr CodeText kRecommendation[] = {{0, "Rec. Q.931"}, {3, "Rec. X.21"}, {4, "Rec. X.25"}};

std::string_view coding(uint8_t o) { return valueText(o, kCodingBits, kCodingStandard, ""); }
std::string location(uint8_t o) {
  return std::string(",location ") + std::string(valueText(o, kLow4, kLocation, "Spare"));
}

// Digits or characters of the rest of the element, after "Digits   ".
void digitRow(DecodeContext& ctx, ElementCursor& c) {
  ctx.newLineDigits();
  if (c.more()) ctx.charRow(c.pos(), c.end());
}

// "Info     " and the rest of the element as characters.
void infoRow(DecodeContext& ctx, ElementCursor& c) {
  ctx.newLine();
  ctx.append("Info     ");
  if (c.more()) ctx.charRow(c.pos(), c.end());
}

// Octet 5 group (layer 1) shared by bearer capability and low layer
// compatibility; false when decoding of the element stops.
bool layer1Octets(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return false;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  if (kLayerIdBits.of(o) != 1) {
    joinParts(ctx, {extText(o), "Layer 1 identifier ill"});
    return false;
  }
  joinParts(ctx, {extText(o), "Layer 1 identifier ok", valueText(o, kLow5, kLayer1, "Reserved")});
  if (lastOfGroup(o)) return true;
  // 5a
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), flagText(o, 6, "Asynchronous", "Synchronous"),
                  flagText(o, 5, "In band negotiation possible", "In band negotiation not possible"),
                  valueText(o, kLow5, kUserRate, "Reserved")});
  if (lastOfGroup(o)) return true;
  // 5b
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx,
            {extText(o), valueText(o, kModeBits, kIntermediateRate, ""),
             flagText(o, 4, "Nic on Tx required", "Nic on Tx not required"),
             flagText(o, 3, "Nic on Rx accepted", "Nic on Rx not accepted"),
             flagText(o, 2, "Flow control on Tx required", "Flow control on Tx not required"),
             flagText(o, 1, "Flow control on Rx accepted", "Flow control on Rx not accepted"), spare(isSet(o, 0))});
  if (lastOfGroup(o)) return true;
  // 5c
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), valueText(o, kModeBits, kStopBits, ""), valueText(o, kDataBitsBits, kDataBits, ""),
                  valueText(o, kParityBits, kParity, "Parity reserved")});
  if (lastOfGroup(o)) return true;
  // 5d
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return false;
  }
  joinParts(ctx, {"Not Continued", flagText(o, 6, "Full duplex", "Half duplex"),
                  valueText(o, kModemBits, kModemType, "Reserved")});
  return true;
}

// Octets 4, 4a and 4b; false when decoding of the element stops.
bool transferOctets(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return false;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), valueText(o, kModeBits, kTransferMode, "Reserved"),
                  valueText(o, kLow5, kTransferRate, "Reserved")});
  if (lastOfGroup(o)) return true;
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), valueText(o, kStructureBits, kStructure, "Reserved"),
                  valueText(o, kConfigurationBits, kConfiguration, "Reserved"),
                  valueText(o, kLow2, kEstablishment, "Reserved")});
  if (lastOfGroup(o)) return true;
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return false;
  }
  joinParts(ctx, {"Not Continued", valueText(o, kModeBits, kSymmetry, "Reserved"),
                  valueText(o, kLow5, kTransferRate, "Reserved")});
  return true;
}

void decodeBearerCapability(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  joinParts(ctx, {"Not Continued", coding(o), valueText(o, kLow5, kTransferCapability, "Reserved")});
  if (!transferOctets(ctx, c)) return;
  if (!c.more() || !layer1Octets(ctx, c)) return;
  // octet 6
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  if (kLayerIdBits.of(o) != 2) {
    joinParts(ctx, {"Not Continued", "Layer 2 identifier ill"});
    return;
  }
  joinParts(ctx, {"Not Continued", "Layer 2 identifier ok", valueText(o, kLow5, kLayer2, "Reserved")});
  // octet 7
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  if (kLayerIdBits.of(o) == 3)
    joinParts(ctx, {"Not Continued", "Layer 3 identifier ok", valueText(o, kLow5, kLayer3, "Reserved")});
  else
    joinParts(ctx, {"Not Continued", "Layer 3 identifier ill"});
}

// Octet 6a / 7a of the low layer compatibility.
bool optionalOctet(DecodeContext& ctx, ElementCursor& c, std::string_view text) {
  if (!c.more()) return false;
  const uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return false;
  }
  joinParts(ctx, {"Not Continued", text});
  return true;
}

void decodeLowLayerCompatibility(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), coding(o), valueText(o, kLow5, kTransferCapability, "Reserved")});
  if (!lastOfGroup(o)) {
    if (!optionalOctet(ctx, c, "Out-band negotiation possible")) return;
  }
  if (!transferOctets(ctx, c)) return;
  if (!c.more() || !layer1Octets(ctx, c)) return;
  // octet 6
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (kLayerIdBits.of(o) != 2) {
    joinParts(ctx, {extText(o), "Layer 2 identifier ill"});
    return;
  }
  joinParts(ctx, {extText(o), "Layer 2 identifier ok", valueText(o, kLow5, kLayer2, "Reserved")});
  if (!lastOfGroup(o) && !optionalOctet(ctx, c, ",L2 Optional information")) return;
  // octet 7
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (kLayerIdBits.of(o) != 3) {
    joinParts(ctx, {extText(o), "Layer 3 identifier ill"});
    return;
  }
  joinParts(ctx, {extText(o), "Layer 3 identifier ok", valueText(o, kLow5, kLayer3, "Reserved")});
  if (!lastOfGroup(o)) optionalOctet(ctx, c, ",L3 Optional information");
}

void decodeCause(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  uint8_t o = c.next();
  const unsigned codingStandard = kCodingBits.of(o);
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), coding(o), spare(isSet(o, 4)), location(o)});
  if (!lastOfGroup(o)) {
    if (!c.more()) return;
    o = c.next();
    ctx.bitsLine(o);
    if (!lastOfGroup(o)) {
      ctx.append("Continued");
      return;
    }
    joinParts(ctx, {"Not Continued", valueText(o, kLow7, kRecommendation, "Reserved")});
  }
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  const uint8_t cause = uint8_t(kLow7.of(o));
  if (codingStandard == 0) {
    joinParts(ctx, {"Not Continued", causeText(cause)});
  } else {
    static constexpr const char* kPrefix[4] = {"", "ISO ", "National ", "Specific "};
    joinParts(ctx, {"Not Continued", std::string(kPrefix[codingStandard]) + dec3(cause)});
  }
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  ctx.append("Diagnostics: ");
  if (codingStandard == 0 && (cause == 96 || cause == 99 || cause == 100)) ctx.append(elementName(o));
}

void decodeCallState(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  const uint8_t o = c.next();
  ctx.bitsLine(o);
  ctx.append(valueText(o, kCallStateCoding, kCodingStandard, ""));
  ctx.append(",Call state");
  ctx.append(valueText(o, kCallStateBits, kCallState, "Reserved"));
}

void decodeChannelIdentification(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  const bool explicitId = isSet(o, 6);
  const bool other = isSet(o, 5);
  static constexpr const char* kOther[4] = {"No channel", "As indicated in following octets", "Reserved",
                                            "Any channel"};
  static constexpr const char* kBasic[4] = {"No channel", "B1", "B2", "Any channel"};
  joinParts(
      ctx, {"Not Continued", explicitId ? "Explicitely identified" : "Implicitely identified",
            other ? "Other interface" : "Basic interface", spare(isSet(o, 4)), flagText(o, 3, "Exclusive", "Preferred"),
            flagText(o, 2, "D channel", "not D channel"), (other ? kOther : kBasic)[kLow2.of(o)]});
  if (explicitId) {
    while (c.more()) {
      o = c.next();
      ctx.bitsLine(o);
      joinParts(ctx, {extText(o), "Interface identifier"});
      if (lastOfGroup(o)) break;
    }
  }
  if (!other) return;
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  joinParts(ctx, {"Not Continued", coding(o), flagText(o, 4, "Slot map indicated", "Channel no indicated"),
                  valueText(o, kLow4, kChannelType, "Reserved")});
  while (c.more()) {
    o = c.next();
    ctx.bitsLine(o);
    joinParts(ctx, {extText(o), "Channel no " + corvane::hex2(uint8_t(kLow7.of(o)))});
    if (lastOfGroup(o)) break;
  }
}

void decodeProgressIndicator(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  joinParts(ctx, {"Not Continued", coding(o), spare(isSet(o, 4)), location(o)});
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  ctx.append(valueText(o, kLow7, kProgress, "Reserved"));
}

void decodeNotificationIndicator(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  const uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  joinParts(ctx, {"Not Continued", valueText(o, kLow7, kNotification, "Reserved")});
}

void decodeDateTime(DecodeContext& ctx, ElementCursor& c) {
  if (c.left() < 5) return;
  static constexpr const char* kLabels[5] = {"Year  :", "Month :", "Day   :", "Hour  :", "Minute:"};
  for (const char* label : kLabels) {
    const uint8_t o = c.next();
    ctx.bitsLine(o);
    ctx.append(label);
    ctx.append(dec2(o));
  }
}

// Octet 3 of a number: ext text, type of number and numbering plan.
void numberTypeParts(DecodeContext& ctx, uint8_t o, std::string_view ext) {
  joinParts(ctx, {ext, valueText(o, kTypeOfNumberBits, kTypeOfNumber, "Reserved"),
                  valueText(o, kLow4, kNumberingPlan, "Reserved")});
}

void decodeCalledPartyNumber(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  const uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  numberTypeParts(ctx, o, "Not Continued");
  if (c.more()) digitRow(ctx, c);
}

// Octet 3a of calling/connected/redirecting/redirection numbers (after its
// bits line): false when it stops ("Continued" or a bad spare field).
bool presentationOctet(DecodeContext& ctx, uint8_t o, bool extRequired) {
  if (extRequired && !lastOfGroup(o)) {
    ctx.append("Continued");
    return false;
  }
  joinParts(ctx, {extText(o), valueText(o, kModeBits, kPresentation, ""), spare(kPresentationSpare.of(o) != 0),
                  valueText(o, kLow2, kScreening, "")});
  return true;
}

void decodeCallingOrConnectedNumber(DecodeContext& ctx, ElementCursor& c, bool connected) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  numberTypeParts(ctx, o, extText(o));
  if (!lastOfGroup(o)) {
    if (!c.more()) return;
    o = c.next();
    ctx.bitsLine(o);
    if (!presentationOctet(ctx, o, true)) return;
  }
  if (connected || c.more()) digitRow(ctx, c);
}

// Redirecting number (0x74, with octet 3b) and redirection number (0x76),
// in the standard layout.
void decodeRedirectNumber(DecodeContext& ctx, ElementCursor& c, bool redirecting) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  numberTypeParts(ctx, o, extText(o));
  if (lastOfGroup(o)) {
    digitRow(ctx, c);
    return;
  }
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (kPresentationSpare.of(o) != 0) {
    joinParts(ctx, {extText(o), valueText(o, kModeBits, kPresentation, ""), "Spare field ill"});
    return;
  }
  joinParts(ctx, {extText(o), valueText(o, kModeBits, kPresentation, ""), "Spare field ok",
                  valueText(o, kLow2, kScreening, "")});
  if (!redirecting || lastOfGroup(o)) {
    digitRow(ctx, c);
    return;
  }
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  if (kReasonSpare.of(o) != 0) {
    joinParts(ctx, {"Not Continued", "Spare field ill"});
    return;
  }
  joinParts(ctx, {"Not Continued", "Spare field ok", lookup(kRedirectionReason, o, "Reserved")});
  digitRow(ctx, c);
}

void decodeRestartIndicator(DecodeContext& ctx, ElementCursor& c) {
  if (c.left() != 1) return;
  const uint8_t o = c.next();
  ctx.bitsLine(o);
  ctx.append(lookup(kRestartClass, o, ""));
}

void decodeHighLayerCompatibility(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!lastOfGroup(o)) {
    ctx.append("Continued");
    return;
  }
  joinParts(ctx, {"Not Continued", coding(o),
                  kInterpretationBits.of(o) == 4 ? "First high layer characteristics" : "Reserved",
                  kLow2.of(o) == 1 ? "High layer protocol profile" : "Reserved"});
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), valueText(o, kLow7, kHighLayer, "Reserved")});
  if (lastOfGroup(o) || !c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (lastOfGroup(o))
    joinParts(ctx, {"Not Continued", valueText(o, kLow7, kHighLayer, "Reserved")});
  else
    ctx.append("Continued");
}

void decodeUserUser(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  const uint8_t o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {"Protocol discriminator", lookup(kUserUserProtocol, o, "Reserved")});
  if ((o == 0x00 || o == 0x04) && c.more()) infoRow(ctx, c);
}

void decodeSegmentedMessage(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  const uint8_t o = c.next();
  ctx.bitsLine(o);
  if (lastOfGroup(o)) ctx.append("First segment, ");
  ctx.append("Remanining segments=");
  ctx.append(hex2(uint8_t(kLow7.of(o))));
}

}  // namespace

void decodeElementContent(DecodeContext& ctx, uint8_t id, size_t lenIndex, size_t n) {
  ElementCursor c(ctx, lenIndex + 1, lenIndex + n);
  switch (id) {
    case 0x00: decodeSegmentedMessage(ctx, c); break;
    case 0x04: decodeBearerCapability(ctx, c); break;
    case 0x08: decodeCause(ctx, c); break;
    case 0x14: decodeCallState(ctx, c); break;
    case 0x18: decodeChannelIdentification(ctx, c); break;
    case 0x1C: decodeFacility(ctx, lenIndex); break;
    case 0x1E: decodeProgressIndicator(ctx, c); break;
    case 0x27: decodeNotificationIndicator(ctx, c); break;
    case 0x28:
    case 0x2C: infoRow(ctx, c); break;
    case 0x29: decodeDateTime(ctx, c); break;
    case 0x4C: decodeCallingOrConnectedNumber(ctx, c, true); break;
    case 0x6C: decodeCallingOrConnectedNumber(ctx, c, false); break;
    case 0x70: decodeCalledPartyNumber(ctx, c); break;
    case 0x74: decodeRedirectNumber(ctx, c, true); break;
    case 0x76: decodeRedirectNumber(ctx, c, false); break;
    case 0x79: decodeRestartIndicator(ctx, c); break;
    case 0x7C: decodeLowLayerCompatibility(ctx, c); break;
    case 0x7D: decodeHighLayerCompatibility(ctx, c); break;
    case 0x7E: decodeUserUser(ctx, c); break;
    default: break;
  }
}

}  // namespace lumarc
