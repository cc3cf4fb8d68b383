#include "lumarc/links/cmdr_frame.h"

#include "common/byte_io.h"
#include "common/checks.h"
#include "common/format.h"

namespace lumarc {

using corvane::ByteReader;
using corvane::ByteWriter;

bool cmdrCheckWordOk(const CmdrFrame& f) {
  return ByteReader(f).le16(cmdr::kCheck) == corvane::frameCheck16(f.data(), cmdr::kCheck);
}

namespace {
uint8_t sum150(const CmdrFrame& f) {
  unsigned s = 0;
  for (size_t i = 0; i <= cmdr::kEndMark; ++i) s += f[i];
  return uint8_t(s);
}
}  // namespace

bool cmdrSumOk(const CmdrFrame& f) { return f[cmdr::kEndMark] == 0xFF && f[cmdr::kSum] == sum150(f); }

void sealCmdrFrame(CmdrFrame& f) {
  f[cmdr::kEndMark] = 0xFF;
  f[cmdr::kSum] = sum150(f);
  ByteWriter(f).putLe16(cmdr::kCheck, corvane::frameCheck16(f.data(), cmdr::kCheck));
}

namespace {
int daysInMonth(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return days[month - 1];
}
}  // namespace

DateTime unpackCmdrTime(uint32_t v) {
  DateTime t;
  t.second = int(v & 0x3F);
  t.minute = int((v >> 6) & 0x3F);
  t.hour = int((v >> 12) & 0x1F);
  t.day = int((v >> 17) & 0x1F);
  t.month = int((v >> 22) & 0x0F);
  t.year = 2000 + int((v >> 26) & 0x3F) % 100;
  if (t.month == 0 || t.month > 12) t.month = 1;
  if (t.day == 0) t.day = 1;
  if (t.hour > 23) t.hour = 0;
  if (t.minute > 59) t.minute = 0;
  if (t.second > 59) t.second = 0;
  // A day the month does not have would not be a valid date-time at all.
  int last = daysInMonth(t.year, t.month);
  if (t.day > last) t.day = last;
  return t;
}

uint32_t packCmdrTime(const DateTime& t) {
  return uint32_t(t.second & 0x3F) | uint32_t(t.minute & 0x3F) << 6 | uint32_t(t.hour & 0x1F) << 12 |
         uint32_t(t.day & 0x1F) << 17 | uint32_t(t.month & 0x0F) << 22 | uint32_t((t.year - 2000) & 0x3F) << 26;
}

uint32_t cmdrDuration(uint32_t v) {
  uint32_t d = (v / 125) * 2;
  if (v % 125 > 62) ++d;
  if (v % 62 > 31) ++d;
  return d;
}

std::string cmdrDigitField(const CmdrFrame& f, size_t offset, size_t count) {
  std::string s(cmdr::kFieldSize, ' ');
  for (size_t i = 0; i < count && i < cmdr::kFieldSize; ++i) s[i] = corvane::digitChar(f[offset + i]);
  return s;
}

std::string cmdrTextRun(const CmdrFrame& f, size_t offset, size_t length) {
  std::string s(length, ' ');
  for (size_t i = 0; i < length; ++i) {
    uint8_t b = f[offset + i];
    if (b == 0) break;
    s[i] = (b < 0x20 || b == 0x7F) ? ' ' : char(b);
  }
  return s;
}

bool decodeCmdrFrame(const CmdrFrame& f, uint32_t exchangeAddress, CmdrRecord& r) {
  const ByteReader in(f);
  r = CmdrRecord{};
  r.ipadr = exchangeAddress;
  r.tdate = unpackCmdrTime(in.le32(cmdr::kTime));
  const std::string blank8(8, ' '), blank32(32, ' ');
  auto port = [&](size_t o) { return corvane::formatPort(in.le32(o)); };
  auto textRun = [&] {
    std::string run = cmdrTextRun(f, cmdr::kField1, 3 * cmdr::kFieldSize);
    r.rdata = run.substr(0, 32);
    r.xdata = run.substr(32, 32);
    r.cdata = run.substr(64, 32);
  };
  switch (in.le32(cmdr::kKind) & 0x3F) {
    case 0:
      r.type.assign(1, 'A');
      r.cport = port(cmdr::kFirstPort);
      r.pport = port(cmdr::kPartnerPort);
      r.uport = port(cmdr::kUsedPort);
      r.rdata = cmdrDigitField(f, cmdr::kField1);
      r.xdata = cmdrDigitField(f, cmdr::kField2);
      r.cdata = cmdrDigitField(f, cmdr::kField3, 28);
      r.rpuls = in.le16(cmdr::kExternalPulses);
      r.ppuls = in.le16(cmdr::kInternalPulses);
      r.flags = in.le32(cmdr::kFlags);
      r.duration = cmdrDuration(in.le32(cmdr::kDuration));
      r.crefa = in.le32(cmdr::kCrefA);
      r.crefb = in.le32(cmdr::kCrefB);
      r.crefc = in.le32(cmdr::kCrefC);
      return true;
    case 1:
      r.type.assign(1, 'B');
      r.cport = blank8;
      r.pport = blank8;
      r.uport = blank8;
      textRun();
      return true;
    case 2:
      r.type.assign(1, 'C');
      r.cport = port(cmdr::kFirstPort);
      r.pport = blank8;
      r.uport = port(cmdr::kUsedPort);
      textRun();
      r.ppuls = in.le16(cmdr::kInternalPulses);
      return true;
    case 3:
      r.type.assign(1, 'D');
      r.cport = port(cmdr::kFirstPort);
      r.pport = blank8;
      r.uport = port(cmdr::kUsedPort);
      r.rdata = cmdrDigitField(f, cmdr::kField1);
      r.xdata = blank32;
      r.cdata = cmdrDigitField(f, cmdr::kField3, 28);
      return true;
    case 4:
      r.type.assign(1, 'E');
      r.cport = port(cmdr::kFirstPort);
      r.pport = blank8;
      r.uport = blank8;
      r.rdata = blank32;
      r.xdata = blank32;
      r.cdata = blank32;
      r.rpuls = in.le16(cmdr::kExternalPulses);
      r.ppuls = in.le16(cmdr::kInternalPulses);
      return true;
    case 5:
      r.type.assign(1, 'F');
      r.cport = port(cmdr::kFirstPort);
      r.pport = blank8;
      r.uport = blank8;
      r.rdata = cmdrTextRun(f, cmdr::kField1, cmdr::kFieldSize);
      r.xdata = blank32;
      r.cdata = blank32;
      return false;
    default: return false;
  }
}

namespace {
uint8_t digitValue(char c) {
  if (c >= '0' && c <= '9') return uint8_t(c - '0');
  if (c >= 'A' && c <= 'D') return uint8_t(c - 'A' + 10);
  if (c == '*') return 14;
  if (c == '#') return 15;
  return 0xFF;
}
void putDigits(CmdrFrame& f, size_t offset, const std::string& digits) {
  for (size_t i = 0; i < cmdr::kFieldSize; ++i) f[offset + i] = i < digits.size() ? digitValue(digits[i]) : 0xFF;
}
}  // namespace

CmdrFrame buildCmdrFrame(const CmdrFrameFields& s) {
  CmdrFrame f{};
  ByteWriter out(f);
  out.putLe32(cmdr::kFirstPort, s.firstPort);
  out.putLe32(cmdr::kPartnerPort, s.partnerPort);
  out.putLe32(cmdr::kUsedPort, s.usedPort);
  out.putLe32(cmdr::kFlags, s.flags);
  out.putLe32(cmdr::kKind, s.kind);
  if (s.kind == 1 || s.kind == 2 || s.kind == 5) {
    for (size_t i = 0; i < 3 * cmdr::kFieldSize && i < s.text1.size(); ++i) f[cmdr::kField1 + i] = uint8_t(s.text1[i]);
  } else {
    putDigits(f, cmdr::kField1, s.digits1);
    putDigits(f, cmdr::kField2, s.digits2);
    putDigits(f, cmdr::kField3, s.digits3);
  }
  out.putLe32(cmdr::kTime, packCmdrTime(s.time));
  out.putLe32(cmdr::kDuration, s.rawDuration);
  out.putLe32(cmdr::kCrefA, s.crefA);
  out.putLe32(cmdr::kCrefB, s.crefB);
  out.putLe32(cmdr::kCrefC, s.crefC);
  out.putLe16(cmdr::kExternalPulses, s.externalPulses);
  out.putLe16(cmdr::kInternalPulses, s.internalPulses);
  sealCmdrFrame(f);
  return f;
}

}  // namespace lumarc
