// Octet-by-octet decoders of the call-control information elements.
// Bits are numbered 1-8 as in Q.931: bit 8 = 0x80, bits 7-6 = 0x60,
// bits 5-1 = 0x1F, bits 4-1 = 0x0F, bits 2-1 = 0x03.
#include "lumarc/decoder/q931_elements.h"

#include "common/format.h"
#include "lumarc/decoder/bearer_tables.h"
#include "lumarc/decoder/q931.h"

#include <string>
#include <string_view>

namespace lumarc {

namespace {

using corvane::dec2;
using corvane::dec3;
using corvane::hex2;
using bearer_tables::kLocation;
using bearer_tables::kTransferCapability;
using bearer_tables::kTransferMode;
using bearer_tables::kTransferRate;
using bearer_tables::kConfiguration;
using bearer_tables::kEstablishment;
using bearer_tables::kSymmetry;
using bearer_tables::kStructure;
using bearer_tables::kLayer1;
using bearer_tables::kUserRate;
using bearer_tables::kIntermediateRate;
using bearer_tables::kStopBits;
using bearer_tables::kDataBits;
using bearer_tables::kParity;
using bearer_tables::kModemType;
using bearer_tables::kLayer2;
using bearer_tables::kLayer3;
using bearer_tables::kHighLayer;
using bearer_tables::kUserUserProtocol;

std::string_view spare(bool ill) { return ill ? "Spare field ill" : "Spare field ok"; }

// ---- code tables ----
constexpr auto kCodingStandard = numbered("ITU-T standardized coding", "Reserved", "National standard",
                                          "Standard specific to location");
constexpr CodeText kTypeOfNumber[] = {{0, "Number type unknown"}, {1, "International number"},
                                  {2, "National number"}, {3, "Network specific number"},
                                  {4, "Subscriber number"}, {6, "Abbreviated number"},
                                  {7, "Reserved for extension"}};
constexpr CodeText kNumberingPlan[] = {{0, "Numbering plan unknown"}, {1, "ISDN/Telephony numbering plan (CCITT E.164)"},
                                   {3, "Data numbering plan (CCITT X.121)"}, {4, "Telex numbering plan (CCITT F.69)"},
                                   {8, "National standard numbering plan"},
                                   {9, "Private network or network-specific numbering plan"},
                                   {15, "Reserved for extension"}};
constexpr auto kPresentation = numbered("Presentation allowed", "Presentation restricted",
                                        "Number not available due to interWorking", "Reserved");
constexpr auto kScreening = numbered("User provided not screened", "User provided verified and passed",
                                     "User provided verified and failed", "Network provided");
constexpr CodeText kProgress[] = {{1, "Call is not end to end isdn"}, {2, "Destination address is non ISDN"},
                              {3, "Originating address is non ISDN"}, {4, "Call has returned to the ISDN"},
                              {8, "Inband information now available"}};
constexpr CodeText kNotification[] = {{0x00, "User suspended"}, {0x01, "User resumed"}, {0x02, "Bearer service change"},
                                  {0x42, "Conference established"}, {0x43, "Conference disconnected"},
                                  {0x68, "Diversion activated"}, {0x69, "Call transferred, alerting"},
                                  {0x6A, "Call transferred, active"}, {0x79, "Remote hold"},
                                  {0x7A, "Remote retrieval"}, {0x7B, "Call is diverting"}};
constexpr CodeText kCallState[] = {{0, "00 Null"}, {1, "01 Call initiated"}, {2, "02 Overlap sending"},
                               {3, "03 Outgoing call proceeding"}, {4, "04 Call delivered"}, {6, "06 Call present"},
                               {7, "07 Call received"}, {8, "08 Connect request"}, {9, "09 Incoming call proceeding"},
                               {10, "10 Active"}, {11, "11 Disconnect request"}, {12, "12 Disconnect indication"},
                               {15, "15 Suspend request"}, {17, "17 Resume request"}, {19, "19 Release request"},
                               {22, "22 Call abort"}, {25, "25 Overlap receiving"},
                               {61, " REST 1 Restart request"}, {62, " REST 2 Restart"}};
constexpr CodeText kRedirectionReason[] = {{0x80, "Reason of diversion unknown"}, {0x81, "Call forwarding busy"},
                                       {0x82, "Call forwarding no reply"}, {0x8A, "Call deflection"},
                                       {0x8F, "Call forwarding unconditional"}};
constexpr CodeText kRestartClass[] = {{0x80, "Indicated channel"}, {0x86, "Single interface"}, {0x87, "All interfaces"}};
constexpr CodeText kChannelType[] = {{3, "B channel units"}, {6, "H0 channel units"}, {8, "H11 channel units"},
                                 {9, "H12 channel units"}};
constexpr CodeText kRecommendation[] = {{0, "Rec. Q.931"}, {3, "Rec. X.21"}, {4, "Rec. X.25"}};

std::string_view coding(uint8_t o) { return lookup(kCodingStandard, (o >> 5) & 0x03, ""); }
std::string location(uint8_t o) { return std::string(",location ") + std::string(lookup(kLocation, o & 0x0F, "Spare")); }

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
  if ((o & 0x60) != 0x20) {
    joinParts(ctx, {extText(o), "Layer 1 identifier ill"});
    return false;
  }
  joinParts(ctx, {extText(o), "Layer 1 identifier ok", lookup(kLayer1, o & 0x1F, "Reserved")});
  if (o & 0x80) return true;
  // 5a
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), (o & 0x40) ? "Asynchronous" : "Synchronous",
                  (o & 0x20) ? "In band negotiation possible" : "In band negotiation not possible",
                  lookup(kUserRate, o & 0x1F, "Reserved")});
  if (o & 0x80) return true;
  // 5b
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), lookup(kIntermediateRate, (o >> 5) & 0x03, ""),
                  (o & 0x10) ? "Nic on Tx required" : "Nic on Tx not required",
                  (o & 0x08) ? "Nic on Rx accepted" : "Nic on Rx not accepted",
                  (o & 0x04) ? "Flow control on Tx required" : "Flow control on Tx not required",
                  (o & 0x02) ? "Flow control on Rx accepted" : "Flow control on Rx not accepted",
                  spare(o & 0x01)});
  if (o & 0x80) return true;
  // 5c
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), lookup(kStopBits, (o >> 5) & 0x03, ""), lookup(kDataBits, (o >> 3) & 0x03, ""),
                  lookup(kParity, o & 0x07, "Parity reserved")});
  if (o & 0x80) return true;
  // 5d
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return false;
  }
  joinParts(ctx, {"Not Continued", (o & 0x40) ? "Full duplex" : "Half duplex", lookup(kModemType, o & 0x3F, "Reserved")});
  return true;
}

// Octets 4, 4a and 4b; false when decoding of the element stops.
bool transferOctets(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return false;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), lookup(kTransferMode, (o >> 5) & 0x03, "Reserved"), lookup(kTransferRate, o & 0x1F, "Reserved")});
  if (o & 0x80) return true;
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), lookup(kStructure, (o >> 4) & 0x07, "Reserved"),
                  lookup(kConfiguration, (o >> 2) & 0x03, "Reserved"), lookup(kEstablishment, o & 0x03, "Reserved")});
  if (o & 0x80) return true;
  if (!c.more()) return false;
  o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return false;
  }
  joinParts(ctx, {"Not Continued", lookup(kSymmetry, (o >> 5) & 0x03, "Reserved"),
                  lookup(kTransferRate, o & 0x1F, "Reserved")});
  return true;
}

void decodeBearerCapability(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  joinParts(ctx, {"Not Continued", coding(o), lookup(kTransferCapability, o & 0x1F, "Reserved")});
  if (!transferOctets(ctx, c)) return;
  if (!c.more() || !layer1Octets(ctx, c)) return;
  // octet 6
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  if ((o & 0x60) != 0x40) {
    joinParts(ctx, {"Not Continued", "Layer 2 identifier ill"});
    return;
  }
  joinParts(ctx, {"Not Continued", "Layer 2 identifier ok", lookup(kLayer2, o & 0x1F, "Reserved")});
  // octet 7
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  if ((o & 0x60) == 0x60) joinParts(ctx, {"Not Continued", "Layer 3 identifier ok", lookup(kLayer3, o & 0x1F, "Reserved")});
  else joinParts(ctx, {"Not Continued", "Layer 3 identifier ill"});
}

// Octet 6a / 7a of the low layer compatibility.
bool optionalOctet(DecodeContext& ctx, ElementCursor& c, std::string_view text) {
  if (!c.more()) return false;
  const uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
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
  joinParts(ctx, {extText(o), coding(o), lookup(kTransferCapability, o & 0x1F, "Reserved")});
  if (!(o & 0x80)) {
    if (!optionalOctet(ctx, c, "Out-band negotiation possible")) return;
  }
  if (!transferOctets(ctx, c)) return;
  if (!c.more() || !layer1Octets(ctx, c)) return;
  // octet 6
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if ((o & 0x60) != 0x40) {
    joinParts(ctx, {extText(o), "Layer 2 identifier ill"});
    return;
  }
  joinParts(ctx, {extText(o), "Layer 2 identifier ok", lookup(kLayer2, o & 0x1F, "Reserved")});
  if (!(o & 0x80) && !optionalOctet(ctx, c, ",L2 Optional information")) return;
  // octet 7
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if ((o & 0x60) != 0x60) {
    joinParts(ctx, {extText(o), "Layer 3 identifier ill"});
    return;
  }
  joinParts(ctx, {extText(o), "Layer 3 identifier ok", lookup(kLayer3, o & 0x1F, "Reserved")});
  if (!(o & 0x80)) optionalOctet(ctx, c, ",L3 Optional information");
}

void decodeCause(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  uint8_t o = c.next();
  const unsigned codingStandard = (o >> 5) & 0x03;
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), coding(o), spare(o & 0x10), location(o)});
  if (!(o & 0x80)) {
    if (!c.more()) return;
    o = c.next();
    ctx.bitsLine(o);
    if (!(o & 0x80)) {
      ctx.append("Continued");
      return;
    }
    joinParts(ctx, {"Not Continued", lookup(kRecommendation, o & 0x7F, "Reserved")});
  }
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  const uint8_t cause = o & 0x7F;
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
  ctx.append(lookup(kCodingStandard, (o >> 6) & 0x03, ""));
  ctx.append(",Call state");
  ctx.append(lookup(kCallState, o & 0x3F, "Reserved"));
}

void decodeChannelIdentification(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  const bool explicitId = o & 0x40;
  const bool other = o & 0x20;
  static constexpr const char* kOther[4] = {"No channel", "As indicated in following octets", "Reserved",
                                            "Any channel"};
  static constexpr const char* kBasic[4] = {"No channel", "B1", "B2", "Any channel"};
  joinParts(ctx, {"Not Continued", explicitId ? "Explicitely identified" : "Implicitely identified",
                  other ? "Other interface" : "Basic interface", spare(o & 0x10),
                  (o & 0x08) ? "Exclusive" : "Preferred", (o & 0x04) ? "D channel" : "not D channel",
                  (other ? kOther : kBasic)[o & 0x03]});
  if (explicitId) {
    while (c.more()) {
      o = c.next();
      ctx.bitsLine(o);
      joinParts(ctx, {extText(o), "Interface identifier"});
      if (o & 0x80) break;
    }
  }
  if (!other) return;
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  joinParts(ctx, {"Not Continued", coding(o), (o & 0x10) ? "Slot map indicated" : "Channel no indicated",
                  lookup(kChannelType, o & 0x0F, "Reserved")});
  while (c.more()) {
    o = c.next();
    ctx.bitsLine(o);
    joinParts(ctx, {extText(o), "Channel no " + corvane::hex2(o & 0x7F)});
    if (o & 0x80) break;
  }
}

void decodeProgressIndicator(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  joinParts(ctx, {"Not Continued", coding(o), spare(o & 0x10), location(o)});
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  ctx.append(lookup(kProgress, o & 0x7F, "Reserved"));
}

void decodeNotificationIndicator(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  const uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  joinParts(ctx, {"Not Continued", lookup(kNotification, o & 0x7F, "Reserved")});
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
  joinParts(ctx, {ext, lookup(kTypeOfNumber, (o >> 4) & 0x07, "Reserved"), lookup(kNumberingPlan, o & 0x0F, "Reserved")});
}

void decodeCalledPartyNumber(DecodeContext& ctx, ElementCursor& c) {
  if (!c.more()) return;
  const uint8_t o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  numberTypeParts(ctx, o, "Not Continued");
  if (c.more()) digitRow(ctx, c);
}

// Octet 3a of calling/connected/redirecting/redirection numbers (after its
// bits line): false when it stops ("Continued" or a bad spare field).
bool presentationOctet(DecodeContext& ctx, uint8_t o, bool extRequired) {
  if (extRequired && !(o & 0x80)) {
    ctx.append("Continued");
    return false;
  }
  joinParts(ctx, {extText(o), lookup(kPresentation, (o >> 5) & 0x03, ""), spare(o & 0x1C),
                  lookup(kScreening, o & 0x03, "")});
  return true;
}

void decodeCallingOrConnectedNumber(DecodeContext& ctx, ElementCursor& c, bool connected) {
  if (!c.more()) return;
  uint8_t o = c.next();
  ctx.bitsLine(o);
  numberTypeParts(ctx, o, extText(o));
  if (!(o & 0x80)) {
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
  if (o & 0x80) {
    digitRow(ctx, c);
    return;
  }
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  const bool spareIll = o & 0x1C;
  if (spareIll) {
    joinParts(ctx, {extText(o), lookup(kPresentation, (o >> 5) & 0x03, ""), "Spare field ill"});
    return;
  }
  joinParts(ctx, {extText(o), lookup(kPresentation, (o >> 5) & 0x03, ""), "Spare field ok",
                  lookup(kScreening, o & 0x03, "")});
  if (!redirecting || (o & 0x80)) {
    digitRow(ctx, c);
    return;
  }
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  if (o & 0x70) {
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
  if (!(o & 0x80)) {
    ctx.append("Continued");
    return;
  }
  joinParts(ctx, {"Not Continued", coding(o),
                  ((o >> 2) & 0x07) == 4 ? "First high layer characteristics" : "Reserved",
                  (o & 0x03) == 1 ? "High layer protocol profile" : "Reserved"});
  if (!c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  joinParts(ctx, {extText(o), lookup(kHighLayer, o & 0x7F, "Reserved")});
  if ((o & 0x80) || !c.more()) return;
  o = c.next();
  ctx.bitsLine(o);
  if (o & 0x80) joinParts(ctx, {"Not Continued", lookup(kHighLayer, o & 0x7F, "Reserved")});
  else ctx.append("Continued");
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
  if (o & 0x80) ctx.append("First segment, ");
  ctx.append("Remanining segments=");
  ctx.append(hex2(o & 0x7F));
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
