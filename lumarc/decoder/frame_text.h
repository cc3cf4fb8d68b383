// The decode input format: one monitor frame per text line as
// "HPIDX PTYP FRAME" (hpidx as 4 hexadecimal digits, ptyp as 2, the
// 120-byte monitor frame as 240). Blank lines and lines starting with "#"
// carry no frame. Monitor links keep their raw frames in this form so that a
// session can be decoded again later.
#pragma once

#include "lumarc/decoder/monitor_record.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace lumarc {

struct FrameLine {
  uint16_t hpidx = 0;
  uint8_t ptyp = 0;
  MonitorFrame frame{};
};

enum class FrameLineStatus { Frame, Skip, Malformed };

// Parses one text line (without its line end; a trailing CR is ignored).
// Frame: out is filled; Skip: blank or comment line; Malformed: error says why.
FrameLineStatus parseFrameLine(std::string_view line, FrameLine& out, std::string& error);

// One line of the decode input format (upper-case hex, no line end).
std::string formatFrameLine(uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame);

}  // namespace lumarc
