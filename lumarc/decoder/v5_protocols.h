// V5.2 layer 3 protocols (G.964/G.965 message and element codes): PSTN,
// control, BCC, protection and link control. The LAPV5 decoder calls the
// message decoders of bodies.h with the message type at byte 9; the element
// loop starts at byte 10 and runs while the element index is below datl.
#pragma once

#include "lumarc/decoder/context.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumarc {

// The protocols whose messages carry an element loop (link control has one
// fixed element and no loop).
enum class V5Protocol { Pstn, Control, Bcc, Protection };

// Returned by decodeV5Element when the element loop must end; it lies
// beyond every datl, so "while (index < datl)" stops on it.
constexpr size_t kV5EndOfElements = size_t(-1);

// Decodes the element whose identifier is message byte index and returns the
// index of the next element, or kV5EndOfElements (unknown identifier, length
// out of range, failed spare or extension check, or an element that would
// need octets beyond the 96-byte message area).
size_t decodeV5Element(DecodeContext& ctx, V5Protocol protocol, size_t index);

// Text of a 7-bit PSTN signal value: its pulsed signal type, else its steady
// signal type, else "Reserved".
std::string_view v5SignalText(uint8_t value);

}  // namespace lumarc
