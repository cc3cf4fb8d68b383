// The unit of a link and of a connection history: host, port, password and
// access code in a fixed 300-byte layout, compared byte for byte.
#pragma once

#include "common/byte_io.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace lumarc {

enum class LinkKind { Cmdr = 0, Monitor = 1, Voice = 2 };

struct ConnectionTarget {
  char host[256];       // NUL-terminated, at most 255 characters
  uint8_t reserved[2];  // zero
  uint8_t portLe[2];    // 0 = the kind's default port
  char password[32];    // blank-padded
  char accessCode[8];   // right-aligned, blank-padded

  // An all-zero record: an empty history slot.
  static ConnectionTarget zero() {
    ConnectionTarget t;
    std::memset(&t, 0, sizeof t);
    return t;
  }
  uint16_t port() const { return corvane::ByteReader(portLe, sizeof portLe).le16(0); }
  void setPort(uint16_t p) { corvane::ByteWriter(portLe, sizeof portLe).putLe16(0, p); }
  std::string hostText() const { return std::string(host, strnlen(host, sizeof host)); }
  std::string passwordText() const { return std::string(password, sizeof password); }
  std::string accessCodeText() const { return std::string(accessCode, sizeof accessCode); }
  bool isZero() const;
  bool operator==(const ConnectionTarget& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};
static_assert(sizeof(ConnectionTarget) == 300, "ConnectionTarget is a fixed 300-byte record");

uint16_t defaultPort(LinkKind kind);

// Host classification of an address text.
enum class HostKind { Invalid, Ipv4, Ipv6, Name };

// Checks and cuts a host text (brackets included for IPv6). Returns the
// accepted host text and its kind; Invalid with an empty text otherwise.
HostKind checkHost(std::string_view hostText, std::string* accepted);

// Parses an address text ("host:port,password-access") into a target. The
// host is empty when the text names no usable host or a port above 65535.
ConnectionTarget parseAddressText(std::string_view text);

// The text for the pane's address box that re-creates the same target.
std::string addressBoxText(const ConnectionTarget& t, LinkKind kind);

// The host handed to the resolver: for a bracketed IPv6 host the text
// between the brackets.
std::string resolverHost(const ConnectionTarget& t);

}  // namespace lumarc
