// Text and number helpers. Pure functions over 8-bit text: they fix the
// exact look of record lines, decode text, file names and stored columns.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// Nibble-coded port -> 8 characters: 0-9 digits, 10-14 "A".."E", 15 blank.
std::string formatPort(uint32_t port);
// Only the nibbles 0-9 of a nibble-coded port, most significant first.
std::string portDigits(uint32_t port);
// Leading blanks skipped, then "0"-"9"/"A"-"F" up to the first other
// character, at most 8.
std::string cleanPortText(std::string_view text);
// cleanPortText, blank-padded on the left to 8.
std::string portText8(std::string_view text);
// Text -> nibble-coded port: digits shift in, blanks are skipped, anything
// else ends the scan. Starts from 0xFFFFFFFF, so it keeps the last 8 digits.
uint32_t parsePort(std::string_view text);
// Digit value -> "0".."9", "A".."D", "*", "#"; anything else a blank.
char digitChar(uint32_t value);

std::string hex2(uint8_t v);
std::string hex4(uint16_t v);
std::string hex6(uint32_t v);
std::string hex8(uint32_t v);
// Exactly 8 hexadecimal characters, else 0.
uint32_t parseHex8(std::string_view text);
// Every character shifts in: a hex digit its value, anything else 15.
uint32_t parseHex(std::string_view text);

std::string dec2(uint32_t n);  // n mod 100, two digits
std::string dec3(uint32_t n);  // three digits, "999" from 1000 on
std::string dec4(uint32_t n);  // n mod 10000, four digits
std::string decN(uint32_t n);  // n mod 10000, no leading zeros
// Value in width w: longer texts keep their last w characters; shorter ones
// are padded right (leftAlign), with zeros (zeroFill) or blanks on the left.
std::string decimal(uint32_t value, int w = 0, bool leftAlign = false, bool zeroFill = false);
// Decimal value of the digits in the text; other characters are skipped.
// Wraps at 32 bits.
uint32_t digitsValue(std::string_view text);

std::string ipv4Text(uint32_t hostOrder);
std::string ipv4Text15(uint32_t hostOrder);
// Dotted text -> host-order value; 0 when the text is not a dotted IPv4.
uint32_t ipv4Value(std::string_view text);
// Display form: lower-case groups, the first run of zero groups as "::".
std::string ipv6Text(const uint8_t addr[16]);
std::optional<std::array<uint8_t, 16>> ipv6Value(std::string_view text);

// Leading blanks dropped, then padded on the right to at least n.
std::string blankPad(std::string_view text, size_t n);
// Seconds -> always 8 characters, "hh:mm:ss" with blank parts.
std::string formatDuration(uint32_t seconds);
// "%Y/%m/%d %H:%M:%S" of local time.
std::string formatDateTime(std::time_t t);
std::string formatDateTime(const std::tm& local);
// Year without leading zeros, then "/mm/dd hh:mm:ss".
std::string formatMonitorTime(const std::tm& local);

// Trims blanks (only 0x20) from both ends.
std::string_view trimBlanks(std::string_view text);

}  // namespace corvane
