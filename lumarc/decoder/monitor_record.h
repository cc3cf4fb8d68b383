// One monitor event as the exchange's monitor link delivers it: the 120-byte
// monitor frame and the record (the columns of table Mdata) built from it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace lumarc {

constexpr size_t kMonitorFrameSize = 120;
constexpr size_t kMonitorMessageBytes = 96;
using MonitorFrame = std::array<uint8_t, kMonitorFrameSize>;

// Monitor frame offsets.
namespace monframe {
inline constexpr size_t kCallingPort = 0;  // 4 bytes LE: calling-side port
inline constexpr size_t kPartnerPort = 4;  // 4 bytes LE: partner port
inline constexpr size_t kYear = 8;         // 1 byte each: year (mod 100), month, day,
inline constexpr size_t kMonth = 9;        //   hour, minute, second
inline constexpr size_t kDay = 10;
inline constexpr size_t kHour = 11;
inline constexpr size_t kMinute = 12;
inline constexpr size_t kSecond = 13;
inline constexpr size_t kDirection = 16;  // 2 bytes LE: time fraction / direction, low 11 bits
inline constexpr size_t kType = 18;       // 2 bytes LE: record kind (high byte) and subtype
inline constexpr size_t kIndicator = 20;  // 2 bytes LE: kind-specific indicator
inline constexpr size_t kLength = 22;     // 1 byte: number of message bytes
inline constexpr size_t kMessage = 23;    // the 96 message bytes
}  // namespace monframe

// Date and time of a record, kept as the frame's six values (no time zone, no
// validation: month 0 stays 0).
struct MonitorTime {
  int year = 2000;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

struct MonitorRecord {
  int32_t type = 0;   // record kind (bits 8-15) and subtype (bits 0-7)
  int32_t hpidx = 0;  // link index handed over by the monitor link
  int32_t ptyp = 0;   // line-interface type handed over by the monitor link
  int32_t dir = 0;    // time fraction / direction word, low 11 bits
  MonitorTime tdate;
  std::string cport;  // calling-side port text
  std::string pport;  // partner port text
  int32_t ind = 0;    // kind-specific indicator
  int32_t datl = 0;   // number of message bytes, at most 96
  int32_t dlen = 0;
  std::string datb;  // message bytes, two characters 0x40..0x4F per byte
  int32_t dlps = 0;
  std::string xnam;
};

// Fills a record from a monitor frame and the link's hpidx and ptyp values.
// Never fails: every frame gives a record.
MonitorRecord buildMonitorRecord(const MonitorFrame& frame, uint16_t hpidx, uint8_t ptyp);

// The datb text of message bytes: per byte (low nibble | 0x40) then
// (high nibble | 0x40). 96 bytes give 192 characters.
std::string encodeMessageBytes(const uint8_t* bytes, size_t count);

}  // namespace lumarc
