// MTP level 2 signal units and level 3 (Q.703, Q.704): sequence numbers,
// link status, service information octet, routing label, signalling network
// management and signalling link test messages.
#include "lumarc/decoder/bodies.h"
#include "lumarc/decoder/ss7.h"

#include "common/format.h"

#include <array>
#include <utility>

namespace lumarc {

namespace {

using corvane::hex2;
using corvane::hex4;

// Link status of an LSSU (status octet b3).
constexpr std::array<const char*, 6> kLinkStatus = {" SIO", " SIN", " SIE", " SIOS", " SIPO", " SIB"};

// What follows the heading octet of a network management message.
enum class NmContent { None, Fsn, Changeback, Destination, DataLink, UserPart };

struct NmMessage {
  uint8_t heading;
  const char* name;
  NmContent content;
};

constexpr NmMessage kNetworkManagement[] = {
    {0x11, "COO  Changeover order", NmContent::Fsn},
    {0x21, "COA  Changeover ack.", NmContent::Fsn},
    {0x51, "CBD  Changeback declaration", NmContent::Changeback},
    {0x61, "CBA  Changeback ack.", NmContent::Changeback},
    {0x12, "ECO  Emergency changeover order", NmContent::None},
    {0x22, "ECA  Emergency changeover ack.", NmContent::None},
    {0x13, "RCT  Signalling route set congestion test", NmContent::None},
    {0x23, "TFC  Transfer controlled", NmContent::None},
    {0x14, "TFP  Transfer prohibited", NmContent::Destination},
    {0x34, "TFR  Transfer restricted", NmContent::Destination},
    {0x54, "TFA  Transfer allowed", NmContent::Destination},
    {0x15, "RST  Signalling route set test for prohibited destination", NmContent::Destination},
    {0x25, "RSR  Signalling route set test for restricted destination", NmContent::Destination},
    {0x16, "LIN  Link inhibit", NmContent::None},
    {0x26, "LUN  Link uninhibit", NmContent::None},
    {0x36, "LIA  Link inhibit ack.", NmContent::None},
    {0x46, "LUA  Link uninhibit ack.", NmContent::None},
    {0x56, "LID  Link inhibit denied", NmContent::None},
    {0x66, "LFU  Link forced uninhibit", NmContent::None},
    {0x76, "LLT  Link local inhibit test", NmContent::None},
    {0x86, "LRT  Link remote inhibit test", NmContent::None},
    {0x17, "TRA  Traffic restart allowed", NmContent::None},
    {0x18, "DLC  Signalling data link connection order", NmContent::DataLink},
    {0x28, "CSS  Connection successful", NmContent::None},
    {0x38, "CNS  Connection not successful", NmContent::None},
    {0x48, "CNP  Connection not possible", NmContent::None},
    {0x1A, "UPU  User part unavailable", NmContent::UserPart},
};

constexpr std::array<const char*, 16> kServiceIndicator = {"Signalling network management",
                                                           "Signalling network testing and maintenence",
                                                           "Spare",
                                                           "SCCP",
                                                           "TUP",
                                                           "ISUP",
                                                           "DUP circuit related",
                                                           "DUP facility",
                                                           "MTP testing user part",
                                                           "Broad band ISDN user part",
                                                           "Satellite ISDN user part",
                                                           "Spare",
                                                           "Spare",
                                                           "Spare",
                                                           "Spare",
                                                           "Spare"};

void headingLine(DecodeContext& ctx, uint8_t h) {
  ctx.bitsLine(h);
  ctx.append("Heading Code H1:");
  ctx.append(hex2(uint8_t(h >> 4)));
  ctx.append(",Heading Code H0:");
  ctx.append(hex2(uint8_t(h & 0x0F)));
}

// Point code of b9-b10 with the spare check of its high bits (limit: first
// value of b10 that sets a spare bit).
void pointCodeLine(DecodeContext& ctx, unsigned limit, const char* caption, uint16_t mask) {
  const uint8_t b9 = ctx.at(9), b10 = ctx.at(10);
  ctx.newLineStars();
  if (b10 >= limit) {
    ctx.append("Spare field ill");
    return;
  }
  ctx.append("Spare field ok,");
  ctx.append(caption);
  ctx.append(hex4(uint16_t((b9 | (b10 << 8)) & mask)));
}

void networkManagementContent(DecodeContext& ctx, NmContent content) {
  const uint8_t b9 = ctx.at(9);
  switch (content) {
    case NmContent::None: break;
    case NmContent::Fsn:
      ctx.bitsLine(b9);
      if (b9 & 0x80) {
        ctx.append("Spare field ill");
      } else {
        ctx.append("Spare field ok,FSN of last acknowledged MSU:");
        ctx.append(hex2(uint8_t(b9 & 0x7F)));
      }
      break;
    case NmContent::Changeback:
      ctx.bitsLine(b9);
      ctx.append("Changeback code=");
      ctx.append(hex2(b9));
      break;
    case NmContent::Destination: pointCodeLine(ctx, 64, "Destination point code:", 0x3FFF); break;
    case NmContent::DataLink: pointCodeLine(ctx, 16, "Signalling data link identity:", 0x0FFF); break;
    case NmContent::UserPart: {
      pointCodeLine(ctx, 64, "Destination point code:", 0x3FFF);
      const uint8_t b11 = ctx.at(11);
      ctx.bitsLine(b11);
      ctx.append(serviceIndicatorName(b11 & 0x0F));
      ctx.append(",Cause:");
      if ((b11 >> 4) == 1)
        ctx.append("Unequipped remote user");
      else if ((b11 >> 4) == 2)
        ctx.append("Inaccessible remote user");
      break;
    }
  }
}

void decodeNetworkManagement(Ss7Message& msg) {
  DecodeContext& ctx = msg.ctx;
  const uint8_t h = ctx.at(8);
  headingLine(ctx, h);
  for (const NmMessage& m : kNetworkManagement) {
    if (m.heading == h) {
      insertMessageName(msg, m.name);
      networkManagementContent(ctx, m.content);
      return;
    }
  }
  insertMessageName(msg, "Unknown message");
}

void decodeLinkTest(Ss7Message& msg) {
  DecodeContext& ctx = msg.ctx;
  const uint8_t h = ctx.at(8);
  headingLine(ctx, h);
  if (h == 0x11)
    insertMessageName(msg, "SLTM Signalling link test");
  else if (h == 0x21)
    insertMessageName(msg, "SLTA Signalling link test ack.");
  else
    return;
  const uint8_t b9 = ctx.at(9);
  const size_t n = b9 >> 4;
  ctx.bitsLine(b9);
  ctx.append("Len=");
  ctx.append(hex2(uint8_t(n)));
  if (n == 0) return;
  ctx.newLine();
  ctx.append("TestPtrn ");
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && i % 26 == 0) ctx.newLineCont();
    ctx.append(hex2(ctx.at(10 + i)));
    ctx.append(' ');
  }
}

}  // namespace

std::string_view serviceIndicatorName(uint8_t si) { return kServiceIndicator[si & 0x0F]; }

void insertMessageName(Ss7Message& msg, std::string_view text) {
  std::string& t = msg.ctx.text();
  if (msg.namePos > t.size()) msg.namePos = t.size();
  t.insert(msg.namePos, text);
}

void decodeMtp3(DecodeContext& ctx, uint8_t li) {
  Ss7Message msg{ctx};
  ctx.append(" msu ");
  msg.namePos = ctx.text().size();

  const uint8_t b2 = ctx.at(2);
  ctx.bitsLine(b2);
  if (b2 & 0xC0) {
    ctx.append("Spare field ill");
    return;
  }
  ctx.append("Spare field ok,Len=");
  ctx.append(hex2(b2));
  const bool consistent = li == 63 ? ctx.datl() >= 66 : ctx.datl() == size_t(li) + 3;
  if (!consistent) ctx.append(", Length indicator inconsistent!");
  if (ctx.datl() < (li == 63 ? 66u : size_t(li) + 3)) {
    ctx.markMalformed(li == 63 ? 65u : size_t(li) + 2, "length indicator past the end");
  }

  const uint8_t sio = ctx.at(3);
  static constexpr const char* kNetwork[4] = {"International network,", "Spare,", "National network-0,",
                                              "National network-1,"};
  static constexpr const char* kSpareBits[4] = {"00,", "01,", "10,", "11,"};
  ctx.bitsLine(sio);
  ctx.append("Subservice:");
  ctx.append(kNetwork[sio >> 6]);
  ctx.append("Spare bits:");
  ctx.append(kSpareBits[(sio >> 4) & 0x03]);
  ctx.append(serviceIndicatorName(sio & 0x0F));

  const uint32_t r =
      uint32_t(ctx.at(4)) | uint32_t(ctx.at(5)) << 8 | uint32_t(ctx.at(6)) << 16 | uint32_t(ctx.at(7)) << 24;
  ctx.newLineStars();
  ctx.append("Destination point code:");
  ctx.append(hex4(uint16_t(r & 0x3FFF)));
  ctx.newLineStars();
  ctx.append("Originating point code:");
  ctx.append(hex4(uint16_t((r >> 14) & 0x3FFF)));
  ctx.newLineStars();
  ctx.append("Signalling link code:");
  ctx.append(hex4(uint16_t(r >> 28)));

  switch (sio & 0x0F) {
    case 0: decodeNetworkManagement(msg); break;
    case 1: decodeLinkTest(msg); break;
    case 3: decodeSccp(msg); break;
    case 5: decodeIsup(msg); break;
    default:
      ctx.bitsLine(ctx.at(8));
      ctx.append("****** Service indicator not implemented");
      break;
  }
}

void decodeMtp2(DecodeContext& ctx) {
  if (ctx.datl() < 3) {
    ctx.markMalformed(2, "signal unit under 3 octets");
    ctx.dropRecord();
    return;
  }
  const uint8_t b0 = ctx.at(0), b1 = ctx.at(1);
  ctx.append("Bib=");
  ctx.append((b0 & 0x80) ? '1' : '0');
  ctx.append(" Bsn=");
  ctx.append(hex2(uint8_t(b0 & 0x7F)));
  ctx.append(" Fib=");
  ctx.append((b1 & 0x80) ? '1' : '0');
  ctx.append(" Fsn=");
  ctx.append(hex2(uint8_t(b1 & 0x7F)));

  const uint8_t li = ctx.at(2);
  if (li == 0) {
    ctx.append(" FISU");
    return;
  }
  if (li <= 2) {
    const uint8_t status = ctx.at(3);
    if (status >= kLinkStatus.size()) {
      // Unknown status: its bits, no dump.
      ctx.bitsLine(status);
      if ((status & 0xC0) == 0) ctx.append("Spare field ok");
      return;
    }
    ctx.append(kLinkStatus[status]);
    if (li == 2) ctx.hexDump();
    return;
  }
  if (li <= 63) decodeMtp3(ctx, li);
  ctx.hexDump();
}

}  // namespace lumarc
