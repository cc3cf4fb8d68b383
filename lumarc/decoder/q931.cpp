// ISDN call-control message header, call reference, message names and the
// element loop with code-set shifts (Q.931/Q.932).
// Bits are numbered 1-8 as in Q.931 (bit 8 = 0x80).
#include "lumarc/decoder/q931.h"

#include "common/format.h"
#include "lumarc/decoder/bodies.h"
#include "lumarc/decoder/fields.h"
#include "lumarc/decoder/q931_elements.h"

namespace lumarc {

namespace {

using corvane::hex2;
using corvane::hex4;

constexpr CodeText kMessageTypes[] = {
    {0x01, "ALERTING"},
    {0x02, "CALL PROCEEDING"},
    {0x03, "PROGRESS"},
    {0x05, "SETUP"},
    {0x07, "CONNECT"},
    {0x0D, "SETUP ACKNOWLEDGE"},
    {0x0F, "CONNECT ACKNOWLEDGE"},
    {0x20, "USER INFORMATION"},
    {0x21, "SUSPEND REJECT"},
    {0x22, "RESUME REJECT"},
    {0x24, "HOLD"},
    {0x25, "SUSPEND"},
    {0x26, "RESUME"},
    {0x28, "HOLD ACKNOWLEDGE"},
    {0x2D, "SUSPEND ACKNOWLEDGE"},
    {0x2E, "RESUME ACKNOWLEDGE"},
    {0x30, "HOLD REJECT"},
    {0x31, "RETRIEVE"},
    {0x33, "RETRIEVE ACKNOWLEDGE"},
    {0x37, "RETRIEVE REJECT"},
    {0x45, "DISCONNECT"},
    {0x46, "RESTART"},
    {0x4D, "RELEASE"},
    {0x4E, "RESTART ACKNOWLEDGE"},
    {0x5A, "RELEASE COMPLETE"},
    {0x60, "SEGMENT"},
    {0x62, "FACILITY"},
    {0x64, "REGISTER"},
    {0x6E, "NOTIFY"},
    {0x75, "STATUS ENQUIRY"},
    {0x79, "CONGESTION CONTROL"},
    {0x7B, "INFORMATION"},
    {0x7D, "STATUS"},
};

constexpr char kHexDigit[] = "0123456789ABCDEF";

}  // namespace

std::string_view messageTypeName(uint8_t type) { return lookup(kMessageTypes, type, {}); }

void decodeCallControl(DecodeContext& ctx, size_t offset) {
  // Index of the last message byte; the message ends there.
  const long last = long(ctx.datl()) - 1;
  const long off = long(offset);
  if (last < off || ctx.at(offset) != 0x08) return;
  ctx.append(" Ptcl=08");
  ctx.bareBreak();
  ctx.spaces(17);
  ctx.append("Cref=");
  long typeIndex = 0;
  switch (ctx.at(offset + 1)) {
    case 0:
      ctx.append("Dummy ");
      typeIndex = off + 2;
      break;
    case 1: {
      if (last < off + 2) {
        ctx.markMalformed(offset + 2, "call reference cut short");
        return;
      }
      const uint8_t c = ctx.at(offset + 2);
      ctx.append((c & 0x80) ? "d" : "o");
      ctx.append(hex2(c & 0x7F));
      ctx.spaces(3);
      typeIndex = off + 3;
      break;
    }
    case 2: {
      if (last < off + 3) {
        ctx.markMalformed(offset + 3, "call reference cut short");
        return;
      }
      const uint8_t c = ctx.at(offset + 2);
      ctx.append((c & 0x80) ? "d" : "o");
      ctx.append(hex4(uint16_t((c & 0x7F) << 8 | ctx.at(offset + 3))));
      ctx.append(' ');
      typeIndex = off + 4;
      break;
    }
    default: return;
  }
  if (typeIndex > last) {
    ctx.markMalformed(size_t(typeIndex), "message type missing");
    return;
  }
  const std::string_view name = messageTypeName(ctx.at(size_t(typeIndex)));
  if (name.empty()) {
    ctx.append("UNKNOWN");
    return;
  }
  ctx.append(name);
  CodeSetState codeSets;
  size_t i = size_t(typeIndex) + 1;
  while (i <= size_t(last)) {  // kEndOfElements is above any index
    ctx.bareBreak();
    if (codeSets.current != 0) break;
    i = decodeInformationElement(ctx, i, size_t(last), codeSets);
  }
}

size_t decodeInformationElement(DecodeContext& ctx, size_t i, size_t last, CodeSetState& codeSets) {
  if (last > kLastMessageIndex) last = kLastMessageIndex;
  if (i > last) return kEndOfElements;
  const uint8_t e = ctx.at(i);
  if (e & 0x80) {
    switch (e & 0xF0) {
      case 0x90:
        if (e & 0x08) return kEndOfElements;  // non-locking shift
        ctx.spaces(19);
        ctx.append("Code Set=");
        ctx.append(char('0' + (e & 0x07)));
        codeSets.current = e & 0x07;
        return i + 1;
      case 0xA0:
        if (e == 0xA0) {
          ctx.spaces(19);
          ctx.append("More Data");
        } else if (e == 0xA1) {
          ctx.spaces(17);
          ctx.append("Sending Complete");
        } else {
          return kEndOfElements;
        }
        return i + 1;
      case 0xB0:
        ctx.spaces(19);
        ctx.append("Congestion Level=");
        ctx.append(kHexDigit[e & 0x0F]);
        return i + 1;
      default: return kEndOfElements;
    }
  }
  ctx.spaces(8);
  ctx.append("Len=");
  if (i + 1 > last) {
    ctx.markMalformed(i + 1, "element length missing");
    return kEndOfElements;
  }
  const uint8_t n = ctx.at(i + 1);
  ctx.append(hex2(n));
  ctx.spaces(3);
  if (i + 1 + n > last) {
    ctx.markMalformed(i + 1 + n, "element past the end");
    return kEndOfElements;
  }
  ctx.append(elementName(e));
  decodeElementContent(ctx, e, i + 1, n);
  if (e == 0x00) return kEndOfElements;
  return i + 2 + n;
}

}  // namespace lumarc
