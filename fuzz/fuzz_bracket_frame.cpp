// Monitor link datagrams: the bracket framer, its frame checks and the
// payload recogniser, on whatever a UDP peer sends. Every payload that is
// sent framed comes back out of the framer unchanged.
#include "lumarc/links/bracket_frame.h"
#include "lumarc/links/monitor_protocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)lumarc::isMonitorRefusal(data, size);
  std::vector<std::string> payloads = lumarc::parseBracketDatagram(data, size);
  for (const std::string& p : payloads) {
    if (p.size() + lumarc::kBracketOverhead >= lumarc::kMaxBracketFrame) std::abort();
    lumarc::MonitorMessage m = lumarc::parseMonitorPayload(p);
    (void)m;
  }
  // The frame check on its own, on the raw bytes.
  std::string payload;
  if (lumarc::checkBracketFrame(data, size, &payload) && payload.size() + lumarc::kBracketOverhead != size)
    std::abort();
  // Round trip of the input as a payload.
  std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t closes = 0;
  for (char c : text) closes += c == ']' ? 1 : 0;
  if (size + closes + lumarc::kBracketOverhead < lumarc::kMaxBracketFrame) {
    std::string datagram = lumarc::encodeBracketFrame(text);
    std::vector<std::string> back =
        lumarc::parseBracketDatagram(reinterpret_cast<const uint8_t*>(datagram.data()), datagram.size());
    if (back.size() != 1 || back[0] != text) std::abort();
  }
  return 0;
}
