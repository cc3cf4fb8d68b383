// The exchange's 154-byte CMDR frame: its two checks and its decoding into
// a CmdrRecord (one row of table Cdata). Pure functions.
#pragma once

#include "lumarc/records/records.h"

#include <array>
#include <cstdint>
#include <string>

namespace lumarc {

constexpr size_t kCmdrFrameSize = 154;
using CmdrFrame = std::array<uint8_t, kCmdrFrameSize>;

// Frame offsets.
namespace cmdr {
inline constexpr size_t kFirstPort = 0, kPartnerPort = 4, kUsedPort = 8, kFlags = 12, kKind = 16;
inline constexpr size_t kField1 = 24, kField2 = 56, kField3 = 88, kFieldSize = 32;
inline constexpr size_t kTime = 120, kDuration = 124, kCrefA = 128, kCrefB = 132, kCrefC = 136;
inline constexpr size_t kExternalPulses = 140, kInternalPulses = 142;
inline constexpr size_t kEndMark = 150, kSum = 151, kCheck = 152;
}  // namespace cmdr

// Whether bytes 152-153 hold frameCheck16 of bytes 0-151 (low byte first).
bool cmdrCheckWordOk(const CmdrFrame& f);
// Whether byte 150 is the end mark 0xFF and byte 151 the sum of bytes 0-150.
bool cmdrSumOk(const CmdrFrame& f);
// Writes end mark, sum byte and check word, so the frame passes both checks.
void sealCmdrFrame(CmdrFrame& f);

// Packed date and time -> repaired date-time: month 0 or above 12 becomes 1,
// day 0 becomes 1, hour/minute/second out of range become 0, and a day its
// month does not have becomes the month's last day. Year 2000 + (y mod 100).
DateTime unpackCmdrTime(uint32_t packed);
// The inverse for valid fields (used to build frames).
uint32_t packCmdrTime(const DateTime& t);
// Raw duration word -> seconds: (v div 125) * 2, +1 when v mod 125 > 62,
// +1 more when v mod 62 > 31.
uint32_t cmdrDuration(uint32_t raw);

// Fills record (cleared first) from a frame whose checks passed, with the
// link's exchange address (host-order IPv4, 0 for IPv6). Returns whether the
// record is accepted: kinds A-E; F and unknown kinds are not.
bool decodeCmdrFrame(const CmdrFrame& f, uint32_t exchangeAddress, CmdrRecord& record);

// The 32 characters of a digit field (count digits, then blanks).
std::string cmdrDigitField(const CmdrFrame& f, size_t offset, size_t count = cmdr::kFieldSize);
// The text run from offset to offset + length: bytes up to the first NUL,
// blanks from there on; control bytes and 0x7F show as blanks.
std::string cmdrTextRun(const CmdrFrame& f, size_t offset, size_t length);

// The content of a frame to build (the exchange's side: simulator, tests).
struct CmdrFrameFields {
  uint32_t kind = 0;  // 0 = A ... 5 = F
  uint32_t firstPort = 0xFFFFFFFF, partnerPort = 0xFFFFFFFF, usedPort = 0xFFFFFFFF;
  uint32_t flags = 0;
  DateTime time{2024, 1, 1, 0, 0, 0};
  uint32_t rawDuration = 0;
  uint32_t crefA = 0, crefB = 0, crefC = 0;
  uint16_t externalPulses = 0, internalPulses = 0;
  // Digit kinds: the digits as text ("0"-"9", "A"-"D", "*", "#"), one byte
  // each, unused positions 0xFF. Text kinds (B, C, F): text1 is the 96-byte
  // text run, NUL-terminated when shorter.
  std::string digits1, digits2, digits3;
  std::string text1;
};
// A sealed frame (both checks pass) with the given content.
CmdrFrame buildCmdrFrame(const CmdrFrameFields& fields);

}  // namespace lumarc
