#include "lumarc/decoder/monitor_record.h"

#include "common/format.h"

namespace lumarc {

namespace {
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
}  // namespace

std::string encodeMessageBytes(const uint8_t* bytes, size_t count) {
  std::string s;
  s.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    s += char((bytes[i] & 0x0F) | 0x40);
    s += char((bytes[i] >> 4) | 0x40);
  }
  return s;
}

MonitorRecord buildMonitorRecord(const MonitorFrame& f, uint16_t hpidx, uint8_t ptyp) {
  MonitorRecord r;
  r.type = le16(&f[18]);
  r.hpidx = hpidx;
  r.ptyp = ptyp;
  r.dir = le16(&f[16]) & 0x7FF;
  r.tdate.year = 2000 + f[8] % 100;
  r.tdate.month = f[9] % 13;
  r.tdate.day = f[10] & 31;
  r.tdate.hour = f[11] % 24;
  r.tdate.minute = f[12] % 60;
  r.tdate.second = f[13] % 60;
  r.cport = corvane::formatPort(le32(&f[0]));
  r.pport = corvane::formatPort(le32(&f[4]));
  r.ind = le16(&f[20]);
  r.datl = f[22] > kMonitorMessageBytes ? int32_t(kMonitorMessageBytes) : f[22];
  r.datb = encodeMessageBytes(&f[23], kMonitorMessageBytes);
  return r;
}

}  // namespace lumarc
