#include "lumarc/decoder/frame_text.h"

namespace lumarc {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads exactly `digits` hex digits of field into value; false otherwise.
bool hexField(std::string_view field, size_t digits, uint32_t& value) {
  if (field.size() != digits) return false;
  value = 0;
  for (char c : field) {
    const int v = hexValue(c);
    if (v < 0) return false;
    value = value << 4 | uint32_t(v);
  }
  return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

FrameLineStatus parseFrameLine(std::string_view line, FrameLine& out, std::string& error) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  size_t p = 0;
  while (p < line.size() && isBlank(line[p])) ++p;
  if (p == line.size() || line[p] == '#') return FrameLineStatus::Skip;
  std::string_view fields[3];
  size_t n = 0;
  while (p < line.size()) {
    const size_t start = p;
    while (p < line.size() && !isBlank(line[p])) ++p;
    if (n == 3) {
      error = "more than three fields";
      return FrameLineStatus::Malformed;
    }
    fields[n++] = line.substr(start, p - start);
    while (p < line.size() && isBlank(line[p])) ++p;
  }
  if (n != 3) {
    error = "expected HPIDX PTYP FRAME";
    return FrameLineStatus::Malformed;
  }
  uint32_t v = 0;
  if (!hexField(fields[0], 4, v)) {
    error = "HPIDX must be 4 hexadecimal digits";
    return FrameLineStatus::Malformed;
  }
  out.hpidx = uint16_t(v);
  if (!hexField(fields[1], 2, v)) {
    error = "PTYP must be 2 hexadecimal digits";
    return FrameLineStatus::Malformed;
  }
  out.ptyp = uint8_t(v);
  if (fields[2].size() != 2 * kMonitorFrameSize) {
    error = "FRAME must be 240 hexadecimal digits";
    return FrameLineStatus::Malformed;
  }
  for (size_t i = 0; i < kMonitorFrameSize; ++i) {
    if (!hexField(fields[2].substr(2 * i, 2), 2, v)) {
      error = "FRAME must be 240 hexadecimal digits";
      return FrameLineStatus::Malformed;
    }
    out.frame[i] = uint8_t(v);
  }
  return FrameLineStatus::Frame;
}

std::string formatFrameLine(uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(8 + 2 * kMonitorFrameSize);
  for (int shift = 12; shift >= 0; shift -= 4) s += kHex[(hpidx >> shift) & 0xF];
  s += ' ';
  s += kHex[ptyp >> 4];
  s += kHex[ptyp & 0xF];
  s += ' ';
  for (uint8_t b : frame) {
    s += kHex[b >> 4];
    s += kHex[b & 0xF];
  }
  return s;
}

}  // namespace lumarc
