#include "lumarc/decoder/framework.h"

#include "common/format.h"
#include "lumarc/decoder/bodies.h"

#include <ctime>

namespace lumarc {

namespace {

using corvane::hex4;

void appendHeader(DecodeContext& ctx) {
  const MonitorRecord& r = ctx.record();
  std::tm tm{};
  tm.tm_year = r.tdate.year - 1900;
  tm.tm_mon = r.tdate.month - 1;
  tm.tm_mday = r.tdate.day;
  tm.tm_hour = r.tdate.hour;
  tm.tm_min = r.tdate.minute;
  tm.tm_sec = r.tdate.second;
  uint32_t frac = uint32_t(r.dir & 0x3FF) * 2;
  if (frac > 999) frac = 999;
  ctx.append(' ');
  ctx.append(hex4(uint16_t(r.hpidx)));
  ctx.append(' ');
  ctx.append(corvane::formatMonitorTime(tm));
  ctx.append('.');
  ctx.append(corvane::dec3(frac));
  ctx.append(' ');
}

void eventPrefix(DecodeContext& ctx) {
  ctx.append(hex4(uint16_t(ctx.record().ind)));
  ctx.spaces(21);
}

void callControlPrefix(DecodeContext& ctx) {
  const MonitorRecord& r = ctx.record();
  ctx.append(hex4(uint16_t(r.ind)));
  ctx.append(' ');
  ctx.append((r.dir & 1) ? "O " : "I ");
  ctx.append(r.cport);
  ctx.append(' ');
  if (r.pport != r.cport)
    ctx.append(r.pport);
  else
    ctx.spaces(8);
  ctx.append(' ');
}

// Register-signalling label by kind (0xF1-0xF4) and ind; nullptr suppresses.
const char* registerLabel(unsigned kind, int32_t ind) {
  static constexpr const char* kTone[4] = {"    RcvTone Linked process ", "    XmtTone Linked process ", "RcvTone ",
                                           "XmtTone "};
  static constexpr const char* kTstp[4] = {"    RcvTstp Linked process ", "    XmtTstp Linked process ", "RcvTstp ",
                                           "XmtTstp "};
  const unsigned k = kind - 0xF1;
  const int32_t low = ind & 0xFF, high = ind & 0xFF00;
  if (low != 0) return kTone[k];
  if (high == 0x300) return nullptr;
  if (high == 0x400) return kTstp[k];
  return kTone[k];
}

// clang-format off
void dispatch(DecodeContext& ctx) {
  const MonitorRecord& r = ctx.record();
  const unsigned kind = (uint32_t(r.type) >> 8) & 0xFF;
  const unsigned sub = uint32_t(r.type) & 0xFF;
  switch (kind) {
    case 0xFF: ctx.append("  TO CC "); callControlPrefix(ctx); decodeCallControlPrimitive(ctx); break;
    case 0xFE: ctx.append("FROM CC "); callControlPrefix(ctx); decodeCallControlPrimitive(ctx); break;
    case 0xF0: ctx.append("      TO CC Linked process "); callControlPrefix(ctx); decodeCallControlPrimitive(ctx); break;
    case 0xEF: ctx.append("    FROM CC Linked process "); callControlPrefix(ctx); decodeCallControlPrimitive(ctx); break;
    case 0xFD:
      if (sub == 0x27) { ctx.append("RCV V5.2An "); decodeV5Envelope(ctx); }
      else if (sub == 0x26) { ctx.append("RCV V5.2Le "); decodeV5Envelope(ctx); }
      else { ctx.append("RCV PKT "); decodeLapd(ctx); }
      break;
    case 0xFC:
      if (sub == 0x25) { ctx.append("XMT PKT "); decodeMtp2(ctx); }
      else if (sub == 0x26) { ctx.append("XMT V5.2Le "); decodeV5Envelope(ctx); }
      else if (sub == 0x27) { ctx.append("XMT V5.2An "); decodeV5Envelope(ctx); }
      else { ctx.append("XMT PKT "); decodeLapd(ctx); }
      break;
    case 0xF6: ctx.append("XMT PKT "); decodeMtp2(ctx); break;
    case 0xF5: ctx.append("RCV PKT "); decodeMtp2(ctx); break;
    case 0xFB: ctx.append("PH REQ  "); eventPrefix(ctx); decodePhRequest(ctx); break;
    case 0xFA: ctx.append("PH IND  "); eventPrefix(ctx); decodePhIndication(ctx); break;
    case 0xF9: ctx.append("E1 SYNC "); eventPrefix(ctx); decodeE1Sync(ctx); break;
    case 0xF8: ctx.append("R Bits  "); decodeSignallingBits(ctx, true); break;
    case 0xF7: ctx.append("X Bits  "); decodeSignallingBits(ctx, false); break;
    case 0xF4: case 0xF3: case 0xF2: case 0xF1: {
      const char* label = registerLabel(kind, r.ind);
      if (!label) { ctx.dropRecord(); break; }
      ctx.append(label);
      decodeRegisterSignalling(ctx);
      break;
    }
    case 0xEE:
      ctx.append("L.event ");
      eventPrefix(ctx);
      if (r.ind == 0) ctx.append("Line activated");
      else if (r.ind == 1) ctx.append("Line deactivated");
      break;
    case 0xED: ctx.append("SIP RCV PKT "); decodeSipPacket(ctx); break;
    case 0xEC: ctx.append("SIP XMT PKT "); decodeSipPacket(ctx); break;
    default: ctx.dropRecord(); break;
  }
}
// clang-format on

}  // namespace

std::string decodeMonitorRecord(const MonitorRecord& record, DecodeOptions options) {
  return decodeMonitorRecordMarked(record, options).text;
}

RecordDecode decodeMonitorRecordMarked(const MonitorRecord& record, DecodeOptions options) {
  DecodeContext ctx(record, options);
  appendHeader(ctx);
  dispatch(ctx);
  RecordDecode out;
  out.malformed = ctx.malformed();
  out.malformation = ctx.malformation();
  if (!ctx.dropped()) out.text = std::move(ctx.text());
  return out;
}

std::vector<std::string> splitDecodeText(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  size_t start = 0;
  for (;;) {
    size_t p = text.find(kLineSeparator, start);
    if (p == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, p - start));
    start = p + 1;
  }
  return lines;
}

}  // namespace lumarc
