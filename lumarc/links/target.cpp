#include "lumarc/links/target.h"

#include "common/format.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace lumarc {

using corvane::cleanPortText;
using corvane::digitsValue;

bool ConnectionTarget::isZero() const {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(this);
  return std::all_of(p, p + sizeof *this, [](uint8_t b) { return b == 0; });
}

uint16_t defaultPort(LinkKind kind) { return kind == LinkKind::Voice ? 9874 : 9876; }

namespace {
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isHexLetter(char c) { return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

HostKind checkHost(std::string_view text, std::string* accepted) {
  if (accepted) accepted->clear();
  bool open = !text.empty() && text[0] == '[';
  size_t start = open ? 1 : 0;
  size_t end = std::min(text.size(), start + 255);
  int digits = 0, letters = 0, nonHexLetters = 0, dots = 0, hyphens = 0, colons = 0;
  size_t i = start;
  for (; i < end; ++i) {
    char c = text[i];
    if (isDigit(c))
      ++digits;
    else if (isLetter(c)) {
      ++letters;
      if (!isHexLetter(c)) ++nonHexLetters;
    } else if (c == '.')
      ++dots;
    else if (c == '-')
      ++hyphens;
    else if (c == ':')
      ++colons;
    else
      break;
  }
  bool close = i < text.size() && text[i] == ']';
  std::string host(text.substr(0, close ? i + 1 : i));
  std::string inner = host.substr(start, i - start);
  bool brackets = open || close;

  HostKind kind = HostKind::Invalid;
  if (digits >= 4 && letters == 0 && dots == 3 && hyphens == 0 && colons == 0 && !brackets) {
    in_addr a{};
    if (inet_pton(AF_INET, inner.c_str(), &a) == 1) kind = HostKind::Ipv4;
  } else if (nonHexLetters == 0 && dots == 0 && hyphens == 0 && colons >= 2 && open == close) {
    in6_addr a{};
    if (inet_pton(AF_INET6, inner.c_str(), &a) == 1) kind = HostKind::Ipv6;
  } else if (!inner.empty() && isLetter(inner[0]) && dots >= 1 && colons == 0 && !brackets) {
    kind = HostKind::Name;
  }
  if (kind != HostKind::Invalid && accepted) *accepted = host;
  return kind;
}

ConnectionTarget parseAddressText(std::string_view text) {
  ConnectionTarget t = ConnectionTarget::zero();
  std::memset(t.password, ' ', sizeof t.password);
  std::memset(t.accessCode, ' ', sizeof t.accessCode);

  if (size_t dash = text.find('-'); dash != std::string_view::npos) {
    std::string code = cleanPortText(text.substr(dash + 1));
    std::memcpy(t.accessCode + (8 - code.size()), code.data(), code.size());
    text = text.substr(0, dash);
  }
  if (size_t comma = text.find(','); comma != std::string_view::npos) {
    std::string_view pw = text.substr(comma + 1);
    while (!pw.empty() && pw.front() == ' ') pw.remove_prefix(1);
    std::memcpy(t.password, pw.data(), std::min(pw.size(), sizeof t.password));
    text = text.substr(0, comma);
  }

  std::string host;
  uint32_t port = 0;
  size_t lb = text.find('[');
  size_t rb = lb == std::string_view::npos ? std::string_view::npos : text.find(']', lb);
  if (rb != std::string_view::npos) {
    host = std::string(text.substr(lb, rb - lb + 1));
    std::string rest = std::string(text.substr(0, lb)) + std::string(text.substr(rb + 1));
    if (size_t colon = rest.find(':'); colon != std::string::npos) port = digitsValue(rest.substr(colon + 1));
  } else if (size_t colon = text.find(':'); colon != std::string_view::npos) {
    port = digitsValue(text.substr(colon + 1));
    host = std::string(text.substr(0, colon));
  } else {
    host = std::string(text);
  }
  if (port > 65535) return t;
  t.setPort(uint16_t(port));

  std::string accepted;
  if (checkHost(corvane::trimBlanks(host), &accepted) == HostKind::Invalid) return t;
  std::memcpy(t.host, accepted.data(), std::min(accepted.size(), size_t(255)));
  return t;
}

std::string addressBoxText(const ConnectionTarget& t, LinkKind kind) {
  std::string s = t.hostText();
  if (t.port() != 0) s.append(":").append(std::to_string(t.port()));
  if (kind == LinkKind::Monitor) {
    std::string pw = t.passwordText();
    while (!pw.empty() && pw.back() == ' ') pw.pop_back();
    s.append(",").append(pw);
  }
  std::string code = t.accessCodeText();
  size_t first = code.find_first_not_of(' ');
  if (first != std::string::npos) s.append("-").append(code, first);
  return s;
}

std::string resolverHost(const ConnectionTarget& t) {
  std::string h = t.hostText();
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') return h.substr(1, h.size() - 2);
  return h;
}

}  // namespace lumarc
