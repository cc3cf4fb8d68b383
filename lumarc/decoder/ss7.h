// SS7 decoders inside the monitor decoder: MTP level 2 and 3 (mtp.cpp), the
// ISDN user part (isup.cpp, isup_parameters.cpp) and SCCP (sccp.cpp).
//
// Message name position: when level 3 starts it appends " msu " to the
// first line and remembers the text length at that moment; the user-part
// decoders insert their message name there, so the name stands right after
// " msu " although the lines below it were appended first.
#pragma once

#include "lumarc/decoder/context.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumarc {

// The decode of one message signal unit: context and message name position.
struct Ss7Message {
  DecodeContext& ctx;
  size_t namePos = 0;
};

// Inserts text at the message name position (after " msu ").
void insertMessageName(Ss7Message& msg, std::string_view text);

// Level 3 from message byte 2 (length indicator li): SIO, routing label and
// the user part (network management, link test, SCCP, ISUP).
void decodeMtp3(DecodeContext& ctx, uint8_t li);

// Name of a service indicator (low 4 bits of the SIO).
std::string_view serviceIndicatorName(uint8_t si);

// ---- ISUP (isup.cpp) ----
// ISUP message from b8 (CIC) on, after the routing label.
void decodeIsup(Ss7Message& msg);
// The optional parameter loop from message byte p.
void decodeIsupOptionalPart(DecodeContext& ctx, size_t p);
// Name of an ISUP parameter code; "Unknown ISUP parameter" when unlisted.
std::string_view isupParameterName(uint8_t code);

// Decodes one ISUP parameter. With optional, index is its length octet and
// a length line is shown; otherwise index is its first content octet (a
// mandatory fixed parameter). Returns the octets consumed (length octet
// included), 0 when the decode of the message must stop.
size_t decodeIsupParameter(DecodeContext& ctx, uint8_t code, size_t index, bool optional);
// True when the code has a decoder of its own.
bool isupParameterHasDecoder(uint8_t code);
// The "Range" parameter of GRS, CQM and CQR (index of its length octet).
size_t decodeIsupRange(DecodeContext& ctx, size_t index);

// Shared ISUP value fields and the digits printer.
// Digits line, then the BCD digits of octets first..last (low nibble
// first); the last high nibble is left out when odd. Reads stop at the
// message area's end.
void isupDigits(DecodeContext& ctx, size_t first, size_t last, bool odd);
// Field line of bits 6-0: "Nature of address indicator:" and its text.
void isupNatureOfAddress(DecodeContext& ctx, uint8_t octet);
// Field line of bit 7: "Odd/even indicator:" and its text.
void isupOddEven(DecodeContext& ctx, uint8_t octet);
// Field line of bits 6-4: "Numbering plan indicator:" and its text.
void isupNumberingPlan(DecodeContext& ctx, uint8_t octet);

// ---- SCCP (sccp.cpp) ----
// SCCP message from b8 (message type) on.
void decodeSccp(Ss7Message& msg);

}  // namespace lumarc
