#include "lumarc/links/monitor_protocol.h"

#include "common/byte_io.h"
#include "common/crypto.h"

#include <cstring>

namespace lumarc {

namespace {
constexpr size_t kLoginAcceptedPayload = 161;
constexpr size_t kAccessUnknownPayload = 11;
constexpr size_t kAccessAcceptedPayload = 12;
constexpr size_t kRecordPayload = 127;
constexpr size_t kLoginPayload = 30;
constexpr size_t kPollPayload = 10;

using namespace monitormsg;
using corvane::ByteReader;
using corvane::ByteWriter;

std::string fixed(std::string_view text, size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}
}  // namespace

uint32_t monitorTimeStamp(const std::tm& local) {
  uint32_t t = uint32_t(local.tm_year + 1900);
  t = (t << 4) | uint32_t(local.tm_mon + 1);
  t = (t << 4) | uint32_t(local.tm_mday);
  t = (t << 4) | uint32_t(local.tm_hour);
  t = (t << 6) | uint32_t(local.tm_min);
  t = (t << 6) | uint32_t(local.tm_sec);
  return t;
}

std::string monitorLoginPayload(uint32_t stamp, std::string_view password32) {
  std::string proof(4, '\0');
  ByteWriter(proof).putLe32(0, stamp);
  proof += fixed(password32, 32);
  const corvane::Md5Digest digest = corvane::md5(reinterpret_cast<const uint8_t*>(proof.data()), proof.size());
  std::string out(kLoginPayload, '\0');
  ByteWriter w(out);
  w.put8(1, 0x07);
  w.putBe32(kLoginStamp, stamp);
  w.putBytes(kLoginDigest, digest);
  return out;
}

std::string monitorAccessPayload(std::string_view accessCode8) {
  std::string out("\x14\x00", 2);
  out += fixed(accessCode8, 8);
  return out;
}

std::string monitorPollPayload(uint16_t hpidx, uint16_t sequence) {
  std::string out("\x0B\x02\xFF\xFF\xFF\xFF", 6);
  out.resize(kPollPayload);
  ByteWriter w(out);
  w.putLe16(kPollHpidx, hpidx);
  w.putLe16(kPollSequence, sequence);
  return out;
}

std::string monitorLogoutPayload() { return std::string("\x26\x00\x00\x00", 4); }

bool isMonitorRefusal(const uint8_t* data, size_t size) {
  if (size != 8) return false;
  for (size_t i = 0; i < size; ++i)
    if (data[i] != 0x11) return false;
  return true;
}

MonitorMessage parseMonitorPayload(std::string_view p) {
  MonitorMessage m;
  if (p.empty()) {
    m.kind = MonitorMessageKind::PollAnswer;
    return m;
  }
  if (p.size() == kLoginAcceptedPayload && p[0] == '\x00') {
    m.kind = MonitorMessageKind::LoginAccepted;
    return m;
  }
  if (p.size() < 2 || p[0] != '\x14') return m;
  if (p[1] == '\x00' && p.size() == kAccessUnknownPayload) {
    m.kind = MonitorMessageKind::AccessUnknown;
  } else if (p[1] == '\x00' && p.size() == kAccessAcceptedPayload) {
    m.kind = MonitorMessageKind::AccessAccepted;
    m.hpidx = ByteReader(p).le16(kAcceptedHpidx);
  } else if (p[1] == '\x01' && p.size() == kRecordPayload) {
    const ByteReader r(p);
    m.kind = MonitorMessageKind::Record;
    m.sequence = r.le16(kRecordSequence);
    m.hpidx = r.le16(kRecordHpidx);
    m.ptyp = r.u8(kRecordPtyp);
    r.copy(kRecordFrame, m.frame.data(), kMonitorFrameSize);
  }
  return m;
}

std::string monitorLoginAcceptedPayload() { return std::string(kLoginAcceptedPayload, '\0'); }

std::string monitorAccessUnknownPayload() {
  std::string out("\x14\x00", 2);
  out.append(kAccessUnknownPayload - 2, '\0');
  return out;
}

std::string monitorAccessAcceptedPayload(uint16_t hpidx) {
  std::string out("\x14\x00", 2);
  out.resize(kAccessAcceptedPayload);
  ByteWriter(out).putLe16(kAcceptedHpidx, hpidx);
  return out;
}

std::string monitorRecordPayload(uint16_t sequence, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame) {
  std::string out("\x14\x01", 2);
  out.resize(kRecordPayload);
  ByteWriter w(out);
  w.putLe16(kRecordSequence, sequence);
  w.putLe16(kRecordHpidx, hpidx);
  w.put8(kRecordPtyp, ptyp);
  w.putBytes(kRecordFrame, frame);
  return out;
}

std::string monitorRefusalDatagram() { return std::string(8, '\x11'); }

}  // namespace lumarc
