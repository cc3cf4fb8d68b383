#include "lumarc/links/cmdr_line.h"

#include "common/format.h"

#include <cmath>
#include <cstdio>

namespace lumarc {

using corvane::decimal;

std::string callKindText(uint32_t flags) {
  switch (flags & 0xFF) {
    case 1: return "PlDynm";
    case 2: return "PlUser";
    case 3: return "PlSkey";
    case 4: return "PlSHot";
    case 5: return "PlUHot";
    case 6: return "PlIcmp";
    case 7: return "PlBusy";
    case 8: return "PlAlert";
    case 33: return "UCdefl";
    case 34: return "UCdivU";
    case 35: return "UCdivB";
    case 36: return "UCdivN";
    case 37: return "SCdivU";
    case 38: return "SCdivB";
    case 39: return "SCdivN";
    case 40: return "H323Xu";
    case 41: return "H323Xf";
    case 64: return "UCxfrA";
    case 65: return "CalBck";
    case 66: return "UCdivR";
    case 67: return "UCxfrB";
    case 68: return "UCxfrN";
    case 69: return "AltRtg";
    default: return "      ";
  }
}

std::string recordDateText(const DateTime& t) {
  return decimal(uint32_t(t.year), 4, false, true) + "/" + corvane::dec2(uint32_t(t.month)) + "/" +
         corvane::dec2(uint32_t(t.day)) + " " + corvane::dec2(uint32_t(t.hour)) + ":" +
         corvane::dec2(uint32_t(t.minute)) + ":" + corvane::dec2(uint32_t(t.second));
}

namespace {

std::string padRight(std::string s, size_t n) {
  if (s.size() < n) s.append(n - s.size(), ' ');
  return s;
}
std::string cut(const std::string& s, size_t n) { return s.size() > n ? s.substr(0, n) : s; }

std::string digitColumn(const CmdrRecord& r, const LineOptions& o, bool calling) {
  const std::string& digits = calling ? r.cdata : r.rdata;
  bool covered = o.replacement == DigitReplacement::Both ||
                 (calling ? o.replacement == DigitReplacement::Calling : o.replacement == DigitReplacement::Dialled);
  if (covered && o.replace) return padRight(o.replace(digits, calling), 32);
  return padRight(digits, 32);
}

std::string ipColumn(uint32_t v) { return padRight(v ? corvane::ipv4Text(v) : std::string(), 15); }

std::string starColumn(uint32_t flags) {
  uint32_t s = (flags >> 21) & 0xF;
  if (s == 0) return "   ";
  if (s == 1) return "*  ";
  if (s == 2) return "** ";
  return "*" + corvane::dec2(s);
}

std::string longTypeA(const CmdrRecord& r, const LineOptions& o) {
  std::string s = starColumn(r.flags) + "  ";
  s += padRight(callKindText(r.flags), 6) + " ";
  s += recordDateText(r.tdate) + " ";
  s += corvane::blankPad(r.cport, 8) + " ";
  s += decimal(r.rpuls, 4, false, true) + " " + decimal(r.ppuls, 4, false, true) + " ";
  s += digitColumn(r, o, false) + " ";
  s += corvane::formatDuration(r.duration) + " ";
  s += corvane::blankPad(r.pport, 8) + " " + corvane::blankPad(r.uport, 8) + " ";
  s += digitColumn(r, o, true) + " ";
  s += padRight(r.xdata, 32) + " ";
  s += ipColumn(r.crefc) + " ";
  s += ipColumn(r.ipadr) + " ";
  return s;
}

std::string longOther(const CmdrRecord& r) {
  const std::string b4(4, ' '), b8(8, ' ');
  std::string s;
  char t = r.type[0];
  if (t == 'D')
    s = "D Malicious ";
  else
    s = padRight(std::string(1, t), 12);
  s += recordDateText(r.tdate) + " ";
  switch (t) {
    case 'B': s += cut(r.rdata, 32) + cut(r.xdata, 32) + cut(r.cdata, 32); break;
    case 'C':
      s += r.cport + " " + b4 + " " + (r.ppuls ? decimal(r.ppuls, 4, false, true) : b4) + " " + r.rdata + " " + b8 +
           " " + r.uport + " ";
      break;
    case 'D':
      s += r.cport + " " + b4 + " " + b4 + " " + cut(r.cdata, 28) + " " + b8 + " " + r.uport + " " + r.rdata;
      break;
    case 'E':
      s += r.cport + " " + decimal(r.rpuls, 4, true, false) + " " + decimal(r.ppuls, 4, true, false) + " ";
      break;
    case 'F': s += r.cport + " " + cut(r.rdata, 32); break;
  }
  return s;
}

std::string shortTypeA(const CmdrRecord& r, const LineOptions& o) {
  std::string s = std::string(o.acknowledged ? "A " : "  ") + " ";
  s += recordDateText(r.tdate) + " ";
  s += corvane::formatDuration(r.duration) + " ";
  s += digitColumn(r, o, false) + " ";
  s += amountText(o.externalAmount + o.internalAmount, 4) + " ";
  s += decimal(r.rpuls, 4, false, false) + " " + decimal(r.ppuls, 4, false, false) + " ";
  s += r.uport + " ";
  s += digitColumn(r, o, true) + " ";
  return s;
}

}  // namespace

std::string cmdrLineText(const CmdrRecord& r, const LineOptions& o) {
  if (r.type.size() != 1) return {};
  char t = r.type[0];
  if (o.format == LineFormat::Short) return t == 'A' ? shortTypeA(r, o) : std::string();
  if (t == 'A') return longTypeA(r, o);
  if (t >= 'B' && t <= 'F') return longOther(r);
  return {};
}

std::string amountText(double value, int w) {
  const size_t total = size_t(w < 0 ? 0 : w) + 4;
  if (!std::isfinite(value)) return std::string(total, '*');
  bool negative = value < 0;
  double a = std::fabs(value);
  // The value's decimal form with 15 significant digits, so that 1.0005 is
  // seen as written and rounds up, as decimal arithmetic would.
  int before = a >= 1 ? int(std::floor(std::log10(a))) + 1 : 0;
  int prec = before >= 15 ? 0 : 15 - before;
  if (prec > 20) prec = 20;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", prec, a);
  std::string text = buf;
  size_t dot = text.find('.');
  std::string intPart = dot == std::string::npos ? text : text.substr(0, dot);
  std::string frac = dot == std::string::npos ? std::string() : text.substr(dot + 1);
  frac = padRight(frac, 4);
  // Round half away from zero at the third decimal.
  std::string digits = intPart + frac.substr(0, 3);
  if (frac[3] >= '5') {
    int i = int(digits.size()) - 1;
    while (i >= 0 && digits[size_t(i)] == '9') digits[size_t(i--)] = '0';
    if (i < 0)
      digits.insert(digits.begin(), '1');
    else
      ++digits[size_t(i)];
  }
  std::string decimals = digits.substr(digits.size() - 3);
  std::string integer = digits.substr(0, digits.size() - 3);
  size_t nz = integer.find_first_not_of('0');
  integer = nz == std::string::npos ? std::string() : integer.substr(nz);
  if (integer.empty() && decimals == "000") negative = false;

  size_t limit = w >= 1 ? size_t(w - 1) : 0;
  while (integer.size() > limit) {
    if (decimals.empty()) return std::string(total, '*');
    decimals.pop_back();
    ++limit;
  }
  std::string s = (integer.empty() ? std::string("0") : integer) + "." + decimals;
  s = (negative ? "-" : " ") + s;
  if (s.size() < total) s.insert(0, total - s.size(), ' ');
  return s;
}

}  // namespace lumarc
