// ISDN user part messages (Q.763): circuit identification code, message
// type, the mandatory fixed, mandatory variable and optional parts, and the
// value fields and digits printer that the parameter decoders share.
#include "lumarc/decoder/ss7.h"

#include "common/format.h"
#include "lumarc/decoder/fields.h"

#include <array>

namespace lumarc {

namespace {

using corvane::hex2;
using corvane::hex4;

// One step of a message's mandatory part.
enum class Step : uint8_t {
  None,      // end of the layout
  Fixed,     // mandatory fixed parameter decoded in place (code)
  Variable,  // pointer to a mandatory variable parameter (code)
  Range,     // pointer to the "Range" parameter of GRS, CQM and CQR
  Optional,  // pointer to the optional part
};

struct LayoutItem {
  Step step = Step::None;
  uint8_t code = 0;
};

struct IsupMessage {
  uint8_t type;
  const char* name;
  std::array<LayoutItem, 6> layout;
};

constexpr LayoutItem F(uint8_t code) { return {Step::Fixed, code}; }
constexpr LayoutItem V(uint8_t code) { return {Step::Variable, code}; }
constexpr LayoutItem kOpt{Step::Optional, 0};
constexpr LayoutItem kRange{Step::Range, 0};

constexpr IsupMessage kMessages[] = {
    {0x01, "IAM ISUP Initial address", {F(0x06), F(0x07), F(0x09), F(0x02), V(0x04), kOpt}},
    {0x02, "SAM ISUP Subsequent address", {V(0x05), kOpt}},
    {0x03, "INR ISUP Information request", {F(0x0E), kOpt}},
    {0x04, "INF ISUP Information", {F(0x0F), kOpt}},
    {0x05, "COT ISUP Continuity", {F(0x10)}},
    {0x06, "ACM ISUP Address complete", {F(0x11), kOpt}},
    {0x07, "CON ISUP Connect", {F(0x11), kOpt}},
    {0x08, "FOT ISUP Forward transfer", {kOpt}},
    {0x09, "ANM ISUP Answer", {kOpt}},
    {0x0C, "REL ISUP Release", {V(0x12), kOpt}},
    {0x0D, "SUS ISUP Suspend", {F(0x22), kOpt}},
    {0x0E, "RES ISUP Resume", {F(0x22), kOpt}},
    {0x10, "RLC ISUP Release complete", {kOpt}},
    {0x11, "CCR ISUP Continuity check request", {}},
    {0x12, "RSC ISUP Reset circuit", {}},
    {0x13, "BLO ISUP Blocking", {}},
    {0x14, "UBL ISUP Unblocking", {}},
    {0x15, "BLA ISUP Blocking acknowledgement", {}},
    {0x16, "UBA ISUP Unblocking acknowledgement", {}},
    {0x17, "GRS ISUP Circuit group reset", {kRange}},
    {0x18, "CGB ISUP Circuit group blocking", {F(0x15), V(0x16)}},
    {0x19, "CGU ISUP Circuit group unblocking", {F(0x15), V(0x16)}},
    {0x1A, "CGBA ISUP Circuit group blocking acknowledgement", {F(0x15), V(0x16)}},
    {0x1B, "CGUA ISUP Circuit group unblocking acknowledgement", {F(0x15), V(0x16)}},
    {0x1F, "FAR ISUP Facility request", {F(0x18), kOpt}},
    {0x20, "FAA ISUP Facility accepted", {F(0x18), kOpt}},
    {0x21, "FRJ ISUP Facility reject", {F(0x18), V(0x12), kOpt}},
    {0x24, "LPA ISUP Loop back acknowledgement", {}},
    {0x28, "PAM ISUP Pass-along", {}},
    {0x29, "GRA ISUP Circuit group reset acknowledgement", {V(0x16)}},
    {0x2A, "CQM ISUP Circuit group querry", {kRange}},
    {0x2B, "CQR ISUP Circuit group querry response", {kRange}},
    {0x2C, "CPG ISUP Call progress", {F(0x24), kOpt}},
    {0x2D, "USR ISUP User-to-user information", {V(0x20), kOpt}},
    {0x2E, "UCIC ISUP Unequipped CIC", {}},
    {0x2F, "CFN ISUP Confusion", {V(0x12), kOpt}},
    {0x30, "OLM ISUP Overload", {}},
    {0x31, "CRG ISUP Charge information", {}},
    {0x32, "NRM ISUP Network resource management", {kOpt}},
    {0x33, "FAC ISUP Facility", {kOpt}},
    {0x34, "UPT ISUP User part test", {kOpt}},
    {0x35, "UPA ISUP User part available", {kOpt}},
    {0x36, "IDR ISUP Identification request", {kOpt}},
    {0x37, "IRS ISUP Identification response", {kOpt}},
    {0x38, "SGM ISUP Segmentation", {kOpt}},
    {0x40, "LOP ISUP Loop prevention", {kOpt}},
    {0x41, "APM ISUP Application transport", {kOpt}},
    {0x42, "PRI ISUP Pre-release information", {kOpt}},
    {0x43, "SDM ISUP Subsequent directory number", {kOpt}},
};

constexpr CodeText kParameterNames[] = {
    {0x00, "End of optional parameters"},
    {0x01, "Call reference"},
    {0x02, "Transmission medium requirement"},
    {0x03, "Access Transport"},
    {0x04, "Called party number"},
    {0x05, "Subsequent number"},
    {0x06, "Nature of connection indicators"},
    {0x07, "Forward call indicators"},
    {0x08, "Optional forward call indicators"},
    {0x09, "Calling party's category"},
    {0x0A, "Calling party number"},
    {0x0B, "Redirecting number"},
    {0x0C, "Redirection number"},
    {0x0D, "Connection request"},
    {0x0E, "Information request indicators"},
    {0x0F, "Information indicators"},
    {0x10, "Continuity indicators"},
    {0x11, "Backward call indicators"},
    {0x12, "Cause indicators"},
    {0x13, "Redirection information"},
    {0x15, "Circuit group supervision message type"},
    {0x16, "Range and status"},
    {0x18, "Facility indicator"},
    {0x1A, "Closed user group interlock code"},
    {0x1D, "User Service Information"},
    {0x1E, "Signalling point code"},
    {0x20, "User-to-user information"},
    {0x21, "Connected number"},
    {0x22, "Suspend/Resume indicators"},
    {0x23, "Transit network selection"},
    {0x24, "Event information"},
    {0x25, "Circuit group assignement map"},
    {0x26, "Circuit state indicators"},
    {0x27, "Automatic congestion level"},
    {0x28, "Original called number"},
    {0x29, "Optional backward call indicators"},
    {0x2A, "User-to-user indicators"},
    {0x2B, "Original ISC point code"},
    {0x2C, "Generic notification indicator"},
    {0x2D, "Call history information"},
    {0x2E, "Access delivery information"},
    {0x2F, "Network specific facility"},
    {0x30, "User Service Information prime"},
    {0x31, "Propagation delay counter"},
    {0x32, "Remote operations"},
    {0x33, "Service activation"},
    {0x34, "User teleservice information"},
    {0x35, "Transmission medium used"},
    {0x36, "Call diversion information"},
    {0x37, "Echo controller information"},
    {0x38, "Message compatibilty information"},
    {0x39, "Parameter compatibility information"},
    {0x3A, "MLPP precedence"},
    {0x3B, "MCID request indicators"},
    {0x3C, "MCID response indicators"},
    {0x3D, "Hop counter"},
    {0x3E, "Transmission medium requirement prime"},
    {0x3F, "Location number"},
    {0x40, "Redirection number restriction"},
    {0x43, "Call transfer reference"},
    {0x44, "Loop prevention indicators"},
    {0x45, "Call transfer number"},
    {0x4B, "CCSS"},
    {0x4C, "Forward GVNS"},
    {0x4D, "Backward GVNS"},
    {0x4E, "Redirect capability"},
    {0x5B, "Network management controls"},
    {0x65, "Correlation id"},
    {0x66, "SCF id"},
    {0x6E, "Call diversion treatment indicators"},
    {0x6F, "Called IN number"},
    {0x70, "Call offering treatment indicators"},
    {0x71, "Charged party identification"},
    {0x72, "Conference treatment indicators"},
    {0x73, "Display information"},
    {0x74, "UID action indicators"},
    {0x75, "UID capability indicators"},
    {0x77, "Redirect counter"},
    {0x78, "Applicaton Transport"},
    {0x79, "Callect call request"},
    {0x7A, "CCNR possible indicator"},
    {0x7B, "Pivot capability"},
    {0x7C, "Pivot routing indicators"},
    {0x7D, "Called directory number"},
    {0x7F, "Original called IN number"},
    {0x81, "Calling geodetic location"},
    {0x82, "HTR information"},
    {0x84, "Networdk routing number"},
    {0x85, "Querry on release capability"},
    {0x86, "Pivot status"},
    {0x87, "Pivot counter"},
    {0x88, "Pivot routing forward information"},
    {0x89, "Pivot routing backward information"},
    {0x8A, "Redirect status"},
    {0x8B, "Redirect forward information"},
    {0x8C, "Redirect backward information"},
    {0x8D, "Number portability forward information"},
    {0xC0, "Generic number"},
    {0xC1, "Generic digits"},
};

// Codes shown by name only in the optional part.
constexpr uint8_t kNameOnly[] = {0x2F, 0x32, 0x33, 0x65, 0x66, 0x81, 0x88, 0x89, 0x8B, 0x8C};

const IsupMessage* findMessage(uint8_t type) {
  for (const IsupMessage& m : kMessages) {
    if (m.type == type) return &m;
  }
  return nullptr;
}

// Shows the pointer octet at index; returns the target index, or 0 when the
// pointer is 0 or its target lies outside the message area.
size_t pointerLine(DecodeContext& ctx, size_t index, std::string_view name) {
  const uint8_t ptr = ctx.at(index);
  ctx.bitsLine(ptr);
  ctx.append("Pointer to parameter:");
  ctx.append(name);
  if (ptr == 0) return 0;
  const size_t target = index + ptr;
  return ctx.needs(target) ? target : 0;
}

void decodeMandatoryPart(DecodeContext& ctx, const IsupMessage& m) {
  size_t i = 11;
  for (const LayoutItem& part : m.layout) {
    switch (part.step) {
      case Step::None: return;
      case Step::Fixed: {
        const size_t used = decodeIsupParameter(ctx, part.code, i, false);
        if (used == 0) return;
        i += used;
        break;
      }
      case Step::Variable: {
        const size_t target = pointerLine(ctx, i, isupParameterName(part.code));
        if (target == 0 || decodeIsupParameter(ctx, part.code, target, true) == 0) return;
        ++i;
        break;
      }
      case Step::Range: {
        const size_t target = pointerLine(ctx, i, "Range");
        if (target == 0 || decodeIsupRange(ctx, target) == 0) return;
        ++i;
        break;
      }
      case Step::Optional: {
        const uint8_t ptr = ctx.at(i);
        ctx.bitsLine(ptr);
        ctx.append("Pointer to optional part");
        if (ptr != 0 && ctx.needs(i + ptr)) decodeIsupOptionalPart(ctx, i + ptr);
        return;
      }
    }
  }
}

constexpr auto kNatureOfAddress = numbered(
    "Spare", "Subscriber number", "Unknown", "National number", "International number", "Network specific number",
    "Network routing number in national number format", "Network routing number in network specific number format",
    "Network routing number concatenated with called directory number");

constexpr auto kNumberingPlan =
    numbered("Spare", "ISDN/Telephony numbering plan (CCITT E.164)", "Spare", "Data numbering plan (CCITT X.121)",
             "Telex numbering plan (CCITT F.69)", "Reserved", "Reserved", "Spare");

char digitOf(uint8_t nibble) { return "0123456789ABCDEF"[nibble & 0x0F]; }

}  // namespace

std::string_view isupParameterName(uint8_t code) { return lookup(kParameterNames, code, "Unknown ISUP parameter"); }

void isupDigits(DecodeContext& ctx, size_t first, size_t last, bool odd) {
  ctx.newLineDigits();
  if (last > kLastMessageIndex) last = kLastMessageIndex;
  for (size_t i = first; i <= last; ++i) {
    const uint8_t b = ctx.at(i);
    ctx.append(digitOf(b));
    if (i == last && odd) break;
    ctx.append(digitOf(b >> 4));
  }
}

void isupNatureOfAddress(DecodeContext& ctx, uint8_t octet) {
  field(ctx, octet, {6, 0}, "Nature of address indicator:", kNatureOfAddress, "Spare");
}

void isupOddEven(DecodeContext& ctx, uint8_t octet) {
  flag(ctx, octet, 7, "Odd/even indicator:", "Odd number of address signals", "Even number of address signals");
}

void isupNumberingPlan(DecodeContext& ctx, uint8_t octet) {
  field(ctx, octet, {6, 4}, "Numbering plan indicator:", kNumberingPlan, "");
}

void decodeIsupOptionalPart(DecodeContext& ctx, size_t p) {
  if (ctx.datl() == 0) return;
  const size_t last = ctx.datl() - 1;
  while (p <= last) {
    const uint8_t code = ctx.at(p);
    if (code == 0) {
      ctx.newLineCont();
      ctx.append("End of optional parameters");
      return;
    }
    if (isupParameterHasDecoder(code)) {
      if (decodeIsupParameter(ctx, code, p + 1, true) == 0) return;
    } else {
      bool nameOnly = false;
      for (uint8_t c : kNameOnly) nameOnly = nameOnly || c == code;
      ctx.newLineCont();
      ctx.append(nameOnly ? isupParameterName(code) : std::string_view("Unknown ISUP parameter"));
    }
    p += size_t(ctx.at(p + 1)) + 2;
  }
  // The optional part ran out of the message before its end octet.
  ctx.markMalformed(p, "optional part without end");
}

void decodeIsup(Ss7Message& msg) {
  DecodeContext& ctx = msg.ctx;
  const uint8_t b8 = ctx.at(8), b9 = ctx.at(9), type = ctx.at(10);
  ctx.newLineStars();
  ctx.append("Circuit identifiction code:");
  ctx.append(hex4(uint16_t(((b9 << 8) & 0xFFF) | b8)));
  field(ctx, b9, {7, 4}, "Spare");
  ctx.bitsLine(type);
  ctx.append("Message type:");
  ctx.append(hex2(type));
  const IsupMessage* m = findMessage(type);
  if (!m) {
    insertMessageName(msg, "    ISUP Message not implemented");
    return;
  }
  insertMessageName(msg, m->name);
  decodeMandatoryPart(ctx, *m);
}

}  // namespace lumarc
