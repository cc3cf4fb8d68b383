#include "common/format.h"

#include "common/byte_io.h"

#include <arpa/inet.h>

#include <cstdio>

namespace corvane {

namespace {
constexpr char kHexUpper[] = "0123456789ABCDEF";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::string formatPort(uint32_t port) {
  std::string s(8, ' ');
  for (int i = 0; i < 8; ++i) {
    uint32_t n = (port >> (28 - 4 * i)) & 0xF;
    if (n <= 9)
      s[i] = char('0' + n);
    else if (n <= 14)
      s[i] = char('A' + n - 10);
  }
  return s;
}

std::string portDigits(uint32_t port) {
  std::string s;
  for (int i = 0; i < 8; ++i) {
    uint32_t n = (port >> (28 - 4 * i)) & 0xF;
    if (n <= 9) s += char('0' + n);
  }
  return s;
}

std::string cleanPortText(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string out;
  for (; i < text.size() && out.size() < 8; ++i) {
    char c = text[i];
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))
      out += c;
    else
      break;
  }
  return out;
}

std::string portText8(std::string_view text) {
  std::string c = cleanPortText(text);
  return std::string(8 - c.size(), ' ') + c;
}

uint32_t parsePort(std::string_view text) {
  uint32_t v = 0xFFFFFFFFu;
  for (char c : text) {
    if (c >= '0' && c <= '9')
      v = (v << 4) | uint32_t(c - '0');
    else if (c == ' ')
      continue;
    else
      break;
  }
  return v;
}

char digitChar(uint32_t value) {
  uint8_t v = uint8_t(value & 0xFF);
  if (v <= 9) return char('0' + v);
  switch (v) {
    case 10: return 'A';
    case 11: return 'B';
    case 12: return 'C';
    case 13: return 'D';
    case 14: return '*';
    case 15: return '#';
    default: return ' ';
  }
}

std::string hex2(uint8_t v) { return {kHexUpper[v >> 4], kHexUpper[v & 0xF]}; }
std::string hex4(uint16_t v) { return hex2(uint8_t(v >> 8)) + hex2(uint8_t(v)); }

static std::string hexN(uint32_t v, int digits) {
  std::string s(size_t(digits), '0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) s[size_t(i)] = kHexUpper[v & 0xF];
  return s;
}
std::string hex6(uint32_t v) { return hexN(v & 0xFFFFFF, 6); }
std::string hex8(uint32_t v) { return hexN(v, 8); }

uint32_t parseHex8(std::string_view text) {
  if (text.size() != 8) return 0;
  uint32_t v = 0;
  for (char c : text) {
    int d = hexValue(c);
    if (d < 0) return 0;
    v = (v << 4) | uint32_t(d);
  }
  return v;
}

uint32_t parseHex(std::string_view text) {
  uint32_t v = 0;
  for (char c : text) {
    int d = hexValue(c);
    v = (v << 4) + uint32_t(d < 0 ? 15 : d);
  }
  return v;
}

std::string dec2(uint32_t n) { return decimal(n % 100, 2, false, true); }
std::string dec3(uint32_t n) { return n >= 1000 ? "999" : decimal(n, 3, false, true); }
std::string dec4(uint32_t n) { return decimal(n % 10000, 4, false, true); }
std::string decN(uint32_t n) { return decimal(n % 10000); }

std::string decimal(uint32_t value, int w, bool leftAlign, bool zeroFill) {
  if (leftAlign) zeroFill = false;
  char buf[11];
  for (int i = 9; i >= 0; --i, value /= 10) buf[i] = char('0' + value % 10);
  buf[10] = 0;
  std::string s;
  if (zeroFill) {
    s.assign(buf, 10);
  } else {
    int first = 0;
    while (first < 9 && buf[first] == '0') ++first;
    s.assign(buf + first, size_t(10 - first));
  }
  if (w <= 0) return s;
  size_t width = size_t(w);
  if (s.size() > width) return s.substr(s.size() - width);
  if (s.size() < width) {
    if (leftAlign)
      s.append(width - s.size(), ' ');
    else
      s.insert(0, width - s.size(), zeroFill ? '0' : ' ');
  }
  return s;
}

uint32_t digitsValue(std::string_view text) {
  uint32_t v = 0;
  for (char c : text)
    if (c >= '0' && c <= '9') v = v * 10u + uint32_t(c - '0');
  return v;
}

std::string ipv4Text(uint32_t a) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
  return buf;
}

std::string ipv4Text15(uint32_t a) {
  std::string s = ipv4Text(a);
  s.resize(15, ' ');
  return s;
}

uint32_t ipv4Value(std::string_view text) {
  std::string s(text);
  in_addr a{};
  if (inet_pton(AF_INET, s.c_str(), &a) != 1) return 0;
  return ntohl(a.s_addr);
}

std::string ipv6Text(const uint8_t addr[16]) {
  const ByteReader r(addr, 16);
  uint16_t g[8];
  for (int i = 0; i < 8; ++i) g[i] = r.be16(2 * size_t(i));
  int runStart = -1, runLen = 0;
  for (int i = 0; i < 8; ++i) {
    if (g[i] != 0) continue;
    int j = i;
    while (j < 8 && g[j] == 0) ++j;
    runStart = i;
    runLen = j - i;
    break;
  }
  std::string s;
  char buf[8];
  for (int i = 0; i < 8; ++i) {
    if (i == runStart) {
      s += "::";
      i += runLen - 1;
      continue;
    }
    if (!s.empty() && s.back() != ':') s += ':';
    std::snprintf(buf, sizeof buf, "%x", g[i]);
    s += buf;
  }
  return s;
}

std::optional<std::array<uint8_t, 16>> ipv6Value(std::string_view text) {
  std::string s(text);
  std::array<uint8_t, 16> out{};
  if (inet_pton(AF_INET6, s.c_str(), out.data()) != 1) return std::nullopt;
  return out;
}

std::string blankPad(std::string_view text, size_t n) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string s(text.substr(i));
  if (s.size() < n) s.append(n - s.size(), ' ');
  return s;
}

std::string formatDuration(uint32_t s) {
  std::string out;
  if (s >= 3600) {
    uint32_t h = s / 3600;
    out = h > 99 ? "**:" : dec2(h) + ":";
    s -= 3600 * h;
  } else {
    out = "   ";
  }
  if (s == 0) return out + "   00";
  uint32_t m = s / 60;
  out += m != 0 ? dec2(m) + ":" : "   ";
  out += dec2(s % 60);
  return out;
}

std::string formatDateTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return formatDateTime(tm);
}

std::string formatDateTime(const std::tm& tm) {
  char buf[64];
  std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &tm);
  return buf;
}

std::string formatMonitorTime(const std::tm& tm) {
  return decimal(uint32_t(tm.tm_year + 1900)) + "/" + dec2(uint32_t(tm.tm_mon + 1)) + "/" + dec2(uint32_t(tm.tm_mday)) +
         " " + dec2(uint32_t(tm.tm_hour)) + ":" + dec2(uint32_t(tm.tm_min)) + ":" + dec2(uint32_t(tm.tm_sec));
}

std::string_view trimBlanks(std::string_view t) {
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  return t;
}

}  // namespace corvane
