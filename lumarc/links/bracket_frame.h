// The bracket framing of the monitor link. A frame is "[", a 14-bit check
// C (two bytes), a 14-bit length L (two bytes), the payload with every "]"
// written twice, and "]". Outgoing datagrams carry one frame, preceded by
// 0x5D 0xFF and followed by CR LF. Each received datagram is framed on its
// own: a frame cut by the datagram's end is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc {

// Longest frame the receiver collects (a frame reaching it is discarded).
constexpr size_t kMaxBracketFrame = 2048;
// Bytes of a frame around its payload: "[", C0, C1, L0, L1, "]".
constexpr size_t kBracketOverhead = 6;

// The whole datagram for one payload: 0x5D 0xFF, the frame, CR LF. L and C
// count the payload as sent, with its "]" bytes doubled.
std::string encodeBracketFrame(std::string_view payload);

// Checks a collapsed frame (doubled "]" merged) from "[" to "]" inclusive and
// gives its payload. False for anything failing the length, marker, L or C
// test; payload is then untouched.
bool checkBracketFrame(const uint8_t* frame, size_t size, std::string* payload);

// Splits one datagram into the payloads of its valid frames, in order.
// Malformed frames are dropped silently; a frame whose closing "]" is the
// datagram's last byte still counts.
std::vector<std::string> parseBracketDatagram(const uint8_t* data, size_t size);

}  // namespace lumarc
