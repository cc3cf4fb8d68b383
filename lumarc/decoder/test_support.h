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
// clang-format off
inline MonitorRecord recordOf(int32_t type, std::vector<uint8_t> bytes, int32_t datl = -1,
                              int32_t ptyp = 0x10, int32_t ind = 0) {
  // clang-format on
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

namespace lumarc::test {

// Lines of a decode, with the hex dump lines left off (from the line that
// starts with "        Hex Dump" onward).
inline std::vector<std::string> linesWithoutDump(const std::string& text) {
  std::vector<std::string> lines = splitDecodeText(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("        Hex Dump", 0) == 0) {
      lines.resize(i);
      break;
    }
  }
  return lines;
}

// A received LAPD I frame (SAPI 0, TEI 0) carrying a call-control message
// with call reference d01, message type type and the given element bytes.
inline MonitorRecord callControlRecord(std::vector<uint8_t> elements, uint8_t type = 0x05) {
  std::vector<uint8_t> bytes = {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, type};
  bytes.insert(bytes.end(), elements.begin(), elements.end());
  return recordOf(0xFD00, bytes);
}

// The element lines of a call-control message: what follows the header and
// "Cref=" lines, without the hex dump.
inline std::vector<std::string> elementLines(std::vector<uint8_t> elements, uint8_t type = 0x05) {
  std::vector<std::string> lines = linesWithoutDump(decodeMonitorRecord(callControlRecord(std::move(elements), type)));
  if (lines.size() <= 2) return {};
  return std::vector<std::string>(lines.begin() + 2, lines.end());
}

// Eight blanks and the bits of an octet line, as decoders write them.
inline std::string octet(const char* bitsAndText) { return std::string(8, ' ') + bitsAndText; }

}  // namespace lumarc::test
