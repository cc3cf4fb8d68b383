// ISDN call control (Q.931/Q.932 messages and information elements) and the
// tables it shares with other protocol decoders (ISUP cause indicators,
// access transport, facility components).
#pragma once

#include "lumarc/decoder/context.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumarc {

// Cause text of a 7-bit cause value (Q.850 meanings); "Reserved" when unlisted.
std::string_view causeText(uint8_t value);
// Name of a variable-length information element identifier;
// "Unknown Information Element" when unlisted.
std::string_view elementName(uint8_t id);

// Name of a call-control message type; empty when the type is not listed
// (the decoder then shows "UNKNOWN").
std::string_view messageTypeName(uint8_t type);

// Code-set state of one element loop, owned by the loop's caller.
struct CodeSetState {
  uint8_t current = 0;  // becomes non-zero only through a locking shift
};

// Returned by decodeInformationElement when the caller's loop must end.
constexpr size_t kEndOfElements = size_t(-1);

// Decodes the element at message byte index inside a container whose last
// octet is last (<= 95). Returns the index of the next element, or
// kEndOfElements (a stop, a shift that ends the loop, or an element that
// does not fit). A locking shift updates codeSets only.
size_t decodeInformationElement(DecodeContext& ctx, size_t index, size_t last, CodeSetState& codeSets);

// Facility component of element 0x1C; lenIndex is the element's length
// octet, the element ends at lenIndex + its length (facility.cpp).
void decodeFacility(DecodeContext& ctx, size_t lenIndex);

}  // namespace lumarc
