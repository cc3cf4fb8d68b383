// Helpers of the SS7 decoder tests: message signal units with a routing
// label, and the expected first lines of their decode.
#pragma once

#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/test_support.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumarc::test {

// Routing label of the test units: DPC 0x0123, OPC 0x0456, SLS 5.
inline constexpr uint32_t kLabel = 0x0123u | (0x0456u << 14) | (5u << 28);

// A message signal unit: sequence bytes 0x85 0x86, LI = payload + 5 (at
// most 63), the SIO, the routing label and the payload after it.
inline std::vector<uint8_t> msuBytes(uint8_t sio, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> b = {0x85, 0x86, 0, sio};
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(kLabel >> (8 * i)));
  b.insert(b.end(), payload.begin(), payload.end());
  const size_t li = b.size() - 3;
  b[2] = uint8_t(li > 63 ? 63 : li);
  return b;
}

// Decode text (visible form) of a received unit of the given bytes.
inline std::string decodeUnit(const std::vector<uint8_t>& bytes, int32_t datl = -1) {
  return visible(decodeMonitorRecord(recordOf(0xF500, bytes, datl)));
}

// Bits of one octet as the decoder prints them.
inline std::string bitsOf(uint8_t o) {
  std::string s;
  for (int b = 7; b >= 0; --b) s.push_back(((o >> b) & 1) ? '1' : '0');
  return s;
}

// The hex dump lines of bytes, visible form.
inline std::string dumpOf(const std::vector<uint8_t>& bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string s = "|        Hex Dump ";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0 && i % 16 == 0) s += "|" + std::string(17, ' ');
    s.push_back(hex[bytes[i] >> 4]);
    s.push_back(hex[bytes[i] & 0x0F]);
    s.push_back(' ');
  }
  return s;
}

// First line up to " msu " and the level 3 lines of a national-0 unit of
// service indicator si (the message name goes between them).
inline std::string msuHead() { return kHeader + "RCV PKT Bib=1 Bsn=05 Fib=1 Fsn=06 msu "; }
inline std::string level3Lines(uint8_t li, uint8_t si, const char* siName) {
  return "|        " + bitsOf(li) +
         " Spare field ok,Len=" + (std::string(1, "0123456789ABCDEF"[li >> 4]) + "0123456789ABCDEF"[li & 0x0F]) +
         "|        " + bitsOf(uint8_t(0x80 | si)) + " Subservice:National network-0,Spare bits:00," + siName +
         "|        ******** Destination point code:0123"
         "|        ******** Originating point code:0456"
         "|        ******** Signalling link code:0005";
}

}  // namespace lumarc::test
