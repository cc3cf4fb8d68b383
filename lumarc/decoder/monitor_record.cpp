#include "lumarc/decoder/monitor_record.h"

#include "common/byte_io.h"
#include "common/format.h"

namespace lumarc {

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
  const corvane::ByteReader in(f);
  MonitorRecord r;
  using namespace monframe;
  r.type = in.le16(kType);
  r.hpidx = hpidx;
  r.ptyp = ptyp;
  r.dir = in.le16(kDirection) & 0x7FF;
  r.tdate.year = 2000 + in.u8(kYear) % 100;
  r.tdate.month = in.u8(kMonth) % 13;
  r.tdate.day = in.u8(kDay) & 31;
  r.tdate.hour = in.u8(kHour) % 24;
  r.tdate.minute = in.u8(kMinute) % 60;
  r.tdate.second = in.u8(kSecond) % 60;
  r.cport = corvane::formatPort(in.le32(kCallingPort));
  r.pport = corvane::formatPort(in.le32(kPartnerPort));
  r.ind = in.le16(kIndicator);
  const uint8_t length = in.u8(kLength);
  r.datl = length > kMonitorMessageBytes ? int32_t(kMonitorMessageBytes) : length;
  r.datb = encodeMessageBytes(in.bytes(kMessage, kMonitorMessageBytes).data(), kMonitorMessageBytes);
  return r;
}

}  // namespace lumarc
