// The messages of the monitor link: what the program sends (login, access
// code, poll and acknowledge, logout) and what it recognises in the
// exchange's frames. Payloads only; the bracket framing is separate.
#pragma once

#include "lumarc/decoder/monitor_record.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace lumarc {

// Payload offsets.
namespace monitormsg {
inline constexpr size_t kLoginStamp = 10;     // login: 4 bytes BE, the time stamp T
inline constexpr size_t kLoginDigest = 14;    // login: 16 bytes, MD5 of T (LE) and the password
inline constexpr size_t kPollHpidx = 6;       // poll: 2 bytes LE, the last hpidx
inline constexpr size_t kPollSequence = 8;    // poll: 2 bytes LE, the last sequence number
inline constexpr size_t kAcceptedHpidx = 10;  // access accepted: 2 bytes LE, the link index
inline constexpr size_t kRecordSequence = 2;  // record: 2 bytes LE, the sequence number
inline constexpr size_t kRecordHpidx = 4;     // record: 2 bytes LE, the link index
inline constexpr size_t kRecordPtyp = 6;      // record: 1 byte, the line-interface type
inline constexpr size_t kRecordFrame = 7;     // record: the 120-byte monitor frame
}  // namespace monitormsg

// The login time stamp T from a local time (full year, month 1-12): the
// fields shifted in one after another in 32 bits, overlapping, overflow
// discarded, as the exchange computes it.
uint32_t monitorTimeStamp(const std::tm& local);

// Login payload (30 bytes): 0x00 0x07, 8 zero bytes, T most significant
// first, MD5 of (T least significant first + the 32 password bytes).
std::string monitorLoginPayload(uint32_t stamp, std::string_view password32);

// Access code payload (10 bytes): 0x14 0x00 and the 8 access-code bytes.
std::string monitorAccessPayload(std::string_view accessCode8);

// Poll and acknowledge payload (10 bytes): 0x0B 0x02, four 0xFF, hpidx and
// the last sequence number, both little-endian.
std::string monitorPollPayload(uint16_t hpidx, uint16_t sequence);

// Logout payload (4 bytes): 0x26 0x00 0x00 0x00.
std::string monitorLogoutPayload();

// True for the exchange's refusal: exactly 8 bytes, all 0x11 (not framed).
bool isMonitorRefusal(const uint8_t* data, size_t size);

enum class MonitorMessageKind { Other, LoginAccepted, AccessUnknown, AccessAccepted, PollAnswer, Record };

// One received payload, recognised by its first bytes and its length.
struct MonitorMessage {
  MonitorMessageKind kind = MonitorMessageKind::Other;
  uint16_t hpidx = 0;     // AccessAccepted and Record
  uint16_t sequence = 0;  // Record
  uint8_t ptyp = 0;       // Record
  MonitorFrame frame{};   // Record: the 120-byte monitor frame
};

// Recognises a checked frame's payload; Other for anything unknown.
MonitorMessage parseMonitorPayload(std::string_view payload);

// Payload builders of the exchange's side (the simulator and the tests).
std::string monitorLoginAcceptedPayload();
std::string monitorAccessUnknownPayload();
std::string monitorAccessAcceptedPayload(uint16_t hpidx);
std::string monitorRecordPayload(uint16_t sequence, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame);

// The refusal datagram: 8 bytes of 0x11.
std::string monitorRefusalDatagram();

}  // namespace lumarc
