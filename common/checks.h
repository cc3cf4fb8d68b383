// Check words of the exchange's framings.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// Two-byte running check modulo 251 of CMDR frames: A in the low byte, B in
// the high byte; 0xFFFF when both end at 0.
uint16_t frameCheck16(const uint8_t* data, size_t size);

// Low 14 bits of the 16-bit byte sum (monitor bracket frames).
uint16_t byteSum14(const uint8_t* data, size_t size, uint16_t start = 0);

// 16-bit byte sum modulo 65536 (settings file check words).
uint16_t byteSum16(const uint8_t* data, size_t size);

}  // namespace corvane
