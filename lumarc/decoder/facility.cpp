// Remote-operations component of the facility element (Q.932, BER short
// form): invoke, return result, return error and reject, local operation and
// error codes, the CCBS operations identified by object identifier, call
// deflection, advice of charge and nested call-control elements.
// Octets are read through the bit ranges named below (bits 7..0 as in
// fields.h).
//
// The whole component is read through one cursor bounded by the element's
// last octet; every inner length is checked against what is left, and a
// length that runs past it shows its length line and ends the component.
#include "common/format.h"
#include "lumarc/decoder/fields.h"
#include "lumarc/decoder/q931.h"
#include "lumarc/decoder/q931_elements.h"

#include <string>
#include <string_view>

namespace lumarc {

namespace {

using corvane::hex2;
using corvane::hex4;
// Identifier octet of a BER element: class, constructed form, tag number.
constexpr Bits kTagClass{7, 6};
constexpr int kConstructedBit = 5;
constexpr Bits kTagNumber{4, 0};
// Length octet: the long form has bit 7 set.
constexpr int kLongFormBit = 7;
// Object identifier subidentifier octets: bit 7 set while more follow.
constexpr int kMoreBit = 7;
constexpr Bits kSubidentifier{6, 0};
// Protocol profile octet of the facility element.
constexpr int kExtBit = 7;
constexpr Bits kProfileSpare{6, 5};
constexpr Bits kProfile{4, 0};
constexpr unsigned kContextSpecific = 2;

constexpr auto kClass = numbered("Class Universal", "Class Application", "Class Context specific", "Class Private");
constexpr auto kComponentKind = numbered("", "Invoke", "Return result", "Return error", "Reject");

constexpr CodeText kLocalOperations[] = {{1, "USER USER INFORMATION"},
                                         {3, "MALICIOUS CALL IDENTIFICATION"},
                                         {4, "BEGIN 3 PARTY CONFERENCE"},
                                         {5, "END 3 PARTY CONFERENCE"},
                                         {6, "EXPLICIT CALL TRANSFER"},
                                         {7, "DIVERSION ACTIVATION"},
                                         {8, "DIVERSION DEACTIVATION"},
                                         {9, "DIVERSION ACTIVATION STATUS NOTIFICATION"},
                                         {10, "DIVERSION DEACTIVATION STATUS NOTIFICATION"},
                                         {11, "DIVERSION INTERROGATION"},
                                         {12, "DIVERSION INFORMATION"},
                                         {13, "CALL DEFLECTION"},
                                         {14, "CALL REROUTING"},
                                         {15, "DIVERTING LEG INFORMATION 2"},
                                         {17, "INTERROGATE SERVED USER NUMBERS"},
                                         {18, "DIVERTING LEG INFORMATION 1"},
                                         {19, "DIVERTING LEG INFORMATION 3"},
                                         {26, "NO CHARGING INFORMATION AVAILABLE"},
                                         {30, "CHARGING REQUEST"},
                                         {31, "AOCS in CURRECY"},
                                         {32, "AOCD SPECIAL ARRANGEMENT"},
                                         {33, "AOCD in CURRECY"},
                                         {34, "AOCD in CHARGING UNITS"},
                                         {35, "AOCE in CURRECY"},
                                         {36, "AOCE in CHARGING UNITS"}};

constexpr CodeText kLocalErrors[] = {{0, "User not subscribed"},
                                     {1, "Service not available"},
                                     {2, "Rejected by the called user"},
                                     {4, "Not implemented"},
                                     {6, "Invalid served user number"},
                                     {7, "Invalid call state"},
                                     {8, "Basic service not provided"},
                                     {9, "Not an incoming call"},
                                     {10, "Supplementary service interaction not allowed"},
                                     {11, "Resource unavailable"},
                                     {12, "Diverted to number"},
                                     {14, "Special service number"},
                                     {15, "Diversion ro served user number"},
                                     {23, "Incoming call accepted"},
                                     {24, "Number of diversions exceeded limit"},
                                     {46, "Not activated"},
                                     {48, "Request already accepted"}};

constexpr CodeText kCcbsTexts[] = {{1, "CCBS call info retain"},
                                   {2, "CCBS request"},
                                   {3, "CCBS deactivate"},
                                   {4, "CCBS interrogate"},
                                   {5, "CCBS erase"},
                                   {6, "CCBS remote user free"},
                                   {7, "CCBS call"},
                                   {8, "CCBS status request"},
                                   {9, "CCBS free"},
                                   {10, "CCBS erase call linkage id"},
                                   {11, "CCBS stop alerting"},
                                   {20, "CCBS invalid call inkage id"},
                                   {21, "CCBS invalid ccbs reference"},
                                   {22, "CCBS long term denial"},
                                   {23, "CCBS short term denial"},
                                   {24, "CCBS is already activated"},
                                   {25, "CCBS already accepted"},
                                   {26, "CCBS outgoing queue full"},
                                   {27, "CCBS call failure reason is not busy"},
                                   {28, "CCBS not ready for call"}};

constexpr CodeText kCcbsTTexts[] = {
    {1, "CCBS T request"},          {2, "CCBS T call"},      {3, "CCBS T suspend"},    {4, "CCBS T resume"},
    {5, "CCBS T remote user free"}, {6, "CCBS T available"}, {20, "Long term denial"}, {21, "Short term denial"}};

constexpr CodeText kPartyNumberKinds[] = {{0, "Unknown party number"}, {1, "Public party number"},
                                          {3, "Data party number"},    {4, "Telex party number"},
                                          {5, "Private party number"}, {8, "National Standard party number"}};

constexpr CodeText kPublicTypeOfNumber[] = {{0, "Unknown"},           {1, "International number"},
                                            {2, "National number"},   {3, "Network specific number"},
                                            {4, "Subscriber number"}, {6, "Abbreviated number"}};

constexpr CodeText kAocdBilling[] = {{0, "Normal charging"}, {1, "Reverse charging"}, {2, "Credit card charging"}};
constexpr CodeText kAoceBilling[] = {{0, "Normal charging"},      {1, "Reverse charging"},
                                     {2, "Credit card charging"}, {3, "Call forwarding unconditional"},
                                     {4, "Call forwarding busy"}, {5, "Call forwarding no reply"},
                                     {6, "Call deflection"},      {7, "Call transfer"}};

constexpr uint32_t kCcbsRecommendation = 359;

// One walk over a facility element: a cursor bounded by the element's last
// octet and the line helpers of the component's element texts.
class Walk {
 public:
  Walk(DecodeContext& ctx, size_t first, size_t last) : ctx(ctx), c(ctx, first, last) {}

  DecodeContext& ctx;
  ElementCursor c;

  void classForm(uint8_t tag) {
    ctx.append(valueText(tag, kTagClass, kClass, ""));
    ctx.append(',');
    ctx.append(flagText(tag, kConstructedBit, "Form Constructed", "Form Primitive"));
  }

  // Tag line: bits, class, form and, for the expected tag, "," and label.
  // False (after the form) for any other tag or when the element has ended.
  bool tagLine(uint8_t expected, std::string_view label, size_t extra = 0) {
    if (!c.more()) return false;
    const uint8_t t = c.next();
    ctx.bitsLine(t);
    ctx.spaces(extra);
    classForm(t);
    if (t != expected) return false;
    ctx.append(',');
    ctx.append(label);
    return true;
  }

  // Length line with its caption; false for the long form ("Length format
  // ill") or a length that needs more octets than are left.
  bool lengthLine(std::string_view caption, uint8_t& len, size_t extra = 0) {
    if (!c.more()) return false;
    len = c.next();
    ctx.bitsLine(len);
    ctx.spaces(extra);
    if (isSet(len, kLongFormBit)) {
      ctx.append("Length format ill");
      return false;
    }
    ctx.append("Length format ok,");
    ctx.append(caption);
    ctx.append(hex2(len));
    if (len > c.left()) {
      ctx.markMalformed(c.pos() + len - 1, "component past its element");
      return false;
    }
    return true;
  }

  // Length that must be exactly one octet: the long form shows "Length
  // format ill", another length fails without text.
  bool lengthOne(std::string_view caption, size_t extra = 0) {
    if (!c.more()) return false;
    const uint8_t len = c.peek();
    if (!isSet(len, kLongFormBit) && len != 1) return false;
    uint8_t l = 0;
    return lengthLine(caption, l, extra);
  }

  // Length line that must then read one octet (advice-of-charge values).
  bool lengthIsOne(std::string_view caption, size_t extra = 0) {
    uint8_t len = 0;
    return lengthLine(caption, len, extra) && len == 1;
  }

  // Value line: bits of the next octet; false when the element has ended.
  bool valueLine(uint8_t& v, size_t extra = 0) {
    if (!c.more()) return false;
    v = c.next();
    ctx.bitsLine(v);
    ctx.spaces(extra);
    return true;
  }
};

std::string captionOf(std::string_view label) { return "Length of " + std::string(label) + "="; }

// A CCBS argument element: tag line and length line with its built caption.
bool ccbsElement(Walk& w, uint8_t tag, std::string_view label, uint8_t& len) {
  return w.tagLine(tag, label) && w.lengthLine(captionOf(label), len);
}

// Single-octet value element (length exactly one) of a CCBS argument.
bool ccbsSingle(Walk& w, uint8_t tag, std::string_view label) {
  if (!w.tagLine(tag, label) || !w.lengthOne(captionOf(label))) return false;
  uint8_t v = 0;
  if (!w.valueLine(v)) return false;
  w.ctx.append(label);
  w.ctx.append(" value=");
  w.ctx.append(hex2(v));
  return true;
}

// Object identifier; the caller has shown the tag's bits line. On success
// the cursor stands at the sixth content octet (operation or error value).
bool decodeObjectIdentifier(Walk& w) {
  DecodeContext& ctx = w.ctx;
  w.classForm(0x06);
  ctx.append(",Object identifier operation");
  uint8_t len = 0;
  if (!w.lengthLine("Length of Object identifier=", len)) return false;
  const size_t contentEnd = w.c.pos() + len;  // one past the last content octet
  auto nextContent = [&](uint8_t& o) {
    if (w.c.pos() >= contentEnd || !w.c.more()) return false;
    o = w.c.next();
    ctx.bitsLine(o);
    return true;
  };
  uint8_t o1 = 0, o2 = 0, o3 = 0, o4 = 0, o5 = 0;
  if (!nextContent(o1) || o1 != 0x04) return false;
  ctx.append("CCITT,Identified organization");
  if (!nextContent(o2) || o2 != 0x00) return false;
  ctx.append("ETSI");
  if (!nextContent(o3) || !isSet(o3, kMoreBit)) return false;
  ctx.append("Continued");
  if (!nextContent(o4) || isSet(o4, kMoreBit)) return false;
  ctx.oidRecommendation = kSubidentifier.of(o3) * 128 + o4;
  ctx.append("Recommendation=");
  ctx.append(std::to_string(ctx.oidRecommendation));
  if (!nextContent(o5) || (o5 != 1 && o5 != 2)) return false;
  ctx.append(o5 == 1 ? "Operations and errors" : "Private netw. Operations and errors");
  ctx.oidModule = o5;
  return true;
}

// Operation / error value at the sixth OID content octet with its CCBS or
// CCBS-T text; false when there is none.
bool ccbsValue(Walk& w, uint8_t& value) {
  if (!w.valueLine(value)) return false;
  if (w.ctx.oidModule == 1)
    w.ctx.append(lookup(kCcbsTexts, value, ""));
  else
    w.ctx.append(lookup(kCcbsTTexts, value, ""));
  return true;
}

bool decodeArgumentSequence(Walk& w) {
  uint8_t len = 0;
  return ccbsElement(w, 0x30, "Argument sequence", len);
}

bool decodeRecallMode(Walk& w) {
  uint8_t len = 0;
  if (!ccbsElement(w, 0x0A, "Recall mode", len) || len == 0) return false;
  uint8_t v = 0;
  if (!w.valueLine(v)) return false;
  w.c.skip(len - 1);
  if (v == 0)
    w.ctx.append("Global Recall");
  else if (v == 1)
    w.ctx.append("Specific Recall");
  else
    return false;
  return true;
}

bool decodeCcbsReference(Walk& w) { return ccbsSingle(w, 0x02, "CCBS reference"); }

bool decodeCallLinkageId(Walk& w) { return ccbsSingle(w, 0x02, "Call linkage id"); }

bool decodePartyNumber(Walk& w) {
  DecodeContext& ctx = w.ctx;
  if (!w.c.more()) return false;
  const uint8_t t = w.c.next();
  ctx.bitsLine(t);
  w.classForm(t);
  const bool constructed = t >= 0xA0 && t <= 0xBF;
  const bool primitiveNamed = t == 0x80 || t == 0x83 || t == 0x84 || t == 0x88;
  if (!constructed && !primitiveNamed) return false;
  const std::string_view kind = valueText(t, kTagNumber, kPartyNumberKinds, "");
  if (kind.empty()) return false;
  ctx.append(',');
  ctx.append(kind);
  if (t != 0xA1) return true;
  uint8_t len = 0;
  if (!w.lengthLine(captionOf(kind), len)) return false;
  if (!w.tagLine(0x0A, "Type of number") || !w.lengthOne(captionOf("Type of number"))) return false;
  uint8_t v = 0;
  if (!w.valueLine(v)) return false;
  const std::string_view type = lookup(kPublicTypeOfNumber, v, "");
  ctx.append("Type of number value=");
  ctx.append(hex2(v));
  ctx.append(" as ");
  if (type.empty()) return false;
  ctx.append(type);
  uint8_t digits = 0;
  if (!ccbsElement(w, 0x12, "Number digits", digits)) return false;
  if (digits != 0) {
    ctx.newLineDigits();
    ctx.charRow(w.c.pos(), w.c.pos() + digits - 1);
    w.c.skip(digits);
  }
  return true;
}

// Address of B: returns the octets it covered (length + 2), 0 on failure.
size_t decodeAddressOfB(Walk& w) {
  uint8_t len = 0;
  if (!ccbsElement(w, 0x30, "Address of B", len)) return 0;
  const size_t after = w.c.pos() + len;
  if (!decodePartyNumber(w)) return 0;
  // Continue after the whole Address of B element.
  if (w.c.pos() < after) w.c.skip(after - w.c.pos());
  return size_t(len) + 2;
}

bool decodeNestedInformationElements(Walk& w) {
  DecodeContext& ctx = w.ctx;
  uint8_t len = 0;
  if (!ccbsElement(w, 0x40, "Q931 Info Elements", len)) return false;
  if (ctx.nested()) return true;
  if (len == 0) return true;
  const size_t first = w.c.pos();
  const size_t last = first + len - 1;
  ctx.setNested(true);
  CodeSetState codeSets;
  size_t i = first;
  while (i <= last) {
    ctx.bareBreak();
    ctx.spaces(4);
    if (codeSets.current != 0) break;
    i = decodeInformationElement(ctx, i, last, codeSets);
  }
  ctx.setNested(false);
  w.c.skip(len);
  return true;
}

void decodeCcbsInvokeArgument(Walk& w) {
  if (w.ctx.oidRecommendation != kCcbsRecommendation) return;
  uint8_t op = 0;
  if (!ccbsValue(w, op) || w.ctx.oidModule != 1) return;
  switch (op) {
    case 1:
    case 2:
    case 10: decodeCallLinkageId(w); break;
    case 3:
    case 7: decodeCcbsReference(w); break;
    case 5:
    case 6:
      if (decodeArgumentSequence(w) && decodeRecallMode(w) && decodeCcbsReference(w) && decodeAddressOfB(w) != 0)
        decodeNestedInformationElements(w);
      break;
    case 8:
      if (decodeArgumentSequence(w) && decodeRecallMode(w) && decodeCcbsReference(w))
        decodeNestedInformationElements(w);
      break;
    default: break;
  }
}

void decodeCcbsResult(Walk& w) {
  if (w.ctx.oidRecommendation != kCcbsRecommendation) return;
  uint8_t op = 0;
  if (!ccbsValue(w, op) || w.ctx.oidModule != 1) return;
  if (op == 2) {
    if (decodeArgumentSequence(w) && decodeRecallMode(w)) decodeCcbsReference(w);
  } else if (op == 8) {
    if (!w.c.more()) return;
    const uint8_t t = w.c.next();
    w.ctx.bitsLine(t);
    w.classForm(t);
    w.ctx.append(',');
    if (t != 0x01) return;
    w.ctx.append("CCBS Status result");
    uint8_t len = 0;
    if (!w.lengthLine(captionOf("CCBS Status result"), len)) return;
    uint8_t v = 0;
    if (!w.valueLine(v)) return;
    w.ctx.append(v != 0 ? "Free" : "Busy");
  }
}

constexpr std::string_view kComponentCaption = "Length of component=";

// Call deflection argument (local operation 13).
void decodeCallDeflection(Walk& w) {
  DecodeContext& ctx = w.ctx;
  uint8_t len = 0;
  if (!w.tagLine(0x30, "Argument Sequence") || !w.lengthLine(kComponentCaption, len)) return;
  if (!w.tagLine(0x30, "Deflection address") || !w.lengthLine(kComponentCaption, len)) return;
  if (!w.c.more()) return;
  const uint8_t t = w.c.next();
  ctx.bitsLine(t);
  w.classForm(t);
  ctx.append(',');
  if (t == 0x80) {
    ctx.append("Unknown party number");
  } else if (t == 0xA1) {
    ctx.append("Public party number");
    if (!w.lengthLine(kComponentCaption, len)) return;
    if (!w.tagLine(0x0A, "Type of Public party number") || !w.lengthLine(kComponentCaption, len)) return;
    uint8_t v = 0;
    if (!w.valueLine(v)) return;
    ctx.append("Type=");
    if (v == 0) ctx.append("Unknown");
    w.c.skip(len > 0 ? len - 1 : 0);
    if (!w.tagLine(0x12, "Number digits")) return;
  } else {
    return;
  }
  uint8_t count = 0;
  if (!w.lengthLine(kComponentCaption, count)) return;
  ctx.newLineDigits();
  if (count > 0) ctx.charRow(w.c.pos(), w.c.pos() + count - 1, false);
  w.c.skip(count);
  if (!w.tagLine(0x01, "Presentation indicator") || !w.lengthLine(kComponentCaption, len)) return;
  uint8_t v = 0;
  if (!w.valueLine(v)) return;
  ctx.append(v != 0 ? "Presentation allowed" : "Presentation restricted");
}

// AOCD in charging units (local operation 34).
void decodeAocdChargingUnits(Walk& w) {
  DecodeContext& ctx = w.ctx;
  if (w.c.peek() != 0x30) return;
  uint8_t scu = 0;
  if (!w.tagLine(0x30, "Specific charging units") || !w.lengthLine(kComponentCaption, scu)) return;
  if (scu != w.c.left()) return;  // the charging units fill the element
  size_t n = scu;
  uint8_t l = 0;
  if (!w.tagLine(0xA1, "Recorded units list", 1) || !w.lengthLine(kComponentCaption, l, 1)) return;
  if (n < size_t(l) + 2) return;
  const size_t listStart = w.c.pos();
  size_t offset = 0;
  for (int entry = 0; entry < 32 && offset < l; ++entry) {
    w.c.seek(listStart + offset);
    uint8_t e = 0, k = 0;
    if (!w.tagLine(0x30, "Recorded units", 1) || !w.lengthLine(kComponentCaption, e, 1)) return;
    if (!w.tagLine(0x02, "Recorded number of units", 2) || !w.lengthLine(kComponentCaption, k, 2)) return;
    if (k == 1) {
      uint8_t v = 0;
      if (!w.valueLine(v, 2)) return;
      ctx.append("Content=");
      ctx.append(hex2(v));
    } else if (k == 2) {
      if (w.c.left() < 2) return;
      const uint8_t hi = w.c.next(), lo = w.c.next();
      ctx.newLineStars();
      ctx.spaces(3);
      ctx.append("Content=");
      ctx.append(hex4(uint16_t(hi << 8 | lo)));
    } else {
      return;
    }
    if (e == k + 5) {
      if (!w.tagLine(0x02, "Recorded type of units", 2) || !w.lengthIsOne(kComponentCaption, 2)) return;
      uint8_t v = 0;
      if (!w.valueLine(v, 2)) return;
      ctx.append("Content=");
      ctx.append(hex2(v));
    }
    offset += size_t(e) + 2;
  }
  w.c.seek(listStart + l);
  n -= size_t(l) + 2;
  if (n > 2) {
    if (!w.tagLine(0x82, "Type of charging info") || !w.lengthIsOne(kComponentCaption)) return;
    uint8_t v = 0;
    if (!w.valueLine(v)) return;
    ctx.append("Content=");
    if (v == 0)
      ctx.append("Sub Total");
    else if (v == 1)
      ctx.append("Total");
    n -= 3;
  }
  if (n > 2) {
    if (!w.tagLine(0x83, "aOCD billing id") || !w.lengthIsOne(kComponentCaption)) return;
    uint8_t v = 0;
    if (!w.valueLine(v)) return;
    ctx.append("Content=");
    ctx.append(lookup(kAocdBilling, v, ""));
  }
}

// AOCE in charging units (local operation 36).
void decodeAoceChargingUnits(Walk& w) {
  DecodeContext& ctx = w.ctx;
  if (w.c.peek() != 0x30) return;
  uint8_t len = 0;
  if (!w.tagLine(0x30, "Charging unit info") || !w.lengthLine(kComponentCaption, len)) return;
  if (!w.c.more()) return;
  const uint8_t t = w.c.next();
  ctx.bitsLine(t);
  w.classForm(t);
  if (t == 0x81) {
    ctx.append(",Free of charge");
    w.lengthLine(kComponentCaption, len);
    return;
  }
  if (t != 0x30) return;
  ctx.append(",Specific charging units");
  if (!w.lengthLine(kComponentCaption, len)) return;
  if (!w.tagLine(0xA1, "Recorded units list") || !w.lengthLine(kComponentCaption, len)) return;
  if (!w.tagLine(0x30, "Recorded units") || !w.lengthLine(kComponentCaption, len)) return;
  if (!w.tagLine(0x02, "Recorded number of units") || !w.lengthLine(kComponentCaption, len)) return;
  uint8_t v = 0;
  if (len == 0 || !w.valueLine(v)) return;
  ctx.append("Content:");
  ctx.append(hex2(v));
  w.c.skip(size_t(len) - 1);
  if (!w.tagLine(0x82, "Billing Id") || !w.lengthLine(kComponentCaption, len)) return;
  if (len == 0 || !w.valueLine(v)) return;
  ctx.append("Content:");
  ctx.append(lookup(kAoceBilling, v, ""));
}

void decodeInvoke(Walk& w) {
  DecodeContext& ctx = w.ctx;
  if (w.c.left() < 3) return;
  const uint8_t p = w.c.next();
  ctx.bitsLine(p);
  if (p == 0x06) {
    if (decodeObjectIdentifier(w)) decodeCcbsInvokeArgument(w);
    return;
  }
  w.classForm(p);
  ctx.append(',');
  if (p != 0x02) return;
  ctx.append("Operation tag");
  uint8_t len = 0;
  if (!w.lengthLine("Length of operation value=", len) || len == 0) return;
  uint8_t op = 0;
  if (!w.valueLine(op)) return;
  ctx.append(lookup(kLocalOperations, op, "RESERVED"));
  w.c.skip(size_t(len) - 1);
  if (op == 13)
    decodeCallDeflection(w);
  else if (op == 34)
    decodeAocdChargingUnits(w);
  else if (op == 36)
    decodeAoceChargingUnits(w);
}

void decodeReturnResult(Walk& w) {
  DecodeContext& ctx = w.ctx;
  if (!w.c.more()) return;
  const uint8_t p = w.c.next();
  ctx.bitsLine(p);
  w.classForm(p);
  if (p != 0x30) return;
  ctx.append(",Return Result sequence");
  uint8_t len = 0;
  if (!w.lengthLine("Length of Return Result sequence=", len)) return;
  if (!w.c.more()) return;
  const uint8_t t = w.c.next();
  ctx.bitsLine(t);
  if (t != 0x06) return;
  if (decodeObjectIdentifier(w)) decodeCcbsResult(w);
}

void decodeReturnError(Walk& w) {
  DecodeContext& ctx = w.ctx;
  const size_t left = w.c.left();
  if (left < 3) return;
  const uint8_t p = w.c.next();
  ctx.bitsLine(p);
  if (left > 3) {
    if (p != 0x06 || !decodeObjectIdentifier(w)) return;
    if (ctx.oidRecommendation != kCcbsRecommendation) return;
    uint8_t v = 0;
    ccbsValue(w, v);
    return;
  }
  w.classForm(p);
  ctx.append(',');
  if (p != 0x02) return;
  ctx.append("Error value tag");
  uint8_t len = 0;
  if (!w.lengthLine("Length of operation value=", len) || len == 0) return;
  uint8_t v = 0;
  if (!w.valueLine(v)) return;
  ctx.append(lookup(kLocalErrors, v, "RESERVED"));
}

}  // namespace

void decodeFacility(DecodeContext& ctx, size_t lenIndex) {
  const size_t n = ctx.at(lenIndex);
  if (n < 2) return;
  const size_t last = lenIndex + n;
  if (last > kLastMessageIndex) return;
  const uint8_t tag = ctx.at(lenIndex + 2);
  const unsigned kind = kTagNumber.of(tag);
  if (kind >= 1 && kind <= 4) ctx.append(lookup(kComponentKind, kind, ""));
  if (n < 6) return;
  ctx.oidRecommendation = 0;
  ctx.oidModule = 0;
  Walk w(ctx, lenIndex + 1, last);
  // Octet 3: protocol profile.
  const uint8_t profile = w.c.next();
  ctx.bitsLine(profile);
  if (!isSet(profile, kExtBit)) {
    ctx.append("Continued");
    return;
  }
  const bool suppService = kProfile.of(profile) == 0x11;
  ctx.append("Not Continued,");
  ctx.append(kProfileSpare.of(profile) != 0 ? "Spare field ill" : "Spare field ok");
  ctx.append(',');
  ctx.append(suppService ? "Supp service applications" : "Reserved");
  // Octet 4: component tag.
  w.c.next();
  ctx.bitsLine(tag);
  ctx.append(valueText(tag, kTagClass, kClass, ""));
  if (kTagClass.of(tag) != kContextSpecific) return;
  ctx.append(',');
  ctx.append(flagText(tag, kConstructedBit, "Form Constructed", "Form Primitive"));
  if (!isSet(tag, kConstructedBit)) return;
  ctx.append(',');
  ctx.append(lookup(kComponentKind, kind <= 4 ? kind : 0, ""));
  ctx.append(" component");
  // Octet 5: component length; the component must fill the element.
  uint8_t compLen = 0;
  if (!w.lengthLine("Length of component=", compLen)) return;
  if (n != size_t(compLen) + 3 || !suppService) return;
  // Invoke identifier.
  if (!w.c.more()) return;
  const uint8_t idTag = w.c.next();
  ctx.bitsLine(idTag);
  w.classForm(idTag);
  ctx.append(',');
  if (idTag != 0x02) return;
  ctx.append("Invoke identifier");
  uint8_t idLen = 0;
  if (!w.lengthLine("Length of identifier=", idLen)) return;
  if (idLen == 1) {
    uint8_t v = 0;
    if (!w.valueLine(v)) return;
    ctx.append("Identifier value=");
    ctx.append(hex2(v));
  } else if (idLen == 2) {
    const uint8_t hi = w.c.next(), lo = w.c.next();
    ctx.newLineStars();
    ctx.append("Identifier value=");
    ctx.append(hex4(uint16_t(hi << 8 | lo)));
  } else {
    return;
  }
  switch (kind) {
    case 1: decodeInvoke(w); break;
    case 2: decodeReturnResult(w); break;
    case 3: decodeReturnError(w); break;
    default: break;
  }
}

}  // namespace lumarc
