#include "common/http/listen_address.h"

#include <arpa/inet.h>

namespace corvane::http {

bool splitListenAddress(const std::string& text, std::string& host, int& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
  host = text.substr(0, colon);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return false;
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string::npos) {
    return false;  // a bare IPv6 address needs its brackets
  }
  const std::string digits = text.substr(colon + 1);
  if (digits.size() > 5) return false;
  port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    port = port * 10 + (c - '0');
  }
  return port <= 65535;
}

bool isLoopbackHost(const std::string& host) {
  if (host == "localhost" || host == "::1") return true;
  in_addr a{};
  if (::inet_pton(AF_INET, host.c_str(), &a) == 1) return (ntohl(a.s_addr) >> 24) == 127;
  return false;
}

}  // namespace corvane::http
