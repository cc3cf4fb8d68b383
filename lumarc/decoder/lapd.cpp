// Data link layer of monitored D-channel frames: LAPD (Q.921) with TEI
// management, the V5.2 envelope and LAPV5 (G.964/G.965), and the
// line-activation primitives of the ISDN line interfaces.
// Octets are read through the bit ranges named below (bits 7..0 as in
// fields.h, bit 0 = 0x01).
#include "common/format.h"
#include "lumarc/decoder/bodies.h"
#include "lumarc/decoder/fields.h"

#include <array>
#include <string_view>

namespace lumarc {

namespace {

using corvane::hex2;
using corvane::hex4;

// Address octets: the first holds SAPI (or the upper part of an envelope
// or LAPV5 address), C/R and EA = 0; the second the TEI (or the lower part
// of the address) and EA = 1.
constexpr Bits kUpper6{7, 2};
constexpr Bits kUpper7{7, 1};
constexpr int kCrBit = 1;
constexpr int kEaBit = 0;
constexpr Bits kCrAndEa{1, 0};
// Control octets: bit 0 clear for an I frame; of the others bit 1 set for
// an unnumbered frame (P/F in bit 4), clear for a supervisory one. N(S),
// N(R) in bits 7-1; the second control octet has P/F in bit 0.
constexpr int kNotInfoBit = 0;
constexpr int kUnnumberedBit = 1;
constexpr int kUnnumberedPfBit = 4;
constexpr Bits kSequence{7, 1};
constexpr int kPfBit = 0;
// LAPV5 layer 3 address octets (PSTN, BCC) and the spare bit after them.
constexpr int kPstnBit = 0;
constexpr int kAnBit = 7;
constexpr Bits kBccHigh{6, 0};
constexpr Bits kBccLow{5, 0};
constexpr int kSpareBit = 7;

// "1" or "0" for bit b of octet.
const char* bitDigit(uint8_t octet, int b) { return isSet(octet, b) ? "1" : "0"; }

// A 13-bit address of two address octets (upper 6 bits, then lower 7).
unsigned address13(uint8_t first, uint8_t second) { return kUpper6.of(first) << 7 | kUpper7.of(second); }

// Unnumbered frames by their control octet without the P/F bit.
constexpr uint8_t kUi = 0x03;
constexpr CodeText kUnnumberedFrames[] = {{0x6F, " SABME"}, {0x0F, " DM   "}, {0x03, " UI   "}, {0x43, " DISC "},
                                          {0x63, " UA   "}, {0x87, " FRMR "}, {0xAF, " XID  "}};

// Supervisory frames; only the exact control values are named.
constexpr CodeText kSupervisoryFrames[] = {{0x01, " RR   "}, {0x05, " RNR  "}, {0x09, " REJ  "}};

// Name of an unnumbered frame; empty adds no name.
uint8_t withoutPf(uint8_t control) { return uint8_t(control & ~(1u << kUnnumberedPfBit)); }
std::string_view unnumberedName(uint8_t control) { return lookup(kUnnumberedFrames, withoutPf(control), {}); }

// Name of a supervisory frame; empty adds no name.
std::string_view supervisoryName(uint8_t control) { return lookup(kSupervisoryFrames, control, {}); }

constexpr CodeText kTeiMessages[] = {
    {1, "IDENTITY REQUEST"},        {2, "IDENTITY ASSIGNED"}, {3, "IDENTITY DENIED"}, {4, "IDENTITY CHECK REQUEST"},
    {5, "IDENTITY CHECK RESPONSE"}, {6, "IDENTITY REMOVE"},   {7, "IDENTITY VERIFY"}};

// Action indicator qualifier per message type: Ai = 127, Ai 64-126, Ai 0-63.
constexpr std::array<std::array<const char*, 3>, 8> kTeiQualifiers = {{
    {nullptr, nullptr, nullptr},
    {",Any TEI value acceptible", nullptr, nullptr},
    {nullptr, ",Assigned TEI value", nullptr},
    {",No TEI value available", ",Denied TEI value", nullptr},
    {",Check all TEI values", ",TEI value to be checked", ",TEI value to be checked"},
    {nullptr, ",TEI value in use", ",TEI value in use"},
    {",Request for removal of all TEI values", ",TEI value to be removed", ",TEI value to be removed"},
    {nullptr, ",TEI value to be checked", ",TEI value to be checked"},
}};

void teiLine(DecodeContext& ctx) {
  ctx.bareBreak();
  ctx.spaces(22);
}

// TEI management message of a UI frame with SAPI 63 and TEI 127.
void decodeTeiManagement(DecodeContext& ctx) {
  ctx.append(" UI");
  ctx.bareBreak();
  ctx.spaces(28);
  if (ctx.datl() < 8) {
    ctx.markMalformed(7, "TEI message cut short");
    return;
  }
  const uint8_t type = ctx.at(6);
  if (type < 1 || type > 7) return;
  ctx.append(lookup(kTeiMessages, type, {}));
  if (ctx.at(3) != 0x0F) return;
  teiLine(ctx);
  ctx.append("Layer management entity identifier=0xf");
  const uint16_t ri = uint16_t(ctx.at(4) << 8 | ctx.at(5));
  teiLine(ctx);
  ctx.append("Reference number=");
  ctx.append(hex4(ri));
  if ((type == 4 || type == 6 || type == 7) && ri != 0) return;
  const uint8_t ai = uint8_t(kUpper7.of(ctx.at(7)));
  teiLine(ctx);
  ctx.append("Action indicator=");
  ctx.append(hex2(ai));
  const char* q = kTeiQualifiers[type][ai == 127 ? 0 : (ai >= 64 ? 1 : 2)];
  if (q) ctx.append(q);
}

// LAPV5 data link and the V5.2 layer 3 header; false when the record must
// show nothing (layer 2 decoding off and a supervisory/unnumbered frame).
bool decodeLapv5(DecodeContext& ctx, unsigned ef) {
  const uint8_t b4 = ctx.at(4);
  if (isSet(b4, kNotInfoBit)) {
    if (!ctx.options().layer2) return false;
    if (isSet(b4, kUnnumberedBit)) {
      ctx.append(" P/F=");
      ctx.append(bitDigit(b4, kUnnumberedPfBit));
      ctx.append(unnumberedName(b4));
    } else if (const std::string_view name = supervisoryName(b4); !name.empty()) {
      const uint8_t b5 = ctx.at(5);
      ctx.append(" P/F=");
      ctx.append(bitDigit(b5, kPfBit));
      ctx.append(name);
      ctx.append(" NR=");
      ctx.append(hex2(uint8_t(kSequence.of(b5))));
    }
    return true;
  }
  const uint8_t b5 = ctx.at(5), b6 = ctx.at(6);
  ctx.append(" P/F=");
  ctx.append(bitDigit(b5, kPfBit));
  ctx.append(" INFO ");
  ctx.append(" NR=");
  ctx.append(hex2(uint8_t(kSequence.of(b5))));
  ctx.append(" NS=");
  ctx.append(hex2(uint8_t(kSequence.of(b4))));
  ctx.newLineCont();
  ctx.append("Ptcl:");
  ctx.append(hex2(b6));
  ctx.spaces(3);
  if (b6 != 0x48) return true;
  const uint8_t b7 = ctx.at(7), b8 = ctx.at(8), b9 = ctx.at(9);
  ctx.append("C/R:");
  ctx.append(bitDigit(ctx.at(2), kCrBit));
  ctx.append(' ');
  switch (ef) {
    case 8176:
      ctx.append(isSet(b7, kPstnBit) ? "PSTNa:" : "Invld:");
      ctx.append(hex4(uint16_t(kUpper7.of(b7) << 8 | b8)));
      ctx.spaces(2);
      break;
    case 8177:
      if (isSet(b7, kPstnBit)) {
        ctx.append("PSTNa:");
        ctx.append(hex4(uint16_t(kUpper7.of(b7) << 8 | b8)));
      } else {
        const unsigned a = address13(b7, b8);
        ctx.append(a == 8177 ? "CommC:" : "ISDNa:");
        ctx.append(hex4(uint16_t(a)));
      }
      ctx.spaces(2);
      break;
    case 8178:
      ctx.append("BCCno:");
      ctx.append(isSet(b7, kAnBit) ? "AN" : "LE");
      ctx.append(hex4(uint16_t(kBccHigh.of(b7) << 6 | kBccLow.of(b8))));
      break;
    case 8179:
      ctx.append("LChId:");
      ctx.append(hex4(uint16_t(b7 << 8 | b8)));
      ctx.spaces(2);
      break;
    default:
      ctx.append("LnkId:");
      ctx.append(hex4(uint16_t(b7 << 8 | b8)));
      ctx.spaces(2);
      break;
  }
  ctx.append(' ');
  if (isSet(b9, kSpareBit)) {
    ctx.append("Spare field ill");
    return true;
  }
  ctx.append("Spare field ok");
  ctx.spaces(2);
  switch (ef) {
    case 8176: decodeV5Pstn(ctx); break;
    case 8177: decodeV5Control(ctx); break;
    case 8178: decodeV5Bcc(ctx); break;
    case 8179: decodeV5Protection(ctx); break;
    default: decodeV5LinkControl(ctx); break;
  }
  return true;
}

constexpr CodeText kV5Protocols[] = {{8176, "PSTN signalling"},
                                     {8177, "Control protocol"},
                                     {8178, "BCC protocol"},
                                     {8179, "Protection protocol"},
                                     {8180, "Link control protocol"}};

// Line-activation texts by code (ind AND 0x0F) for ptyp 0x12, 0x11, 0x10.
using PhTable = std::array<std::array<const char*, 3>, 16>;

constexpr PhTable kPhRequests = {{
    {"Deactivation request", "Timing", "Deactivate request"},
    {"Reset", "Reset", "Reset"},
    {nullptr, "Test mode 1", "Test mode 1"},
    {"LT disable", "Test mode 2", "Test mode 2"},
    {"Reset receiver", nullptr, nullptr},
    {"Send single pulses test mode", nullptr, nullptr},
    {"Data through test mode", nullptr, nullptr},
    {"U activation request", nullptr, nullptr},
    {"Activation request", "Activation command, Priority 8", "Activate request"},
    {"Activation request without 15 sec. limit", "Activation command, Priority 10", nullptr},
    {"Activation request local loop", "Activation of loop 3", "Activation request for loop 2"},
    {nullptr, nullptr, nullptr},
    {nullptr, nullptr, "Activate indication"},
    {"Activation request with act bit=0", nullptr, nullptr},
    {nullptr, nullptr, nullptr},
    {"Deactivation confirmation", "Deactivate indication", "Deactivate confirmation"},
}};

constexpr PhTable kPhIndications = {{
    {nullptr, "Deactivate Request", "Timing"},
    {"Deactivation accepted", "Reset acknowledge", nullptr},
    {"Frame jump", "Test mode 1 acknowledge", nullptr},
    {nullptr, "Slip", nullptr},
    {"Loss of synchronization", "Signal received, Receiver not synchronous", "Receiver is not synchronous"},
    {"Error indication 2 (error on S/T)", nullptr, nullptr},
    {nullptr, nullptr, nullptr},
    {"U activation indication", "Line interface is powered up", nullptr},
    {"Activation request", "INFO 2 received", "INFO 1 received"},
    {"Activation request maintenance bits", nullptr, nullptr},
    {nullptr, "Loop 3 closed", nullptr},
    {"Error indication 3 (error on U)", "Code violation received", "Code violation received"},
    {"Activation indication", "INFO 4 received, Priority 8 or 9", "Synchronous receiver"},
    {"Loss of signal level on U", "INFO 4 received, Priority 10 or 11", nullptr},
    {nullptr, "Loop 3 activated", nullptr},
    {"Deactivation indication", "Line interface is powered down", "Deactivate indication"},
}};

// The primitive's code: bits 3-0 of the record's indicator.
constexpr Bits kPhCode{3, 0};

void decodePh(DecodeContext& ctx, const PhTable& table) {
  const int32_t ptyp = ctx.record().ptyp;
  if (ptyp < 0x10 || ptyp > 0x12) {
    ctx.dropRecord();
    return;
  }
  const char* text = table[kPhCode.of(uint8_t(ctx.record().ind))][size_t(0x12 - ptyp)];
  if (text) ctx.append(text);
}

}  // namespace

void decodeLapd(DecodeContext& ctx) {
  const uint8_t b0 = ctx.at(0), b1 = ctx.at(1), b2 = ctx.at(2);
  if (ctx.datl() < 3 || isSet(b0, kEaBit) || !isSet(b1, kEaBit)) {
    ctx.hexDump();
    return;
  }
  const unsigned sapi = kUpper6.of(b0), tei = kUpper7.of(b1);
  ctx.append("Sapi=");
  ctx.append(hex2(uint8_t(sapi)));
  ctx.append(" Tei=");
  ctx.append(hex2(uint8_t(tei)));
  ctx.append(" C/R=");
  ctx.append(bitDigit(b0, kCrBit));
  if (isSet(b2, kNotInfoBit)) {
    if (!ctx.options().layer2) {
      ctx.dropRecord();
      return;
    }
    if (isSet(b2, kUnnumberedBit)) {
      ctx.append(" P/F=");
      ctx.append(bitDigit(b2, kUnnumberedPfBit));
      if (withoutPf(b2) == kUi) {
        if (sapi == 63 && tei == 127) {
          decodeTeiManagement(ctx);
        } else if (ctx.datl() != 3) {
          ctx.append(" UI   ");
          decodeCallControl(ctx, 3);
        }
      } else {
        ctx.append(unnumberedName(b2));
      }
    } else if (const std::string_view name = supervisoryName(b2); !name.empty()) {
      if (ctx.datl() < 4) {
        ctx.markMalformed(3, "control field cut short");
        ctx.hexDump();
        return;
      }
      const uint8_t b3 = ctx.at(3);
      ctx.append(" P/F=");
      ctx.append(bitDigit(b3, kPfBit));
      ctx.append(name);
      ctx.append(" NR=");
      ctx.append(hex2(uint8_t(kSequence.of(b3))));
    }
  } else if (ctx.datl() >= 6) {
    const uint8_t b3 = ctx.at(3);
    ctx.append(" P/F=");
    ctx.append(bitDigit(b3, kPfBit));
    ctx.append(" INFO ");
    ctx.append(" NR=");
    ctx.append(hex2(uint8_t(kSequence.of(b3))));
    ctx.append(" NS=");
    ctx.append(hex2(uint8_t(kSequence.of(b2))));
    decodeCallControl(ctx, 4);
  }
  ctx.hexDump();
}

void decodeV5Envelope(DecodeContext& ctx) {
  const uint8_t b0 = ctx.at(0), b1 = ctx.at(1);
  if (ctx.datl() < 5 || isSet(b0, kEaBit) || !isSet(b1, kEaBit)) {
    ctx.hexDump();
    return;
  }
  const unsigned ef = address13(b0, b1);
  ctx.newLineCont();
  ctx.append("Port:");
  ctx.append(hex4(uint16_t(ef)));
  ctx.append(" C/R:");
  ctx.append(bitDigit(b0, kCrBit));
  ctx.append(' ');
  if (ef >= 8176 && ef <= 8180) {
    ctx.append(lookup(kV5Protocols, ef, {}));
    const uint8_t b2 = ctx.at(2), b3 = ctx.at(3);
    const unsigned dl = address13(b2, b3);
    ctx.newLineCont();
    ctx.append("Port:");
    ctx.append(hex4(uint16_t(dl)));
    ctx.append(" C/R:");
    ctx.append(bitDigit(b2, kCrBit));
    if (!decodeLapv5(ctx, ef)) {
      ctx.dropRecord();
      return;
    }
    ctx.hexDump();
    return;
  }
  if (ef < 8176 && kCrAndEa.of(b0) == 0) {
    ctx.append("ISDN LAPD Frame relay");
    ctx.newLineCont();
    ctx.shiftView(2);
    decodeLapd(ctx);
    ctx.restoreView();
    return;
  }
  ctx.append("Invalid port address");
  ctx.hexDump();
}

void decodePhRequest(DecodeContext& ctx) { decodePh(ctx, kPhRequests); }

void decodePhIndication(DecodeContext& ctx) { decodePh(ctx, kPhIndications); }

}  // namespace lumarc
