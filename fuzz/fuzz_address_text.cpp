// Address texts typed into a link pane or given on the command line.
#include "lumarc/links/target.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  lumarc::ConnectionTarget t = lumarc::parseAddressText(text);
  // A host is always NUL-terminated inside its field and passes the check.
  if (std::memchr(t.host, 0, sizeof t.host) == nullptr) std::abort();
  std::string host = t.hostText();
  if (!host.empty() && lumarc::checkHost(host, nullptr) == lumarc::HostKind::Invalid) std::abort();
  // The address box text of a usable target re-creates it.
  if (!host.empty()) {
    for (auto kind : {lumarc::LinkKind::Cmdr, lumarc::LinkKind::Monitor}) {
      lumarc::ConnectionTarget again = lumarc::parseAddressText(lumarc::addressBoxText(t, kind));
      if (again.hostText() != host || again.port() != t.port()) std::abort();
    }
  }
  return 0;
}
