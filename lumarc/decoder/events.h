// Exchange-internal events: call-control primitives with their digit and
// release-cause rows, E1 line events, signalling bits, register signalling
// and SIP packet lines. The record-kind bodies are declared in bodies.h;
// this header adds the pieces the two call-control directions share.
#pragma once

#include "lumarc/decoder/context.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace lumarc {

// The exchange's own release-cause row for code, padded with blanks to 32
// characters; empty for codes whose row is empty.
std::string releaseCauseRow(uint8_t code);

// Continuation line with the release-cause row of the low byte of ind;
// nothing when that row is empty.
void appendReleaseCause(DecodeContext& ctx);

// Name of a primitive sent to call control (kinds 0xFF, 0xF0) or from it
// (kinds 0xFE, 0xEF); "Unknown" for codes the direction's table lacks.
std::string_view callControlPrimitiveName(bool toCallControl, uint8_t code);

}  // namespace lumarc
