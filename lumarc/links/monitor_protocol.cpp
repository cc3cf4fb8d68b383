#include "lumarc/links/monitor_protocol.h"

#include "common/crypto.h"

#include <cstring>

namespace lumarc {

namespace {
constexpr size_t kLoginAcceptedPayload = 161;
constexpr size_t kAccessUnknownPayload = 11;
constexpr size_t kAccessAcceptedPayload = 12;
constexpr size_t kRecordPayload = 127;

void put16(std::string& out, uint16_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char(v >> 8));
}

uint16_t get16(std::string_view s, size_t at) { return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8); }

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
  std::string out;
  out.reserve(30);
  out.push_back('\x00');
  out.push_back('\x07');
  out.append(8, '\0');
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char((stamp >> shift) & 0xFF));
  std::string proof;
  for (int shift = 0; shift <= 24; shift += 8) proof.push_back(char((stamp >> shift) & 0xFF));
  proof += fixed(password32, 32);
  corvane::Md5Digest digest = corvane::md5(reinterpret_cast<const uint8_t*>(proof.data()), proof.size());
  out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
  return out;
}

std::string monitorAccessPayload(std::string_view accessCode8) {
  std::string out("\x14\x00", 2);
  out += fixed(accessCode8, 8);
  return out;
}

std::string monitorPollPayload(uint16_t hpidx, uint16_t sequence) {
  std::string out("\x0B\x02\xFF\xFF\xFF\xFF", 6);
  put16(out, hpidx);
  put16(out, sequence);
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
    m.hpidx = get16(p, 10);
  } else if (p[1] == '\x01' && p.size() == kRecordPayload) {
    m.kind = MonitorMessageKind::Record;
    m.sequence = get16(p, 2);
    m.hpidx = get16(p, 4);
    m.ptyp = uint8_t(p[6]);
    std::memcpy(m.frame.data(), p.data() + 7, kMonitorFrameSize);
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
  out.append(8, '\0');
  put16(out, hpidx);
  return out;
}

std::string monitorRecordPayload(uint16_t sequence, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame) {
  std::string out("\x14\x01", 2);
  put16(out, sequence);
  put16(out, hpidx);
  out.push_back(char(ptyp));
  out.append(reinterpret_cast<const char*>(frame.data()), frame.size());
  return out;
}

std::string monitorRefusalDatagram() { return std::string(8, '\x11'); }

}  // namespace lumarc
