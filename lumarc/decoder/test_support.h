// Helpers of the decoder tests: build records from message bytes and turn
// decode text into readable lines ("|" for each line break).
#pragma once

#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/monitor_record.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace lumarc::test {

// A record of kind type with the given message bytes (datl = their count
// unless datl >= 0 is given) and fixed header fields.
inline MonitorRecord recordOf(int32_t type, std::vector<uint8_t> bytes, int32_t datl = -1,
                              int32_t ptyp = 0x10, int32_t ind = 0) {
  MonitorRecord r;
  r.type = type;
  r.hpidx = 1;
  r.ptyp = ptyp;
  r.dir = 0;
  r.tdate = {2024, 5, 6, 7, 8, 9};
  r.cport = "    1234";
  r.pport = "    1234";
  r.ind = ind;
  const int32_t count = int32_t(bytes.size());
  bytes.resize(96, 0);
  r.datl = datl >= 0 ? datl : count;
  r.datb = encodeMessageBytes(bytes.data(), 96);
  return r;
}

inline MonitorRecord recordOf(int32_t type, std::initializer_list<uint8_t> bytes) {
  MonitorRecord r = recordOf(type, std::vector<uint8_t>(bytes), int32_t(bytes.size()));
  return r;
}

// The header every test record gets: hpidx 1, 2024/05/06 07:08:09, dir 0.
inline const std::string kHeader = " 0001 2024/05/06 07:08:09.000 ";

// Decode text with 0xFF shown as "|".
inline std::string visible(const std::string& text) {
  std::string s = text;
  for (char& c : s) {
    if (c == char(0xFF)) c = '|';
  }
  return s;
}

}  // namespace lumarc::test
